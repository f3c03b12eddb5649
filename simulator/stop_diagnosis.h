#pragma once

// Why a scenario did not end by itself: what the program was doing when the simulation
// stopped it, and the mistake in the script that most likely left it there, in words
// for standard error. The commonest: `tap C` in a mode that reads C only between cycles
// while the hand holds still, and a script that never calibrates.

#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

struct StopFacts {
  std::string page;             // what the console shows: the text since its last clear
  bool waitingForKey = false;   // the program waits for Enter
  bool buttons[4] = {};         // A, B, C, D held when it was stopped
  bool windowsMove = false;     // the glove's noise alone makes windows moving
  int64_t lastCPressMicros = -1, lastCReleaseMicros = -1;  // the script's last press of C, and its release after it
};

// What the world shows when the program has been stopped in it: the console's page,
// the buttons held, the noise; with the script's presses of C.
StopFacts stopFactsOf(const Scenario& scenario, std::string_view transcript, bool waitingForKey);

// Lines saying where the program stood and, where it can be told, the likely mistake.
std::vector<std::string> explainStop(const StopFacts& facts);
