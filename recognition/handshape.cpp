#include "recognition/handshape.h"

#include "control/recognition_context.h"
#include "platform/console.h"

namespace {

// Right-hand pad groups the tree asks about.
constexpr ContactMask kThumbIndexMiddle = 0x001C;
constexpr ContactMask kThumbIndex = 0x0018;
constexpr ContactMask kThumbMiddleRing = 0x0016;
constexpr ContactMask kThumbMiddle = 0x0014;
constexpr ContactMask kMiddleRing = 0x0006;
constexpr ContactMask kThumbRingLittle = 0x0013;
constexpr ContactMask kIndexMiddle = 0x000C;
constexpr ContactMask kThumbLittle = 0x0011;
constexpr ContactMask kIndexMiddleRing = 0x000E;
constexpr ContactMask kFourFingers = 0x000F;

const char* const kHandshapeTexts[kLastHandshape + 1] = {
    "HANDSHAPE UNKNOWN\n\n", "round\n\n", "okay\n\n", "point\n\n", "hook\n\n", "two\n\n", "kneel\n\n",
    "Perth\n\n", "spoon\n\n", "letter-n\n\n", "wish\n\n", "three\n\n", "mother\n\n", "letter-m\n\n",
    "four\n\n", "spread\n\n", "ball\n\n", "flat\n\n", "thick\n\n", "cup\n\n", "good\n\n", "bad\n\n",
    "gun\n\n", "letter-c\n\n", "small\n\n", "old-seven\n\n", "eight\n\n", "nine\n\n", "fist\n\n",
    "soon\n\n", "flick\n\n", "write\n\n", "salt\n\n", "middle\n\n", "rude\n\n", "ambivalent\n\n",
    "love\n\n", "animal\n\n",
};

bool between(float value, float low, float high) { return low < value && value < high; }

// The inputs as the tree reads them: bends and second angle from sample 0.
struct Hand {
  float thumb, index, middle, ring, little, angle2;
};

}  // namespace

HandshapeCode classifyHandshape(const RecognitionContext& context) {
  const SampleWindow& window = context.window;
  const Hand h = {window.channel[kChannelThumb][0], window.channel[kChannelIndex][0],
                  window.channel[kChannelMiddle][0], window.channel[kChannelRing][0],
                  window.channel[kChannelLittle][0], window.channel[kChannelOrient2][0]};
  const auto group = [&context](ContactMask mask) { return hasContactGroup(context, mask) == 1; };
  const float T = h.thumb, I = h.index, M = h.middle, R = h.ring, L = h.little;

  if (group(kThumbIndexMiddle)) {
    if (R < kBendQuarterBent && L < kBendQuarterBent) return kOldSeven;
    if (R > kBendBent && L > kBendBent) {
      if (I > kBendBent && M > kBendBent) return kRound;
      if (between(I, kBendSlightlyBent, kBendBent) && between(M, kBendSlightlyBent, kBendBent)) return kSalt;
    }
    return kHandshapeNone;
  }
  if (group(kThumbIndex)) {
    if (M < kBendNearlyStraight && R < kBendNearlyStraight && L < kBendNearlyStraight) return kOkay;
    if (M > kBendBent && R > kBendBent && L > kBendBent) return kWrite;
    return kHandshapeNone;
  }
  if (M > kBendBent && R > kBendBent && group(kThumbMiddleRing)) {
    if (L > kBendBent) {
      if (I < kBendNearlyStraight) return kPoint;
      if (between(I, kBendNearlyStraight, kBendBent)) return kHook;
      if (I > kBendBent) return kFist;
      return kHandshapeNone;
    }
    if (L >= kBendNearlyStraight) return kHandshapeNone;
    if (I < kBendNearlyStraight) return kAnimal;
    if (I > kBendBent) return kBad;
    return kHandshapeNone;
  }
  if (group(kThumbMiddle)) {
    if (I < kBendBent && R < kBendBent && L < kBendBent && !group(kMiddleRing)) return kFlick;
    if (R > kBendBent && L > kBendBent) {
      if (I < kBendNearlyStraight) return kPerth;
      if (between(I, kBendNearlyStraight, kBendBent) && M > kBendBent) return kLetterC;
    }
    return kHandshapeNone;
  }
  if (group(kThumbRingLittle)) {
    if (group(kIndexMiddle)) {
      if (I < kBendLightlyBent && M < kBendLightlyBent) return between(h.angle2, -70, 0) ? kLetterN : kSpoon;
      if (between(I, kBendNearlyStraight, kBendHalfBent)) return kWish;
      return kHandshapeNone;
    }
    if (I < kBendSlightlyBent && M < kBendQuarterBent) return kTwo;
    if (I > kBendBent && M > kBendBent) return kKneel;
    if (I > kBendBent && R > kBendBent && L > kBendBent) return kRude;
    return kHandshapeNone;
  }
  if (I < kBendLightlyBent && M < kBendLightlyBent && R < kBendLightlyBent && group(kThumbLittle)) {
    if (group(kIndexMiddleRing)) return between(h.angle2, -90, 0) ? kLetterM : kMother;
    return kThree;
  }
  if (T > kBendHalfBent && I < kBendSlightlyBent && M < kBendSlightlyBent && R < kBendSlightlyBent && L < kBendSlightlyBent && !group(kFourFingers)) return kFour;
  if (group(kFourFingers)) {
    if (T < kBendBent && I < kBendSlightlyBent && M < kBendSlightlyBent && R < kBendSlightlyBent && L < kBendSlightlyBent) return kFlat;
    if (T > kBendBent && I > kBendBent && M > kBendBent && R > kBendBent && L > kBendBent) return kThick;
    if (between(I, kBendSlightlyBent, kBendBent) && between(M, kBendSlightlyBent, kBendBent) && between(R, kBendSlightlyBent, kBendBent) && between(L, kBendSlightlyBent, kBendBent)) return kCup;
    return kHandshapeNone;
  }
  if (T < kBendStraight && I < kBendStraight && M < kBendStraight && R < kBendStraight && L < kBendStraight) return kSpread;
  if (between(I, kBendNearlyStraight, kBendBent) && between(M, kBendNearlyStraight, kBendBent) && between(R, kBendNearlyStraight, kBendBent) && between(L, kBendNearlyStraight, kBendBent) && !group(kThumbLittle))
    return kBall;
  if (T < kBendNearlyStraight && I > kBendBent && M > kBendBent && R > kBendBent && L > kBendBent) return kGood;
  if (T < kBendNearlyStraight && I < kBendNearlyStraight && M > kBendBent && R > kBendBent && L > kBendBent) return kGun;
  if (T < kBendNearlyStraight && I < kBendNearlyStraight && M < kBendNearlyStraight && R > kBendSlightlyBent && L > kBendSlightlyBent) return kEight;
  if (T < kBendNearlyStraight && I < kBendNearlyStraight && M < kBendNearlyStraight && R < kBendNearlyStraight && L > kBendNearlyStraight) return kNine;
  if (T < kBendNearlyStraight && I < kBendNearlyStraight && M > kBendNearlyStraight && R < kBendNearlyStraight && L < kBendNearlyStraight) return kMiddle;
  if (T < kBendNearlyStraight && I > kBendBent && M > kBendBent && R > kBendBent && L < kBendHalfBent) return kAmbivalent;
  if (between(I, kBendSlightlyBent, kBendBent) && M > kBendBent && R > kBendBent && L > kBendBent) return kSoon;
  if (T < kBendNearlyStraight && I < kBendNearlyStraight && M > kBendBent && R > kBendBent && L < kBendBent) return kLove;
  return kHandshapeNone;
}

const char* handshapeText(HandshapeCode code) {
  return code >= 0 && code <= kLastHandshape ? kHandshapeTexts[code] : "";
}

void printHandshape(HandshapeCode code) { consolePrint("%s", handshapeText(code)); }

void runHandshapeCycle(RecognitionContext& context) {
  printHandshape(classifyHandshape(context));
  while (takeWindow(context) == 1) {
  }
}
