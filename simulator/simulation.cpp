#include "simulator/simulation.h"

#include "control/program.h"
#include "simulator/loose_ends.h"

SimulationResult runSimulation(const Scenario& scenario, const WorldOptions& options) {
  worldStart(scenario, options);
  SimulationResult result;
  try {
    result.exitStatus = signgloveMain();
  } catch (const SimulationStopped& stopped) {
    result.exitStatus = kExitStopped;
    result.stopReason = stopped.reason;
  }
  result.looseEnds = worldLooseEnds();
  result.transcript = std::move(world.transcript);
  return result;
}
