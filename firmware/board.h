#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contacts/contact_mask.h"
#include "firmware/avr_board.h"
#include "firmware/pad_circuit.h"

// The contact controller's board: the firmware's ELF on an emulated ATmega328P
// (avr_board.h: the chip, its serial line, pacing) with its twelve pad pins
// wired to the pads' circuit (pad_circuit.h). The circuit follows the chip after
// every instruction and hands each pin's level to the chip through its port's pin
// lines, as a real pad would.

struct avr_irq_t;

struct Board {
  AvrBoard chip;  // not copyable, nor is the board: simavr holds pointers into both
  PadModel pads;

  // Scan timing, for figures: the cycle the firmware first read a pad port after the
  // latest byte entered its receive buffer.
  uint64_t firstPadReadCycle = 0;
  int64_t firstPadReadForByte = -1;  // that byte's number on the line

  // The pad ports' registers as the circuit last followed them; a write to any of
  // them since (or a while without one, to take up a reset) has them looked at again.
  bool pinRegistersWritten = true;
  int stepsSinceLook = 0;
  uint8_t directions[2] = {};
  uint8_t outputs[2] = {};
  bool pullUpsOff = false;
  avr_irq_t* pinLines[kPadNodes] = {};
  uint8_t externalLevels[2] = {};

  // The emulator's own read handlers of the pad ports' PIN registers, wrapped below.
  struct PinRead {
    uint16_t address = 0;
    uint8_t (*read)(avr_t*, uint16_t, void*) = nullptr;
    void* param = nullptr;
  };
  PinRead pinReads[2];
};

// Loads the firmware ELF into a fresh emulated ATmega328P, wires its pads as the
// circuit says, and resets it. On failure returns false with the reason in error.
bool boardLoad(Board& board, const std::string& elfPath, std::string& error, const PadCircuit& circuit = {});

// Loads the firmware as boardLoad does and runs it for the millisecond in which it sets
// itself up (a byte sent before then is lost, as on a real board).
bool boardStart(Board& board, const std::string& elfPath, std::string& error, const PadCircuit& circuit = {});

// From now on these groups of pads touch; groups that share a pad are one group.
void boardSetTouching(Board& board, const std::vector<ContactMask>& groups);

// From now on the pads' circuit is this one (its corners, faults, skin).
void boardSetCircuit(Board& board, const PadCircuit& circuit);

// The mask of a pad's script name ("RT", "LPm", ...), or 0 for no such pad.
ContactMask padMaskByName(const std::string& name);

// Where a pad's pin is: the port letter and bit, from the board's pin map.
struct PadPin {
  char port;
  int bit;
};
PadPin padPin(ContactMask pad);
