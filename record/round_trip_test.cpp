// Record and replay, end to end, without hardware: signglove-rig plays a scenario in
// real time into the real signglove, with signglove-record standing between them as it
// would between the program and a real controller; the recording is then replayed in
// the simulator, which must print what the live program printed.

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A failure bound only: the rig itself ends a program 5 s after the script's last action.
constexpr auto kLongestRun = std::chrono::seconds(120);
constexpr int kExitCannotSetUp = 1;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

struct CommandRun {
  int exitStatus = -1;
  std::string out, err;
};

// Runs a command with standard input from /dev/null and the output kept.
CommandRun runCommand(const std::vector<std::string>& command, const fs::path& work) {
  const fs::path out = work / "stdout", err = work / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  CommandRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  const auto deadline = std::chrono::steady_clock::now() + kLongestRun;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = readFile(out);
  run.err = readFile(err);
  return run;
}

// Plays script into the real program through the recorder and replays the recording in
// the simulator (and, when asked, through the rig into the real program again): the
// replay prints byte for byte what the live program printed.
void roundTrip(const std::string& name, const std::string& script, bool replayThroughTheRig = false) {
  const fs::path work = fs::path(testing::TempDir()) / ("signglove_round_trip_" + name);
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path scenario = work / "scenario.sim", recording = work / "recording.sim";
  std::ofstream(scenario, std::ios::binary) << script;

  const CommandRun live = runCommand({SIGNGLOVE_RIG, scenario.string(), "--", SIGNGLOVE_RECORD, recording.string(), "--",
                               SIGNGLOVE_PROGRAM},
                              work);
  if (live.exitStatus == kExitCannotSetUp && live.err.find("namespace") != std::string::npos)
    GTEST_SKIP() << "the rig cannot set up here: " << live.err;
  ASSERT_TRUE(fs::exists(recording)) << live.err;
  std::cout << "[ recording ] " << name << ": " << live.err;  // the recorder's figures, for the record

  Scenario replayed;
  ScriptError error;
  ASSERT_TRUE(compileScript(readFile(recording), replayed, error)) << recording << ":" << error.line << ": "
                                                                   << error.message;
  const SimulationResult replay = runSimulation(replayed);
  EXPECT_EQ(replay.exitStatus, live.exitStatus) << replay.stopReason << "\n" << live.err;
  EXPECT_EQ(replay.transcript, live.out);

  if (!replayThroughTheRig) return;
  const CommandRun again = runCommand({SIGNGLOVE_RIG, recording.string(), "--", SIGNGLOVE_PROGRAM}, work);
  EXPECT_EQ(again.exitStatus, live.exitStatus) << again.err;
  EXPECT_EQ(again.out, live.out);
}

TEST(RoundTrip, TheDemoReplaysByteForByte) { roundTrip("demo", kDemoScript); }

TEST(RoundTrip, FingerConnectionsReplayWithTheControllersFaults) {
  roundTrip("finger_connections", readFile(fs::path(SIGNGLOVE_SCENARIO_DIR) / "finger_connections.sim"));
}

// Every fault the controller can show, each after the pads have changed: noise before
// the header, a lost byte (out of step until a time-out), wrong checksums, a reply whose
// plain sum the program never accepts, silence. The recording is played through the
// rig too: a recording is a script like any other.
TEST(RoundTrip, EveryControllerFaultReplaysAsItCame) {
  roundTrip("controller_faults", R"(calibrate
wait 300
tap A
tap A
touch RT RI
wait 60
controller noise 0x1234 0x0040
wait 60
controller drop 1
wait 700
enter
touch RM RR
controller corrupt 3
wait 60
groups 0x0018 0xFFFF 0x0002
wait 60
untouch
controller silent
wait 700
enter
controller normal
wait 60
press C
wait 100
release C
wait 300
press B C
wait 100
release all
)",
            true);  // and through the rig again
}

TEST(RecorderCommandLine, SaysWhatIsWrongAndRecordsNothing) {
  const fs::path work = fs::path(testing::TempDir()) / "signglove_record_cli";
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string out = (work / "never.sim").string();
  struct Case {
    std::vector<std::string> arguments;
    int exitStatus;
    const char* error;  // part of standard error
  };
  const Case cases[] = {
      {{}, 2, "usage: signglove-record OUT"},
      {{out, "--device"}, 2, "usage:"},
      {{out, "--"}, 2, "usage:"},
      {{out, "extra"}, 2, "usage:"},
      {{"--frobnicate"}, 2, "usage:"},
      {{out, "--device", (work / "no-such-device").string()}, 1, "no-such-device: No such file or directory"},
      {{out, "--device", "/dev/null"}, 1, "/dev/null: Inappropriate ioctl for device"},  // not a serial line
  };
  for (const Case& c : cases) {
    std::vector<std::string> command = {SIGNGLOVE_RECORD};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    const CommandRun run = runCommand(command, work);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }
  // A file that cannot be written is found out before the session, not after it.
  int master = -1, slave = -1;
  char device[256];
  ASSERT_EQ(openpty(&master, &slave, device, nullptr, nullptr), 0);
  const CommandRun unwritable =
      runCommand({SIGNGLOVE_RECORD, (work / "no-such-folder" / "x.sim").string(), "--device", device}, work);
  close(master);
  close(slave);
  if (unwritable.err.find("namespace") == std::string::npos) {
    EXPECT_EQ(unwritable.exitStatus, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;
    EXPECT_EQ(unwritable.out, "");  // the program never ran
  }

  const CommandRun help = runCommand({SIGNGLOVE_RECORD, "--help"}, work);
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("--device PATH"), std::string::npos);
}

}  // namespace
