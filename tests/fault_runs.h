#pragma once

// Randomized fault runs: seeded scenarios in which the finger-connections mode meets a
// misbehaving contact controller (corrupted, cut and silent replies, noise bursts long
// enough to outlast the deadline, Enters at any time), each ending with a healthy
// controller, a final touch pattern, C, then B with C; and the check of what the
// program printed against what the controller sent.

#include <cstdint>
#include <string>
#include <vector>

struct FaultRun {
  uint64_t seed = 0;
  std::string script;
  std::vector<std::string> finalLines;  // one cycle of the final touch pattern
};

struct FaultRunVerdict {
  bool hung = false;          // the program did not end by itself
  std::string stopReason;     // why the simulation stopped it, if it did
  int lines = 0;              // lines the mode printed
  int wrongLines = 0;         // lines no valid frame the controller sent names
  std::string firstWrongLine;
  bool endsWithFinalPattern = false;  // the last cycles print exactly the final pattern
  bool passed() const { return !hung && wrongLines == 0 && endsWithFinalPattern; }
};

// The scenario of one seed; the same seed always gives the same scenario.
FaultRun makeFaultRun(uint64_t seed);

// Runs the scenario through the whole program in the virtual world and checks it.
FaultRunVerdict checkFaultRun(const FaultRun& run);

// The lines the finger-connections mode printed, up to the next clear of the console.
std::vector<std::string> fingerConnectionLines(const std::string& transcript);
