#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "contacts/contact_mask.h"

// The contact controller's board in an AVR emulator: the firmware's ELF running on an
// emulated ATmega328P at 16 MHz, its serial line as byte queues, and its twelve pad
// pins wired together as the touching groups say. Nothing here waits for the wall
// clock unless asked to (boardKeepPace).

struct avr_t;

constexpr uint32_t kBoardClockHz = 16000000;

// A byte the firmware sent: whole once the emulated clock reaches atCycle.
struct BoardByte {
  uint64_t atCycle;
  uint8_t byte;
};

struct Board {
  Board() = default;
  Board(const Board&) = delete;  // simavr holds pointers into it
  Board& operator=(const Board&) = delete;
  ~Board();

  avr_t* avr = nullptr;
  void** symbols = nullptr;  // the firmware's symbols, kept while the emulator may refer to them
  uint32_t symbolCount = 0;
  std::vector<ContactMask> touching;  // disjoint groups of pads in contact
  ContactMask grounded = 0;           // pads shorted to ground: a wiring fault

  // Serial line, both ways.
  bool receiverReady = true;        // the UART takes input (its XON)
  std::deque<uint8_t> toFirmware;   // sent by the host, not yet taken by the UART
  std::deque<BoardByte> fromFirmware;  // sent by the firmware, in order of their frames' ends
  uint64_t lineFreeCycle = 0;       // the firmware's transmitter line is busy until then

  // Scan timing: the cycle the firmware first read its pads after the latest byte
  // the host sent, for figures.
  uint64_t byteFedCycle = 0;
  uint64_t firstPadReadCycle = 0;
  bool padsReadSinceByte = false;

  // Pacing against the wall clock.
  int64_t paceWallStartNanos = 0;
  uint64_t paceStartCycle = 0;

  // The emulator's own read handlers of the pad ports' PIN registers, wrapped below.
  struct PinRead {
    uint16_t address = 0;
    uint8_t (*read)(avr_t*, uint16_t, void*) = nullptr;
    void* param = nullptr;
  };
  PinRead pinReads[2];
};

// Loads the firmware ELF into a fresh emulated ATmega328P and resets it. On failure
// returns false with the reason in error.
bool boardLoad(Board& board, const std::string& elfPath, std::string& error);

// From now on these groups of pads touch; groups that share a pad are one group.
void boardSetTouching(Board& board, const std::vector<ContactMask>& groups);

// Puts a byte on the line to the firmware; its frame starts now.
void boardSendByte(Board& board, uint8_t byte);

// Runs the firmware until the emulated clock reaches the cycle. Returns false when
// the emulated chip stopped or crashed.
bool boardRunUntil(Board& board, uint64_t cycle);

// Runs the firmware for this many emulated microseconds.
bool boardRunFor(Board& board, int64_t micros);

// Takes the firmware's next byte whose frame has ended by now, if there is one.
bool boardTakeByte(Board& board, BoardByte& byte);

// The emulated clock, in cycles and in microseconds.
uint64_t boardCycle(const Board& board);
int64_t boardMicros(const Board& board);

// Starts pacing: from now on boardKeepPace holds the emulated clock to the wall clock.
void boardStartPace(Board& board);

// Sleeps off any lead the emulated clock has over the wall clock since boardStartPace.
void boardKeepPace(Board& board);

// The mask of a pad's script name ("RT", "LPm", ...), or 0 for no such pad.
ContactMask padMaskByName(const std::string& name);

// Where a pad's pin is: the port letter and bit, from the board's pin map.
struct PadPin {
  char port;
  int bit;
};
PadPin padPin(ContactMask pad);
