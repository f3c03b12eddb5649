#include "simulator/stop_diagnosis.h"

#include <gtest/gtest.h>

#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

// Runs a script to its stop and explains it, as signglove-sim does.
std::string explained(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.message;
  WorldOptions options;
  options.keepTranscript = false;  // as signglove-sim runs: the explanation reads only the latest page
  const SimulationResult result = runSimulation(scenario, options);
  EXPECT_EQ(result.exitStatus, kExitStopped);
  std::string text;
  const bool waitingForKey = result.stopReason.find("key") != std::string::npos;
  for (const std::string& line : explainStop(stopFactsOf(scenario, result.transcript, waitingForKey))) text += line + "\n";
  return text;
}

TEST(StopDiagnosisTest, NamesWhereTheProgramWaitsAndTheLikelyMistake) {
  const std::string menus = "calibrate\nwait 300\n";
  const struct {
    std::string script, expected;
  } cases[] = {
      {"wait 100\n", "waits for A with the hand at the head.\nlikely mistake: the script does not start with `calibrate`"},
      {"wait 100\ntap A\n", "waits for A with the hand at the chest."},
      {menus, "at the main menu and waits for A (diagnostics) or B"},
      {menus + "tap A\n", "diagnostics menu and waits for A or B"},
      {menus + "tap A\ntap B\ntap A\nhold point\ntap C\n",
       "handshape diagnostics and waits for the hand to move"},
      {menus + "tap A\ntap B\ntap A\nhold point\ntap C\n", "(`tap C` is often missed): press C, hold another shape"},
      {menus + "tap A\ntap B\ntap B\nmove down\n", "nothing presses C to leave the mode: press C, `move` the hand"},
      {menus + "tap B\nhold fist\npress C\n", "C is held, but the hand must move and then rest"},
      {menus + "tap A\ntap B\ntap B\nnoise 50\n", "movement diagnostics and waits for the hand to rest"},
      {menus + "tap B\ncontroller silent\nwait 1000\n", "waits for Enter after a contact controller time-out"},
      {menus + "tap A\ntap A\n", "finger connections, which reads C after every line"},
  };
  for (const auto& [script, expected] : cases)
    EXPECT_NE(explained(script).find(expected), std::string::npos) << script << "---\n" << explained(script);
}

}  // namespace
