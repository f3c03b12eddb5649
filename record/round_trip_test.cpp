// Record and replay, end to end, without hardware: signglove-rig plays a scenario in
// real time into the real signglove, with signglove-record standing between them as it
// would between the program and a real controller; the recording is then replayed in
// the simulator, which must print what the live program printed.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
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
      {{}, 2, "OUT is required"},
      {{out, "--device"}, 2, "--device"},
      {{out, "--"}, 2, "-- names no command"},
      {{out, "extra"}, 2, "unexpected argument 'extra': a command goes after --"},
      {{"--frobnicate", out}, 2, "--frobnicate"},
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

// The recorder run with its standard input a pipe the test types into, on a
// pseudo-terminal standing in for the controller's device.
struct LiveRecorder {
  pid_t pid = -1;
  int keys = -1;  // the recorder's standard input
  int master = -1, slave = -1;
  fs::path err;

  LiveRecorder(const fs::path& work, const std::vector<std::string>& arguments) : err(work / "recorder.err") {
    char device[256];
    if (openpty(&master, &slave, device, nullptr, nullptr) != 0) return;
    int input[2];
    if (pipe(input) != 0) return;
    std::vector<std::string> command = {SIGNGLOVE_RECORD};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.insert(command.begin() + 2, {"--device", device});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    keys = input[1];
    fcntl(keys, F_SETFL, O_NONBLOCK);
  }
  ~LiveRecorder() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    for (int fd : {keys, master, slave})
      if (fd >= 0) close(fd);
  }
  // Its exit status, once it has ended within the time given; -1 if it has not.
  int endsWithin(std::chrono::milliseconds bound) {
    for (const auto until = std::chrono::steady_clock::now() + bound; std::chrono::steady_clock::now() < until;) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  bool cannotRunHere() const { return readFile(err).find("namespace") != std::string::npos; }
};

fs::path freshWork(const std::string& name) {
  const fs::path work = fs::path(testing::TempDir()) / name;
  fs::remove_all(work);
  fs::create_directories(work);
  return work;
}

// OUT is never written through a symbolic link, never over an existing file unless
// --force says so, and never over something that is not a file; refused before
// anything runs, leaving everything as it was.
TEST(RecorderCommandLine, OutIsNeverALinkNorAnExistingFileUnlessForced) {
  const fs::path work = freshWork("signglove_record_out");
  const fs::path target = work / "elsewhere", link = work / "link.sim", existing = work / "existing.sim";
  std::ofstream(target) << "someone else's\n";
  std::ofstream(existing) << "an earlier session\n";
  fs::create_symlink(target, link);
  ASSERT_EQ(mkfifo((work / "fifo.sim").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  };
  const Case cases[] = {
      {{link.string()}, "a symbolic link, which is not followed"},
      {{link.string(), "--force"}, "a symbolic link, which is not followed"},
      {{existing.string()}, "it exists (--force replaces it)"},
      {{work.string(), "--force"}, "Is a directory"},
      {{(work / "fifo.sim").string(), "--force"}, "cannot write"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> command = {SIGNGLOVE_RECORD};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    command.insert(command.end(), {"--device", "/dev/null", "--", "/bin/true"});
    const CommandRun run = runCommand(command, work);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  }
  EXPECT_EQ(readFile(target), "someone else's\n");
  EXPECT_EQ(readFile(existing), "an earlier session\n");

  // Forced, an existing OUT is replaced by the new session.
  LiveRecorder forced(work, {existing.string(), "--force", "--", "/bin/true"});
  close(forced.keys);
  forced.keys = -1;
  EXPECT_EQ(forced.endsWithin(std::chrono::seconds(10)), forced.cannotRunHere() ? 1 : 0);
  if (!forced.cannotRunHere()) {
    EXPECT_NE(readFile(existing).find("# exit: 0"), std::string::npos) << readFile(existing);
  }
}

// Typed every 100 ms, then the recorder is killed outright: what it has written is a
// script that compiles and holds every key but those of about the last second.
TEST(RecorderCommandLine, AKilledRecorderKeepsAllButTheLastSecond) {
  const fs::path work = freshWork("signglove_record_killed");
  const fs::path out = work / "killed.sim";
  LiveRecorder recorder(work, {out.string(), "--", "/bin/sh", "-c", "cat > /dev/null"});
  constexpr int kKeys = 30;
  for (int key = 0; key < kKeys; ++key) {
    ASSERT_EQ(write(recorder.keys, "\n", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (recorder.cannotRunHere()) GTEST_SKIP() << "the recorder cannot set up here: " << readFile(recorder.err);
  kill(recorder.pid, SIGKILL);
  ASSERT_NE(recorder.endsWithin(std::chrono::seconds(5)), -1);
  const std::string script = readFile(out);
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(script, scenario, error)) << error.line << ": " << error.message << "\n" << script;
  int enters = 0;
  for (const Event& event : scenario.events) enters += event.kind == EventKind::kEnter;
  EXPECT_GE(enters, kKeys - 12) << script;  // 3 s of typing: all but the last 1.2 s kept
}

// The program never reads its input, so the typing fills the pipe to it; still a
// request to stop ends the program, and the recording, within a second.
TEST(RecorderCommandLine, SignalsEndTheRunWithinASecondEvenWhileTypingIsStuck) {
  for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(number));
    const fs::path work = freshWork("signglove_record_stuck");
    const fs::path out = work / "stuck.sim";
    LiveRecorder recorder(work, {out.string(), "--", "/bin/sh", "-c", "sleep 30"});
    const std::string typing(256 * 1024, 'x');
    size_t typed = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         std::chrono::steady_clock::now() < until;) {
      const ssize_t written = write(recorder.keys, typing.data(), typing.size() - typed);
      if (written > 0) typed += static_cast<size_t>(written);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (recorder.cannotRunHere()) GTEST_SKIP() << "the recorder cannot set up here: " << readFile(recorder.err);
    EXPECT_GT(typed, 128u * 1024) << "more than the pipes to the program hold";
    const auto asked = std::chrono::steady_clock::now();
    kill(recorder.pid, number);
    EXPECT_EQ(recorder.endsWithin(std::chrono::seconds(10)), 128 + SIGTERM) << readFile(recorder.err);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1500));
    EXPECT_NE(readFile(out).find("# exit: 3 (the program was ended here"), std::string::npos);
  }
}

}  // namespace
