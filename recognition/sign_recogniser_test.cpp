#include "recognition/sign_recogniser.h"

#include <gtest/gtest.h>

#include <string>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

namespace {

TEST(SignTable, LooksUpTheFirstMatchingRule) {
  struct Case {
    HandshapeCode start;
    MovementCode movement;
    HandshapeCode end;
    const char* word;  // nullptr: no word
  };
  const Case cases[] = {
      {kFlat, kFingersIncDecInc, kHandshapeNone, "welcome "},
      {kPoint, kLeftToRight, kWish, "to "},
      {kFist, kTowardBody, kHandshapeNone, "my "},
      {kSoon, kRollWrists, kFist, "presentation "},
      {kPoint, kTowardBody, kHandshapeNone, "I "},
      {kPoint, kTowardBody, kWish, "I "},
      {kPoint, kMovementNone, kWish, "hope "},
      {kPoint, kMovementNone, kHandshapeNone, nullptr},
      {kPoint, kMovementNone, kPoint, nullptr},
      {kPoint, kAwayRightDown, kSpread, "this/the "},
      {kFist, kDown, kHandshapeNone, "proves "},
      {kLetterC, kAwayRightUp, kHandshapeNone, "concept "},
      {kFist, kLeftToRight, kHandshapeNone, nullptr},
      {kPoint, kDown, kHandshapeNone, nullptr},
      {kFlat, kTowardBody, kHandshapeNone, nullptr},
      {kWish, kMovementNone, kWish, nullptr},
      {kHandshapeNone, kMovementNone, kHandshapeNone, nullptr},
  };
  for (const Case& sign : cases)
    EXPECT_STREQ(lookUpSign(sign.start, sign.movement, sign.end), sign.word)
        << sign.start << " " << sign.movement << " " << sign.end;
}

// Runs the sign-recognition cycle until the script has played out.
void recogniseUntilEnd(const VirtualWorld& scene, RecognitionContext& context) {
  while (world.nowMicros < scene.scenario.endMicros) recogniseSign(context);
}

TEST(SignRecogniser, HoldWithoutHandshapePrintsNothingAndReturns) {
  VirtualWorld scene("bends 20 50 30 30 30\nwait 1000");
  RecognitionContext context;
  recogniseSign(context);  // would wait for a movement that never comes if it went on
  EXPECT_EQ(scene.console(), "");
  EXPECT_LT(world.nowMicros, 200'000);
}

TEST(SignRecogniser, PointTowardBodyPrintsI) {
  VirtualWorld scene("sign I\nwait 500");
  RecognitionContext context;
  recogniseUntilEnd(scene, context);
  EXPECT_EQ(scene.console(), "I ");
}

TEST(SignRecogniser, EverySignOnOneLine) {
  VirtualWorld scene(
      "sign welcome\nsign to\nsign my\nsign presentation\nsign I\nsign hope\nsign this/the\nsign proves\n"
      "sign concept\nwait 500");
  RecognitionContext context;
  recogniseUntilEnd(scene, context);
  EXPECT_EQ(scene.console(), "welcome to my presentation I hope this/the proves concept ");
}

// Every sample costs one contact request and one glove poll; a sign with a start
// handshape polls the glove twice more, where it starts and where it ends.
TEST(SignRecogniser, LocatesTheHandWhereTheSignStartsAndEnds) {
  VirtualWorld scene("sign I\nwait 500");
  RecognitionContext context;
  int signsRead = 0;
  while (world.nowMicros < scene.scenario.endMicros) {
    const int64_t polls = world.calls.gloveRecordReads, requests = world.requestsSent;
    const size_t printed = scene.console().size();
    recogniseSign(context);
    const int64_t locatePolls = (world.calls.gloveRecordReads - polls) - (world.requestsSent - requests);
    if (scene.console().size() > printed) {
      ++signsRead;
      EXPECT_EQ(locatePolls, 2) << "the cycle that read the sign";
    } else {
      EXPECT_TRUE(locatePolls == 0 || locatePolls == 2) << locatePolls;
    }
  }
  EXPECT_EQ(signsRead, 1);
  EXPECT_EQ(scene.console(), "I ");
}

TEST(SignRecogniser, NoHandshapeNoLocating) {
  VirtualWorld scene("bends 20 50 30 30 30\nwait 1000");
  RecognitionContext context;
  recogniseSign(context);
  EXPECT_EQ(world.calls.gloveRecordReads, world.requestsSent);
}

}  // namespace
