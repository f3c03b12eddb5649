// Skipping idle polling must not change anything the program can observe: every
// scenario, the demo and a long session (clean, and with a noisy glove refreshed on
// every read or once a period) run with and without skipping, and the digests of
// every platform call (arguments, result, virtual time), the end time and the
// transcript must agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = SIGNGLOVE_SCENARIO_DIR;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

SimulationResult run(const std::string& script, bool skip) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << "line " << error.line << ": " << error.message;
  WorldOptions options;
  options.skipIdlePolling = skip;
  options.keepDigest = true;
  return runSimulation(scenario, options);
}

struct Script {
  std::string name;
  std::string text;
};

std::vector<Script> scripts() {
  const std::string demo = kDemoScript;
  std::vector<Script> all = {{"demo", demo},
                             {"long_session", longSessionScript()},
                             {"demo_noise_10_2", "seed 3\nnoise 10 2\n" + demo},
                             {"demo_refresh_7", "glove refresh 7\n" + demo},
                             {"demo_noise_20_3_refresh_7", "glove refresh 7\nnoise 20 3\n" + demo}};
  const size_t builtIn = all.size();
  for (const auto& entry : fs::directory_iterator(kScenarioDir))
    if (entry.path().extension() == ".sim") all.push_back({entry.path().stem().string(), readFile(entry.path())});
  std::sort(all.begin() + builtIn, all.end(), [](const Script& a, const Script& b) { return a.name < b.name; });
  return all;
}

void PrintTo(const Script& script, std::ostream* out) { *out << script.name; }

void expectSameObservations(const std::string& script) {
  const SimulationResult polled = run(script, false);
  const SimulationResult skipped = run(script, true);
  EXPECT_EQ(skipped.observation.digest, polled.observation.digest);
  EXPECT_EQ(skipped.endMicros, polled.endMicros);
  EXPECT_EQ(skipped.exitStatus, polled.exitStatus);
  EXPECT_EQ(skipped.transcript, polled.transcript);
  // Every call is accounted for: made, or skipped and folded in as if made.
  EXPECT_EQ(skipped.observation.calls + skipped.observation.skippedCalls, polled.observation.calls);
  EXPECT_EQ(polled.observation.skippedCalls, 0);
}

class SkipEquivalence : public testing::TestWithParam<Script> {};

TEST_P(SkipEquivalence, TheProgramObservesTheSameWorld) { expectSameObservations(GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Scripts, SkipEquivalence, testing::ValuesIn(scripts()),
                         [](const testing::TestParamInfo<Script>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// The moments where a skip must stop, met at every phase of the program's polling
// against the millisecond clock: waits of 0 to 11 ms shift each case's timing, and
// 1000 us is 4 mod 6, the wait-for-byte iteration, so every alignment comes up.
struct EdgeCase {
  const char* name;
  const char* script;  // %d: the shift in milliseconds
};

const EdgeCase kEdgeCases[] = {
    {"deadline expiry while the controller is silent",
     "calibrate\nwait 300\ntap A\ntap A\nwait %d\ncontroller silent\nwait 1100\nenter\nwait 600\nenter\n"
     "controller normal\nwait 100\npress C\nwait 100\nrelease C\npress B C\nwait 100\nrelease all\n"},
    {"deadline across the clock's wrap", "clock 4294967000\ncalibrate\nwait 300\ntap A\ntap A\nwait %d\n"
                                         "controller silent\nwait 700\nenter\ncontroller normal\nwait 100\n"
                                         "press C\nwait 100\nrelease C\npress B C\nwait 100\nrelease all\n"},
    {"replies cut short, corrupted and preceded by noise",
     "calibrate\nwait 300\ntap A\ntap A\nwait %d\ncontroller drop 3\ncontroller noise 0x0040 0x1234\n"
     "wait 30\ncontroller corrupt 2\ntouch RT RI\nwait 700\nenter\nwait 700\nenter\nwait 100\npress C\n"
     "wait 100\nrelease C\npress B C\nwait 100\nrelease all\n"},
    {"stopped while polling, 5 s after the last action", "calibrate\nwait 300\ntap B\nwait %d\nsign welcome\n"},
    {"stopped waiting for a button", "wait %d\ncalibrate\n"},
    {"button waits while the hand moves and the glove is noisy",
     "wait %d\nmove leftToRight\nnoise 5 1\nwait 50\nnoise 0\ncalibrate\nmove down\nwait 30\nmove rollWrists\n"
     "tap B C\n"},
    {"a noisy record refreshed once a period that is no whole number of samples",
     "glove refresh 3\nwait %d\nnoise 8 2\ncalibrate\nmove down\nwait 7\nnoise 0\nwait 10\nnoise 1\ntap B C\n"},
    {"events in the middle of a wait", "calibrate\nwait 300\ntap A\ntap A\nwait %d\ntouch RT RI\nwait 3\n"
                                       "untouch\nwait 1\npress D\nwait 2\nrelease D\nwait 1\npress C\n"
                                       "wait 100\nrelease C\npress B C\nwait 100\nrelease all\n"},
};

TEST(SkipEquivalenceAtEdges, EveryPhase) {
  for (const EdgeCase& edge : kEdgeCases) {
    for (int shift = 0; shift < 12; ++shift) {
      SCOPED_TRACE(std::string(edge.name) + ", shifted by " + std::to_string(shift) + " ms");
      char script[1024];
      std::snprintf(script, sizeof script, edge.script, shift);
      expectSameObservations(script);
    }
  }
}

}  // namespace
