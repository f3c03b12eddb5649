// Parity of the real program with the simulator: each scenario runs through
// signglove-sim in virtual time (in this process) and through signglove-rig with the
// real signglove in real time, and both transcripts and exit statuses must agree.
//
// One allowance: in finger connections and handshape diagnostics the program prints a
// line (or lines) per cycle or per moving window, and how many of those fit between
// two actions depends on where the samples fall, which the wall clock cannot repeat.
// There every run of a repeated block of lines is kept once before comparing.

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rig/rig_run.h"
#include "rig/transcript_runs.h"
#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = SIGNGLOVE_SCENARIO_DIR;
constexpr const char* kRig = SIGNGLOVE_RIG;
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
    script = readWholeFile(scriptPath);
  }
  const SimulationResult simulated = simulate(script);
  const RigRun real = runRig(kRig, {}, scriptPath);
  if (!demoPath.empty()) fs::remove(demoPath);
  if (real.exitStatus == 1 && real.err.find("cannot make a private mount namespace") != std::string::npos)
    GTEST_SKIP() << real.err;

  EXPECT_EQ(real.exitStatus, simulated.exitStatus) << real.err;
  EXPECT_EQ(keepEachRunOnce(real.out), keepEachRunOnce(simulated.transcript)) << "stderr: " << real.err;
  // Every wait for Enter after a time-out is explained on standard error, never on standard output.
  const auto count = [](const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
    return found;
  };
  EXPECT_EQ(count(real.err, "Enter tries again, Ctrl-C quits"), count(real.out, "routine TIMED OUT")) << real.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RealProgramParity,
                         testing::Values("startup_glove_absent", "startup_serial_fails", "calibration_and_menus",
                                         "buttons_b_and_c_at_menu_start", "leave_mode_with_b_and_c",
                                         "sign_recognition_b_held", "finger_connection_faults", "handshape_diagnostics",
                                         "movement_diagnostics", "sign_words", "refused_frames_flood", "demo"),
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
