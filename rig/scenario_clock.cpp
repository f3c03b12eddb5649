#include "rig/scenario_clock.h"

#include <algorithm>

int64_t scenarioClockAt(ScenarioClock& clock, int64_t wallMicros) {
  int64_t candidate = wallMicros - clock.lostMicros;
  const int64_t latest = clock.plannedMicros + kWakeAllowanceMicros;
  if (candidate > latest) {
    clock.lostMicros += candidate - latest;
    candidate = latest;
  }
  if (clock.replyDoneMicros >= 0) {
    const int64_t holdAt = clock.replyDoneMicros + kPromptRequestMicros;
    if (candidate > holdAt) {
      if (clock.holdingSinceWall < 0) clock.holdingSinceWall = wallMicros - (candidate - holdAt);
      if (wallMicros - clock.holdingSinceWall <= kLongestHoldMicros) {
        clock.lostMicros += candidate - holdAt;
        candidate = holdAt;
      } else {
        clock.replyDoneMicros = -1;  // the program has gone elsewhere: run on from here
        clock.holdingSinceWall = -1;
      }
    }
  }
  clock.nowMicros = std::max(clock.nowMicros, candidate);
  return clock.nowMicros;
}

void scenarioClockPlan(ScenarioClock& clock, int64_t atMicros) { clock.plannedMicros = std::max(atMicros, clock.nowMicros); }

int64_t scenarioClockWallFor(const ScenarioClock& clock, int64_t atMicros) { return atMicros + clock.lostMicros; }

void scenarioClockReplyDone(ScenarioClock& clock) {
  clock.replyDoneMicros = clock.nowMicros;
  clock.holdingSinceWall = -1;
}

void scenarioClockRequest(ScenarioClock& clock) {
  clock.replyDoneMicros = -1;
  clock.holdingSinceWall = -1;
}
