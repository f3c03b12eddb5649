// The firmware on the emulated board against the emulated controller the simulator
// uses: byte for byte the same replies, for the pads touching in any way.

#include "firmware/board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "firmware/pad_pins.h"
#include "simulator/contact_controller.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Groups = std::vector<ContactMask>;

constexpr uint8_t kRequest = 0x53;
constexpr int64_t kStartUpMicros = 1000;
constexpr int64_t kStepMicros = 100;
constexpr int64_t kReplyWaitMicros = 100000;  // far longer than a reply of six groups
constexpr int kDifferentialStates = 10000;

class BoardTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(boardLoad(board, SIGNGLOVE_FIRMWARE_ELF, error)) << error;
    ASSERT_TRUE(avrBoardRunFor(board.chip, kStartUpMicros));
  }

  // Sends a byte and collects what comes back: a whole reply (its terminator and
  // checksum are in), or whatever arrived within the wait.
  Bytes exchange(uint8_t byte, int64_t waitMicros = kReplyWaitMicros) {
    avrBoardSendByte(board.chip, byte);
    Bytes reply;
    const int64_t until = avrBoardMicros(board.chip) + waitMicros;
    while (avrBoardMicros(board.chip) < until && !replyComplete(reply)) {
      EXPECT_TRUE(avrBoardRunFor(board.chip, kStepMicros)) << "the emulated chip stopped";
      for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) reply.push_back(taken.byte);
    }
    return reply;
  }

  static bool replyComplete(const Bytes& reply) {
    // Masks never carry 0x4000, so it ends the entries wherever it is word-aligned.
    const size_t size = reply.size();
    return size >= 6 && size % 2 == 0 && reply[size - 4] == 0x40 && reply[size - 3] == 0x00;
  }

  Board board;
};

// The emulated controller's reply with these groups touching.
Bytes expectedReply(const Groups& groups) {
  ContactController controller;
  for (ContactMask group : groups) controllerTouch(controller, group);
  return controllerReply(controller);
}

std::string describe(const Groups& groups) {
  std::string text;
  for (ContactMask group : groups) {
    char word[8];
    std::snprintf(word, sizeof word, "0x%04x ", group);
    text += word;
  }
  return text.empty() ? "none" : text;
}

// A random way for the pads to touch: each pad joins one of up to six groups or
// none; groups of a single pad touch nothing and are left out.
Groups randomTouching(std::mt19937& random) {
  const int slots = std::uniform_int_distribution<int>(1, 6)(random);
  std::uniform_int_distribution<int> slotOf(0, slots);  // 0: the pad touches nothing
  std::vector<ContactMask> members(static_cast<size_t>(slots) + 1, 0);
  for (const PadLabel& pad : kPadLabels) members[static_cast<size_t>(slotOf(random))] |= pad.bit;
  Groups groups;
  for (size_t slot = 1; slot < members.size(); ++slot)
    if (__builtin_popcount(members[slot]) >= 2) groups.push_back(members[slot]);
  return groups;
}

TEST_F(BoardTest, RepliesLikeTheEmulatedController) {
  const Groups cases[] = {
      {},                                                  // nothing touches
      {0x0018},                                            // right thumb on index
      {0x001F},                                            // the right hand's fingers
      {0x3F3F},                                            // all twelve pads
      {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000},    // six pairs: the most groups
      {0x2001, 0x0120},                                    // across the hands, palm to palm
      {0x0101, 0x0202, 0x0404, 0x0808, 0x1010, 0x2020},    // each right pad on its left twin
  };
  for (const Groups& groups : cases) {
    boardSetTouching(board, groups);
    EXPECT_EQ(exchange(kRequest), expectedReply(groups)) << "touching: " << describe(groups);
  }
}

TEST_F(BoardTest, RepliesLikeTheEmulatedControllerForRandomTouching) {
  std::mt19937 random(20261209);
  int mismatches = 0;
  for (int state = 0; state < kDifferentialStates && mismatches < 5; ++state) {
    const Groups groups = randomTouching(random);
    boardSetTouching(board, groups);
    const Bytes reply = exchange(kRequest);
    if (reply != expectedReply(groups)) {
      ++mismatches;
      ADD_FAILURE() << "state " << state << ", touching: " << describe(groups);
    }
  }
}

TEST_F(BoardTest, IgnoresEveryByteButTheRequest) {
  boardSetTouching(board, {0x0018});
  for (int byte = 0; byte < 256; ++byte) {
    if (byte == kRequest) continue;
    avrBoardSendByte(board.chip, static_cast<uint8_t>(byte));
  }
  ASSERT_TRUE(avrBoardRunFor(board.chip, 400000));  // 255 bytes on the line, then quiet
  BoardByte taken;
  EXPECT_FALSE(avrBoardTakeByte(board.chip, taken)) << "answered a byte that is not a request";
  EXPECT_EQ(exchange(kRequest), expectedReply({0x0018}));
}

TEST_F(BoardTest, AnswersEachOfTwoRequestsInARow) {
  boardSetTouching(board, {0x0300, 0x0018});
  avrBoardSendByte(board.chip, kRequest);
  avrBoardSendByte(board.chip, kRequest);
  ASSERT_TRUE(avrBoardRunFor(board.chip, 50000));
  Bytes replies;
  for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) replies.push_back(taken.byte);
  Bytes expected = expectedReply({0x0018, 0x0300});
  expected.insert(expected.end(), expected.begin(), expected.end());
  EXPECT_EQ(replies, expected);
}

TEST_F(BoardTest, ScansAfreshForEachRequest) {
  const Groups steps[] = {{0x0018}, {}, {0x0006, 0x3000}, {0x0006}};
  for (const Groups& groups : steps) {
    boardSetTouching(board, groups);
    EXPECT_EQ(exchange(kRequest), expectedReply(groups)) << "touching: " << describe(groups);
  }
}

TEST_F(BoardTest, LeavesOutPadsShortedToGround) {
  // A grounded pad reads low whoever drives it: it and every pad it touches would
  // otherwise join every other group.
  struct Case {
    const char* name;
    ContactMask grounded;
    Groups touching;
    Groups reported;
  };
  const Case cases[] = {
      {"a lone grounded pad", 0x0010, {0x0006, 0x0300}, {0x0006, 0x0300}},
      {"a grounded pad's group", 0x0010, {0x0018, 0x0006}, {0x0006}},
      {"a whole hand grounded", 0x3F00, {0x0003, 0x0300}, {0x0003}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PadCircuit circuit;
    circuit.shortedToGround = c.grounded;
    boardSetCircuit(board, circuit);
    boardSetTouching(board, c.touching);
    EXPECT_EQ(exchange(kRequest), expectedReply(c.reported));
  }
}

TEST_F(BoardTest, ReplyEndsWellWithinTheHostsDeadline) {
  // The host gives a reply 500 ms from its request; six groups, the longest reply,
  // must come whole in a small part of that.
  boardSetTouching(board, {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000});
  const int64_t sent = avrBoardMicros(board.chip);
  ASSERT_EQ(exchange(kRequest).size(), 18u);
  EXPECT_LT(avrBoardMicros(board.chip) - sent, 50000);
}

TEST(PadPinTest, EachPadSitsOnTheDocumentedPin) {
  struct Case {
    const char* name;
    int firmwareMask;  // the firmware's name for it
    ContactMask mask;
    char port;
    int bit;
  };
  const Case cases[] = {
      {"RP", PAD_RP, 0x0001, 'D', 2},    {"RR", PAD_RR, 0x0002, 'D', 3},   {"RM", PAD_RM, 0x0004, 'D', 4},
      {"RI", PAD_RI, 0x0008, 'D', 5},    {"RT", PAD_RT, 0x0010, 'D', 6},   {"RPm", PAD_RPm, 0x0020, 'D', 7},
      {"LPm", PAD_LPm, 0x0100, 'C', 0},  {"LT", PAD_LT, 0x0200, 'C', 1},   {"LI", PAD_LI, 0x0400, 'C', 2},
      {"LM", PAD_LM, 0x0800, 'C', 3},    {"LR", PAD_LR, 0x1000, 'C', 4},   {"LP", PAD_LP, 0x2000, 'C', 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(padMaskByName(c.name), c.mask);
    EXPECT_EQ(c.firmwareMask, c.mask);
    EXPECT_EQ(padPin(c.mask).port, c.port);
    EXPECT_EQ(padPin(c.mask).bit, c.bit);
  }
  EXPECT_EQ(padMaskByName("R"), 0);
  EXPECT_EQ(padMaskByName("RP_"), 0);
  EXPECT_EQ(padPin(0x0040).bit, -1);
}

}  // namespace
