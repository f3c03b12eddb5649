#pragma once

struct RecognitionContext;

// 0 means no handshape; 1 to 37 name one (24, small, is never returned by the tree).
using HandshapeCode = int;
enum Handshape : HandshapeCode {
  kHandshapeNone = 0,
  kRound, kOkay, kPoint, kHook, kTwo, kKneel, kPerth, kSpoon, kLetterN, kWish, kThree, kMother,
  kLetterM, kFour, kSpread, kBall, kFlat, kThick, kCup, kGood, kBad, kGun, kLetterC, kSmall, kOldSeven,
  kEight, kNine, kFist, kSoon, kFlick, kWrite, kSalt, kMiddle, kRude, kAmbivalent, kLove, kAnimal,
  kLastHandshape = kAnimal
};

// The bends the handshape tree compares fingers with, from straight to bent (the
// glove's 8-bit readings, larger meaning more bent).
constexpr float kBendStraight = 5;
constexpr float kBendNearlyStraight = 10;
constexpr float kBendSlightlyBent = 15;
constexpr float kBendLightlyBent = 20;
constexpr float kBendQuarterBent = 25;
constexpr float kBendHalfBent = 30;
constexpr float kBendBent = 40;
inline constexpr float kHandshapeBendThresholds[] = {kBendStraight,    kBendNearlyStraight, kBendSlightlyBent,
                                                     kBendLightlyBent, kBendQuarterBent,    kBendHalfBent,
                                                     kBendBent};

// Names the right hand's shape from sample 0 of the window's bends and second angle
// and from the contact groups of the current packet.
HandshapeCode classifyHandshape(const RecognitionContext& context);

// The name printed for a code, with its blank line; empty above 37.
const char* handshapeText(HandshapeCode code);

// Prints the code's name.
void printHandshape(HandshapeCode code);

// The handshape-diagnostics mode's cycle: print the current window's handshape, then
// take windows until one is not still.
void runHandshapeCycle(RecognitionContext& context);
