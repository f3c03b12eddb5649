#pragma once

#include <cstdint>
#include <cstring>

// The fields of a glove's device record that the program reads, in record order.
struct GloveRecord {
  float x, y, z;
  float orient[3];
  uint8_t bend[5];     // thumb, index, middle, ring, little finger
  uint8_t buttons[4];  // A, B, C, D: 1 while held
};

// True when every field of the two records holds the same bits (a NaN is itself).
inline bool sameGloveBits(const GloveRecord& a, const GloveRecord& b) {
  return std::memcmp(&a.x, &b.x, sizeof(float) * 3) == 0 && std::memcmp(a.orient, b.orient, sizeof a.orient) == 0 &&
         std::memcmp(a.bend, b.bend, sizeof a.bend) == 0 && std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

// Starts the glove library; 1 when a glove was found.
int gloveLibraryInit();

// Switches mouse emulation of one device on (1) or off (0).
void gloveLibrarySetMouseState(int device, int state);

// Stops the glove library.
void gloveLibraryClose();

// Device 0's record. The library keeps it current by itself between calls.
const GloveRecord* gloveLibraryRecord();
