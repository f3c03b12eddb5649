#include "recognition/movement_classifier.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <utility>
#include <vector>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

namespace {

using Point = std::array<float, 3>;
using Path = std::vector<Point>;

// A track recording only the path; everything after it is the zero fill.
MovementTrack pathTrack(const Path& path) {
  MovementTrack track;
  for (size_t i = 0; i < path.size(); ++i)
    for (int axis = 0; axis < 3; ++axis) track.channel[kChannelX + axis][i] = path[i][axis];
  return track;
}

// count copies of value, then the next pair's, and so on.
std::vector<float> series(std::initializer_list<std::pair<float, int>> runs) {
  std::vector<float> values;
  for (const auto& [value, count] : runs) values.insert(values.end(), count, value);
  return values;
}

void fill(MovementTrack& track, int channel, const std::vector<float>& values) {
  for (size_t i = 0; i < values.size(); ++i) track.channel[channel][i] = values[i];
}

using Test = int (*)(const MovementTrack&);

struct PathCase {
  const char* name;
  Test test;
  Path path;
  int expected;
};

// clang-format off
const PathCase kPathCases[] = {
    {"left to right over 150", leftToRight, {{100, 300, 400}, {251, 300, 400}}, 1},
    {"left to right of exactly 150", leftToRight, {{100, 300, 400}, {250, 300, 400}}, 0},
    {"step back of 20 is allowed", leftToRight, {{100, 300, 400}, {200, 300, 400}, {180, 300, 400}, {260, 300, 400}}, 1},
    {"step back of 21 is not", leftToRight, {{100, 300, 400}, {200, 300, 400}, {179, 300, 400}, {260, 300, 400}}, 0},
    {"y may drift 225", leftToRight, {{100, 300, 400}, {200, 525, 400}, {260, 300, 175}}, 1},
    {"y drifting 226 leaves the corridor", leftToRight, {{100, 300, 400}, {200, 526, 400}, {260, 300, 400}}, 0},
    {"z drifting 226 leaves the corridor", leftToRight, {{100, 300, 400}, {200, 300, 174}, {260, 300, 400}}, 0},
    {"travel counts to the last sample", leftToRight, {{100, 300, 400}, {260, 300, 400}, {250, 300, 400}}, 0},
    {"zero fill ends the path", leftToRight, {{100, 300, 400}, {260, 300, 400}, {0, 0, 0}, {50, 300, 400}}, 1},
    {"x alone at 0 is no end", leftToRight, {{-100, 300, 400}, {0, 300, 400}, {60, 300, 400}}, 1},
    {"one sample travels nowhere", leftToRight, {{100, 300, 400}}, 0},
    {"toward the body over 90", towardBody, {{100, 300, 400}, {100, 300, 309}}, 1},
    {"toward the body by exactly 90", towardBody, {{100, 300, 400}, {100, 300, 310}}, 0},
    {"z may step up 20", towardBody, {{100, 300, 400}, {100, 300, 350}, {100, 300, 370}, {100, 300, 300}}, 1},
    {"z stepping up 21 fails", towardBody, {{100, 300, 400}, {100, 300, 350}, {100, 300, 371}, {100, 300, 300}}, 0},
    {"x leaving the corridor fails", towardBody, {{100, 300, 400}, {326, 300, 350}, {100, 300, 300}}, 0},
    {"away right down", awayRightDown, {{100, 300, 400}, {251, 149, 491}}, 1},
    {"away right down short in x", awayRightDown, {{100, 300, 400}, {250, 149, 491}}, 0},
    {"away right down short in y", awayRightDown, {{100, 300, 400}, {251, 150, 491}}, 0},
    {"away right down short in z", awayRightDown, {{100, 300, 400}, {251, 149, 490}}, 0},
    {"away right down with y stepping up 21", awayRightDown, {{100, 300, 400}, {200, 200, 450}, {251, 221, 491}, {260, 100, 500}}, 0},
    {"down over 150", down, {{100, 300, 400}, {325, 149, 175}}, 1},
    {"down by exactly 150", down, {{100, 300, 400}, {100, 150, 400}}, 0},
    {"down with x out of the corridor", down, {{100, 300, 400}, {326, 149, 400}}, 0},
    {"away right up", awayRightUp, {{100, 300, 400}, {251, 451, 491}}, 1},
    {"away right up short in y", awayRightUp, {{100, 300, 400}, {251, 450, 491}}, 0},
    {"away right up with y stepping back 21", awayRightUp, {{100, 300, 400}, {200, 400, 450}, {251, 379, 491}, {260, 500, 500}}, 0},
    // The path ends only where x, y and z are all 0; any two of them at 0 are data.
    {"x and y at 0 with z is data", leftToRight, {{-100, 100, 400}, {0, 0, 400}, {60, 100, 400}}, 1},
    {"x and z at 0 with y is data", leftToRight, {{-100, 300, 100}, {0, 300, 0}, {60, 300, 100}}, 1},
    {"y and z at 0 with x is data", leftToRight, {{100, 100, 100}, {200, 0, 0}, {260, 100, 100}}, 1},
    {"x, y and z at 0 end the path", leftToRight, {{-100, 100, 100}, {0, 0, 0}, {60, 100, 100}}, 0},
};

// Each axis rule of each path test at its limit and one past it, from a path that
// passes: a corridor holds 225 either side of the start inclusive, a step against the
// direction of travel may be 20.
struct AxisCase {
  const char* name;
  Test test;
  Point start, end;  // a straight path between them passes the test
  int axis;
  float offset;  // added to that axis of the middle sample (corridor) or of the last two (step)
  int expected;
};

// clang-format off
const AxisCase kAxisCases[] = {
    {"leftToRight y +225", leftToRight, {0, 300, 400}, {300, 300, 400}, 1, 225, 1},
    {"leftToRight y +226", leftToRight, {0, 300, 400}, {300, 300, 400}, 1, 226, 0},
    {"leftToRight y -225", leftToRight, {0, 300, 400}, {300, 300, 400}, 1, -225, 1},
    {"leftToRight y -226", leftToRight, {0, 300, 400}, {300, 300, 400}, 1, -226, 0},
    {"leftToRight z +225", leftToRight, {0, 300, 400}, {300, 300, 400}, 2, 225, 1},
    {"leftToRight z +226", leftToRight, {0, 300, 400}, {300, 300, 400}, 2, 226, 0},
    {"towardBody x +225", towardBody, {100, 300, 400}, {100, 300, 200}, 0, 225, 1},
    {"towardBody x +226", towardBody, {100, 300, 400}, {100, 300, 200}, 0, 226, 0},
    {"towardBody x -225", towardBody, {100, 300, 400}, {100, 300, 200}, 0, -225, 1},
    {"towardBody x -226", towardBody, {100, 300, 400}, {100, 300, 200}, 0, -226, 0},
    {"towardBody y +225", towardBody, {100, 300, 400}, {100, 300, 200}, 1, 225, 1},
    {"towardBody y +226", towardBody, {100, 300, 400}, {100, 300, 200}, 1, 226, 0},
    {"towardBody y -225", towardBody, {100, 300, 400}, {100, 300, 200}, 1, -225, 1},
    {"towardBody y -226", towardBody, {100, 300, 400}, {100, 300, 200}, 1, -226, 0},
    {"down x +225", down, {100, 300, 400}, {100, 100, 400}, 0, 225, 1},
    {"down x -226", down, {100, 300, 400}, {100, 100, 400}, 0, -226, 0},
    {"down z -225", down, {100, 300, 400}, {100, 100, 400}, 2, -225, 1},
    {"down z -226", down, {100, 300, 400}, {100, 100, 400}, 2, -226, 0},
    {"down z +225", down, {100, 300, 400}, {100, 100, 400}, 2, 225, 1},
    {"down z +226", down, {100, 300, 400}, {100, 100, 400}, 2, 226, 0},
};
// clang-format on

// Steps: the last sample moves back against the direction by `back` from the one before.
struct StepCase {
  const char* name;
  Test test;
  Point start, end;
  int axis;
  float back;  // signed: how far the last sample lies from the one before it, against travel
  int expected;
};

// clang-format off
const StepCase kStepCases[] = {
    {"leftToRight x back 20", leftToRight, {0, 300, 400}, {400, 300, 400}, 0, -20, 1},
    {"leftToRight x back 21", leftToRight, {0, 300, 400}, {400, 300, 400}, 0, -21, 0},
    {"towardBody z up 20", towardBody, {100, 300, 400}, {100, 300, 200}, 2, 20, 1},
    {"towardBody z up 21", towardBody, {100, 300, 400}, {100, 300, 200}, 2, 21, 0},
    {"awayRightDown x back 20", awayRightDown, {0, 400, 0}, {400, 0, 400}, 0, -20, 1},
    {"awayRightDown x back 21", awayRightDown, {0, 400, 0}, {400, 0, 400}, 0, -21, 0},
    {"awayRightDown y up 20", awayRightDown, {0, 400, 0}, {400, 0, 400}, 1, 20, 1},
    {"awayRightDown y up 21", awayRightDown, {0, 400, 0}, {400, 0, 400}, 1, 21, 0},
    {"awayRightDown z back 20", awayRightDown, {0, 400, 0}, {400, 0, 400}, 2, -20, 1},
    {"awayRightDown z back 21", awayRightDown, {0, 400, 0}, {400, 0, 400}, 2, -21, 0},
    {"down y up 20", down, {100, 300, 400}, {100, 0, 400}, 1, 20, 1},
    {"down y up 21", down, {100, 300, 400}, {100, 0, 400}, 1, 21, 0},
    {"awayRightUp x back 20", awayRightUp, {0, 0, 0}, {400, 400, 400}, 0, -20, 1},
    {"awayRightUp x back 21", awayRightUp, {0, 0, 0}, {400, 400, 400}, 0, -21, 0},
    {"awayRightUp y back 20", awayRightUp, {0, 0, 0}, {400, 400, 400}, 1, -20, 1},
    {"awayRightUp y back 21", awayRightUp, {0, 0, 0}, {400, 400, 400}, 1, -21, 0},
    {"awayRightUp z back 20", awayRightUp, {0, 0, 0}, {400, 400, 400}, 2, -20, 1},
    {"awayRightUp z back 21", awayRightUp, {0, 0, 0}, {400, 400, 400}, 2, -21, 0},
};
// clang-format on

// Travel: the end lies exactly the travel from the start (not enough) or one more.
struct TravelCase {
  Test test;
  Point start, end;
  int axis;
  float travel;  // signed by direction
};

const TravelCase kTravelCases[] = {
    {leftToRight, {0, 300, 400}, {400, 300, 400}, 0, 150},
    {towardBody, {100, 300, 400}, {100, 300, 200}, 2, -90},
    {awayRightDown, {0, 400, 0}, {400, 0, 400}, 0, 150},
    {awayRightDown, {0, 400, 0}, {400, 0, 400}, 1, -150},
    {awayRightDown, {0, 400, 0}, {400, 0, 400}, 2, 90},
    {down, {100, 300, 400}, {100, 0, 400}, 1, -150},
    {awayRightUp, {0, 0, 0}, {400, 400, 400}, 0, 150},
    {awayRightUp, {0, 0, 0}, {400, 400, 400}, 1, 150},
    {awayRightUp, {0, 0, 0}, {400, 400, 400}, 2, 90},
};

// Five samples on the straight line from start to end (never all three at 0 after the first).
Path straight(Point start, Point end) {
  Path path;
  for (int i = 0; i < 5; ++i) {
    Point p;
    for (int axis = 0; axis < 3; ++axis) p[axis] = start[axis] + (end[axis] - start[axis]) * static_cast<float>(i) / 4;
    if (i > 0 && p[0] == 0 && p[1] == 0 && p[2] == 0) p[0] = 1;
    path.push_back(p);
  }
  return path;
}
// clang-format on

TEST(MovementPath, TravelStepsAndCorridors) {
  for (const PathCase& path : kPathCases) EXPECT_EQ(path.test(pathTrack(path.path)), path.expected) << path.name;
}

TEST(MovementPath, EveryCorridorStepAndTravelAtItsLimit) {
  for (const AxisCase& c : kAxisCases) {
    Path path = straight(c.start, c.end);
    path[2][c.axis] = c.start[c.axis] + c.offset;
    EXPECT_EQ(c.test(pathTrack(path)), c.expected) << c.name;
  }
  for (const StepCase& c : kStepCases) {
    Path path = straight(c.start, c.end);
    path.push_back(path.back());
    path.back()[c.axis] += c.back;
    EXPECT_EQ(c.test(pathTrack(path)), c.expected) << c.name;
  }
  for (const TravelCase& c : kTravelCases) {
    for (float beyond : {0.0f, 1.0f}) {
      Point end = c.end;
      end[c.axis] = c.start[c.axis] + c.travel + (c.travel > 0 ? beyond : -beyond);
      EXPECT_EQ(c.test(pathTrack(straight(c.start, end))), beyond > 0 ? 1 : 0)
          << "axis " << c.axis << " travel " << c.travel << " + " << beyond;
    }
  }
}

TEST(MovementPath, FullTrackUsesItsLastSample) {
  Path path;
  for (int i = 0; i < kTrackSamples; ++i) path.push_back({100.0f + 6.0f * static_cast<float>(i), 300, 400});
  EXPECT_EQ(leftToRight(pathTrack(path)), 1);  // 174 in all
  path.back()[0] = 250;
  EXPECT_EQ(leftToRight(pathTrack(path)), 0);
}

struct RollCase {
  const char* name;
  std::vector<float> c3, c4;
  int expected;
};

// clang-format off
const RollCase kRollCases[] = {
    {"steady hand after six qualifying samples", series({{200, 8}}), series({{30, 8}}), 1},
    {"data ending right after the sixth", series({{200, 7}}), series({{30, 7}}), 0},
    {"second angle alone at 0 is no end", series({{200, 8}}), series({{0, 8}}), 1},
    {"third angle alone at 0 is no end", series({{200, 7}, {0, 1}}), series({{30, 8}}), 1},
    {"both angles at 0 end the data", series({{200, 7}, {0, 1}}), series({{30, 7}, {0, 1}}), 0},
    {"third angle reaching 100 once", series({{50, 1}, {100, 1}, {50, 6}}), series({{30, 8}}), 1},
    {"third angle never reaching 100", series({{50, 1}, {99, 1}, {50, 28}}), series({{30, 30}}), 0},
    {"rise of 10 breaks the first phase", series({{200, 11}}), series({{30, 3}, {40, 8}}), 0},
    {"first phase restarts after the break", series({{200, 12}}), series({{30, 3}, {40, 9}}), 1},
    {"fall of 10 breaks the second phase", series({{200, 4}, {190, 5}}), series({{30, 9}}), 0},
    {"second phase restarts at 3 after the break", series({{200, 4}, {190, 6}}), series({{30, 10}}), 1},
};
// clang-format on

TEST(MovementRollWrists, PhasesGapsAndHighAngle) {
  for (const RollCase& roll : kRollCases) {
    MovementTrack track;
    fill(track, kChannelOrient3, roll.c3);
    fill(track, kChannelOrient2, roll.c4);
    EXPECT_EQ(rollWrists(track), roll.expected) << roll.name;
  }
}

struct FingerCase {
  const char* name;
  std::vector<float> c3, index, middle;
  int expected;
};

// clang-format off
const FingerCase kFingerCases[] = {
    {"rise, hold, rise", series({{-120, 30}}), {10, 20, 20, 30}, {}, 1},
    {"angle just above the band", series({{101, 30}}), {10, 20, 20, 30}, {}, 1},
    {"angle just below the band", series({{-1, 30}}), {10, 20, 20, 30}, {}, 1},
    {"angle 0 stops every finger", series({{0, 30}}), {10, 20, 20, 30}, {10, 20, 20, 30}, 0},
    {"angle 100 stops every finger", series({{100, 30}}), {10, 20, 20, 30}, {10, 20, 20, 30}, 0},
    {"angle in the band at the start", series({{50, 1}, {-120, 29}}), {10, 20, 20, 30}, {10, 20, 20, 30}, 0},
    {"rise, fall, hold, rise", series({{-120, 30}}), {10, 20, 15, 15, 25}, {}, 1},
    {"only one rise", series({{-120, 30}}), {10, 20, 30, 40}, {}, 0},
    {"no rise at the first pair fails at once", series({{-120, 30}}), {10, 10, 20, 10, 20}, {10, 20, 20, 30}, 0},
    {"a finger stopped by the angle hands over", series({{-120, 3}, {50, 27}}), {10, 20, 20, 20}, {10, 20, 15, 25}, 1},
};
// clang-format on

TEST(MovementFingers, IncreaseDecreaseIncrease) {
  for (const FingerCase& fingers : kFingerCases) {
    MovementTrack track;
    fill(track, kChannelOrient3, fingers.c3);
    fill(track, kChannelIndex, fingers.index);
    fill(track, kChannelMiddle, fingers.middle);
    EXPECT_EQ(fingersIncDecInc(track), fingers.expected) << fingers.name;
  }
}

TEST(MovementClassifier, FirstPassingTestInOrder) {
  struct Case {
    const char* name;
    Path path;
    MovementCode expected;
  };
  const Case cases[] = {
      {"nothing recorded", {}, kMovementNone},
      {"toward the body and down", {{100, 300, 400}, {100, 140, 300}}, kTowardBody},
      {"left to right before away right up", {{100, 300, 400}, {260, 460, 500}}, kLeftToRight},
      {"away right up", {{100, 300, 400}, {400, 600, 700}}, kAwayRightUp},
      {"away right down", {{100, 300, 400}, {400, 0.5f, 700}}, kAwayRightDown},
      {"down", {{100, 300, 400}, {100, 100, 400}}, kDown},
      {"still hand", {{100, 300, 400}, {100, 300, 400}}, kMovementNone},
  };
  for (const Case& movement : cases) {
    RecognitionContext context;
    context.track = pathTrack(movement.path);
    EXPECT_EQ(classifyMovement(context), movement.expected) << movement.name;
  }

  RecognitionContext context;
  context.track = pathTrack({{100, 300, 400}, {260, 300, 400}});
  fill(context.track, kChannelOrient3, series({{200, 8}}));
  fill(context.track, kChannelOrient2, series({{30, 8}}));
  EXPECT_EQ(classifyMovement(context), kLeftToRight) << "left to right before the wrist roll";
  fill(context.track, kChannelOrient3, series({{-120, 8}}));
  fill(context.track, kChannelIndex, {10, 20, 20, 30});
  EXPECT_EQ(classifyMovement(context), kFingersIncDecInc) << "finger wave before everything";
  context.track = MovementTrack{};
  fill(context.track, kChannelOrient3, series({{200, 8}}));
  fill(context.track, kChannelOrient2, series({{30, 8}}));
  EXPECT_EQ(classifyMovement(context), kRollWrists) << "wrist roll without a path";
}

TEST(MovementClassifier, Texts) {
  const char* const expected[] = {"UNKNOWN MOVEMENT\n", "fingersIncDecInc\n", "leftToRight\n", "towardBody\n",
                                  "rollWrists\n",       "awayRightDown\n",    "down\n",        "awayRightUp\n"};
  static_assert(std::size(expected) == kLastMovement + 1);
  for (MovementCode code = 0; code <= kLastMovement; ++code) EXPECT_STREQ(movementText(code), expected[code]);
  EXPECT_STREQ(movementText(8), "");
}

TEST(MovementClassifier, CycleWaitsForMovementThenPrintsIt) {
  VirtualWorld scene("position 100 350 400\nwait 200\nmove towardBody\nwait 1000");
  RecognitionContext context;
  runMovementCycle(context);
  EXPECT_EQ(scene.console(), "towardBody\n");
}

}  // namespace
