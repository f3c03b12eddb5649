#pragma once

#include <cstdint>
#include <string>

#include "firmware/avr_serial.h"

// An AVR chip in the simavr emulator with its firmware, its UART 0 on a line to a
// host, and whatever a board wires to its pins: the part every emulated board shares.
// Nothing here waits for the wall clock unless asked to (avrBoardKeepPace).

struct avr_t;

// Every firmware here is built for an ATmega328P at 16 MHz (an Arduino Uno or Nano).
constexpr uint32_t kAvrClockHz = 16000000;
constexpr uint64_t kAvrCyclesPerMicro = kAvrClockHz / 1000000;

struct AvrBoard {
  AvrBoard() = default;
  AvrBoard(const AvrBoard&) = delete;  // simavr holds pointers into it
  AvrBoard& operator=(const AvrBoard&) = delete;
  ~AvrBoard();

  avr_t* avr = nullptr;
  void** symbols = nullptr;  // the firmware's symbols, kept while the emulator may refer to them
  uint32_t symbolCount = 0;
  AvrSerial serial;

  // What the board wires to the chip's pins follows the chip after every instruction.
  void (*followPins)(void* wiring) = nullptr;
  void* wiring = nullptr;

  // Pacing against the wall clock.
  int64_t paceWallStartNanos = 0;
  uint64_t paceStartCycle = 0;
};

// Loads the firmware ELF into a fresh emulated ATmega328P at kAvrClockHz, and resets
// it. On failure returns false with the reason in error.
bool avrBoardLoad(AvrBoard& board, const std::string& elfPath, std::string& error);

// Runs the firmware for the millisecond in which it sets itself up (its pins, UART and
// the rest): a byte sent before then is lost, as on a real board. On failure returns
// false with the reason in error.
bool avrBoardSetUp(AvrBoard& board, std::string& error);

// Runs the firmware until the emulated clock reaches the cycle. Returns false when
// the emulated chip stopped or crashed.
bool avrBoardRunUntil(AvrBoard& board, uint64_t cycle);

// Runs the firmware for this many emulated microseconds.
bool avrBoardRunFor(AvrBoard& board, int64_t micros);

// Puts a byte on the line to the chip; its frame starts as soon as the line is free.
void avrBoardSendByte(AvrBoard& board, uint8_t byte);

// Takes the firmware's next byte whose frame has ended by now, if there is one.
bool avrBoardTakeByte(AvrBoard& board, BoardByte& byte);

// The emulated clock, in cycles and in microseconds.
uint64_t avrBoardCycle(const AvrBoard& board);
int64_t avrBoardMicros(const AvrBoard& board);

// Starts pacing: from now on avrBoardKeepPace holds the emulated clock to the wall clock.
void avrBoardStartPace(AvrBoard& board);

// Sleeps off any lead the emulated clock has over the wall clock since avrBoardStartPace.
void avrBoardKeepPace(AvrBoard& board);
