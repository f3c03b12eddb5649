// Parity of the real program with the simulator: each scenario runs through
// signglove-sim in virtual time (in this process) and through signglove-rig with the
// real signglove in real time, and both transcripts and exit statuses must agree.
//
// One allowance: in finger connections and handshape diagnostics the program prints a
// line (or lines) per cycle or per moving window, and how many of those fit between
// two actions depends on where the samples fall, which the wall clock cannot repeat.
// There every run of a repeated block of lines is kept once before comparing.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = SIGNGLOVE_SCENARIO_DIR;
constexpr const char* kRig = SIGNGLOVE_RIG;
// The longest block of lines one cycle prints: six groups.
constexpr size_t kLongestBlock = 6;
const char* const kRepeatingBanners[] = {"Finger connections diagnostic program\n\n",
                                         "HANDSHAPE diagnostics program\n\n"};

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end + 1 - start));
    start = end + 1;
  }
  return lines;
}

bool sameBlock(const std::vector<std::string>& lines, size_t a, size_t b, size_t length) {
  if (b + length > lines.size()) return false;
  for (size_t offset = 0; offset < length; ++offset)
    if (lines[a + offset] != lines[b + offset]) return false;
  return true;
}

// One pass: at each line, the shortest block that repeats right after it is kept once.
bool collapseOnce(std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  bool changed = false;
  size_t index = 0;
  while (index < lines.size()) {
    size_t length = 1;
    while (length <= kLongestBlock && !sameBlock(lines, index, index + length, length)) ++length;
    if (length > kLongestBlock) {
      kept.push_back(lines[index++]);
      continue;
    }
    kept.insert(kept.end(), lines.begin() + static_cast<std::ptrdiff_t>(index),
                lines.begin() + static_cast<std::ptrdiff_t>(index + length));
    size_t next = index + length;
    while (sameBlock(lines, index, next, length)) next += length;
    index = next;
    changed = true;
  }
  lines = std::move(kept);
  return changed;
}

// The transcript with every run of a repeated block of lines kept once, in the pages of
// the modes that repeat (a page runs from one console clear to the next).
std::string keepEachRunOnce(const std::string& transcript) {
  std::string result;
  size_t start = 0;
  while (start <= transcript.size()) {
    const size_t clear = transcript.find('\f', start);
    const size_t end = clear == std::string::npos ? transcript.size() : clear;
    std::string page = transcript.substr(start, end - start);
    for (const char* banner : kRepeatingBanners) {
      if (page.rfind(banner, 0) != 0) continue;
      std::vector<std::string> lines = splitLines(page.substr(std::string(banner).size()));
      while (collapseOnce(lines)) {
      }
      page = banner;
      for (const std::string& line : lines) page += line;
    }
    result += page;
    if (clear == std::string::npos) break;
    result += '\f';
    start = clear + 1;
  }
  return result;
}

struct RigRun {
  int exitStatus = -1;
  std::string out, err;
};

RigRun runRig(const fs::path& script) {
  const fs::path work = fs::temp_directory_path() / ("signglove-rig-parity-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::string outPath = (work / "out").string(), errPath = (work / "err").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string scriptPath = script.string();
  char* argv[] = {const_cast<char*>(kRig), const_cast<char*>(scriptPath.c_str()), nullptr};
  RigRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, kRig, &files, nullptr, argv, environ) == 0) {
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

SimulationResult simulate(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << "line " << error.line << ": " << error.message;
  return runSimulation(scenario);
}

// A scenario file's name without .sim, or "demo".
class RealProgramParity : public testing::TestWithParam<std::string> {};

TEST_P(RealProgramParity, TranscriptAndExitStatusMatchTheSimulator) {
  const std::string name = GetParam();
  fs::path scriptPath = kScenarioDir / (name + ".sim");
  fs::path demoPath;
  std::string script;
  if (name == "demo") {
    script = kDemoScript;
    demoPath = fs::temp_directory_path() / ("signglove-rig-demo-" + std::to_string(getpid()) + ".sim");
    std::ofstream(demoPath, std::ios::binary) << script;
    scriptPath = demoPath;
  } else {
    script = readFile(scriptPath);
  }
  const SimulationResult simulated = simulate(script);
  const RigRun real = runRig(scriptPath);
  if (!demoPath.empty()) fs::remove(demoPath);
  if (real.exitStatus == 1 && real.err.find("cannot make a private mount namespace") != std::string::npos)
    GTEST_SKIP() << real.err;

  EXPECT_EQ(real.exitStatus, simulated.exitStatus) << real.err;
  EXPECT_EQ(keepEachRunOnce(real.out), keepEachRunOnce(simulated.transcript)) << "stderr: " << real.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealProgramParity,
                         testing::Values("startup_glove_absent", "startup_serial_fails", "calibration_and_menus",
                                         "buttons_b_and_c_at_menu_start", "leave_mode_with_b_and_c",
                                         "sign_recognition_b_held", "finger_connection_faults", "handshape_diagnostics",
                                         "movement_diagnostics", "sign_words", "demo"),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(KeepEachRunOnce, KeepsEachRunOfARepeatedBlockOnceInTheModesThatRepeat) {
  const std::string fc = "\fFinger connections diagnostic program\n\n";
  const std::string hs = "\fHANDSHAPE diagnostics program\n\n";
  const std::string menu = "\fPress: A button for diagnostics\n\n";
  const struct {
    std::string transcript, expected;
  } cases[] = {
      {fc + "A\nA\nA\nB\n", fc + "A\nB\n"},
      {fc + "A\nB\nA\nB\nA\nB\nC\n", fc + "A\nB\nC\n"},
      {fc + "A\nA\nB\nA\nB\nA\n", fc + "A\nB\nA\n"},
      {fc + "B\nA\nB\nA\nA\nA\n", fc + "B\nA\n"},  // (B A) then A: the same as B A A
      {fc + "B\nA\nA\n", fc + "B\nA\n"},
      {fc + "A\n\nC\nA\n\nC\nerror\nD\n", fc + "A\n\nC\nerror\nD\n"},
      {hs + "round\n\nround\n\nokay\n\n", hs + "round\n\nokay\n\n"},
      {menu + "\n\n", menu + "\n\n"},  // other pages are left alone
      {fc + "A\nA\n" + menu + "A\nA\n", fc + "A\n" + menu + "A\nA\n"},
      {"no page at all\nno page at all\n", "no page at all\nno page at all\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(keepEachRunOnce(c.transcript), c.expected) << c.transcript;
}

}  // namespace
