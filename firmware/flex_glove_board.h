#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/avr_board.h"

// The do-it-yourself glove's board: the flex-glove firmware's ELF on an emulated
// ATmega328P (avr_board.h: the chip, its serial line, pacing), its five ADC
// inputs fed by the flex sensors' dividers (flex_divider.h) as the hand bends, each
// held as a conversion starts, as the chip's sample-and-hold does; its four button pins
// held low while a button is pressed.

struct avr_irq_t;

// What the glove's sensors and buttons feel: bends on the program's scale, buttons 1
// while pressed.
struct GloveHand {
  uint8_t bend[5] = {};     // thumb, index, middle, ring, little
  uint8_t buttons[4] = {};  // A, B, C, D

  bool operator==(const GloveHand&) const = default;
};

struct FlexGloveBoard {
  AvrBoard chip;  // not copyable, nor is the board: simavr holds pointers into both
  GloveHand hand;
  avr_irq_t* flexInputs[5] = {};
  avr_irq_t* buttonPins[4] = {};
  int lastConvertedFinger = -1;  // the finger whose conversion started last
  int64_t samplesStarted = 0;    // conversions of the first finger's sensor started

  std::string partLine;  // the line the firmware is sending, so far
  uint64_t partLineStartCycle = 0;
};

// A whole line the firmware sent, without its newline; its first frame started then.
struct GloveLine {
  uint64_t startCycle;
  std::string text;
};

// Loads the firmware ELF into a fresh emulated chip, the hand straight and no button
// pressed, and runs it for the millisecond in which it sets itself up. On failure
// returns false with the reason in error.
bool flexGloveBoardStart(FlexGloveBoard& board, const std::string& elfPath, std::string& error);

// From now on the sensors and buttons feel this hand.
void flexGloveBoardSetHand(FlexGloveBoard& board, const GloveHand& hand);

// The same once the firmware is between two samples: while it is converting a sample's
// sensors (0.5 ms of every 3) it runs on until it has started on the last. The virtual
// signer moves all fingers at once, and the program sees a glove record change whole;
// a change in the middle of a sample would send a line with some fingers as they were
// and the others as they are, which the signer's handshapes never show. False when the
// emulated chip stopped.
bool flexGloveBoardSetHandBetweenSamples(FlexGloveBoard& board, const GloveHand& hand);

// What the ADC reads on a finger's input for a bend: the divider's voltage as the
// real chip reads it.
int flexGloveReading(uint8_t bend);

// Runs the firmware for this many emulated microseconds and returns the lines it
// finished sending meanwhile.
std::vector<GloveLine> flexGloveBoardRun(FlexGloveBoard& board, int64_t micros);
