// The rig's scenario clock: the wall clock, with the host's stalls of the rig or the
// program taken out.

#include "rig/scenario_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
  enum Kind { kWake, kPlan, kReplyDone, kRequest } kind;
  int64_t micros;    // wall time for kWake, scenario time for kPlan
  int64_t expected;  // the scenario time a kWake must read
};

struct Case {
  const char* what;
  std::vector<Step> steps;
};

TEST(ScenarioClock, FollowsTheWallClockUnlessTheHostStallsTheRigOrTheProgram) {
  using S = Step;
  const Case cases[] = {
      {"on time: the wall clock itself",
       {{S::kPlan, 1000, 0}, {S::kWake, 1000, 1000}, {S::kPlan, 2000, 0}, {S::kWake, 1900, 1900},
        {S::kPlan, 3000, 0}, {S::kWake, 3500, 3500}}},
      {"a late wake within the allowance is kept",
       {{S::kPlan, 1000, 0}, {S::kWake, 1000 + kWakeAllowanceMicros, 1000 + kWakeAllowanceMicros}}},
      {"a stalled rig: the scenario moves on by its plan and the allowance only",
       {{S::kPlan, 1000, 0}, {S::kWake, 101'000, 1000 + kWakeAllowanceMicros},
        {S::kPlan, 3000, 0}, {S::kWake, 103'000 - kWakeAllowanceMicros, 3000}}},
      {"a program that asks again promptly keeps the scenario going",
       {{S::kPlan, 1000, 0}, {S::kWake, 1000, 1000}, {S::kReplyDone, 0, 0}, {S::kPlan, 2000, 0},
        {S::kWake, 2000, 2000}, {S::kRequest, 0, 0}, {S::kPlan, 9000, 0}, {S::kWake, 9000, 9000}}},
      {"a program that is late: the scenario waits for its request",
       {{S::kPlan, 1000, 0}, {S::kWake, 1000, 1000}, {S::kReplyDone, 0, 0},
        {S::kPlan, 2000, 0}, {S::kWake, 2000, 2000}, {S::kPlan, 3000, 0}, {S::kWake, 3000, 3000},
        {S::kPlan, 4000, 0}, {S::kWake, 4000, 1000 + kPromptRequestMicros},
        {S::kPlan, 5000, 0}, {S::kWake, 50'000, 1000 + kPromptRequestMicros},
        {S::kRequest, 0, 0}, {S::kPlan, 6000, 0}, {S::kWake, 50'500, 4500}}},
      {"a program that went elsewhere: the scenario waits a while, then runs on",
       {{S::kPlan, 1000, 0}, {S::kWake, 1000, 1000}, {S::kReplyDone, 0, 0},
        {S::kPlan, 5000, 0}, {S::kWake, 5000, 1000 + kPromptRequestMicros},
        {S::kPlan, 5000, 0}, {S::kWake, 5000 + kLongestHoldMicros + 1000, 5000 + kWakeAllowanceMicros}}},
  };
  for (const Case& c : cases) {
    ScenarioClock clock;
    int index = 0;
    for (const Step& step : c.steps) {
      ++index;
      switch (step.kind) {
        case Step::kWake:
          EXPECT_EQ(scenarioClockAt(clock, step.micros), step.expected) << c.what << ", step " << index;
          break;
        case Step::kPlan:
          scenarioClockPlan(clock, step.micros);
          break;
        case Step::kReplyDone:
          scenarioClockReplyDone(clock);
          break;
        case Step::kRequest:
          scenarioClockRequest(clock);
          break;
      }
    }
  }
}

TEST(ScenarioClock, NeverGoesBackAndMapsScenarioTimeToWallTime) {
  ScenarioClock clock;
  scenarioClockPlan(clock, 1000);
  EXPECT_EQ(scenarioClockAt(clock, 60'000), 1000 + kWakeAllowanceMicros);
  EXPECT_EQ(scenarioClockWallFor(clock, 3000), 3000 + 60'000 - 1000 - kWakeAllowanceMicros);
  EXPECT_EQ(scenarioClockAt(clock, 59'000), 1000 + kWakeAllowanceMicros) << "an earlier wall reading";
}

}  // namespace
