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
    if (R < 25 && L < 25) return kOldSeven;
    if (R > 40 && L > 40) {
      if (I > 40 && M > 40) return kRound;
      if (between(I, 15, 40) && between(M, 15, 40)) return kSalt;
    }
    return kHandshapeNone;
  }
  if (group(kThumbIndex)) {
    if (M < 10 && R < 10 && L < 10) return kOkay;
    if (M > 40 && R > 40 && L > 40) return kWrite;
    return kHandshapeNone;
  }
  if (M > 40 && R > 40 && group(kThumbMiddleRing)) {
    if (L > 40) {
      if (I < 10) return kPoint;
      if (between(I, 10, 40)) return kHook;
      if (I > 40) return kFist;
      return kHandshapeNone;
    }
    if (L >= 10) return kHandshapeNone;
    if (I < 10) return kAnimal;
    if (I > 40) return kBad;
    return kHandshapeNone;
  }
  if (group(kThumbMiddle)) {
    if (I < 40 && R < 40 && L < 40 && !group(kMiddleRing)) return kFlick;
    if (R > 40 && L > 40) {
      if (I < 10) return kPerth;
      if (between(I, 10, 40) && M > 40) return kLetterC;
    }
    return kHandshapeNone;
  }
  if (group(kThumbRingLittle)) {
    if (group(kIndexMiddle)) {
      if (I < 20 && M < 20) return between(h.angle2, -70, 0) ? kLetterN : kSpoon;
      if (between(I, 10, 30)) return kWish;
      return kHandshapeNone;
    }
    if (I < 15 && M < 25) return kTwo;
    if (I > 40 && M > 40) return kKneel;
    if (I > 40 && R > 40 && L > 40) return kRude;
    return kHandshapeNone;
  }
  if (I < 20 && M < 20 && R < 20 && group(kThumbLittle)) {
    if (group(kIndexMiddleRing)) return between(h.angle2, -90, 0) ? kLetterM : kMother;
    return kThree;
  }
  if (T > 30 && I < 15 && M < 15 && R < 15 && L < 15 && !group(kFourFingers)) return kFour;
  if (group(kFourFingers)) {
    if (T < 40 && I < 15 && M < 15 && R < 15 && L < 15) return kFlat;
    if (T > 40 && I > 40 && M > 40 && R > 40 && L > 40) return kThick;
    if (between(I, 15, 40) && between(M, 15, 40) && between(R, 15, 40) && between(L, 15, 40)) return kCup;
    return kHandshapeNone;
  }
  if (T < 5 && I < 5 && M < 5 && R < 5 && L < 5) return kSpread;
  if (between(I, 10, 40) && between(M, 10, 40) && between(R, 10, 40) && between(L, 10, 40) && !group(kThumbLittle))
    return kBall;
  if (T < 10 && I > 40 && M > 40 && R > 40 && L > 40) return kGood;
  if (T < 10 && I < 10 && M > 40 && R > 40 && L > 40) return kGun;
  if (T < 10 && I < 10 && M < 10 && R > 15 && L > 15) return kEight;
  if (T < 10 && I < 10 && M < 10 && R < 10 && L > 10) return kNine;
  if (T < 10 && I < 10 && M > 10 && R < 10 && L < 10) return kMiddle;
  if (T < 10 && I > 40 && M > 40 && R > 40 && L < 30) return kAmbivalent;
  if (between(I, 15, 40) && M > 40 && R > 40 && L > 40) return kSoon;
  if (T < 10 && I < 10 && M > 40 && R > 40 && L < 40) return kLove;
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
