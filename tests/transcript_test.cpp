// End-to-end: every scenario in tests/scenarios runs through the whole program in the
// virtual world, and its console transcript must match NAME.expected byte for byte.
// A line "# exit: N" in a scenario sets the exit status it expects (default 0).
// SIGNGLOVE_UPDATE_EXPECTED=1 rewrites the expected files instead (review the diff).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
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

int expectedExit(const std::string& script) {
  std::smatch match;
  static const std::regex kExitLine(R"(# exit: (\d+))");
  return std::regex_search(script, match, kExitLine) ? std::stoi(match[1]) : 0;
}

SimulationResult run(const std::string& script, const Scenario& scenario = {}) {
  Scenario compiled = scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, compiled, error)) << "line " << error.line << ": " << error.message;
  return runSimulation(compiled);
}

void compareWithExpected(const std::string& name, const std::string& transcript) {
  const fs::path expectedPath = kScenarioDir / (name + ".expected");
  if (std::getenv("SIGNGLOVE_UPDATE_EXPECTED")) {
    std::ofstream(expectedPath, std::ios::binary) << transcript;
    return;
  }
  ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath;
  EXPECT_EQ(transcript, readFile(expectedPath)) << "transcript of " << name << " differs";
}

std::vector<std::string> scenarioNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kScenarioDir))
    if (entry.path().extension() == ".sim") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ScenarioTranscript : public testing::TestWithParam<std::string> {};

TEST_P(ScenarioTranscript, MatchesExpected) {
  const std::string script = readFile(kScenarioDir / (GetParam() + ".sim"));
  const SimulationResult result = run(script);
  EXPECT_EQ(result.exitStatus, expectedExit(script)) << result.stopReason;
  compareWithExpected(GetParam(), result.transcript);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioTranscript, testing::ValuesIn(scenarioNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(Demo, SignsTheWholeVocabularyOnOneLine) {
  const SimulationResult result = run(kDemoScript);
  EXPECT_EQ(result.exitStatus, 0) << result.stopReason;
  const std::string words = "SIGN RECOGNITION program\n\nwelcome to my presentation I hope this/the proves concept ";
  EXPECT_TRUE(result.transcript.ends_with(words)) << result.transcript;
  compareWithExpected("demo", result.transcript);
}

// The lines a mode printed after its banner, up to the next console clear.
std::vector<std::string> modeLines(const std::string& transcript, const std::string& banner) {
  std::vector<std::string> lines;
  std::istringstream text(transcript.substr(transcript.find(banner) + banner.size()));
  for (std::string line; std::getline(text, line) && line.find('\f') == std::string::npos;)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::set<std::string> heldShapes(const std::string& script) {
  std::set<std::string> shapes;
  static const std::regex kHold(R"(^hold (\S+))");
  std::istringstream text(script);
  for (std::string line; std::getline(text, line);)
    if (std::smatch match; std::regex_search(line, match, kHold)) shapes.insert(match[1]);
  return shapes;
}

TEST(HandshapeDiagnostics, NamesEveryHeldShapeAndNothingElse) {
  const std::string script = readFile(kScenarioDir / "handshape_diagnostics.sim");
  const std::vector<std::string> printed =
      modeLines(run(script).transcript, "HANDSHAPE diagnostics program\n\n");
  EXPECT_EQ(std::set<std::string>(printed.begin(), printed.end()), heldShapes(script));
  EXPECT_EQ(heldShapes(script).size(), 36u);  // every name the tree can return
}

TEST(MovementDiagnostics, NamesEveryMovementInTurn) {
  const std::vector<std::string> printed = modeLines(
      run(readFile(kScenarioDir / "movement_diagnostics.sim")).transcript, "MOVEMENT diagnostics program\n\n");
  const std::vector<std::string> expected = {"fingersIncDecInc", "leftToRight", "towardBody",  "rollWrists",
                                             "awayRightDown",    "down",        "awayRightUp", "leftToRight"};
  EXPECT_EQ(printed, expected);
}

TEST(Determinism, TheSameScenarioGivesTheSameTranscript) {
  const std::string script = readFile(kScenarioDir / "sign_words.sim");
  EXPECT_EQ(run(script).transcript, run(script).transcript);
}

}  // namespace
