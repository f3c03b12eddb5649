#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contacts/contact_mask.h"
#include "firmware/board.h"

// Checks of a firmware on the emulated board across the pads' circuit, shared by the
// tests and signglove-board --measure.

using TouchPattern = std::vector<ContactMask>;

// Sends a byte and runs until a whole reply has come (its terminator and checksum are
// in), or the wait is over; returns what came, and its frames in frames if given.
std::vector<uint8_t> boardExchange(Board& board, uint8_t byte, int64_t waitMicros = 100000,
                                   std::vector<BoardByte>* frames = nullptr);

// The same without sending: the rest of a reply already asked for.
std::vector<uint8_t> boardReply(Board& board, int64_t waitMicros = 100000, std::vector<BoardByte>* frames = nullptr);

// The reply the firmware owes for these groups: the emulated controller's.
std::vector<uint8_t> expectedReply(const TouchPattern& groups);

// Touch patterns that between them drive every pad and read every pad against every
// other: none, a pair, a whole hand, across the hands, six pairs, all twelve.
const std::vector<TouchPattern>& checkPatterns();

// The circuit at the corners of what it may be: the chip's pull-up (20, 50 kOhm),
// the pads' capacitance (220 pF, 1 nF), a chip reading low as late and high as early
// as it may (1.5 to 1.8 V) and one the other way (2.7 to 3.0 V); the rest from base.
std::vector<PadCircuit> circuitCorners(const PadCircuit& base);

// Empty when the firmware answers every pattern right with this circuit and drives
// no pin against a short; otherwise what went wrong.
std::string boardCheck(const std::string& firmwarePath, const PadCircuit& circuit,
                       const std::vector<TouchPattern>& patterns);

// The same at every corner of base.
std::string boardCheckCorners(const std::string& firmwarePath, const PadCircuit& base,
                              const std::vector<TouchPattern>& patterns);

// The largest contact resistance between touching pads, and the smallest skin
// resistance from every pad to the body, at which the firmware answers every check
// pattern right at every corner of base; to within a few percent.
double largestContactOhms(const std::string& firmwarePath, const PadCircuit& base);
double smallestSkinOhms(const std::string& firmwarePath, const PadCircuit& base);
