#include "glove/body_reference.h"

#include <gtest/gtest.h>

#include <string>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

namespace {

constexpr char kHeadPrompt[] = "Point to your HEAD and press A button\n\n";
constexpr char kChestPrompt[] = "Point to your CHEST and press A button\n\n";

TEST(BodyReferenceTest, LocateHandUsesStrictBoxesHeadFirst) {
  struct Case {
    const char* hand;  // a script's position line
    ReferencePoint head, chest;
    int expected;
  };
  const ReferencePoint head = {1000, 1000, 1000}, chest = {-3000, -3000, -3000}, origin = {};
  const Case cases[] = {
      {"position 1000 1000 1000", head, chest, 0},
      {"position 1524.9 1224.9 775.1", head, chest, 0},
      {"position 1525 1000 1000", head, chest, -1},
      {"position 475 1000 1000", head, chest, -1},
      {"position 1000 1225 1000", head, chest, -1},
      {"position 1000 775 1000", head, chest, -1},
      {"position 1000 1000 1225", head, chest, -1},
      {"position 1000 1000 775", head, chest, -1},
      {"position -3524.9 -3224.9 -2775.1", head, chest, 1},
      {"position -3000 -3000 -2775", head, chest, -1},
      {"position 1500 1000 1000", {1000, 1000, 1000}, {2000, 1000, 1000}, 0},  // near both
      {"position 2400 1000 1000", {1000, 1000, 1000}, {2000, 1000, 1000}, 1},
      {"position 524 -224 224", origin, origin, 0},  // not calibrated: both at the origin
      {"position 0 0 225", origin, origin, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hand);
    VirtualWorld sim(c.hand);
    RecognitionContext context;
    context.reference.point[kReferenceHead] = c.head;
    context.reference.point[kReferenceChest] = c.chest;
    EXPECT_EQ(locateHand(context), c.expected);
  }
}

// Each point is the hand's position when A goes down; moving while A is held, or
// before the release is seen, changes nothing.
TEST(BodyReferenceTest, CalibrationStoresThePositionWhenAGoesDown) {
  VirtualWorld sim(
      "position 10 20 30\nwait 100\npress A\nwait 100\nposition 40 50 60\nwait 100\nrelease A\n"
      "wait 100\nposition 70 80 90\nwait 100\npress A\nwait 50\nposition 1 1 1\nwait 50\nrelease A");
  RecognitionContext context;
  EXPECT_EQ(calibrateReferences(context), 0);
  EXPECT_EQ(sim.console(), std::string(kHeadPrompt) + kChestPrompt);
  const ReferencePoint& head = context.reference.point[kReferenceHead];
  const ReferencePoint& chest = context.reference.point[kReferenceChest];
  EXPECT_EQ(head.x, 10.0f);
  EXPECT_EQ(head.y, 20.0f);
  EXPECT_EQ(head.z, 30.0f);
  EXPECT_EQ(chest.x, 70.0f);
  EXPECT_EQ(chest.y, 80.0f);
  EXPECT_EQ(chest.z, 90.0f);
  EXPECT_GE(world.nowMicros, 600'000);  // returned only once A was up again
}

TEST(BodyReferenceTest, CalibrationWaitsForEachPress) {
  struct Case {
    const char* script;
    std::string console;
  };
  const Case cases[] = {
      {"position 10 20 30", kHeadPrompt},
      {"wait 100\ntap A", std::string(kHeadPrompt) + kChestPrompt},
      {"wait 100\npress A", kHeadPrompt},  // never released: the chest is not asked for
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    VirtualWorld sim(c.script);
    RecognitionContext context;
    EXPECT_THROW(calibrateReferences(context), SimulationStopped);
    EXPECT_EQ(sim.console(), c.console);
  }
}

}  // namespace
