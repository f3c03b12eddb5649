#include "recognition/handshape.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>

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

// Every bound of the tree, from a hand that the rule names: the input at the bound
// (a strict bound excludes it) and one step past it.
enum Input { kT, kI, kM, kR, kL, kA2 };

struct BoundCase {
  HandCase hand;
  Input input;
  float at;
  HandshapeCode atExpected;
  float past;
  HandshapeCode pastExpected;
};

constexpr HandshapeCode k0 = kHandshapeNone;

// clang-format off
const BoundCase kBoundCases[] = {
    // thumb+index+middle
    {{"old-seven R<25", {0x001C}, 60, 60, 60, 24, 24, 30, kOldSeven}, kR, 25, k0, 24, kOldSeven},
    {{"old-seven L<25", {0x001C}, 60, 60, 60, 24, 24, 30, kOldSeven}, kL, 25, k0, 24, kOldSeven},
    {{"round R>40", {0x001C}, 60, 50, 50, 50, 50, 30, kRound}, kR, 40, k0, 41, kRound},
    {{"round L>40", {0x001C}, 60, 50, 50, 50, 50, 30, kRound}, kL, 40, k0, 41, kRound},
    {{"round I>40", {0x001C}, 60, 50, 50, 50, 50, 30, kRound}, kI, 40, k0, 41, kRound},
    {{"round M>40", {0x001C}, 60, 50, 50, 50, 50, 30, kRound}, kM, 40, k0, 41, kRound},
    {{"salt I>15", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kI, 15, k0, 16, kSalt},
    {{"salt I<40", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kI, 40, k0, 39, kSalt},
    {{"salt M>15", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kM, 15, k0, 16, kSalt},
    {{"salt M<40", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kM, 40, k0, 39, kSalt},
    {{"salt R>40", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kR, 40, k0, 41, kSalt},
    {{"salt L>40", {0x001C}, 60, 30, 30, 50, 50, 30, kSalt}, kL, 40, k0, 41, kSalt},
    // thumb+index
    {{"okay M<10", {0x0018}, 60, 30, 5, 5, 5, 30, kOkay}, kM, 10, k0, 9, kOkay},
    {{"okay R<10", {0x0018}, 60, 30, 5, 5, 5, 30, kOkay}, kR, 10, k0, 9, kOkay},
    {{"okay L<10", {0x0018}, 60, 30, 5, 5, 5, 30, kOkay}, kL, 10, k0, 9, kOkay},
    {{"write M>40", {0x0018}, 60, 30, 50, 50, 50, 30, kWrite}, kM, 40, k0, 41, kWrite},
    {{"write R>40", {0x0018}, 60, 30, 50, 50, 50, 30, kWrite}, kR, 40, k0, 41, kWrite},
    {{"write L>40", {0x0018}, 60, 30, 50, 50, 50, 30, kWrite}, kL, 40, k0, 41, kWrite},
    // thumb+middle+ring: middle and ring above 40 to enter (else on to thumb+middle)
    {{"point M>40", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint}, kM, 40, kPerth, 41, kPoint},
    {{"point R>40", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint}, kR, 40, k0, 41, kPoint},
    {{"point L>40", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint}, kL, 40, k0, 41, kPoint},
    {{"point I<10", {0x0016}, 60, 5, 50, 50, 50, 30, kPoint}, kI, 10, k0, 9, kPoint},
    {{"hook I>10", {0x0016}, 60, 25, 50, 50, 50, 30, kHook}, kI, 10, k0, 11, kHook},
    {{"hook I<40", {0x0016}, 60, 25, 50, 50, 50, 30, kHook}, kI, 40, k0, 39, kHook},
    {{"fist I>40", {0x0016}, 60, 50, 50, 50, 50, 30, kFist}, kI, 40, k0, 41, kFist},
    {{"animal L<10", {0x0016}, 60, 5, 50, 50, 5, 30, kAnimal}, kL, 10, k0, 9, kAnimal},
    {{"animal I<10", {0x0016}, 60, 5, 50, 50, 5, 30, kAnimal}, kI, 10, k0, 9, kAnimal},
    {{"bad I>40", {0x0016}, 60, 50, 50, 50, 5, 30, kBad}, kI, 40, k0, 41, kBad},
    {{"bad L<10", {0x0016}, 60, 50, 50, 50, 5, 30, kBad}, kL, 10, k0, 9, kBad},
    // thumb+middle
    {{"flick I<40", {0x0014}, 60, 30, 60, 30, 30, 30, kFlick}, kI, 40, k0, 39, kFlick},
    {{"flick R<40", {0x0014}, 60, 30, 60, 30, 30, 30, kFlick}, kR, 40, k0, 39, kFlick},
    {{"flick L<40", {0x0014}, 60, 30, 60, 30, 30, 30, kFlick}, kL, 40, k0, 39, kFlick},
    {{"Perth R>40", {0x0014}, 60, 5, 60, 50, 50, 30, kPerth}, kR, 40, k0, 41, kPerth},
    {{"Perth L>40", {0x0014}, 60, 5, 60, 50, 50, 30, kPerth}, kL, 40, k0, 41, kPerth},
    {{"Perth I<10", {0x0014}, 60, 5, 60, 50, 50, 30, kPerth}, kI, 10, k0, 9, kPerth},
    {{"letter-c I>10", {0x0014}, 60, 25, 50, 50, 50, 30, kLetterC}, kI, 10, k0, 11, kLetterC},
    {{"letter-c I<40", {0x0014}, 60, 25, 50, 50, 50, 30, kLetterC}, kI, 40, k0, 39, kLetterC},
    {{"letter-c M>40", {0x0014}, 60, 25, 50, 50, 50, 30, kLetterC}, kM, 40, k0, 41, kLetterC},
    {{"letter-c R>40", {0x0014}, 60, 25, 50, 50, 50, 30, kLetterC}, kR, 40, k0, 41, kLetterC},
    // thumb+ring+little with index+middle
    {{"spoon I<20", {0x0013, 0x000C}, 60, 5, 5, 60, 60, 30, kSpoon}, kI, 20, kWish, 19, kSpoon},
    {{"spoon M<20", {0x0013, 0x000C}, 60, 5, 5, 60, 60, 30, kSpoon}, kM, 20, k0, 19, kSpoon},
    {{"letter-n A2>-70", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -30, kLetterN}, kA2, -70, kSpoon, -69, kLetterN},
    {{"letter-n A2<0", {0x0013, 0x000C}, 60, 5, 5, 60, 60, -30, kLetterN}, kA2, 0, kSpoon, -1, kLetterN},
    {{"wish I>10", {0x0013, 0x000C}, 60, 25, 25, 60, 60, 30, kWish}, kI, 10, k0, 11, kWish},
    {{"wish I<30", {0x0013, 0x000C}, 60, 25, 25, 60, 60, 30, kWish}, kI, 30, k0, 29, kWish},
    // thumb+ring+little alone
    {{"two I<15", {0x0013}, 60, 5, 5, 60, 60, 30, kTwo}, kI, 15, k0, 14, kTwo},
    {{"two M<25", {0x0013}, 60, 5, 5, 60, 60, 30, kTwo}, kM, 25, k0, 24, kTwo},
    {{"kneel I>40", {0x0013}, 60, 50, 50, 0, 0, 30, kKneel}, kI, 40, k0, 41, kKneel},
    {{"kneel M>40", {0x0013}, 60, 50, 50, 0, 0, 30, kKneel}, kM, 40, k0, 41, kKneel},
    {{"rude I>40", {0x0013}, 60, 50, 0, 50, 50, 30, kRude}, kI, 40, k0, 41, kRude},
    {{"rude R>40", {0x0013}, 60, 50, 0, 50, 50, 30, kRude}, kR, 40, k0, 41, kRude},
    {{"rude L>40", {0x0013}, 60, 50, 0, 50, 50, 30, kRude}, kL, 40, k0, 41, kRude},
    // thumb+little
    {{"three I<20", {0x0011}, 60, 5, 5, 5, 60, 30, kThree}, kI, 20, k0, 19, kThree},
    {{"three M<20", {0x0011}, 60, 5, 5, 5, 60, 30, kThree}, kM, 20, k0, 19, kThree},
    {{"three R<20", {0x0011}, 60, 5, 5, 5, 60, 30, kThree}, kR, 20, k0, 19, kThree},
    {{"letter-m A2>-90", {0x0011, 0x000E}, 60, 5, 5, 5, 60, -30, kLetterM}, kA2, -90, kMother, -89, kLetterM},
    {{"letter-m A2<0", {0x0011, 0x000E}, 60, 5, 5, 5, 60, -30, kLetterM}, kA2, 0, kMother, -1, kLetterM},
    // four
    {{"four T>30", {}, 50, 5, 5, 5, 5, 30, kFour}, kT, 30, k0, 31, kFour},
    {{"four I<15", {}, 50, 5, 5, 5, 5, 30, kFour}, kI, 15, k0, 14, kFour},
    {{"four M<15", {}, 50, 5, 5, 5, 5, 30, kFour}, kM, 15, k0, 14, kFour},
    {{"four R<15", {}, 50, 5, 5, 5, 5, 30, kFour}, kR, 15, k0, 14, kFour},
    {{"four L<15", {}, 50, 5, 5, 5, 5, 30, kFour}, kL, 15, k0, 14, kFour},
    // four fingers touching
    {{"flat T<40", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat}, kT, 40, k0, 39, kFlat},
    {{"flat I<15", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat}, kI, 15, k0, 14, kFlat},
    {{"flat M<15", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat}, kM, 15, k0, 14, kFlat},
    {{"flat R<15", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat}, kR, 15, k0, 14, kFlat},
    {{"flat L<15", {0x000F}, 20, 5, 5, 5, 5, 30, kFlat}, kL, 15, k0, 14, kFlat},
    {{"thick T>40", {0x000F}, 50, 50, 50, 50, 50, 30, kThick}, kT, 40, k0, 41, kThick},
    {{"thick I>40", {0x000F}, 50, 50, 50, 50, 50, 30, kThick}, kI, 40, k0, 41, kThick},
    {{"thick M>40", {0x000F}, 50, 50, 50, 50, 50, 30, kThick}, kM, 40, k0, 41, kThick},
    {{"thick R>40", {0x000F}, 50, 50, 50, 50, 50, 30, kThick}, kR, 40, k0, 41, kThick},
    {{"thick L>40", {0x000F}, 50, 50, 50, 50, 50, 30, kThick}, kL, 40, k0, 41, kThick},
    {{"cup I>15", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kI, 15, k0, 16, kCup},
    {{"cup I<40", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kI, 40, k0, 39, kCup},
    {{"cup M>15", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kM, 15, k0, 16, kCup},
    {{"cup M<40", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kM, 40, k0, 39, kCup},
    {{"cup R>15", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kR, 15, k0, 16, kCup},
    {{"cup R<40", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kR, 40, k0, 39, kCup},
    {{"cup L>15", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kL, 15, k0, 16, kCup},
    {{"cup L<40", {0x000F}, 50, 30, 30, 30, 30, 30, kCup}, kL, 40, k0, 39, kCup},
    // no group decides
    {{"spread T<5", {}, 0, 0, 0, 0, 0, 30, kSpread}, kT, 5, k0, 4, kSpread},
    {{"spread I<5", {}, 0, 0, 0, 0, 0, 30, kSpread}, kI, 5, k0, 4, kSpread},
    {{"spread M<5", {}, 0, 0, 0, 0, 0, 30, kSpread}, kM, 5, k0, 4, kSpread},
    {{"spread R<5", {}, 0, 0, 0, 0, 0, 30, kSpread}, kR, 5, k0, 4, kSpread},
    {{"spread L<5", {}, 0, 0, 0, 0, 0, 30, kSpread}, kL, 5, k0, 4, kSpread},
    {{"ball I>10", {}, 60, 25, 25, 25, 25, 30, kBall}, kI, 10, k0, 11, kBall},
    {{"ball I<40", {}, 60, 25, 25, 25, 25, 30, kBall}, kI, 40, k0, 39, kBall},
    {{"ball M>10", {}, 60, 25, 25, 25, 25, 30, kBall}, kM, 10, k0, 11, kBall},
    {{"ball M<40", {}, 60, 25, 25, 25, 25, 30, kBall}, kM, 40, k0, 39, kBall},
    {{"ball R>10", {}, 60, 25, 25, 25, 25, 30, kBall}, kR, 10, k0, 11, kBall},
    {{"ball R<40", {}, 60, 25, 25, 25, 25, 30, kBall}, kR, 40, k0, 39, kBall},
    {{"ball L>10", {}, 60, 25, 25, 25, 25, 30, kBall}, kL, 10, k0, 11, kBall},
    {{"ball L<40", {}, 60, 25, 25, 25, 25, 30, kBall}, kL, 40, k0, 39, kBall},
    {{"good T<10", {}, 5, 50, 50, 50, 50, 30, kGood}, kT, 10, k0, 9, kGood},
    {{"good I>40", {}, 5, 50, 50, 50, 50, 30, kGood}, kI, 40, k0, 41, kGood},
    {{"good M>40", {}, 5, 50, 50, 50, 50, 30, kGood}, kM, 40, k0, 41, kGood},
    {{"good R>40", {}, 5, 50, 50, 50, 50, 30, kGood}, kR, 40, k0, 41, kGood},
    {{"good L>40", {}, 5, 50, 50, 50, 50, 30, kGood}, kL, 40, k0, 41, kGood},
    {{"gun T<10", {}, 5, 5, 50, 50, 50, 30, kGun}, kT, 10, k0, 9, kGun},
    {{"gun I<10", {}, 5, 5, 50, 50, 50, 30, kGun}, kI, 10, k0, 9, kGun},
    {{"gun M>40", {}, 5, 5, 50, 50, 50, 30, kGun}, kM, 40, k0, 41, kGun},
    {{"gun R>40", {}, 5, 5, 50, 50, 50, 30, kGun}, kR, 40, k0, 41, kGun},
    {{"gun L>40", {}, 5, 5, 50, 50, 50, 30, kGun}, kL, 40, k0, 41, kGun},
    {{"eight T<10", {}, 5, 5, 5, 50, 50, 30, kEight}, kT, 10, k0, 9, kEight},
    {{"eight I<10", {}, 5, 5, 5, 50, 50, 30, kEight}, kI, 10, k0, 9, kEight},
    {{"eight M<10", {}, 5, 5, 5, 50, 50, 30, kEight}, kM, 10, k0, 9, kEight},
    {{"eight R>15", {}, 5, 5, 5, 50, 50, 30, kEight}, kR, 15, k0, 16, kEight},
    {{"eight L>15", {}, 5, 5, 5, 50, 50, 30, kEight}, kL, 15, k0, 16, kEight},
    {{"nine T<10", {}, 5, 5, 5, 5, 50, 30, kNine}, kT, 10, k0, 9, kNine},
    {{"nine I<10", {}, 5, 5, 5, 5, 50, 30, kNine}, kI, 10, k0, 9, kNine},
    {{"nine M<10", {}, 5, 5, 5, 5, 50, 30, kNine}, kM, 10, k0, 9, kNine},
    {{"nine R<10", {}, 5, 5, 5, 5, 50, 30, kNine}, kR, 10, k0, 9, kNine},
    {{"nine L>10", {}, 5, 5, 5, 5, 50, 30, kNine}, kL, 10, k0, 11, kNine},
    {{"middle T<10", {}, 5, 5, 50, 5, 5, 30, kMiddle}, kT, 10, k0, 9, kMiddle},
    {{"middle I<10", {}, 5, 5, 50, 5, 5, 30, kMiddle}, kI, 10, k0, 9, kMiddle},
    {{"middle M>10", {}, 5, 5, 50, 5, 5, 30, kMiddle}, kM, 10, k0, 11, kMiddle},
    {{"middle R<10", {}, 5, 5, 50, 5, 5, 30, kMiddle}, kR, 10, k0, 9, kMiddle},
    {{"middle L<10", {}, 5, 5, 50, 5, 5, 30, kMiddle}, kL, 10, k0, 9, kMiddle},
    {{"ambivalent T<10", {}, 5, 50, 50, 50, 5, 30, kAmbivalent}, kT, 10, k0, 9, kAmbivalent},
    {{"ambivalent I>40", {}, 5, 50, 50, 50, 5, 30, kAmbivalent}, kI, 40, k0, 41, kAmbivalent},
    {{"ambivalent M>40", {}, 5, 50, 50, 50, 5, 30, kAmbivalent}, kM, 40, k0, 41, kAmbivalent},
    {{"ambivalent R>40", {}, 5, 50, 50, 50, 5, 30, kAmbivalent}, kR, 40, k0, 41, kAmbivalent},
    {{"ambivalent L<30", {}, 5, 50, 50, 50, 5, 30, kAmbivalent}, kL, 30, k0, 29, kAmbivalent},
    {{"soon I>15", {}, 60, 25, 50, 50, 50, 30, kSoon}, kI, 15, k0, 16, kSoon},
    {{"soon I<40", {}, 60, 25, 50, 50, 50, 30, kSoon}, kI, 40, k0, 39, kSoon},
    {{"soon M>40", {}, 60, 25, 50, 50, 50, 30, kSoon}, kM, 40, k0, 41, kSoon},
    {{"soon R>40", {}, 60, 25, 50, 50, 50, 30, kSoon}, kR, 40, k0, 41, kSoon},
    {{"soon L>40", {}, 60, 25, 50, 50, 50, 30, kSoon}, kL, 40, k0, 41, kSoon},
    {{"love T<10", {}, 5, 5, 50, 50, 20, 30, kLove}, kT, 10, k0, 9, kLove},
    {{"love I<10", {}, 5, 5, 50, 50, 20, 30, kLove}, kI, 10, k0, 9, kLove},
    {{"love M>40", {}, 5, 5, 50, 50, 20, 30, kLove}, kM, 40, k0, 41, kLove},
    {{"love R>40", {}, 5, 5, 50, 50, 20, 30, kLove}, kR, 40, k0, 41, kLove},
    {{"love L<40", {}, 5, 5, 50, 50, 20, 30, kLove}, kL, 40, k0, 39, kLove},
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
  for (const BoundCase& bound : kBoundCases) {
    RecognitionContext context;
    setHand(context, bound.hand);
    EXPECT_EQ(classifyHandshape(context), bound.hand.expected) << bound.hand.name << ": the hand itself";
    const auto classifyWith = [&](float value) {
      const int channel = bound.input == kA2 ? kChannelOrient2 : kChannelThumb + static_cast<int>(bound.input);
      context.window.channel[channel][0] = value;
      return classifyHandshape(context);
    };
    EXPECT_EQ(classifyWith(bound.at), bound.atExpected) << bound.hand.name << " at " << bound.at;
    EXPECT_EQ(classifyWith(bound.past), bound.pastExpected) << bound.hand.name << " at " << bound.past;
  }
  for (const HandCase& hand : kGroupCases) {
    RecognitionContext context;
    setHand(context, hand);
    EXPECT_EQ(classifyHandshape(context), hand.expected) << hand.name;
  }
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
