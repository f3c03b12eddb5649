// The real program through the rig with the do-it-yourself glove in the virtual
// signer's hand: its firmware on the emulated board, signglove-glove serial reading its
// lines with the emulated sensors' calibration, position and angles over OSC; once with
// the contact controller's firmware on its board as well. The transcripts must be
// signglove-sim's, with the rig's allowance for repeated lines
// (how many fit between two actions depends on where the samples fall).

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "rig/rig_run.h"
#include "rig/transcript_runs.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

namespace fs = std::filesystem;

// A scenario, and whether the contact controller is its firmware on its board too.
struct ChainCase {
  const char* name;
  bool controllerOnBoard;
};

void PrintTo(const ChainCase& chain, std::ostream* out) {
  *out << chain.name << (chain.controllerOnBoard ? " on both boards" : "");
}

class RealProgramWithTheFlexGlove : public testing::TestWithParam<ChainCase> {};

TEST_P(RealProgramWithTheFlexGlove, TranscriptMatchesTheSimulator) {
  if (std::string(SIGNGLOVE_GLOVE_DRIVER).empty())
    GTEST_SKIP() << "signglove-glove was not built with OSC (CLI11 or liblo missing)";
  const ChainCase chain = GetParam();
  const fs::path scriptPath = fs::path(chain.controllerOnBoard ? SIGNGLOVE_FIRMWARE_SCENARIO_DIR : SIGNGLOVE_SCENARIO_DIR) /
                              (std::string(chain.name) + ".sim");
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(readWholeFile(scriptPath), scenario, error)) << error.line << ": " << error.message;
  const SimulationResult simulated = runSimulation(scenario);
  std::vector<std::string> options = {"--glove", "flex"};
  if (chain.controllerOnBoard) options.insert(options.end(), {"--controller", "firmware"});
  const RigRun real = runRig(SIGNGLOVE_RIG, options, scriptPath);
  if (real.exitStatus == 1 && real.err.find("cannot make a private mount namespace") != std::string::npos)
    GTEST_SKIP() << real.err;
  EXPECT_EQ(real.exitStatus, simulated.exitStatus) << real.err;
  EXPECT_EQ(keepEachRunOnce(real.out), keepEachRunOnce(simulated.transcript)) << "stderr: " << real.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealProgramWithTheFlexGlove,
                         testing::Values(ChainCase{"handshape_diagnostics", false},
                                         ChainCase{"movement_diagnostics", false}, ChainCase{"sign_words", false},
                                         ChainCase{"calibration_and_menus", false},
                                         ChainCase{"startup_glove_absent", false},
                                         ChainCase{"sign_recognition", true}),  // both boards: the whole hardware
                         [](const testing::TestParamInfo<ChainCase>& info) {
                           return std::string(info.param.name) + (info.param.controllerOnBoard ? "_on_both_boards" : "");
                         });

}  // namespace
