#pragma once

#include <cstdint>

struct RecognitionContext;

enum GloveButton { kButtonA, kButtonB, kButtonC, kButtonD };
constexpr int kGloveButtons = 4;
constexpr int kGloveFingers = 5;

// The program's copy of the glove: position, the three orientation angles in the
// order the device record holds them, finger bends (thumb first) and buttons A to D.
struct GloveState {
  float x = 0, y = 0, z = 0;
  float orient1 = 0, orient2 = 0, orient3 = 0;
  uint8_t bend[kGloveFingers] = {};
  uint8_t buttons[kGloveButtons] = {};
};

// Starts the glove library; 1 means a glove was found.
int gloveInit();

// Stops device 0 from driving the mouse pointer.
void gloveMouseOff();

// Stops the glove library.
void gloveClose();

// Copies device 0's record into the context's GloveState, field by field.
void pollGlove(RecognitionContext& context);

// 1 while the button was down at the last poll.
int buttonDown(const RecognitionContext& context, GloveButton button);
