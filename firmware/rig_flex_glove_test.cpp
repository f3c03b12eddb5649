// The real program through the rig with the do-it-yourself glove in the virtual
// signer's hand: its firmware on the emulated board, signglove-glove serial reading its
// lines with the emulated sensors' calibration, position and angles over OSC. The
// transcripts must be signglove-sim's, with the rig's allowance for repeated lines
// (how many fit between two actions depends on where the samples fall).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rig/rig_run.h"
#include "rig/transcript_runs.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

namespace fs = std::filesystem;

class RealProgramWithTheFlexGlove : public testing::TestWithParam<std::string> {};

TEST_P(RealProgramWithTheFlexGlove, TranscriptMatchesTheSimulator) {
  if (std::string(SIGNGLOVE_GLOVE_DRIVER).empty())
    GTEST_SKIP() << "signglove-glove was not built with OSC (CLI11 or liblo missing)";
  const fs::path scriptPath = fs::path(SIGNGLOVE_SCENARIO_DIR) / (GetParam() + ".sim");
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(readWholeFile(scriptPath), scenario, error)) << error.line << ": " << error.message;
  const SimulationResult simulated = runSimulation(scenario);
  const RigRun real = runRig(SIGNGLOVE_RIG, {"--glove", "flex"}, scriptPath);
  if (real.exitStatus == 1 && real.err.find("cannot make a private mount namespace") != std::string::npos)
    GTEST_SKIP() << real.err;
  EXPECT_EQ(real.exitStatus, simulated.exitStatus) << real.err;
  EXPECT_EQ(keepEachRunOnce(real.out), keepEachRunOnce(simulated.transcript)) << "stderr: " << real.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealProgramWithTheFlexGlove,
                         testing::Values("handshape_diagnostics", "movement_diagnostics", "sign_words",
                                         "calibration_and_menus", "startup_glove_absent"),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
