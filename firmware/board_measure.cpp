#include "firmware/board_measure.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <vector>

#include "firmware/board.h"

namespace {

constexpr uint8_t kRequest = 0x53;
constexpr int64_t kReplyWaitMicros = 100000;
constexpr int64_t kStepMicros = 100;
constexpr int kSpeedRequests = 1000;
constexpr uint64_t kCyclesPerMicro = kBoardClockHz / 1000000;

struct Pattern {
  const char* name;
  std::vector<ContactMask> groups;
};

// Sends a request and runs until the reply's last byte is whole; returns its bytes.
std::vector<BoardByte> exchange(Board& board) {
  avrBoardSendByte(board.chip, kRequest);
  std::vector<BoardByte> reply;
  const int64_t until = avrBoardMicros(board.chip) + kReplyWaitMicros;
  while (avrBoardMicros(board.chip) < until) {
    if (!avrBoardRunFor(board.chip, kStepMicros)) break;
    for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) reply.push_back(taken);
    const size_t size = reply.size();
    if (size >= 6 && size % 2 == 0 && reply[size - 4].byte == 0x40 && reply[size - 3].byte == 0x00) break;
  }
  return reply;
}

}  // namespace

int boardMeasure(const std::string& firmwarePath) {
  Board board;
  std::string error;
  if (!boardLoad(board, firmwarePath, error)) {
    std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
    return 1;
  }
  avrBoardRunFor(board.chip, 1000);
  const Pattern patterns[] = {
      {"no pads touch", {}},
      {"one pair", {0x0018}},
      {"six pairs", {0x0003, 0x000C, 0x0030, 0x0300, 0x0C00, 0x3000}},
      {"all twelve pads", {0x3F3F}},
  };
  std::printf("%-16s %12s %12s %14s\n", "touching", "scan cycles", "scan us", "request-reply");
  for (const Pattern& pattern : patterns) {
    boardSetTouching(board, pattern.groups);
    const uint64_t sent = avrBoardCycle(board.chip);
    const std::vector<BoardByte> reply = exchange(board);
    if (reply.size() < 2) {
      std::fprintf(stderr, "signglove-board: no reply with %s\n", pattern.name);
      return 1;
    }
    const uint64_t scan = reply[0].startCycle - board.firstPadReadCycle;
    std::printf("%-16s %12llu %12.1f %11.2f ms  (%zu bytes)\n", pattern.name,
                static_cast<unsigned long long>(scan), static_cast<double>(scan) / kCyclesPerMicro,
                static_cast<double>(reply.back().atCycle - sent) / (kCyclesPerMicro * 1000.0), reply.size());
  }

  boardSetTouching(board, {0x0018, 0x0300});
  const uint64_t startCycle = avrBoardCycle(board.chip);
  const auto wallStart = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  for (int request = 0; request < kSpeedRequests; ++request) exchange(board);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double emulated = static_cast<double>(avrBoardCycle(board.chip) - startCycle) / kBoardClockHz;
  // On a busy machine the wall clock says less about the emulator than the CPU time.
  std::printf("emulator: %.2f s of emulated time in %.2f s of wall time (%.1f times real time), %.2f s of CPU time "
              "(%.1f times)\n",
              emulated, wall, emulated / wall, cpu, emulated / cpu);
  return 0;
}
