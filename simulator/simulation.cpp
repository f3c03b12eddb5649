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
  result.endMicros = world.nowMicros;
  observeEnd(world.observation, world.nowMicros);
  observeEnd(world.observation, result.exitStatus);
  result.observation = world.observation;
  return result;
}
