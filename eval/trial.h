#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

// One trial of the evaluation: the virtual signer performs one item (a handshape, a
// movement or a word) under one set of conditions, and the program's console says what
// it took the item for.

enum class Family { kHandshape, kMovement, kWord };
constexpr int kFamilies = 3;

// The family's name as the CSV and the tables write it: handshape, movement, word.
const char* familyName(Family family);

struct Item {
  Family family;
  std::string name;  // as the program prints it
};

// Every handshape the tree can name, every movement and every word, family by family
// in the program's own order.
const std::vector<Item>& allItems();

// The items of one family, in the same order.
std::vector<std::string> familyItems(Family family);

// What the signer and the world are like during a trial.
struct Condition {
  int noise = 0;       // position and angle jitter, glove units
  int bendNoise = 0;   // bend jitter
  double tempo = 1;    // the signer's pace: 2 takes twice as long
  int scanMs = 2;      // the controller's scan time
  int refreshMs = 0;   // the glove record's refresh period; 0: every poll
  uint64_t seed = 0;   // the noise sequence
};

// The response when the program printed nothing for the item.
constexpr std::string_view kNothing = "nothing";

struct Outcome {
  std::vector<std::string> printed;  // every name or word the mode printed for the trial, in order
  std::string response;              // what the item was taken for: its own name, another, or kNothing
  bool correct = false;
};

// The scenario of a trial: calibration, the hand at rest, the mode chosen, the item
// performed at the condition's tempo and a way out, all under the condition's noise
// and timing.
Scenario trialScenario(const Condition& condition, const Item& item);

// Reads a trial's transcript. The item counts as recognised when it alone was named;
// anything else named makes the first such name the response; with nothing named
// (unknown handshapes and movements name nothing) the response is kNothing.
Outcome judgeTranscript(const Item& item, std::string_view transcript);

// Runs a trial in the virtual world (a global: one trial at a time per process).
Outcome runTrial(const Condition& condition, const Item& item);
