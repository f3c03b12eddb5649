// The firmware on the emulated board against the emulated controller the simulator
// uses: byte for byte the same replies, for the pads touching in any way.

#include "firmware/board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "firmware/board_check.h"
#include "firmware/pad_pins.h"

extern "C" {
#include <sim_avr.h>
#include <sim_io.h>
}

namespace {

using Bytes = std::vector<uint8_t>;
using Groups = std::vector<ContactMask>;

constexpr uint8_t kRequest = 0x53;
// Under the sanitizers a reply costs some ten times as much: fewer states there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDifferentialStates = 500;
#else
constexpr int kDifferentialStates = 10000;
#endif

const std::string kFirmware = SIGNGLOVE_FIRMWARE_ELF;
const std::string kVariantDir = SIGNGLOVE_FIRMWARE_VARIANT_DIR;

class BoardTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(boardStart(board, kFirmware, error)) << error;
  }

  Bytes exchange(uint8_t byte) { return boardExchange(board, byte); }

  Board board;
};

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

TEST_F(BoardTest, ReplyEndsWellWithinTheHostsDeadline) {
  // The host gives a reply 500 ms from its request; six groups, the longest reply,
  // must come whole in a small part of that.
  boardSetTouching(board, {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000});
  const int64_t sent = avrBoardMicros(board.chip);
  ASSERT_EQ(exchange(kRequest).size(), 18u);
  EXPECT_LT(avrBoardMicros(board.chip) - sent, 50000);
}

TEST_F(BoardTest, StartsWithTheWatchdogOnTheResetCauseClearedAndNoPinFloating) {
  // ATmega328P data-space addresses and bits.
  constexpr uint16_t kMcusr = 0x54, kWdtcsr = 0x60, kDdrb = 0x24, kPortb = 0x25, kPortd = 0x2B;
  constexpr uint8_t kWde = 0x08, kWdpBits = 0x27, kWdp250Ms = 0x04;
  const uint8_t* data = board.chip.avr->data;
  EXPECT_EQ(data[kMcusr], 0) << "the reset cause is left";  // the emulator powers on with PORF set
  EXPECT_TRUE(data[kWdtcsr] & kWde);
  EXPECT_EQ(data[kWdtcsr] & kWdpBits, kWdp250Ms);
  EXPECT_EQ(data[kDdrb], 0);
  EXPECT_EQ(data[kPortb] & 0x3F, 0x3F) << "port B's free pins float";
  EXPECT_TRUE(data[kPortd] & 0x01) << "the receive line floats";
}

TEST_F(BoardTest, TheWatchdogNeverBitesWhileTheFirmwareWaitsOrAnswers) {
  // The firmware writes MCUSR once as it starts: again would mean it was reset.
  constexpr uint16_t kMcusr = 0x54;
  int starts = 0;
  avr_irq_register_notify(
      avr_iomem_getirq(board.chip.avr, kMcusr, nullptr, AVR_IOMEM_IRQ_ALL),
      [](avr_irq_t*, uint32_t, void* count) { ++*static_cast<int*>(count); }, &starts);
  ASSERT_TRUE(avrBoardRunFor(board.chip, 600000));  // more than twice the watchdog's time
  const Groups sixPairs = {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000};
  boardSetTouching(board, sixPairs);
  for (int request = 0; request < 20; ++request) ASSERT_EQ(exchange(kRequest), expectedReply(sixPairs));
  EXPECT_EQ(starts, 0);
}

TEST_F(BoardTest, AScanPutsRightAPadPinThatWasDisturbed) {
  // A glitch turns RP's pin into an output driving low: RP and RR, which it touches,
  // read low at idle and would be left out of every reply from then on.
  constexpr uint16_t kDdrd = 0x2A, kPortd = 0x2B;
  constexpr uint8_t kRpPin = 1u << RIGHT_PADS_FIRST_PIN;
  boardSetTouching(board, {0x0003});
  board.chip.avr->data[kDdrd] |= kRpPin;
  board.chip.avr->data[kPortd] &= static_cast<uint8_t>(~kRpPin);
  exchange(kRequest);  // the scans that put it right may still find RP low
  EXPECT_EQ(exchange(kRequest), expectedReply({0x0003}));
}

// The firmware on boards wired several ways, each at every corner of the circuit
// (pull-up, pad capacitance, the chip's input thresholds): every reply right.
std::string wiringProblem(const std::string& firmware) {
  struct Wiring {
    const char* name;
    double seriesOhms, pullUpOhms, contactOhms;
    ContactMask onSkin;
    double skinOhms;
  };
  const Wiring wirings[] = {
      {"pads straight to the pins, good contacts", 0, 0, 10, 0, 0},
      {"pads straight to the pins, 1 kOhm contacts", 0, 0, 1000, 0, 0},
      {"pads straight to the pins, every pad on 30 kOhm of skin", 0, 0, 100, 0x3F3F, 30e3},
      {"series resistors and pull-ups, good contacts", 100, 10e3, 10, 0, 0},
      {"series resistors and pull-ups, 1 kOhm contacts", 100, 10e3, 1000, 0, 0},
      {"series resistors and pull-ups, every pad on 5 kOhm of skin", 100, 10e3, 100, 0x3F3F, 5e3},
  };
  for (const Wiring& wiring : wirings) {
    PadCircuit circuit;
    circuit.seriesOhms = wiring.seriesOhms;
    circuit.externalPullUpOhms = wiring.pullUpOhms;
    circuit.contactOhms = wiring.contactOhms;
    circuit.onSkin = wiring.onSkin;
    circuit.skinOhms = wiring.skinOhms;
    const std::string problem = boardCheckCorners(firmware, circuit, checkPatterns());
    if (!problem.empty()) return std::string(wiring.name) + ": " + problem;
  }
  return "";
}

// Pads shorted to ground or to the supply, and pads touching a grounded one, are in
// no group, and no pin is driven against a short: pads straight on their pins or
// behind series resistors, through good and poor contacts. (Straight on its pin, a pad
// touching one shorted to the supply through 40 to 100 Ohm reads low when driven, and
// is driven against the short: no digital pin can tell; a series resistor limits it.)
std::string shortsProblem(const std::string& firmware) {
  struct Case {
    const char* name;
    ContactMask toGround, toSupply;
    Groups touching, reported;
  };
  const Case cases[] = {
      {"a lone grounded pad", 0x0010, 0, {0x0006, 0x0300}, {0x0006, 0x0300}},
      {"a grounded pad's group", 0x0010, 0, {0x0018, 0x0006}, {0x0006}},
      {"a whole hand grounded", 0x3F00, 0, {0x0003, 0x0300}, {0x0003}},
      {"a pad shorted to the supply", 0, 0x0010, {0x0018, 0x0006}, {0x0006}},
      {"a whole hand shorted to the supply", 0, 0x3F00, {0x0003, 0x0300}, {0x0003}},
  };
  for (double seriesOhms : {0.0, 100.0}) {
    for (double contactOhms : {10.0, 1000.0}) {
      for (const Case& c : cases) {
        PadCircuit circuit;
        circuit.seriesOhms = seriesOhms;
        circuit.contactOhms = contactOhms;
        circuit.shortedToGround = c.toGround;
        circuit.shortedToSupply = c.toSupply;
        Board board;
        std::string error;
        if (!boardStart(board, firmware, error, circuit)) return error;
        boardSetTouching(board, c.touching);
        const std::string where = std::string(c.name) + ", series " + std::to_string(seriesOhms) + " Ohm, contact " +
                                  std::to_string(contactOhms) + " Ohm";
        if (boardExchange(board, kRequest) != expectedReply(c.reported)) return "a wrong reply: " + where;
        if (!board.pads.faults.empty()) return "a pin driven against a short: " + where;
      }
    }
  }
  return "";
}

// A contact that closes for a moment while the firmware scans is no group.
std::string flickerProblem(const std::string& firmware) {
  constexpr int64_t kFlickerMicros = 150;
  Board board;
  std::string error;
  if (!boardStart(board, firmware, error)) return error;
  // From the request's frame (1.04 ms) through both scans, in steps shorter than it.
  for (int64_t offset = 1000; offset <= 3000; offset += 100) {
    avrBoardSendByte(board.chip, kRequest);
    avrBoardRunFor(board.chip, offset);
    boardSetTouching(board, {0x0018});
    avrBoardRunFor(board.chip, kFlickerMicros);
    boardSetTouching(board, {});
    if (boardReply(board) != expectedReply({}))
      return "reported a contact of " + std::to_string(kFlickerMicros) + " us, " + std::to_string(offset) +
             " us after the request";
  }
  return "";
}

using FirmwareCheck = std::function<std::string(const std::string&)>;

TEST(FirmwareChecks, TheShippedFirmwarePassesEveryCheck) {
  const std::pair<const char*, FirmwareCheck> checks[] = {
      {"wirings", wiringProblem}, {"shorts", shortsProblem}, {"flicker", flickerProblem}};
  for (const auto& [name, check] : checks) EXPECT_EQ(check(kFirmware), "") << name;
}

TEST(FirmwareChecks, EachBrokenFirmwareFailsTheCheckOfWhatItBreaks) {
  struct Case {
    const char* variant;  // built with one switch: see firmware/CMakeLists.txt
    FirmwareCheck check;
  };
  const Case cases[] = {
      {"settle0", wiringProblem},     // reads the pads the moment it drives one low
      {"norecharge", wiringProblem},  // releases a pad from low, leaving it to its pull-up
      {"unguarded", shortsProblem},   // drives pads that read low at idle or stay high
      {"onescan", flickerProblem},    // reports what a single scan found
  };
  for (const Case& c : cases) EXPECT_NE(c.check(kVariantDir + "/" + c.variant + ".elf"), "") << c.variant;
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
