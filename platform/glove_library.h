#pragma once

#include <cstdint>

// The fields of a glove's device record that the program reads, in record order.
struct GloveRecord {
  float x, y, z;
  float orient[3];
  uint8_t bend[5];     // thumb, index, middle, ring, little finger
  uint8_t buttons[4];  // A, B, C, D: 1 while held
};

// Starts the glove library; 1 when a glove was found.
int gloveLibraryInit();

// Switches mouse emulation of one device on (1) or off (0).
void gloveLibrarySetMouseState(int device, int state);

// Stops the glove library.
void gloveLibraryClose();

// Device 0's record. The library keeps it current by itself between calls.
const GloveRecord* gloveLibraryRecord();
