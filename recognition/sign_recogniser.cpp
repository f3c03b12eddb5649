#include "recognition/sign_recogniser.h"

#include "control/recognition_context.h"
#include "platform/console.h"

namespace {

// Searched top to bottom; each word ends in a space so that words form a running line.
constexpr SignRule kSignTable[] = {
    {kFlat, kFingersIncDecInc, kAnyHandshape, "welcome "},
    {kPoint, kLeftToRight, kAnyHandshape, "to "},
    {kFist, kTowardBody, kAnyHandshape, "my "},
    {kSoon, kRollWrists, kAnyHandshape, "presentation "},
    {kPoint, kTowardBody, kAnyHandshape, "I "},
    {kPoint, kMovementNone, kWish, "hope "},
    {kPoint, kAwayRightDown, kAnyHandshape, "this/the "},
    {kFist, kDown, kAnyHandshape, "proves "},
    {kLetterC, kAwayRightUp, kAnyHandshape, "concept "},
};

}  // namespace

const char* lookUpSign(HandshapeCode start, MovementCode movement, HandshapeCode end) {
  for (const SignRule& rule : kSignTable)
    if (rule.start == start && rule.movement == movement && (rule.end == kAnyHandshape || rule.end == end))
      return rule.word;
  return nullptr;
}

bool isSignWord(std::string_view word) {
  for (const SignRule& rule : kSignTable) {
    const std::string_view printed = rule.word;
    if (printed.size() == word.size() + 1 && printed.starts_with(word)) return true;
  }
  return false;
}

void recogniseSign(RecognitionContext& context) {
  while (takeWindow(context) != 1) {
  }
  const HandshapeCode start = classifyHandshape(context);
  if (start == kHandshapeNone) return;
  locateHand(context);  // where the sign starts; no rule depends on it yet

  while (takeWindow(context) == 1) {
  }
  const MovementCode movement = captureMovement(context);
  const HandshapeCode end = classifyHandshape(context);
  locateHand(context);  // where the sign ends; likewise unused by the table

  if (const char* word = lookUpSign(start, movement, end)) consolePrint("%s", word);
}
