#include "glove/body_reference.h"

#include "control/recognition_context.h"
#include "platform/console.h"

namespace {

// Half-widths of the box around a reference point that counts as near it.
constexpr float kNearHalfWidthX = 525.0f;
constexpr float kNearHalfWidthY = 225.0f;
constexpr float kNearHalfWidthZ = 225.0f;

const char* const kReferenceNames[kReferencePoints] = {"HEAD", "CHEST"};

bool strictlyWithin(float value, float centre, float halfWidth) {
  return centre - halfWidth < value && value < centre + halfWidth;
}

void pollUntilButton(RecognitionContext& context, GloveButton button, int down) {
  while (buttonDown(context, button) != down) pollGlove(context);
}

}  // namespace

int calibrateReferences(RecognitionContext& context) {
  for (int index = 0; index < kReferencePoints; ++index) {
    consolePrint("Point to your %s and press A button\n\n", kReferenceNames[index]);
    pollUntilButton(context, kButtonA, 1);
    ReferencePoint& point = context.reference.point[index];
    point.x = context.glove.x;
    point.y = context.glove.y;
    point.z = context.glove.z;
    pollUntilButton(context, kButtonA, 0);
  }
  return 0;
}

int locateHand(RecognitionContext& context) {
  pollGlove(context);
  const GloveState& hand = context.glove;
  for (int index = 0; index < kReferencePoints; ++index) {
    const ReferencePoint& point = context.reference.point[index];
    if (strictlyWithin(hand.x, point.x, kNearHalfWidthX) && strictlyWithin(hand.y, point.y, kNearHalfWidthY) &&
        strictlyWithin(hand.z, point.z, kNearHalfWidthZ))
      return index;
  }
  return -1;
}
