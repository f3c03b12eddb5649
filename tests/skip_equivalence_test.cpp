// Skipping idle polling must not change anything the program can observe: every
// scenario, the demo and a long session run with and without skipping, and the
// digests of every platform call (arguments, result, virtual time), the end time and
// the transcript must agree.

#include <gtest/gtest.h>

#include <algorithm>
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

// Forty rounds of the nine words, one long sign-recognition session.
std::string longSession() {
  std::string script = "calibrate\nwait 500\ntap B\nwait 300\n";
  for (int round = 0; round < 40; ++round)
    for (const char* word : {"welcome", "to", "my", "presentation", "I", "hope", "this/the", "proves", "concept"})
      script += std::string("sign ") + word + "\n";
  return script + "wait 500\npress B C\nwait 300\nrelease all\n";
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
  std::vector<Script> all = {{"demo", kDemoScript}, {"long_session", longSession()}};
  for (const auto& entry : fs::directory_iterator(kScenarioDir))
    if (entry.path().extension() == ".sim") all.push_back({entry.path().stem().string(), readFile(entry.path())});
  std::sort(all.begin() + 2, all.end(), [](const Script& a, const Script& b) { return a.name < b.name; });
  return all;
}

class SkipEquivalence : public testing::TestWithParam<Script> {};

TEST_P(SkipEquivalence, TheProgramObservesTheSameWorld) {
  const SimulationResult polled = run(GetParam().text, false);
  const SimulationResult skipped = run(GetParam().text, true);
  EXPECT_EQ(skipped.observation.digest, polled.observation.digest);
  EXPECT_EQ(skipped.endMicros, polled.endMicros);
  EXPECT_EQ(skipped.exitStatus, polled.exitStatus);
  EXPECT_EQ(skipped.transcript, polled.transcript);
  // Every call is accounted for: made, or skipped and folded in as if made.
  EXPECT_EQ(skipped.observation.calls + skipped.observation.skippedCalls, polled.observation.calls);
  EXPECT_EQ(polled.observation.skippedCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(Scripts, SkipEquivalence, testing::ValuesIn(scripts()),
                         [](const testing::TestParamInfo<Script>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
