// The flex glove's firmware alone on its emulated board: what it sends for a hand's
// bends and buttons, how exactly a linear calibration reads the bends back, and its pace.

#include "firmware/flex_glove_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/flex_divider.h"
#include "firmware/glove_pins.h"

namespace {

constexpr int64_t kSampleMicros = GLOVE_SAMPLE_MICROS;

class FlexGloveBoardTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(flexGloveBoardStart(board, SIGNGLOVE_GLOVE_FIRMWARE_ELF, error)) << error;
  }

  // The numbers of the last line the firmware sends within two samples of the hand
  // taking this shape: by then a whole sample has seen it.
  std::vector<long> lineFor(const GloveHand& hand) {
    flexGloveBoardSetHand(board, hand);
    const std::vector<GloveLine> lines = flexGloveBoardRun(board, 2 * kSampleMicros + kSampleMicros / 2);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return {};
    std::vector<long> numbers;
    std::istringstream fields(lines.back().text);
    for (std::string field; std::getline(fields, field, ',');) numbers.push_back(std::stol(field));
    return numbers;
  }

  FlexGloveBoard board;
};

// The firmware's resistance, in its unit, for what the real chip's ADC reads at this
// bend: the middle of the reading's voltages through the divider.
long resistanceFor(uint8_t bend) {
  const long reading = flexGloveReading(bend);
  const long below = (2047 - 2 * reading) * static_cast<long>(FLEX_UNIT_OHMS);
  return std::min<long>((static_cast<long>(FLEX_FIXED_OHMS) * (2 * reading + 1) + below / 2) / below,
                        static_cast<long>(FLEX_MAX_UNITS));
}

TEST_F(FlexGloveBoardTest, SendsEachSensorsResistanceAndEachButtonInColumnOrder) {
  const GloveHand hands[] = {
      {{0, 0, 0, 0, 0}, {0, 0, 0, 0}},
      {{1, 25, 60, 63, 30}, {1, 0, 0, 0}},
      {{60, 1, 60, 60, 60}, {0, 1, 1, 0}},
      {{63, 63, 63, 63, 63}, {1, 1, 1, 1}},
      {{200, 0, 0, 0, 255}, {0, 0, 0, 1}},  // past fully bent the sensor reads on
  };
  for (const GloveHand& hand : hands) {
    std::vector<long> expected;
    for (uint8_t bend : hand.bend) expected.push_back(resistanceFor(bend));
    for (uint8_t button : hand.buttons) expected.push_back(button);
    EXPECT_EQ(lineFor(hand), expected) << "thumb bend " << int{hand.bend[0]};
  }
}

// Every bend of the signer's scale, through the divider, the ADC and the firmware,
// comes back through a linear calibration (25 kOhm straight, 100 kOhm fully bent) to
// within a fifth of a step: rounded, it is the bend itself, on every finger. So is
// every bend on to 148, where the ADC's steps grow past half a bend.
TEST_F(FlexGloveBoardTest, ALinearCalibrationReadsEveryBendBack) {
  constexpr int kLastExactBend = 148;
  double worst = 0;
  for (int first = 0; first <= kLastExactBend; first += GLOVE_FINGERS) {
    GloveHand hand;
    for (int finger = 0; finger < GLOVE_FINGERS; ++finger)
      hand.bend[finger] = static_cast<uint8_t>(std::min(first + finger, kLastExactBend));
    const std::vector<long> line = lineFor(hand);
    ASSERT_EQ(line.size(), static_cast<size_t>(GLOVE_FINGERS + GLOVE_BUTTONS));
    for (int finger = 0; finger < GLOVE_FINGERS; ++finger) {
      const double error =
          linearlyCalibratedBend(static_cast<double>(line[finger] * FLEX_UNIT_OHMS)) - hand.bend[finger];
      EXPECT_LT(std::abs(error), 0.5) << "bend " << int{hand.bend[finger]} << " on finger " << finger;
      if (hand.bend[finger] <= kFlexFullBend) worst = std::max(worst, std::abs(error));
    }
  }
  EXPECT_LT(worst, 0.2);
}

// A hand changed at any moment of a sample reaches the lines whole: every line has all
// fingers as they were or all as they are.
TEST_F(FlexGloveBoardTest, AHandChangedBetweenSamplesNeverMixesFingersInALine) {
  const GloveHand before = {{60, 25, 25, 60, 60}, {0, 0, 0, 0}}, after = {{1, 1, 60, 1, 1}, {0, 0, 0, 0}};
  const auto lineOf = [this](const GloveHand& hand) {
    flexGloveBoardSetHand(board, hand);
    return flexGloveBoardRun(board, 2 * kSampleMicros).back().text;
  };
  const std::string beforeLine = lineOf(before), afterLine = lineOf(after);
  for (int64_t offset = 0; offset < kSampleMicros; offset += 37) {
    flexGloveBoardSetHand(board, before);
    flexGloveBoardRun(board, 2 * kSampleMicros + offset);
    ASSERT_TRUE(flexGloveBoardSetHandBetweenSamples(board, after));
    for (const GloveLine& line : flexGloveBoardRun(board, 2 * kSampleMicros))
      EXPECT_TRUE(line.text == beforeLine || line.text == afterLine) << line.text << " at " << offset << " us";
  }
}

// One line every 3 ms, whatever the hand does: each starts within 0.1 ms of the same
// point after its sample's tick, and is over before the next begins.
TEST_F(FlexGloveBoardTest, SendsALineEveryThreeMillisecondsAtASteadyPace) {
  const GloveHand hands[] = {
      {{0, 0, 0, 0, 0}, {0, 0, 0, 0}},
      {{255, 255, 255, 255, 255}, {1, 1, 1, 1}},  // four digits a finger: the longest line there is
      {{1, 25, 60, 63, 30}, {1, 0, 1, 0}},
  };
  constexpr int kSamples = 300;
  std::vector<GloveLine> lines;
  for (int step = 0; step < kSamples / 2; ++step) {  // a new hand every two samples
    flexGloveBoardSetHand(board, hands[step % std::size(hands)]);
    for (GloveLine& line : flexGloveBoardRun(board, 2 * kSampleMicros)) lines.push_back(std::move(line));
  }
  ASSERT_GE(lines.size(), static_cast<size_t>(kSamples - 1));
  EXPECT_LE(lines.size(), static_cast<size_t>(kSamples));
  const uint64_t period = kSampleMicros * kAvrCyclesPerMicro;
  uint64_t earliest = UINT64_MAX, latest = 0;  // from the tick before
  for (const GloveLine& line : lines) {
    const uint64_t sinceTick = (line.startCycle - lines.front().startCycle + period / 2) % period;
    earliest = std::min(earliest, sinceTick);
    latest = std::max(latest, sinceTick);
  }
  // Some numbers take longer to write, and the line before's last bytes interrupt it.
  EXPECT_LT(latest - earliest, 100 * kAvrCyclesPerMicro);
  EXPECT_LT(avrBoardCycle(board.chip) - lines.back().startCycle, 2 * period);
}

}  // namespace
