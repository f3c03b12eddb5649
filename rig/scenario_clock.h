#pragma once

// The rig's scenario clock: the wall clock, less the time the host kept the rig or the
// program from running. A busy host can stop either for tens of milliseconds; were
// the scenario to run on meanwhile, the program would miss whatever happened then (a
// jolt of the arm lasts 14 ms), and its transcript would depend on the load. So:
// - when the rig wakes later than it planned, the scenario only moves on by the plan
//   plus a small allowance;
// - when the controller has finished a reply and the program, which samples without
//   pause, has not asked again soon after, the scenario waits for it (for a while:
//   the program may have left its sampling loop for the menu or a time-out).
// On an idle host neither happens and the scenario runs exactly with the wall clock.

#include <cstdint>

// How late the rig may wake before the lateness is taken out of the scenario.
constexpr int64_t kWakeAllowanceMicros = 1000;
// How soon after a reply a sampling program sends its next request.
constexpr int64_t kPromptRequestMicros = 3000;
// How long the scenario waits for a request that does not come before running on.
constexpr int64_t kLongestHoldMicros = 300'000;

struct ScenarioClock {
  int64_t lostMicros = 0;          // wall time the scenario has not seen
  int64_t plannedMicros = 0;       // when the rig meant to wake next, scenario time
  int64_t replyDoneMicros = -1;    // the last reply ended then and no request since
  int64_t holdingSinceWall = -1;   // wall time the scenario started waiting for one
  int64_t nowMicros = 0;           // scenario time; never goes back
};

// Scenario time at the given wall time (both from the start of the run).
int64_t scenarioClockAt(ScenarioClock& clock, int64_t wallMicros);

// The rig plans to wake at this scenario time.
void scenarioClockPlan(ScenarioClock& clock, int64_t atMicros);

// The wall time at which the scenario reaches atMicros, if nothing is lost meanwhile.
int64_t scenarioClockWallFor(const ScenarioClock& clock, int64_t atMicros);

// The controller has sent the last byte it had, at the clock's time now.
void scenarioClockReplyDone(ScenarioClock& clock);

// The program has sent a request.
void scenarioClockRequest(ScenarioClock& clock);
