#include "simulator/signer.h"

#include <algorithm>
#include <cmath>

#include "simulator/timing.h"

// How the program sees the hand, which every realisation here is built around:
// - It samples about every samplePeriodMicros(n) (n: groups touching), three samples a
//   window, windows back to back. A window is still unless a position or angle moves
//   more than 75 within it, a bend more than 4, or a contact slot changes.
// - A change that falls between the last sample of one window and the first of the
//   next is seen by no window at all.
// - A moving window is classified from its first sample's bends and angle but from its
//   last sample's contact reply.

namespace {

constexpr unsigned kButtonBitA = 1u << 0;

// Where the signer points and signs. No position is ever the origin, which the
// program's movement tests would take for the end of a recording.
struct Position {
  float x, y, z;
};
constexpr Position kHeadPosition = {0, 700, 100};
constexpr Position kChestPosition = {0, 350, 100};
constexpr Position kNeutralPosition = {0, 350, 400};
constexpr float kNeutralOrient1 = 0;
constexpr float kNeutralOrient2 = 30;
constexpr float kNeutralOrient3 = 50;  // inside 0..100, where finger-wave scans stop

constexpr int64_t kPointingMs = 100;
constexpr int64_t kTapMs = 200;

// Right-hand pads.
constexpr ContactMask kRightLittle = 0x0001, kRightRing = 0x0002, kRightMiddle = 0x0004, kRightIndex = 0x0008,
                      kRightThumb = 0x0010;

struct HandshapeRealisation {
  const char* name;
  uint8_t bend[5];  // thumb, index, middle, ring, little
  float angle2;
  ContactMask groups[2];  // 0: unused
};

// Bends keep clear of every bound the tree tests: low 1, middle 25, high 60, so that
// a jitter of 2 never crosses one. Second angle 30 unless the shape needs it negative.
constexpr ContactMask kTIM = kRightThumb | kRightIndex | kRightMiddle;
constexpr ContactMask kTI = kRightThumb | kRightIndex;
constexpr ContactMask kTMR = kRightThumb | kRightMiddle | kRightRing;
constexpr ContactMask kTM = kRightThumb | kRightMiddle;
constexpr ContactMask kTRL = kRightThumb | kRightRing | kRightLittle;
constexpr ContactMask kIM = kRightIndex | kRightMiddle;
constexpr ContactMask kTL = kRightThumb | kRightLittle;
constexpr ContactMask kIMR = kRightIndex | kRightMiddle | kRightRing;
constexpr ContactMask kIMRL = kRightIndex | kRightMiddle | kRightRing | kRightLittle;

constexpr HandshapeRealisation kHandshapes[] = {
    {"round", {60, 60, 60, 60, 60}, 30, {kTIM}},
    {"okay", {60, 30, 1, 1, 1}, 30, {kTI}},
    {"point", {60, 1, 60, 60, 60}, 30, {kTMR}},
    {"hook", {60, 25, 60, 60, 60}, 30, {kTMR}},
    {"two", {60, 1, 1, 60, 60}, 30, {kTRL}},
    {"kneel", {60, 60, 60, 60, 60}, 30, {kTRL}},
    {"Perth", {60, 1, 60, 60, 60}, 30, {kTM}},
    {"spoon", {60, 1, 1, 60, 60}, 30, {kTRL, kIM}},
    {"letter-n", {60, 1, 1, 60, 60}, -35, {kTRL, kIM}},
    {"wish", {60, 25, 25, 60, 60}, 30, {kTRL, kIM}},
    {"three", {60, 1, 1, 1, 60}, 30, {kTL}},
    {"mother", {60, 1, 1, 1, 60}, 30, {kTL, kIMR}},
    {"letter-m", {60, 1, 1, 1, 60}, -45, {kTL, kIMR}},
    {"four", {60, 1, 1, 1, 1}, 30, {}},
    {"spread", {1, 1, 1, 1, 1}, 30, {}},
    {"ball", {25, 25, 25, 25, 25}, 30, {}},
    {"flat", {20, 1, 1, 1, 1}, 30, {kIMRL}},
    {"thick", {60, 60, 60, 60, 60}, 30, {kIMRL}},
    {"cup", {25, 25, 25, 25, 25}, 30, {kIMRL}},
    {"good", {1, 60, 60, 60, 60}, 30, {}},
    {"bad", {60, 60, 60, 60, 1}, 30, {kTMR}},
    {"gun", {1, 1, 60, 60, 60}, 30, {}},
    {"letter-c", {60, 25, 60, 60, 60}, 30, {kTM}},
    {"old-seven", {60, 60, 60, 1, 1}, 30, {kTIM}},
    {"eight", {1, 1, 1, 60, 60}, 30, {}},
    {"nine", {1, 1, 1, 1, 60}, 30, {}},
    {"fist", {60, 60, 60, 60, 60}, 30, {kTMR}},
    {"soon", {60, 25, 60, 60, 60}, 30, {}},
    {"flick", {60, 25, 60, 25, 25}, 30, {kTM}},
    {"write", {60, 60, 60, 60, 60}, 30, {kTI}},
    {"salt", {60, 25, 25, 60, 60}, 30, {kTIM}},
    {"middle", {1, 1, 60, 1, 1}, 30, {}},
    {"rude", {60, 60, 1, 60, 60}, 30, {kTRL}},
    {"ambivalent", {1, 60, 60, 60, 1}, 30, {}},
    {"love", {1, 1, 60, 60, 1}, 30, {}},
    {"animal", {60, 1, 60, 60, 1}, 30, {kTMR}},
};

// The hand at rest between signs. Its bends (index over 40; middle, ring and little
// finger between 25 and 40) make the tree answer 0 whatever pads touch, and no pads touch.
constexpr HandshapeRealisation kRest = {"rest", {20, 50, 30, 30, 30}, kNeutralOrient2, {}};

const HandshapeRealisation* findHandshape(std::string_view name) {
  for (const HandshapeRealisation& shape : kHandshapes)
    if (name == shape.name) return &shape;
  return nullptr;
}

int groupCount(const HandshapeRealisation& shape) {
  return (shape.groups[0] != 0) + (shape.groups[1] != 0);
}

int touchingNow(const ScenarioBuilder& builder) {
  return static_cast<int>(controllerEntries(builder.contacts).size());
}

int64_t periodNow(const ScenarioBuilder& builder) { return samplePeriodMicros(touchingNow(builder)); }

// The signer's tempo stretches every wait and ramp of its holds, movements and signs
// (taps and calibration keep their times); the distances stay. Tempo 1 keeps every time as it is.
int64_t paced(const ScenarioBuilder& builder, int64_t micros) {
  return builder.tempo == 1 ? micros : std::llround(static_cast<double>(micros) * builder.tempo);
}

void pacedWait(ScenarioBuilder& builder, int64_t micros) { builderWait(builder, paced(builder, micros)); }

void pacedRamp(ScenarioBuilder& builder, GloveChannel channel, float value, int64_t micros) {
  builderRamp(builder, channel, value, paced(builder, micros));
}

void setPads(ScenarioBuilder& builder, const HandshapeRealisation& shape) {
  Event untouch;
  untouch.kind = EventKind::kUntouch;
  builderEvent(builder, untouch);
  for (ContactMask group : shape.groups) {
    if (group == 0) continue;
    Event touch;
    touch.kind = EventKind::kTouch;
    touch.mask = group;
    builderEvent(builder, touch);
  }
}

void setFingers(ScenarioBuilder& builder, const HandshapeRealisation& shape, int64_t rampMicros) {
  for (int finger = 0; finger < 5; ++finger)
    pacedRamp(builder, static_cast<GloveChannel>(kFirstBendChannel + finger), shape.bend[finger], rampMicros);
  pacedRamp(builder, kGloveOrient2, shape.angle2, rampMicros);
}

// Bends, angle and pads change in the same instant. No window then mixes the old
// shape with the new one and still counts as still: a window that sees the old pads
// or the old bends beside the new ones is a moving window.
void takeShapeAtOnce(ScenarioBuilder& builder, const HandshapeRealisation& shape) {
  setFingers(builder, shape, 0);
  setPads(builder, shape);
}

// The fingers move to the shape over rampMicros, the pads switching halfway. Every
// window that overlaps the move sees the bends change, so the change cannot slip
// between two windows.
void moveToShape(ScenarioBuilder& builder, const HandshapeRealisation& shape, int64_t rampMicros) {
  setFingers(builder, shape, rampMicros);
  pacedWait(builder, rampMicros / 2);
  setPads(builder, shape);
  pacedWait(builder, rampMicros - rampMicros / 2);
}

bool atRest(const ScenarioBuilder& builder) {
  for (int finger = 0; finger < 5; ++finger)
    if (builder.pose[kFirstBendChannel + finger] != kRest.bend[finger]) return false;
  return touchingNow(builder) == 0;
}

// --- Movements ---

// A moving window must see a channel move by well over the stillness tolerance of 75:
// the signer moves twice that far in the two sample periods a window spans.
constexpr float kWindowTravel = 150.0f;

int64_t durationFor(float distance, int64_t periodMicros) {
  return static_cast<int64_t>(std::ceil(distance * 2.0f * static_cast<float>(periodMicros) / kWindowTravel));
}

struct PathRealisation {
  const char* name;
  float dx, dy, dz;
};

// Travels well beyond the 150 (sideways, up, down) and 90 (depth) the program asks
// for: the first and last windows of a movement may be still and so go unrecorded.
constexpr float kSideTravel = 700;
constexpr float kDepthTravel = 500;
constexpr PathRealisation kPaths[] = {
    {"leftToRight", kSideTravel, 0, 0},
    {"towardBody", 0, 0, -kDepthTravel},
    {"awayRightDown", kSideTravel, -kSideTravel, kDepthTravel},
    {"down", 0, -kSideTravel, 0},
    {"awayRightUp", kSideTravel, kSideTravel, kDepthTravel},
};

void movePath(ScenarioBuilder& builder, const PathRealisation& path, int64_t durationMs) {
  const float longest = std::max({std::fabs(path.dx), std::fabs(path.dy), std::fabs(path.dz)});
  const int64_t micros = durationMs > 0 ? durationMs * kMicrosPerMilli : durationFor(longest, periodNow(builder));
  pacedRamp(builder, kGloveX, builder.pose[kGloveX] + path.dx, micros);
  pacedRamp(builder, kGloveY, builder.pose[kGloveY] + path.dy, micros);
  pacedRamp(builder, kGloveZ, builder.pose[kGloveZ] + path.dz, micros);
  pacedWait(builder, micros);
}

// The wrist roll: the third angle turns past 100 and back while the second angle turns
// the other way and back. Turning back matters: with the third angle left at 100 or
// more, any later movement long enough would read as a roll too. The roll test needs
// eight samples of the outward turn; jitter on the still samples before it may cost
// two more, so the outward turn lasts twelve sample periods. The way back is quicker,
// so that the whole roll fits the movement track.
constexpr float kRollTurnPerPeriod = kWindowTravel / 2;
constexpr int kRollOutPeriods = 12;
constexpr int kRollBackPeriods = 4;
constexpr float kRollOrient2Share = -1.0f / 3;  // the second angle turns a third as far, the other way

void rollWrists(ScenarioBuilder& builder, int64_t durationMs) {
  const int64_t period = periodNow(builder);
  const int64_t total = durationMs > 0 ? durationMs * kMicrosPerMilli : (kRollOutPeriods + kRollBackPeriods) * period;
  const int64_t out = total * kRollOutPeriods / (kRollOutPeriods + kRollBackPeriods);
  const float turn = kRollTurnPerPeriod * static_cast<float>(out) / static_cast<float>(period);
  const float orient3 = builder.pose[kGloveOrient3], orient2 = builder.pose[kGloveOrient2];
  pacedRamp(builder, kGloveOrient3, orient3 + turn, out);
  pacedRamp(builder, kGloveOrient2, orient2 + turn * kRollOrient2Share, out);
  pacedWait(builder, out);
  pacedRamp(builder, kGloveOrient3, orient3, total - out);
  pacedRamp(builder, kGloveOrient2, orient2, total - out);
  pacedWait(builder, total - out);
}

// The finger wave (bend, straighten, bend) is only looked for while the third angle is
// outside 0..100. The hand turns there first, slowly enough that every window stays
// still: 0.5 a millisecond moves an angle far less than 75 in a window.
constexpr float kWaveOrient3 = -120;
constexpr float kSlowTurnPerMilli = 0.5f;

// The program needs the index bend to rise between the first two samples it records,
// and it records from the first moving window. Rising by 2.75 a sample period does
// that wherever the windows fall: a window that holds the start of the rise is still
// unless its first two samples already differ, and later windows rise 5 or more.
// Each phase lasts six sample periods, so that one whole window always falls inside
// it and sees it move (a window and the worst offset of the windows: five periods).
constexpr float kWaveRisePerPeriod = 2.75f;
constexpr int kWavePhasePeriods = 6;
constexpr int kWavePhases = 3;  // up, down, up

void turnForFingerWave(ScenarioBuilder& builder) {
  const float orient3 = builder.pose[kGloveOrient3];
  if (orient3 < 0 || orient3 > 100) return;
  const auto micros = static_cast<int64_t>((orient3 - kWaveOrient3) / kSlowTurnPerMilli * kMicrosPerMilli);
  pacedRamp(builder, kGloveOrient3, kWaveOrient3, micros);
  pacedWait(builder, micros);
}

void fingerWave(ScenarioBuilder& builder, int64_t durationMs) {
  turnForFingerWave(builder);
  const int64_t period = periodNow(builder);
  const int64_t phaseMicros = durationMs > 0 ? durationMs * kMicrosPerMilli / kWavePhases : kWavePhasePeriods * period;
  const float swing = kWaveRisePerPeriod * static_cast<float>(phaseMicros) / static_cast<float>(period);
  for (int phase = 0; phase < kWavePhases; ++phase) {
    const float step = phase % 2 == 0 ? swing : -swing;
    for (int channel = kGloveIndex; channel <= kGloveLittle; ++channel) {
      const auto finger = static_cast<GloveChannel>(channel);
      pacedRamp(builder, finger, std::clamp(builder.pose[finger] + step, 0.0f, 255.0f), phaseMicros);
    }
    pacedWait(builder, phaseMicros);
  }
}

// What signerMoveRange allows. A path window must see more than 100, well over the
// stillness tolerance, and a path lasts at least three periods, so that it cannot
// fall between two windows. The wave and the roll must fit the 30-sample track, with
// room for the windows to fall anywhere.
constexpr float kLeastSeenTravel = 100;
constexpr int kFewestPathPeriods = 3;
constexpr int kMostWavePeriods = 27;
constexpr int kMostRollPeriods = 28;
// The recorder ends after three still windows and one more; with the window the
// movement ends in and one to spare, six windows cover that wherever they fall.
constexpr int kSettlePeriods = 18;

constexpr const char* kMovementNames[] = {"fingersIncDecInc", "leftToRight", "towardBody", "rollWrists",
                                          "awayRightDown",    "down",        "awayRightUp"};

// --- Holds ---

// Before the fingers change, the arm jolts out and back. The two jumps are 1.5 sample
// periods apart, so at least one lands inside a window: the shape being left always
// shows in a moving window.
constexpr float kJoltDistance = 150;

void joltArm(ScenarioBuilder& builder) {
  const int64_t period = periodNow(builder);
  const float x = builder.pose[kGloveX];
  builderSet(builder, kGloveX, x + kJoltDistance);
  pacedWait(builder, period * 3 / 2);
  builderSet(builder, kGloveX, x);
  pacedWait(builder, period * 3);  // every window that saw the jolt is over
}

// --- Signs ---

struct SignRealisation {
  const char* word;
  const char* start;
  const char* movement;  // nullptr: the move to the closing handshape is all there is
  const char* closing;   // nullptr: any; the hand goes to rest as the movement ends
};

constexpr SignRealisation kSigns[] = {
    {"welcome", "flat", "fingersIncDecInc", nullptr}, {"to", "point", "leftToRight", nullptr},
    {"my", "fist", "towardBody", nullptr},            {"presentation", "soon", "rollWrists", nullptr},
    {"I", "point", "towardBody", nullptr},            {"hope", "point", nullptr, "wish"},
    {"this/the", "point", "awayRightDown", nullptr},  {"proves", "fist", "down", nullptr},
    {"concept", "letter-c", "awayRightUp", nullptr},
};

// A hold long enough for the program to see a still window in it.
constexpr int64_t kSignStartHoldMs = 250;
// Long enough for the movement recorder's three still windows and the one after.
constexpr int64_t kClosingHoldMs = 400;
constexpr int64_t kShapeMoveMs = 40;
constexpr int64_t kArmReturnMs = 150;
constexpr int64_t kRestMs = 300;

void returnToNeutral(ScenarioBuilder& builder) {
  const int64_t micros = kArmReturnMs * kMicrosPerMilli;
  pacedRamp(builder, kGloveX, kNeutralPosition.x, micros);
  pacedRamp(builder, kGloveY, kNeutralPosition.y, micros);
  pacedRamp(builder, kGloveZ, kNeutralPosition.z, micros);
  pacedRamp(builder, kGloveOrient1, kNeutralOrient1, micros);
  pacedRamp(builder, kGloveOrient2, kNeutralOrient2, micros);
  pacedRamp(builder, kGloveOrient3, kNeutralOrient3, micros);
  pacedWait(builder, micros);
}

// The hand relaxes (a finger move, so that every program window sees it), stays so
// long enough for a movement recording to end, and the arm goes back to neutral.
void rest(ScenarioBuilder& builder, int64_t restMs) {
  if (!atRest(builder)) {
    moveToShape(builder, kRest, kShapeMoveMs * kMicrosPerMilli);
    pacedWait(builder, kClosingHoldMs * kMicrosPerMilli);
  }
  returnToNeutral(builder);
  pacedWait(builder, restMs * kMicrosPerMilli);
}

void setPosition(ScenarioBuilder& builder, const Position& position) {
  builderSet(builder, kGloveX, position.x);
  builderSet(builder, kGloveY, position.y);
  builderSet(builder, kGloveZ, position.z);
}


void tap(ScenarioBuilder& builder, unsigned buttons, const char* where) {
  Event press;
  press.kind = EventKind::kPress;
  press.buttons = buttons;
  builderNote(builder, "pressing " + signerButtonNames(buttons) + where);
  builderEvent(builder, press);
  builderWait(builder, kTapMs * kMicrosPerMilli);
  Event release = press;
  release.kind = EventKind::kRelease;
  builderNote(builder, "releasing " + signerButtonNames(buttons));
  builderEvent(builder, release);
  builderWait(builder, kTapMs * kMicrosPerMilli);
}

}  // namespace

void signerTap(ScenarioBuilder& builder, unsigned buttons) { tap(builder, buttons, ""); }

void signerCalibrate(ScenarioBuilder& builder) {
  builderNote(builder, "pointing at the head");
  setPosition(builder, kHeadPosition);
  builderWait(builder, kPointingMs * kMicrosPerMilli);
  tap(builder, kButtonBitA, " at the head");
  builderNote(builder, "pointing at the chest");
  setPosition(builder, kChestPosition);
  builderWait(builder, kPointingMs * kMicrosPerMilli);
  tap(builder, kButtonBitA, " at the chest");
}

std::string signerButtonNames(unsigned buttons) {
  if (buttons == kAllButtons) return "all buttons";
  std::string names;
  for (int button = 0; button < 4; ++button) {
    if (!(buttons & (1u << button))) continue;
    if (!names.empty()) names += " and ";
    names += static_cast<char>('A' + button);
  }
  return names;
}

std::vector<std::string_view> signerHandshapeNames() {
  std::vector<std::string_view> names;
  for (const HandshapeRealisation& shape : kHandshapes) names.emplace_back(shape.name);
  return names;
}

std::vector<std::string_view> signerMovementNames() {
  return {std::begin(kMovementNames), std::end(kMovementNames)};
}

std::vector<std::string_view> signerWords() {
  std::vector<std::string_view> words;
  for (const SignRealisation& sign : kSigns) words.emplace_back(sign.word);
  return words;
}

bool signerKnowsHandshape(std::string_view name) { return findHandshape(name) != nullptr; }

// The fingers change first and the pads a little later, more than two sample periods
// apart: the window that sees the bends change still holds the old pads in its last
// reply, and the window that sees the pads change already holds the new bends in its
// first sample. Each moving window therefore names the old shape or the new one.
void signerHold(ScenarioBuilder& builder, std::string_view name, int64_t holdMs) {
  const HandshapeRealisation& shape = *findHandshape(name);
  joltArm(builder);
  const int64_t lag = 3 * samplePeriodMicros(std::max(touchingNow(builder), groupCount(shape)));
  setFingers(builder, shape, 0);
  pacedWait(builder, lag);
  setPads(builder, shape);
  pacedWait(builder, holdMs * kMicrosPerMilli);
}

bool signerKnowsMovement(std::string_view name) {
  return std::find(std::begin(kMovementNames), std::end(kMovementNames), name) != std::end(kMovementNames);
}

void signerMove(ScenarioBuilder& builder, std::string_view name, int64_t durationMs) {
  if (name == "fingersIncDecInc") return fingerWave(builder, durationMs);
  if (name == "rollWrists") return rollWrists(builder, durationMs);
  for (const PathRealisation& path : kPaths)
    if (name == path.name) return movePath(builder, path, durationMs);
}

MoveRange signerMoveRange(const ScenarioBuilder& builder, std::string_view name) {
  const double period = static_cast<double>(periodNow(builder));
  const auto ms = [](double micros, bool up) {
    return static_cast<int64_t>(up ? std::ceil(micros / kMicrosPerMilli) : std::floor(micros / kMicrosPerMilli));
  };
  if (name == "fingersIncDecInc")  // every phase spans a whole window; all three fit the track
    return {ms(kWavePhases * kWavePhasePeriods * period, true), ms(kMostWavePeriods * period, false),
            ms(kWavePhases * kWavePhasePeriods * period, true)};
  if (name == "rollWrists")  // the outward turn needs its twelve periods; the roll must fit the track
    return {ms((kRollOutPeriods + kRollBackPeriods) * period, true), ms(kMostRollPeriods * period, false),
            ms((kRollOutPeriods + kRollBackPeriods) * period, true)};
  float longest = 0;
  for (const PathRealisation& path : kPaths)
    if (name == path.name) longest = std::max({std::fabs(path.dx), std::fabs(path.dy), std::fabs(path.dz)});
  // A window must see the hand travel well over the stillness tolerance, and the
  // movement must last long enough that no jump can fall between two windows.
  return {ms(kFewestPathPeriods * period, true),
          ms(longest * 2 * period / kLeastSeenTravel, false),
          ms(static_cast<double>(durationFor(longest, periodNow(builder))), true)};
}

void signerSettleAfterMove(ScenarioBuilder& builder) { pacedWait(builder, kSettlePeriods * periodNow(builder)); }

bool signerKnowsWord(std::string_view word) {
  for (const SignRealisation& sign : kSigns)
    if (word == sign.word) return true;
  return false;
}

void signerSign(ScenarioBuilder& builder, std::string_view word) {
  const SignRealisation* sign = nullptr;
  for (const SignRealisation& candidate : kSigns)
    if (word == candidate.word) sign = &candidate;

  if (!atRest(builder)) rest(builder, kRestMs);
  if (sign->movement && std::string_view(sign->movement) == "fingersIncDecInc") turnForFingerWave(builder);

  takeShapeAtOnce(builder, *findHandshape(sign->start));
  pacedWait(builder, kSignStartHoldMs * kMicrosPerMilli);

  if (sign->movement) signerMove(builder, sign->movement, 0);
  if (sign->closing) {
    moveToShape(builder, *findHandshape(sign->closing), kShapeMoveMs * kMicrosPerMilli);
    pacedWait(builder, kClosingHoldMs * kMicrosPerMilli);
  }
  rest(builder, kRestMs);
}

void signerRest(ScenarioBuilder& builder, int64_t restMs) { rest(builder, restMs); }
