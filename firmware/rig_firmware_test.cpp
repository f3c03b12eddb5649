// The real program through the rig against the controller's firmware on its emulated
// board: the transcripts must be signglove-sim's, with the rig's allowance for the
// repeated lines of finger connections (how many fit between two actions depends on
// where the samples fall, and the board's samples are shorter than the simulator's).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "rig/transcript_runs.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = SIGNGLOVE_FIRMWARE_SCENARIO_DIR;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

struct RigRun {
  int exitStatus = -1;
  std::string out, err;
};

RigRun runRigOnBoard(const fs::path& script) {
  const fs::path work = fs::temp_directory_path() / ("signglove-rig-firmware-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::string outPath = (work / "out").string(), errPath = (work / "err").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string scriptPath = script.string();
  char* argv[] = {const_cast<char*>(SIGNGLOVE_RIG), const_cast<char*>("--controller"),
                  const_cast<char*>("firmware"), const_cast<char*>(scriptPath.c_str()), nullptr};
  RigRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, SIGNGLOVE_RIG, &files, nullptr, argv, environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&files);
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  fs::remove_all(work);
  return run;
}

class RealProgramOnTheBoard : public testing::TestWithParam<std::string> {};

TEST_P(RealProgramOnTheBoard, TranscriptMatchesTheSimulator) {
  const fs::path scriptPath = kScenarioDir / (GetParam() + ".sim");
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(readFile(scriptPath), scenario, error)) << error.line << ": " << error.message;
  const SimulationResult simulated = runSimulation(scenario);
  const RigRun real = runRigOnBoard(scriptPath);
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
  const RigRun run = runRigOnBoard(script);
  fs::remove(script);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find(script.string() + ":3: 'groups' has no meaning"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());
}

}  // namespace
