#include "firmware/avr_board.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern "C" {
#include <sim_avr.h>
#include <sim_elf.h>
}

namespace {

constexpr const char* kChip = "atmega328p";  // simavr's name for it
constexpr int64_t kSetUpMicros = 1000;       // the firmwares set themselves up well within this

int64_t wallNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The emulator's messages: its errors go to standard error, its chatter (what it
// loaded, and so on) nowhere, since standard output may carry a program's console.
void logEmulatorErrors(avr_t*, const int level, const char* format, va_list arguments) {
  if (level > LOG_ERROR) return;
  std::fputs("simavr: ", stderr);
  std::vfprintf(stderr, format, arguments);
}

// A sleeping chip: simavr's own callback would sleep the host's thread for as long;
// the board keeps its own pace (avrBoardKeepPace), so the sleep passes in emulated
// time alone.
void sleepInEmulatedTime(avr_t*, avr_cycle_count_t) {}

}  // namespace

AvrBoard::~AvrBoard() {
  if (avr) {
    avr_terminate(avr);
    std::free(avr);
  }
  for (uint32_t index = 0; index < symbolCount; ++index) std::free(symbols[index]);
  std::free(symbols);
}

bool avrBoardLoad(AvrBoard& board, const std::string& elfPath, std::string& error) {
  // The library's idea of the firmware record may be larger than its header says,
  // depending on how it was built; leave it room.
  avr_global_logger_set(logEmulatorErrors);
  union {
    elf_firmware_t firmware;
    unsigned char room[2 * sizeof(elf_firmware_t)];
  } image;
  std::memset(&image, 0, sizeof image);
  if (elf_read_firmware(elfPath.c_str(), &image.firmware) != 0) {
    error = "cannot read the firmware " + elfPath;
    return false;
  }
  std::strncpy(image.firmware.mmcu, kChip, sizeof image.firmware.mmcu - 1);
  image.firmware.frequency = kAvrClockHz;

  board.avr = avr_make_mcu_by_name(kChip);
  if (!board.avr) {
    error = std::string("the emulator does not know the ") + kChip;
    std::free(image.firmware.flash);
    std::free(image.firmware.eeprom);
    return false;
  }
  avr_init(board.avr);
  board.avr->log = LOG_ERROR;
  board.avr->sleep = sleepInEmulatedTime;
  avr_load_firmware(board.avr, &image.firmware);
  std::free(image.firmware.flash);
  std::free(image.firmware.eeprom);
  board.symbols = reinterpret_cast<void**>(image.firmware.symbol);
  board.symbolCount = image.firmware.symbolcount;
  if (!avrSerialAttach(board.serial, board.avr)) {
    error = std::string("the emulated ") + kChip + " has no UART 0";
    return false;
  }
  return true;
}

bool avrBoardSetUp(AvrBoard& board, std::string& error) {
  if (avrBoardRunFor(board, kSetUpMicros)) return true;
  error = "the emulated chip stopped while starting";
  return false;
}

bool avrBoardRunUntil(AvrBoard& board, uint64_t cycle) {
  while (board.avr->cycle < cycle) {
    const int state = avr_run(board.avr);
    if (state == cpu_Done || state == cpu_Crashed) return false;
    avrSerialStep(board.serial, board.avr);
    if (board.followPins) board.followPins(board.wiring);
  }
  return true;
}

bool avrBoardRunFor(AvrBoard& board, int64_t micros) {
  return avrBoardRunUntil(board, board.avr->cycle + static_cast<uint64_t>(micros) * kAvrCyclesPerMicro);
}

void avrBoardSendByte(AvrBoard& board, uint8_t byte) { avrSerialSend(board.serial, board.avr, byte); }

bool avrBoardTakeByte(AvrBoard& board, BoardByte& byte) {
  std::deque<BoardByte>& sent = board.serial.toHost;
  if (sent.empty() || sent.front().atCycle > board.avr->cycle) return false;
  byte = sent.front();
  sent.pop_front();
  return true;
}

uint64_t avrBoardCycle(const AvrBoard& board) { return board.avr->cycle; }

int64_t avrBoardMicros(const AvrBoard& board) {
  return static_cast<int64_t>(board.avr->cycle / kAvrCyclesPerMicro);
}

void avrBoardStartPace(AvrBoard& board) {
  board.paceWallStartNanos = wallNanos();
  board.paceStartCycle = board.avr->cycle;
}

void avrBoardKeepPace(AvrBoard& board) {
  const int64_t emulatedNanos =
      static_cast<int64_t>((board.avr->cycle - board.paceStartCycle) * 1000 / kAvrCyclesPerMicro);
  const int64_t lead = emulatedNanos - (wallNanos() - board.paceWallStartNanos);
  if (lead > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(lead));
}
