#pragma once

#include <cstdint>
#include <string_view>

#include "simulator/scenario.h"

// The virtual signer: handshapes, movements and signs performed on the scenario's
// glove and pads, realised so that the program, sampling them as it does, reads them
// as intended. All of them start at the builder's time and move it on.

// Points at the head and the chest, tapping A at each.
void signerCalibrate(ScenarioBuilder& builder);

// Presses the buttons (bit per button, A = bit 0), waits, releases them, waits.
void signerTap(ScenarioBuilder& builder, unsigned buttons);

// True when the signer can make the handshape of this printed name.
bool signerKnowsHandshape(std::string_view name);

// Takes the handshape and holds it still for holdMs.
void signerHold(ScenarioBuilder& builder, std::string_view name, int64_t holdMs);

// True when the signer can perform the movement of this printed name.
bool signerKnowsMovement(std::string_view name);

// Performs the movement from the current pose over durationMs (0: a duration derived
// from the sample timing), then holds still at its end.
void signerMove(ScenarioBuilder& builder, std::string_view name, int64_t durationMs);

// Relaxes the hand into a pose that names no handshape, the arm back in front of the
// body, and stays so for restMs.
void signerRest(ScenarioBuilder& builder, int64_t restMs);

// True when the signer knows the sign for this word.
bool signerKnowsWord(std::string_view word);

// Signs the word: start handshape held, movement, closing handshape held, rest.
void signerSign(ScenarioBuilder& builder, std::string_view word);
