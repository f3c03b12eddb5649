#include "glove/glove_link.h"

#include "control/recognition_context.h"
#include "platform/glove_library.h"

namespace {
constexpr int kFirstDevice = 0;
constexpr int kMouseEmulationOff = 0;
}  // namespace

int gloveInit() { return gloveLibraryInit(); }

void gloveMouseOff() { gloveLibrarySetMouseState(kFirstDevice, kMouseEmulationOff); }

void gloveClose() { gloveLibraryClose(); }

void pollGlove(RecognitionContext& context) {
  const GloveRecord* record = gloveLibraryRecord();
  GloveState& glove = context.glove;
  glove.x = record->x;
  glove.y = record->y;
  glove.z = record->z;
  glove.orient1 = record->orient[0];
  glove.orient2 = record->orient[1];
  glove.orient3 = record->orient[2];
  for (int finger = 0; finger < kGloveFingers; ++finger) glove.bend[finger] = record->bend[finger];
  for (int button = 0; button < kGloveButtons; ++button) glove.buttons[button] = record->buttons[button];
}

int buttonDown(const RecognitionContext& context, GloveButton button) {
  return context.glove.buttons[button] != 0;
}
