// The README's script for each mode is a scenario in tests/scenarios (readme_*.sim), so
// the transcript tests check what it prints; here the two copies must agree.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The indented blocks of the README's "One script per mode", unindented.
std::vector<std::string> readmeScripts() {
  const std::string readme = readFile(fs::path(SIGNGLOVE_SCENARIO_DIR) / ".." / ".." / "README.md");
  const size_t start = readme.find("#### One script per mode");
  const size_t end = readme.find("\n#", start + 1);
  EXPECT_NE(start, std::string::npos);
  std::vector<std::string> scripts;
  std::istringstream lines(readme.substr(start, end - start));
  bool inBlock = false;
  for (std::string line; std::getline(lines, line);) {
    const bool indented = line.starts_with("    ");
    if (indented && !inBlock) scripts.emplace_back();
    if (indented) scripts.back() += line.substr(4) + "\n";
    inBlock = indented;
  }
  return scripts;
}

TEST(Readme, ScriptsPerModeAreTheScenariosTested) {
  const std::vector<std::string> scripts = readmeScripts();
  const char* const names[] = {"readme_finger_connections", "readme_handshapes", "readme_movements", "readme_signs"};
  ASSERT_EQ(scripts.size(), std::size(names));
  for (size_t index = 0; index < scripts.size(); ++index) {
    std::string scenario = readFile(fs::path(SIGNGLOVE_SCENARIO_DIR) / (std::string(names[index]) + ".sim"));
    scenario = scenario.substr(scenario.find('\n') + 1);  // its first line says where it comes from
    EXPECT_EQ(scripts[index], scenario) << names[index];
  }
}

}  // namespace
