#include "recognition/movement_classifier.h"

#include "control/recognition_context.h"
#include "platform/console.h"

namespace {

const char* const kMovementTexts[kLastMovement + 1] = {
    "UNKNOWN MOVEMENT\n", "fingersIncDecInc\n", "leftToRight\n", "towardBody\n",
    "rollWrists\n",       "awayRightDown\n",    "down\n",        "awayRightUp\n",
};

// What a path test asks of one axis at every sample after the first.
enum class AxisRule {
  kFree,
  kCorridor,  // stays within kCorridorHalfWidth of its first value
  kRising,    // never steps back by more than kStepBack
  kFalling,   // never steps up by more than kStepBack
};

constexpr float kCorridorHalfWidth = 225.0f;
constexpr float kStepBack = 20.0f;
constexpr float kSideTravel = 150.0f;   // x and y
constexpr float kDepthTravel = 90.0f;   // z

// A path test: a rule per axis (x, y, z) and the travel each axis must exceed from
// the first to the last recorded sample, signed by direction (0: none asked).
struct PathTest {
  AxisRule rule[3];
  float travel[3];
};

constexpr PathTest kLeftToRightPath = {{AxisRule::kRising, AxisRule::kCorridor, AxisRule::kCorridor},
                                   {kSideTravel, 0, 0}};
constexpr PathTest kTowardBodyPath = {{AxisRule::kCorridor, AxisRule::kCorridor, AxisRule::kFalling},
                                  {0, 0, -kDepthTravel}};
constexpr PathTest kAwayRightDownPath = {{AxisRule::kRising, AxisRule::kFalling, AxisRule::kRising},
                                     {kSideTravel, -kSideTravel, kDepthTravel}};
constexpr PathTest kDownPath = {{AxisRule::kCorridor, AxisRule::kFalling, AxisRule::kCorridor},
                            {0, -kSideTravel, 0}};
constexpr PathTest kAwayRightUpPath = {{AxisRule::kRising, AxisRule::kRising, AxisRule::kRising},
                                   {kSideTravel, kSideTravel, kDepthTravel}};

bool axisHolds(AxisRule rule, const float* axis, int i) {
  switch (rule) {
    case AxisRule::kFree:
      return true;
    case AxisRule::kCorridor:
      return axis[0] - kCorridorHalfWidth <= axis[i] && axis[i] <= axis[0] + kCorridorHalfWidth;
    case AxisRule::kRising:
      return axis[i] >= axis[i - 1] - kStepBack;
    case AxisRule::kFalling:
      return axis[i] <= axis[i - 1] + kStepBack;
  }
  return false;
}

bool travelled(float travel, const float* axis, int last) {
  if (travel > 0) return axis[last] - axis[0] > travel;
  if (travel < 0) return axis[0] - axis[last] > -travel;
  return true;
}

// Scans the recorded path up to the zero fill, failing at the first sample that
// breaks a rule, then checks the travel from the first to the last sample.
int followsPath(const MovementTrack& track, const PathTest& test) {
  const float* axes[3] = {track.channel[kChannelX], track.channel[kChannelY], track.channel[kChannelZ]};
  int last = kTrackSamples - 1;
  for (int i = 1; i < kTrackSamples; ++i) {
    if (axes[0][i] == 0 && axes[1][i] == 0 && axes[2][i] == 0) {
      last = i - 1;
      break;
    }
    for (int axis = 0; axis < 3; ++axis)
      if (!axisHolds(test.rule[axis], axes[axis], i)) return 0;
  }
  for (int axis = 0; axis < 3; ++axis)
    if (!travelled(test.travel[axis], axes[axis], last)) return 0;
  // With nothing after the first sample every travel is 0, which no test accepts.
  return 1;
}

// Orientation thresholds of the wrist roll.
constexpr float kRollAngleStep = 10.0f;
constexpr float kRollThirdAngleHigh = 100.0f;
constexpr int kRollPhaseLength = 3;

// Fingers scanned by fingersIncDecInc, and the band of the third angle that stops a scan.
constexpr int kScannedFingers[] = {kChannelIndex, kChannelMiddle, kChannelRing, kChannelLittle};
constexpr float kFingerScanStopLow = 0.0f;
constexpr float kFingerScanStopHigh = 100.0f;

}  // namespace

int fingersIncDecInc(const MovementTrack& track) {
  const float* c3 = track.channel[kChannelOrient3];
  for (int channel : kScannedFingers) {
    const float* f = track.channel[channel];
    bool inc = false, dec = false;
    for (int j = 0; j < kTrackSamples - 1; ++j) {
      if (kFingerScanStopLow <= c3[j] && c3[j] <= kFingerScanStopHigh) break;
      if (!dec && f[j + 1] > f[j]) {
        inc = true;
      } else if (inc && f[j + 1] <= f[j]) {
        dec = true;
      } else if (inc && dec && f[j + 1] > f[j]) {
        return 1;
      } else {
        return 0;
      }
    }
  }
  return 0;
}

int leftToRight(const MovementTrack& track) { return followsPath(track, kLeftToRightPath); }
int towardBody(const MovementTrack& track) { return followsPath(track, kTowardBodyPath); }
int awayRightDown(const MovementTrack& track) { return followsPath(track, kAwayRightDownPath); }
int down(const MovementTrack& track) { return followsPath(track, kDownPath); }
int awayRightUp(const MovementTrack& track) { return followsPath(track, kAwayRightUpPath); }

// Counts a run of samples: first three in which the second angle rises by less than
// kRollAngleStep, then three in which the third angle falls by less than it. Once
// the run is complete, the next sample passes if the third angle has reached
// kRollThirdAngleHigh at least once.
int rollWrists(const MovementTrack& track) {
  const float* c3 = track.channel[kChannelOrient3];
  const float* c4 = track.channel[kChannelOrient2];
  int run = 0, last = 0, below = 0;
  for (int i = 1; i < kTrackSamples; ++i) {
    if (c3[i] == 0 && c4[i] == 0) return 0;
    if (c3[i] < kRollThirdAngleHigh) ++below;
    if (run < kRollPhaseLength && c4[i] < c4[i - 1] + kRollAngleStep) {
      run = i == last + 1 ? run + 1 : 0;
      last = i;
    } else if (run >= kRollPhaseLength && run < 2 * kRollPhaseLength && c3[i] > c3[i - 1] - kRollAngleStep) {
      run = i == last + 1 ? run + 1 : kRollPhaseLength;
      last = i;
    } else if (run == 2 * kRollPhaseLength && below != i) {
      return 1;
    }
  }
  return 0;
}

MovementCode classifyMovement(const RecognitionContext& context) {
  using Test = int (*)(const MovementTrack&);
  static constexpr Test kTestsInOrder[] = {fingersIncDecInc, leftToRight,   towardBody, rollWrists,
                                           awayRightDown,    down,          awayRightUp};
  for (int index = 0; index < kLastMovement; ++index)
    if (kTestsInOrder[index](context.track)) return index + 1;
  return kMovementNone;
}

MovementCode captureMovement(RecognitionContext& context) {
  recordMovement(context);
  return classifyMovement(context);
}

const char* movementText(MovementCode code) {
  return code >= 0 && code <= kLastMovement ? kMovementTexts[code] : "";
}

void printMovement(MovementCode code) { consolePrint("%s", movementText(code)); }

void runMovementCycle(RecognitionContext& context) {
  while (takeWindow(context) == 1) {
  }
  printMovement(captureMovement(context));
}
