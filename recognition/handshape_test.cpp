#include "recognition/handshape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <iterator>
#include <vector>

#include "control/recognition_context.h"
#include "tests/virtual_world.h"

namespace {

struct HandCase {
  const char* name;
  std::initializer_list<ContactMask> groups;  // one packet slot each
  float T, I, M, R, L;
  float angle2;
  HandshapeCode expected;
};

// Sample 0 carries the hand; the packet carries the groups.
void setHand(RecognitionContext& context, const HandCase& hand) {
  const float bends[] = {hand.T, hand.I, hand.M, hand.R, hand.L};
  for (int finger = 0; finger < 5; ++finger) context.window.channel[kChannelThumb + finger][0] = bends[finger];
  context.window.channel[kChannelOrient2][0] = hand.angle2;
  context.packet.count = 0;
  for (ContactMask group : hand.groups) context.packet.slots[context.packet.count++] = group;
}

// clang-format off
const HandCase kHandCases[] = {
    // thumb+index+middle
    {"old-seven below 25", {0x001C}, 60, 60, 60, 24, 24, 30, kOldSeven},
    {"ring at 25 is no old-seven", {0x001C}, 60, 60, 60, 25, 0, 30, kHandshapeNone},
    {"round above 40", {0x001C}, 60, 41, 41, 41, 41, 30, kRound},
    {"round bounds are strict", {0x001C}, 60, 40, 40, 50, 50, 30, kHandshapeNone},
    {"little at 40 is neither round nor salt", {0x001C}, 60, 50, 50, 41, 40, 30, kHandshapeNone},
    {"salt just inside", {0x001C}, 60, 16, 39, 41, 41, 30, kSalt},
    {"salt excludes 15", {0x001C}, 60, 15, 30, 41, 41, 30, kHandshapeNone},
    {"whole-hand entry is read as thumb+index+middle first", {0x001F}, 0, 0, 0, 0, 0, 30, kOldSeven},
    // thumb+index
    {"okay below 10", {0x0018}, 60, 30, 9, 9, 9, 30, kOkay},
    {"middle at 10 is no okay", {0x0018}, 60, 30, 10, 9, 9, 30, kHandshapeNone},
    {"write above 40", {0x0018}, 60, 60, 41, 41, 41, 30, kWrite},
    {"little at 40 is no write", {0x0018}, 60, 60, 41, 41, 40, 30, kHandshapeNone},
    {"thumb+index before thumb+middle+ring", {0x0018, 0x0016}, 60, 0, 50, 50, 50, 30, kWrite},
    // thumb+middle+ring
    {"point", {0x0016}, 60, 9, 50, 50, 50, 30, kPoint},
    {"index 10 is between point and hook", {0x0016}, 60, 10, 50, 50, 50, 30, kHandshapeNone},
    {"hook low", {0x0016}, 60, 11, 50, 50, 50, 30, kHook},
    {"hook high", {0x0016}, 60, 39, 50, 50, 50, 30, kHook},
    {"index 40 is between hook and fist", {0x0016}, 60, 40, 50, 50, 50, 30, kHandshapeNone},
    {"fist", {0x0016}, 60, 41, 50, 50, 50, 30, kFist},
    {"animal", {0x0016}, 60, 9, 50, 50, 9, 30, kAnimal},
    {"little at 10 is no animal", {0x0016}, 60, 9, 50, 50, 10, 30, kHandshapeNone},
    {"little at 40 is neither point nor animal", {0x0016}, 60, 9, 50, 50, 40, 30, kHandshapeNone},
    {"bad", {0x0016}, 60, 41, 50, 50, 0, 30, kBad},
    {"index 40 is no bad", {0x0016}, 60, 40, 50, 50, 0, 30, kHandshapeNone},
    {"middle at 40 goes on to thumb+middle", {0x0016}, 60, 0, 40, 50, 50, 30, kPerth},
    {"ring at 40 goes on and finds nothing", {0x0016}, 60, 0, 50, 40, 50, 30, kHandshapeNone},
    {"bent fingers without the group are no point", {}, 60, 9, 50, 50, 50, 30, kHandshapeNone},
    // thumb+middle
    {"flick", {0x0014}, 60, 39, 60, 39, 39, 30, kFlick},
    {"index 40 is no flick", {0x0014}, 60, 40, 60, 39, 39, 30, kHandshapeNone},
    {"middle+ring touching is no flick", {0x0014, 0x0006}, 60, 30, 60, 30, 30, 30, kHandshapeNone},
    {"Perth", {0x0014}, 60, 9, 60, 41, 41, 30, kPerth},
    {"index 10 is neither Perth nor letter-c", {0x0014}, 60, 10, 60, 41, 41, 30, kHandshapeNone},
    {"letter-c", {0x0014}, 60, 11, 41, 41, 41, 30, kLetterC},
    {"letter-c needs middle above 40", {0x0014}, 60, 11, 40, 41, 41, 30, kHandshapeNone},
    {"thumb+middle before thumb+ring+little", {0x0014, 0x0013}, 60, 30, 60, 30, 30, 30, kFlick},
    // thumb+ring+little with index+middle
    {"letter-n inside the angle range", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -50, kLetterN},
    {"angle -70 is spoon", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -70, kSpoon},
    {"angle -69 is letter-n", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -69, kLetterN},
    {"angle 0 is spoon", {0x0013, 0x000C}, 60, 5, 5, 60, 60, 0, kSpoon},
    {"spoon before wish", {0x0013, 0x000C}, 60, 15, 19, 60, 60, 30, kSpoon},
    {"wish", {0x0013, 0x000C}, 60, 25, 25, 60, 60, 30, kWish},
    {"middle 20 with index 20 is wish", {0x0013, 0x000C}, 60, 20, 20, 60, 60, 30, kWish},
    {"index 30 is no wish", {0x0013, 0x000C}, 60, 30, 30, 60, 60, 30, kHandshapeNone},
    // thumb+ring+little alone
    {"two", {0x0013}, 60, 14, 24, 60, 60, 30, kTwo},
    {"index 15 is no two", {0x0013}, 60, 15, 24, 60, 60, 30, kHandshapeNone},
    {"kneel", {0x0013}, 60, 41, 41, 60, 60, 30, kKneel},
    {"rude", {0x0013}, 60, 41, 0, 41, 41, 30, kRude},
    {"little 40 is no rude", {0x0013}, 60, 41, 0, 41, 40, 30, kHandshapeNone},
    {"pads in separate groups are no thumb+ring+little", {0x0011, 0x0003}, 60, 1, 1, 60, 60, 30, kHandshapeNone},
    // the rest
    {"three", {0x0011}, 60, 19, 19, 19, 60, 30, kThree},
    {"three before four", {0x0011}, 31, 14, 14, 14, 14, 30, kThree},
    {"ring 20 is no three", {0x0011}, 60, 19, 19, 20, 60, 30, kHandshapeNone},
    {"letter-m", {0x0011, 0x000E}, 60, 5, 5, 5, 60, -89, kLetterM},
    {"angle -90 is mother", {0x0011, 0x000E}, 60, 5, 5, 5, 60, -90, kMother},
    {"angle 0 is mother", {0x0011, 0x000E}, 60, 5, 5, 5, 60, 0, kMother},
    {"four", {}, 31, 14, 14, 14, 14, 30, kFour},
    {"thumb 30 is ball, not four", {}, 30, 14, 14, 14, 14, 30, kBall},
    {"four-fingers group makes flat, not four", {0x000F}, 31, 14, 14, 14, 14, 30, kFlat},
    {"thumb 40 is no flat", {0x000F}, 40, 14, 14, 14, 14, 30, kHandshapeNone},
    {"fingers split into two groups are not flat", {0x000C, 0x0003}, 20, 1, 1, 1, 1, 30, kHandshapeNone},
    {"thick", {0x000F}, 41, 41, 41, 41, 41, 30, kThick},
    {"thumb 40 is no thick", {0x000F}, 40, 41, 41, 41, 41, 30, kHandshapeNone},
    {"cup", {0x000F}, 50, 16, 16, 39, 39, 30, kCup},
    {"index 15 is no cup", {0x000F}, 50, 15, 16, 39, 39, 30, kHandshapeNone},
    {"spread", {}, 4, 4, 4, 4, 4, 30, kSpread},
    {"thumb 5 is no spread", {}, 5, 0, 0, 0, 0, 30, kHandshapeNone},
    {"ball", {}, 60, 11, 11, 39, 39, 30, kBall},
    {"index 10 is no ball", {}, 60, 10, 11, 39, 39, 30, kHandshapeNone},
    {"thumb+little touching is no ball", {0x0011}, 60, 25, 25, 25, 25, 30, kHandshapeNone},
    {"good", {}, 9, 41, 41, 41, 41, 30, kGood},
    {"thumb 10 is no good", {}, 10, 41, 41, 41, 41, 30, kHandshapeNone},
    {"gun", {}, 0, 0, 41, 41, 41, 30, kGun},
    {"eight", {}, 0, 0, 0, 16, 16, 30, kEight},
    {"ring 15 is no eight", {}, 0, 0, 0, 15, 16, 30, kHandshapeNone},
    {"nine", {}, 0, 0, 0, 0, 11, 30, kNine},
    {"little 10 is no nine", {}, 0, 0, 0, 0, 10, 30, kHandshapeNone},
    {"middle", {}, 0, 0, 11, 0, 0, 30, kMiddle},
    {"ambivalent", {}, 0, 41, 41, 41, 29, 30, kAmbivalent},
    {"little 30 is no ambivalent", {}, 0, 41, 41, 41, 30, 30, kHandshapeNone},
    {"soon", {}, 60, 16, 41, 41, 41, 30, kSoon},
    {"love", {}, 0, 0, 41, 41, 39, 30, kLove},
    {"little 40 is neither love nor gun", {}, 0, 0, 41, 41, 40, 30, kHandshapeNone},
    {"resting hand matches nothing", {}, 20, 50, 30, 30, 30, 30, kHandshapeNone},
};
// clang-format on

TEST(Handshape, TreeBoundsAndPrecedence) {
  for (const HandCase& hand : kHandCases) {
    RecognitionContext context;
    setHand(context, hand);
    EXPECT_EQ(classifyHandshape(context), hand.expected) << hand.name;
  }
}

// Every bound of the tree, from a hand that the rule names: each input in turn at its
// bound (a strict bound excludes it) and one step past it, back inside the rule.
enum Input { kT, kI, kM, kR, kL, kA2 };

struct Bound {
  Input input;
  float at;
  HandshapeCode atExpected;
  float past;
};

struct BoundCase {
  HandCase hand;
  std::vector<Bound> bounds;
};

constexpr HandshapeCode k0 = kHandshapeNone;

// clang-format off
const BoundCase kBoundCases[] = {
    {{"old-seven", {0x001C}, 60, 60, 60, 24, 24, 30, kOldSeven}, {{kR, 25, k0, 24}, {kL, 25, k0, 24}}},
    {{"round", {0x001C}, 60, 50, 50, 50, 50, 30, kRound},
      {{kR, 40, k0, 41}, {kL, 40, k0, 41}, {kI, 40, k0, 41}, {kM, 40, k0, 41}}},
    {{"salt", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt},
      {{kI, 15, k0, 16}, {kI, 40, k0, 39}, {kM, 15, k0, 16}, {kM, 40, k0, 39},
       {kR, 40, k0, 41}, {kL, 40, k0, 41}}},
    {{"okay", {0x0018}, 60, 30, 5, 5, 5, 30, kOkay}, {{kM, 10, k0, 9}, {kR, 10, k0, 9}, {kL, 10, k0, 9}}},
    {{"write", {0x0018}, 60, 30, 50, 50, 50, 30, kWrite}, {{kM, 40, k0, 41}, {kR, 40, k0, 41}, {kL, 40, k0, 41}}},
    {{"point", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint},
      {{kM, 40, kPerth, 41}, {kR, 40, k0, 41}, {kL, 40, k0, 41}, {kI, 10, k0, 9}}},
    {{"hook", {0x0016}, 60, 25, 50, 50, 50, 30, kHook}, {{kI, 10, k0, 11}, {kI, 40, k0, 39}}},
    {{"fist", {0x0016}, 60, 50, 50, 50, 50, 30, kFist}, {{kI, 40, k0, 41}}},
    {{"animal", {0x0016}, 60, 5, 50, 50, 5, 30, kAnimal}, {{kL, 10, k0, 9}, {kI, 10, k0, 9}}},
    {{"bad", {0x0016}, 60, 50, 50, 50, 5, 30, kBad}, {{kI, 40, k0, 41}, {kL, 10, k0, 9}}},
    {{"flick", {0x0014}, 60, 30, 60, 30, 30, 30, kFlick}, {{kI, 40, k0, 39}, {kR, 40, k0, 39}, {kL, 40, k0, 39}}},
    {{"Perth", {0x0014}, 60, 5, 60, 50, 50, 30, kPerth}, {{kR, 40, k0, 41}, {kL, 40, k0, 41}, {kI, 10, k0, 9}}},
    {{"letter-c", {0x0014}, 60, 25, 50, 50, 50, 30, kLetterC},
      {{kI, 10, k0, 11}, {kI, 40, k0, 39}, {kM, 40, k0, 41}, {kR, 40, k0, 41}}},
    {{"spoon", {0x0013, 0x000C}, 60, 5, 5, 60, 60, 30, kSpoon}, {{kI, 20, kWish, 19}, {kM, 20, k0, 19}}},
    {{"letter-n", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -30, kLetterN},
      {{kA2, -70, kSpoon, -69}, {kA2, 0, kSpoon, -1}}},
    {{"wish", {0x0013, 0x000C}, 60, 25, 25, 60, 60, 30, kWish}, {{kI, 10, k0, 11}, {kI, 30, k0, 29}}},
    {{"two", {0x0013}, 60, 5, 5, 60, 60, 30, kTwo}, {{kI, 15, k0, 14}, {kM, 25, k0, 24}}},
    {{"kneel", {0x0013}, 60, 50, 50, 0, 0, 30, kKneel}, {{kI, 40, k0, 41}, {kM, 40, k0, 41}}},
    {{"rude", {0x0013}, 60, 50, 0, 50, 50, 30, kRude}, {{kI, 40, k0, 41}, {kR, 40, k0, 41}, {kL, 40, k0, 41}}},
    {{"three", {0x0011}, 60, 5, 5, 5, 60, 30, kThree}, {{kI, 20, k0, 19}, {kM, 20, k0, 19}, {kR, 20, k0, 19}}},
    {{"letter-m", {0x0011, 0x000E}, 60, 5, 5, 5, 60, -30, kLetterM},
      {{kA2, -90, kMother, -89}, {kA2, 0, kMother, -1}}},
    {{"four", {}, 50, 5, 5, 5, 5, 30, kFour},
      {{kT, 30, k0, 31}, {kI, 15, k0, 14}, {kM, 15, k0, 14}, {kR, 15, k0, 14},
       {kL, 15, k0, 14}}},
    {{"flat", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat},
      {{kT, 40, k0, 39}, {kI, 15, k0, 14}, {kM, 15, k0, 14}, {kR, 15, k0, 14},
       {kL, 15, k0, 14}}},
    {{"thick", {0x000F}, 50, 50, 50, 50, 50, 30, kThick},
      {{kT, 40, k0, 41}, {kI, 40, k0, 41}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 40, k0, 41}}},
    {{"cup", {0x000F}, 50, 30, 30, 30, 30, 30, kCup},
      {{kI, 15, k0, 16}, {kI, 40, k0, 39}, {kM, 15, k0, 16}, {kM, 40, k0, 39},
       {kR, 15, k0, 16}, {kR, 40, k0, 39}, {kL, 15, k0, 16}, {kL, 40, k0, 39}}},
    {{"spread", {}, 0, 0, 0, 0, 0, 30, kSpread},
      {{kT, 5, k0, 4}, {kI, 5, k0, 4}, {kM, 5, k0, 4}, {kR, 5, k0, 4},
       {kL, 5, k0, 4}}},
    {{"ball", {}, 60, 25, 25, 25, 25, 30, kBall},
      {{kI, 10, k0, 11}, {kI, 40, k0, 39}, {kM, 10, k0, 11}, {kM, 40, k0, 39},
       {kR, 10, k0, 11}, {kR, 40, k0, 39}, {kL, 10, k0, 11}, {kL, 40, k0, 39}}},
    {{"good", {}, 5, 50, 50, 50, 50, 30, kGood},
      {{kT, 10, k0, 9}, {kI, 40, k0, 41}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 40, k0, 41}}},
    {{"gun", {}, 5, 5, 50, 50, 50, 30, kGun},
      {{kT, 10, k0, 9}, {kI, 10, k0, 9}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 40, k0, 41}}},
    {{"eight", {}, 5, 5, 5, 50, 50, 30, kEight},
      {{kT, 10, k0, 9}, {kI, 10, k0, 9}, {kM, 10, k0, 9}, {kR, 15, k0, 16},
       {kL, 15, k0, 16}}},
    {{"nine", {}, 5, 5, 5, 5, 50, 30, kNine},
      {{kT, 10, k0, 9}, {kI, 10, k0, 9}, {kM, 10, k0, 9}, {kR, 10, k0, 9},
       {kL, 10, k0, 11}}},
    {{"middle", {}, 5, 5, 50, 5, 5, 30, kMiddle},
      {{kT, 10, k0, 9}, {kI, 10, k0, 9}, {kM, 10, k0, 11}, {kR, 10, k0, 9},
       {kL, 10, k0, 9}}},
    {{"ambivalent", {}, 5, 50, 50, 50, 5, 30, kAmbivalent},
      {{kT, 10, k0, 9}, {kI, 40, k0, 41}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 30, k0, 29}}},
    {{"soon", {}, 60, 25, 50, 50, 50, 30, kSoon},
      {{kI, 15, k0, 16}, {kI, 40, k0, 39}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 40, k0, 41}}},
    {{"love", {}, 5, 5, 50, 50, 20, 30, kLove},
      {{kT, 10, k0, 9}, {kI, 10, k0, 9}, {kM, 40, k0, 41}, {kR, 40, k0, 41},
       {kL, 40, k0, 39}}},
};

// Every group the tree asks about: the same bends with and without it.
const HandCase kGroupCases[] = {
    {"old-seven with thumb+index+middle", {0x001C}, 60, 60, 60, 24, 24, 30, kOldSeven},
    {"old-seven without", {}, 60, 60, 60, 24, 24, 30, k0},
    {"okay with thumb+index", {0x0018}, 60, 30, 5, 5, 5, 30, kOkay},
    {"okay without", {}, 60, 30, 5, 5, 5, 30, k0},
    {"point with thumb+middle+ring", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint},
    {"point with thumb+middle only", {0x0014}, 60, 5, 50, 50, 50, 30, kPerth},
    {"flick with thumb+middle", {0x0014}, 60, 30, 60, 30, 30, 30, kFlick},
    {"flick without", {}, 60, 30, 60, 30, 30, 30, k0},
    {"flick with middle+ring as well", {0x0014, 0x0006}, 60, 30, 60, 30, 30, 30, k0},
    {"two with thumb+ring+little", {0x0013}, 60, 5, 5, 60, 60, 30, kTwo},
    {"two without", {}, 60, 5, 5, 60, 60, 30, k0},
    {"spoon with index+middle", {0x0013, 0x000C}, 60, 5, 5, 60, 60, 30, kSpoon},
    {"three with thumb+little", {0x0011}, 60, 5, 5, 5, 60, 30, kThree},
    {"three without", {}, 60, 5, 5, 5, 60, 30, k0},
    {"mother with index+middle+ring", {0x0011, 0x000E}, 60, 5, 5, 5, 60, 30, kMother},
    {"four with four fingers touching", {0x000F}, 50, 5, 5, 5, 5, 30, k0},
    {"flat with four fingers touching", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat},
    {"flat without", {}, 20, 5, 5, 5, 5, 30, k0},
    {"ball with thumb+little", {0x0011}, 60, 25, 25, 25, 25, 30, k0},
};
// clang-format on

TEST(Handshape, EveryBoundAtItsValueAndOnePast) {
  for (const BoundCase& c : kBoundCases) {
    for (const Bound& bound : c.bounds) {
      RecognitionContext context;
      setHand(context, c.hand);
      EXPECT_EQ(classifyHandshape(context), c.hand.expected) << c.hand.name << ": the hand itself";
      const int channel = bound.input == kA2 ? kChannelOrient2 : kChannelThumb + static_cast<int>(bound.input);
      context.window.channel[channel][0] = bound.at;
      EXPECT_EQ(classifyHandshape(context), bound.atExpected) << c.hand.name << ": input " << bound.input << " at "
                                                              << bound.at;
      context.window.channel[channel][0] = bound.past;
      EXPECT_EQ(classifyHandshape(context), c.hand.expected) << c.hand.name << ": input " << bound.input << " at "
                                                             << bound.past;
    }
  }
  for (const HandCase& hand : kGroupCases) {
    RecognitionContext context;
    setHand(context, hand);
    EXPECT_EQ(classifyHandshape(context), hand.expected) << hand.name;
  }
}

// The thresholds the live view marks on its bend bars are the tree's own: across every
// case above, any finger's answer changes only at one of them, and each is used.
TEST(Handshape, BendThresholdsAreWhereTheTreeChangesItsAnswer) {
  constexpr float kStep = 0.25f, kHighest = 60;
  std::set<float> used;
  for (const HandCase& hand : kHandCases)
    for (int finger = 0; finger < 5; ++finger) {
      RecognitionContext context;
      setHand(context, hand);
      float& bend = context.window.channel[kChannelThumb + finger][0];
      bend = 0;
      for (HandshapeCode before = classifyHandshape(context); bend < kHighest;) {
        bend += kStep;
        const HandshapeCode after = classifyHandshape(context);
        if (after == before) continue;
        const float* threshold = std::find_if(std::begin(kHandshapeBendThresholds), std::end(kHandshapeBendThresholds),
                                              [&](float value) { return value >= bend - kStep && value <= bend; });
        ASSERT_NE(threshold, std::end(kHandshapeBendThresholds)) << hand.name << ": finger " << finger << " at " << bend;
        used.insert(*threshold);
        before = after;
      }
    }
  EXPECT_EQ(used.size(), std::size(kHandshapeBendThresholds));
}

TEST(Handshape, ZeroedContextIsSpread) {
  RecognitionContext context;
  EXPECT_EQ(classifyHandshape(context), kSpread);
}

TEST(Handshape, ReadsFirstSampleAndSecondAngleOnly) {
  RecognitionContext context;
  setHand(context, {"letter-n", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -50, kLetterN});
  for (int channel = kChannelThumb; channel < kChannels; ++channel)
    context.window.channel[channel][1] = context.window.channel[channel][2] = 200;
  context.window.channel[kChannelOrient2][1] = context.window.channel[kChannelOrient2][2] = 30;
  context.window.channel[kChannelOrient3][0] = context.window.channel[kChannelOrient1][0] = 30;
  EXPECT_EQ(classifyHandshape(context), kLetterN);

  context.window.channel[kChannelOrient2][0] = 30;
  context.window.channel[kChannelOrient3][0] = context.window.channel[kChannelOrient1][0] = -50;
  EXPECT_EQ(classifyHandshape(context), kSpoon);
}

TEST(Handshape, GroupInSlotAboveCountIsIgnored) {
  RecognitionContext context;
  setHand(context, {"point", {0x0016}, 60, 0, 50, 50, 50, 30, kPoint});
  context.packet.slots[0] = 0x0100;
  context.packet.slots[1] = 0x0016;  // left over from a longer reply
  EXPECT_EQ(classifyHandshape(context), kHandshapeNone);
}

TEST(Handshape, Texts) {
  // clang-format off
  const char* const expected[] = {
      "HANDSHAPE UNKNOWN\n\n", "round\n\n", "okay\n\n", "point\n\n", "hook\n\n", "two\n\n", "kneel\n\n",
      "Perth\n\n", "spoon\n\n", "letter-n\n\n", "wish\n\n", "three\n\n", "mother\n\n", "letter-m\n\n",
      "four\n\n", "spread\n\n", "ball\n\n", "flat\n\n", "thick\n\n", "cup\n\n", "good\n\n", "bad\n\n",
      "gun\n\n", "letter-c\n\n", "small\n\n", "old-seven\n\n", "eight\n\n", "nine\n\n", "fist\n\n",
      "soon\n\n", "flick\n\n", "write\n\n", "salt\n\n", "middle\n\n", "rude\n\n", "ambivalent\n\n",
      "love\n\n", "animal\n\n"};
  // clang-format on
  static_assert(std::size(expected) == kLastHandshape + 1);
  for (HandshapeCode code = 0; code <= kLastHandshape; ++code) EXPECT_STREQ(handshapeText(code), expected[code]);
  EXPECT_STREQ(handshapeText(38), "");
  EXPECT_STREQ(handshapeText(1000), "");
}

TEST(Handshape, CycleClassifiesCurrentWindowThenWaitsForMovement) {
  // Still until 150 ms, then every reading jitters far beyond the stillness tolerance.
  VirtualWorld scene("bends 60 60 60 60 60\nwait 150\nnoise 500\nwait 1000");
  RecognitionContext context;
  runHandshapeCycle(context);
  runHandshapeCycle(context);
  EXPECT_EQ(scene.console(), "spread\n\nHANDSHAPE UNKNOWN\n\n");  // first the zeroed window
  EXPECT_EQ(windowIsStill(context.window), 0);
  EXPECT_EQ(context.window.channel[kChannelThumb][0], 60);
}

}  // namespace
