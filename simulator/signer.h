#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

// The virtual signer: handshapes, movements and signs performed on the scenario's
// glove and pads, realised so that the program, sampling them as it does, reads them
// as intended. All of them start at the builder's time and move it on.

// The most jitter the realisations below are built to withstand: position and angle
// readings, and bends (for handshapes; any bend jitter defeats the finger wave).
constexpr int kSignerMostNoise = 10;
constexpr int kSignerMostBendNoise = 2;

constexpr unsigned kAllButtons = 0xF;  // A, B, C and D

// Buttons (bit per button, A = bit 0) in words: "A", "B and C", "all buttons".
std::string signerButtonNames(unsigned buttons);

// Points at the head and the chest, tapping A at each.
void signerCalibrate(ScenarioBuilder& builder);

// Presses the buttons (bit per button, A = bit 0), waits, releases them, waits.
void signerTap(ScenarioBuilder& builder, unsigned buttons);

// Every handshape, movement and word the signer knows, by the name the program prints.
std::vector<std::string_view> signerHandshapeNames();
std::vector<std::string_view> signerMovementNames();
std::vector<std::string_view> signerWords();

// True when the signer can make the handshape of this printed name.
bool signerKnowsHandshape(std::string_view name);

// Takes the handshape and holds it still for holdMs.
void signerHold(ScenarioBuilder& builder, std::string_view name, int64_t holdMs);

// True when the signer can perform the movement of this printed name.
bool signerKnowsMovement(std::string_view name);

// Performs the movement from the current pose over durationMs (0: a duration derived
// from the sample timing), then holds still at its end.
void signerMove(ScenarioBuilder& builder, std::string_view name, int64_t durationMs);

// The durations, in ms, over which the program reliably sees the movement with the
// pads as they are now: slower and its windows look still, faster (or longer, for
// the wave and the roll) and its recording misses what the test needs.
struct MoveRange {
  int64_t fastestMs, slowestMs, usualMs;
};
MoveRange signerMoveRange(const ScenarioBuilder& builder, std::string_view name);

// Right after a movement, holds still until the program has surely finished recording
// it (and has named it, in movement diagnostics).
void signerSettleAfterMove(ScenarioBuilder& builder);

// Relaxes the hand into a pose that names no handshape, the arm back in front of the
// body, and stays so for restMs.
void signerRest(ScenarioBuilder& builder, int64_t restMs);

// True when the signer knows the sign for this word.
bool signerKnowsWord(std::string_view word);

// Signs the word: start handshape held, movement, closing handshape held, rest.
void signerSign(ScenarioBuilder& builder, std::string_view word);
