#pragma once

#include <string>
#include <vector>

#include "simulator/scenario.h"
#include "simulator/world.h"

constexpr int kExitStopped = 3;

struct SimulationResult {
  int exitStatus = 0;      // the program's own, or kExitStopped
  std::string transcript;  // the console, with a form feed for every clear
  std::string stopReason;  // why the simulation stopped the program, if it did
  std::vector<std::string> looseEnds;  // what the program left open or never switched off
};

// Runs the program against the scenario in virtual time.
SimulationResult runSimulation(const Scenario& scenario, const WorldOptions& options = {});
