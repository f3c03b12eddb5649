#include "firmware/board_measure.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <vector>

#include "contacts/contact_packet.h"
#include "firmware/board.h"
#include "firmware/board_check.h"

namespace {

constexpr int kBurstRequests = 11;
constexpr int64_t kBurstWaitMicros = 300000;  // far longer than eleven replies take
constexpr int kSpeedRequests = 1000;
constexpr double kCyclesPerMicro = kAvrCyclesPerMicro;
constexpr int64_t kReplyWaitMicros = 100000;

struct Pattern {
  const char* name;
  TouchPattern groups;
};

// The wirings whose resistance ranges are printed: the pads straight on their pins,
// and with the parts the README's wiring diagram adds.
struct Wiring {
  const char* name;
  double seriesOhms;
  double externalPullUpOhms;
};
constexpr Wiring kWirings[] = {
    {"pads straight to the pins", 0, 0},
    {"100 Ohm in series, 10 kOhm pull-ups", 100, 10e3},
};

bool startBoard(Board& board, const std::string& firmwarePath) {
  std::string error;
  if (!boardStart(board, firmwarePath, error)) {
    std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
    return false;
  }
  return true;
}

// The scan time, from the firmware's first read of a pad after the request came to
// the start of its reply's first frame, and the whole exchange on the line.
bool printScanTimes(const std::string& firmwarePath) {
  Board board;
  if (!startBoard(board, firmwarePath)) return false;
  const Pattern patterns[] = {
      {"no pads touch", {}},
      {"one pair", {0x0018}},
      {"six pairs", {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000}},
      {"all twelve pads", {0x3F3F}},
  };
  std::printf("%-16s %12s %9s %12s %18s\n", "touching", "scan cycles", "scan ms", "scan frames", "request to reply");
  for (const Pattern& pattern : patterns) {
    boardSetTouching(board, pattern.groups);
    const uint64_t sent = avrBoardCycle(board.chip);
    std::vector<BoardByte> replied;
    boardExchange(board, kRequestByte, kReplyWaitMicros, &replied);
    if (replied.size() < 2) {
      std::fprintf(stderr, "signglove-board: no reply with %s\n", pattern.name);
      return false;
    }
    const double frame = static_cast<double>(replied[1].startCycle - replied[0].startCycle);
    const double scan = static_cast<double>(replied.front().startCycle - board.firstPadReadCycle);
    std::printf("%-16s %12.0f %9.3f %12.2f %12.2f ms (%zu bytes, %.0f cycles apart)\n", pattern.name, scan,
                scan / kCyclesPerMicro / 1000, scan / frame,
                static_cast<double>(replied.back().atCycle - sent) / kCyclesPerMicro / 1000, replied.size(), frame);
  }
  return true;
}

// Requests sent back to back: the chip's receive buffer holds two and its shift
// register one; the others are lost while the firmware answers.
bool printBurst(const std::string& firmwarePath) {
  Board board;
  if (!startBoard(board, firmwarePath)) return false;
  boardSetTouching(board, {0x0018});
  for (int request = 0; request < kBurstRequests; ++request) avrBoardSendByte(board.chip, kRequestByte);
  avrBoardRunFor(board.chip, kBurstWaitMicros);
  size_t bytes = 0;
  for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) ++bytes;
  std::printf("%d requests back to back: %zu replies, %lld requests lost to overrun\n", kBurstRequests,
              bytes / expectedReply({0x0018}).size(), static_cast<long long>(board.chip.serial.overruns));
  return true;
}

void printRanges(const std::string& firmwarePath) {
  std::printf("resistances that read right at every corner (pull-up 20-50 kOhm, pads 220 pF-1 nF, any chip's "
              "thresholds):\n");
  for (const Wiring& wiring : kWirings) {
    PadCircuit base;
    base.seriesOhms = wiring.seriesOhms;
    base.externalPullUpOhms = wiring.externalPullUpOhms;
    std::printf("  %-38s contact up to %5.0f Ohm; skin (every pad on it) from %5.0f Ohm\n", wiring.name,
                largestContactOhms(firmwarePath, base), smallestSkinOhms(firmwarePath, base));
  }
}

bool printSpeed(const std::string& firmwarePath) {
  Board board;
  if (!startBoard(board, firmwarePath)) return false;
  boardSetTouching(board, {0x0018, 0x0300});
  const uint64_t startCycle = avrBoardCycle(board.chip);
  const auto wallStart = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  for (int request = 0; request < kSpeedRequests; ++request) boardExchange(board, kRequestByte);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double emulated = static_cast<double>(avrBoardCycle(board.chip) - startCycle) / kAvrClockHz;
  // On a busy machine the wall clock says less about the emulator than the CPU time.
  std::printf("emulator: %.2f s of emulated time in %.2f s of wall time (%.1f times real time), %.2f s of CPU time "
              "(%.1f times)\n",
              emulated, wall, emulated / wall, cpu, emulated / cpu);
  return true;
}

}  // namespace

int boardMeasure(const std::string& firmwarePath) {
  if (!printScanTimes(firmwarePath) || !printBurst(firmwarePath)) return 1;
  printRanges(firmwarePath);
  return printSpeed(firmwarePath) ? 0 : 1;
}
