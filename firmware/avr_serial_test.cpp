// The serial line between host and chip, with the contact controller's firmware on
// the other end: frames as long as a real line's, the chip's receive buffer as deep as
// the real one, and a firmware that keeps answering through overruns and damaged bytes.

#include "firmware/avr_serial.h"

#include <gtest/gtest.h>

#include <vector>

#include "contacts/contact_packet.h"
#include "firmware/board.h"
#include "firmware/board_check.h"

namespace {

constexpr uint64_t kHostFrameCycles = 16667;  // 10 bits at 9600 baud
constexpr uint64_t kChipFrameCycles = 16640;  // 10 bits at UBRR 103: 16 x 104 cycles a bit

class AvrSerialTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(boardStart(board, SIGNGLOVE_FIRMWARE_ELF, error)) << error;
    boardSetTouching(board, {0x0018});
  }

  // Every byte the firmware sends within this time.
  std::vector<uint8_t> everythingWithin(int64_t micros) {
    avrBoardRunFor(board.chip, micros);
    std::vector<uint8_t> bytes;
    for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) bytes.push_back(taken.byte);
    return bytes;
  }

  Board board;
};

TEST_F(AvrSerialTest, FramesTakeTheirBitTimesBothWays) {
  const uint64_t sent = avrBoardCycle(board.chip);
  std::vector<BoardByte> frames;
  ASSERT_EQ(boardExchange(board, kRequestByte, 100000, &frames), expectedReply({0x0018}));
  EXPECT_EQ(board.chip.serial.deliveredCycle - sent, kHostFrameCycles);
  for (const BoardByte& frame : frames) EXPECT_EQ(frame.atCycle - frame.startCycle, kChipFrameCycles);
  for (size_t index = 1; index < frames.size(); ++index)  // back to back, but for the firmware's own few cycles
    EXPECT_LT(frames[index].startCycle - frames[index - 1].atCycle, 32u);
}

TEST_F(AvrSerialTest, ABurstOfRequestsGetsTheRepliesTheChipCanHold) {
  // While the firmware answers the first request, the next two wait in the receive
  // buffer and a third in the shift register, which each new start bit overwrites;
  // once the firmware takes one, the request then arriving takes its place.
  // Requests 1, 2, 3, 10 and 11 are answered.
  constexpr int kBurst = 11;
  for (int request = 0; request < kBurst; ++request) avrBoardSendByte(board.chip, kRequestByte);
  const std::vector<uint8_t> bytes = everythingWithin(300000);
  const std::vector<uint8_t> reply = expectedReply({0x0018});
  ASSERT_EQ(bytes.size() % reply.size(), 0u);
  EXPECT_EQ(bytes.size() / reply.size(), 5u);
  EXPECT_EQ(board.chip.serial.overruns, 6);
  for (size_t start = 0; start < bytes.size(); start += reply.size())
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<long>(start),
                                   bytes.begin() + static_cast<long>(start + reply.size())),
              reply);
  EXPECT_EQ(boardExchange(board, kRequestByte), reply) << "no reply after the overrun";
}

TEST_F(AvrSerialTest, ARequestWithAFramingErrorIsNoRequest) {
  avrSerialSend(board.chip.serial, board.chip.avr, kRequestByte, true);
  EXPECT_TRUE(everythingWithin(20000).empty());
  EXPECT_EQ(boardExchange(board, kRequestByte), expectedReply({0x0018}));
}

}  // namespace
