#include "firmware/flex_glove_measure.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <vector>

#include "firmware/flex_divider.h"
#include "firmware/flex_glove_board.h"
#include "firmware/glove_pins.h"

namespace {

constexpr double kCyclesPerSecond = kAvrClockHz;
constexpr double kCyclesPerMicro = kAvrCyclesPerMicro;
constexpr int64_t kRateMicros = 10'000'000;  // emulated time the rate is counted over
constexpr int64_t kSettleMicros = 12'000;    // a hand is in the lines after two samples and a line
constexpr int kHighestBend = 255;

bool startBoard(FlexGloveBoard& board, const std::string& firmwarePath) {
  std::string error;
  if (flexGloveBoardStart(board, firmwarePath, error)) return true;
  std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
  return false;
}

// Lines a second over ten emulated seconds with every sensor reading four digits and
// every button pressed (the longest line there is), the spread of their starts, the
// line's time on the wire, and the emulator's speed.
bool printRate(const std::string& firmwarePath) {
  FlexGloveBoard board;
  if (!startBoard(board, firmwarePath)) return false;
  flexGloveBoardSetHand(board, {{255, 255, 255, 255, 255}, {1, 1, 1, 1}});
  const uint64_t startCycle = avrBoardCycle(board.chip);
  const auto wallStart = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  const std::vector<GloveLine> lines = flexGloveBoardRun(board, kRateMicros);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double emulated = static_cast<double>(avrBoardCycle(board.chip) - startCycle) / kCyclesPerSecond;
  if (lines.size() < 2) {
    std::fprintf(stderr, "signglove-board: the glove's firmware sent %zu lines\n", lines.size());
    return false;
  }
  uint64_t shortest = UINT64_MAX, longest = 0;
  for (size_t index = 1; index < lines.size(); ++index) {
    shortest = std::min(shortest, lines[index].startCycle - lines[index - 1].startCycle);
    longest = std::max(longest, lines[index].startCycle - lines[index - 1].startCycle);
  }
  const double seconds = static_cast<double>(lines.back().startCycle - lines.front().startCycle) / kCyclesPerSecond;
  std::printf("sample rate: %.2f lines a second over %.0f emulated seconds; lines start %.1f to %.1f us apart\n",
              static_cast<double>(lines.size() - 1) / seconds, emulated, shortest / kCyclesPerMicro,
              longest / kCyclesPerMicro);
  const size_t bytes = lines.back().text.size() + 1;
  const double frameMicros = 1e6 * 10 * 17 * 8 / kCyclesPerSecond;  // 10 bits at UBRR 16 with U2X
  std::printf("longest line: %zu bytes, %.2f ms on the wire (%.0f%% of a sample period)\n", bytes,
              static_cast<double>(bytes) * frameMicros / 1000,
              100.0 * static_cast<double>(bytes) * frameMicros / GLOVE_SAMPLE_MICROS);
  std::printf("emulator: %.2f s of emulated time in %.2f s of wall time (%.1f times real time), %.2f s of CPU time "
              "(%.1f times)\n",
              emulated, wall, emulated / wall, cpu, emulated / cpu);
  return true;
}

// Every bend through the divider, the ADC and the firmware, read back through the
// linear calibration (25 kOhm straight, 100 kOhm fully bent).
bool printCalibrationError(const std::string& firmwarePath) {
  FlexGloveBoard board;
  if (!startBoard(board, firmwarePath)) return false;
  double worst = 0;
  int worstBend = 0, lastExact = -1;
  for (int first = 0; first <= kHighestBend; first += GLOVE_FINGERS) {
    GloveHand hand;
    for (int finger = 0; finger < GLOVE_FINGERS; ++finger)
      hand.bend[finger] = static_cast<uint8_t>(std::min(first + finger, kHighestBend));
    flexGloveBoardSetHand(board, hand);
    const std::vector<GloveLine> lines = flexGloveBoardRun(board, kSettleMicros);
    if (lines.empty()) return false;
    std::istringstream fields(lines.back().text);
    for (int finger = 0; finger < GLOVE_FINGERS; ++finger) {
      std::string field;
      std::getline(fields, field, ',');
      const double error = linearlyCalibratedBend(std::stod(field) * FLEX_UNIT_OHMS) - hand.bend[finger];
      if (std::abs(error) >= 0.5 && lastExact < 0) lastExact = hand.bend[finger] - 1;
      if (hand.bend[finger] <= kFlexFullBend && std::abs(error) > worst) {
        worst = std::abs(error);
        worstBend = hand.bend[finger];
      }
    }
  }
  std::printf("linear calibration: bends 0 to %d read back within %.3f of a step (the most at %d); "
              "rounded, every bend from 0 to %d reads exactly\n",
              kFlexFullBend, worst, worstBend, lastExact < 0 ? kHighestBend : lastExact);
  return true;
}

}  // namespace

int flexGloveMeasure(const std::string& firmwarePath) {
  return printRate(firmwarePath) && printCalibrationError(firmwarePath) ? 0 : 1;
}
