// The real program through the rig against the controller's firmware on its emulated
// board: the transcripts must be signglove-sim's, with the rig's allowance for the
// repeated lines of finger connections (how many fit between two actions depends on
// where the samples fall, and the board's samples are shorter than the simulator's).

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "rig/rig_run.h"
#include "rig/transcript_runs.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = SIGNGLOVE_FIRMWARE_SCENARIO_DIR;

class RealProgramOnTheBoard : public testing::TestWithParam<std::string> {};

TEST_P(RealProgramOnTheBoard, TranscriptMatchesTheSimulator) {
  const fs::path scriptPath = kScenarioDir / (GetParam() + ".sim");
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(readWholeFile(scriptPath), scenario, error)) << error.line << ": " << error.message;
  const SimulationResult simulated = runSimulation(scenario);
  const RigRun real = runRig(SIGNGLOVE_RIG, {"--controller", "firmware"}, scriptPath);
  if (real.exitStatus == 1 && real.err.find("cannot make a private mount namespace") != std::string::npos)
    GTEST_SKIP() << real.err;
  EXPECT_EQ(real.exitStatus, simulated.exitStatus) << real.err;
  EXPECT_EQ(keepEachRunOnce(real.out), keepEachRunOnce(simulated.transcript)) << "stderr: " << real.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealProgramOnTheBoard,
                         testing::Values("finger_connections", "line_faults", "sign_recognition"),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(RigOnTheBoard, GroupsIsAScriptError) {
  const fs::path script = fs::temp_directory_path() / ("signglove-rig-groups-" + std::to_string(getpid()) + ".sim");
  std::ofstream(script) << "calibrate\ntouch RT RI\ngroups 0x0018\n";
  const RigRun run = runRig(SIGNGLOVE_RIG, {"--controller", "firmware"}, script);
  fs::remove(script);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find(script.string() + ":3: 'groups' has no meaning"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());
}

}  // namespace
