#include "view/view_feed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/narration.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "view/view_events.h"

namespace {

ViewHub* feedHub = nullptr;
ViewFeed feed;

// Feeds every platform call to the view, as signglove-sim --view does.
void observe(const ObservedCall& call) {
  const int64_t now = world.nowMicros;
  switch (call.kind) {
    case ObservedCall::kGloveRead:
      viewFeedGlove(feed, now, *call.record);
      viewFeedSample(feed, now, *call.record);
      break;
    case ObservedCall::kByteSent:
      viewFeedByteSent(feed, call.byte);
      break;
    case ObservedCall::kByteTaken:
      viewFeedByteTaken(feed, call.byte);
      break;
    case ObservedCall::kConsoleWrite:
      viewFeedConsole(feed, {false, *call.text});
      break;
    case ObservedCall::kConsoleClear:
      viewFeedConsole(feed, {true, {}});
      break;
  }
  viewFeedTick(feed, now);
}

struct Fed {
  SimulationResult result;
  std::vector<std::string> events;  // every event, in order
  std::vector<std::string> ofKind(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& event : events)
      if (event.find("{\"kind\":\"" + kind + "\"") == 0) found.push_back(event);
    return found;
  }
};

// A field's value as written, up to the next comma or brace.
std::string field(const std::string& event, const std::string& name) {
  const size_t at = event.find("\"" + name + "\":");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  return event.substr(start, event.find_first_of(",}", start) - start);
}

Fed fed(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.line << ": " << error.message;
  ViewHub hub;
  feedHub = &hub;
  viewFeedStart(feed, hub, "simulator");
  WorldOptions options;
  options.observe = observe;
  Fed run;
  run.result = runSimulation(scenario, options);
  viewFeedEnd(feed, world.nowMicros, run.result.exitStatus);
  EXPECT_LT(hub.nextNumber, kMostEventsKept) << "the scenario is too long for every event to be kept";
  for (const ViewEvent& event : hub.events) run.events.push_back(event.data);
  return run;
}

std::string scenarioFile(const char* name) {
  std::ifstream file(std::string(SIGNGLOVE_SCENARIO_DIR) + "/" + name);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ViewFeed, WindowsAreNamedAsTheProgramNamesThem) {
  // Handshape diagnostics names the window that ended each cycle, which moved: the
  // moving windows' names, in order, are what it printed after its first (the window
  // it starts with was never taken).
  const Fed run = fed(scenarioFile("readme_handshapes.sim"));
  std::vector<std::string> printed, moving;
  std::istringstream lines(run.result.transcript.substr(run.result.transcript.rfind("program\n\n") + 9));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) printed.push_back(line);
  for (const std::string& window : run.ofKind("window"))
    if (field(window, "still") == "false") moving.push_back(field(window, "name"));
  ASSERT_GT(printed.size(), 3u);
  ASSERT_GE(moving.size(), printed.size() - 1);
  for (size_t index = 1; index < printed.size(); ++index)
    EXPECT_EQ(moving[index - 1], "\"" + printed[index] + "\"") << "window " << index;

  // Every sample belongs to a window, three a window, in order.
  const std::vector<std::string> samples = run.ofKind("sample");
  ASSERT_EQ(samples.size(), 3 * run.ofKind("window").size());
  for (size_t index = 0; index < samples.size(); ++index) {
    EXPECT_EQ(field(samples[index], "window"), std::to_string(index / 3 + 1));
    EXPECT_EQ(field(samples[index], "index"), std::to_string(index % 3));
  }
}

TEST(ViewFeed, WordsConsoleAndGloveAsTheRunWent) {
  const Fed run = fed("calibrate\nwait 300\ntap B\nsign to\nsign my\ntap A\nwait 300\npress B C\nwait 100\nrelease all\n");
  std::vector<std::string> words;
  for (const std::string& word : run.ofKind("word")) words.push_back(field(word, "text"));
  EXPECT_EQ(words, (std::vector<std::string>{"\"to\"", "\"my\""}));
  EXPECT_EQ(recognisedWords(run.result.transcript), (std::vector<std::string>{"to", "my"}));

  std::string console;  // the transcript again, a form feed a clear
  for (const std::string& event : run.events) {
    if (event == "{\"kind\":\"clear\"}") console += '\f';
    if (event.find("{\"kind\":\"console\"") == 0) {
      std::string text = field(event, "text");
      for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at)) text.replace(at, 2, "\n");
      console += text.substr(1, text.size() - 2);
    }
  }
  EXPECT_EQ(console, run.result.transcript);

  // Glove events at most every kGloveEventMicros but for the buttons, the last the
  // record as the program last read it, and every press of A seen.
  const std::vector<std::string> gloves = run.ofKind("glove");
  ASSERT_GT(gloves.size(), 20u);
  int pressesOfA = 0;
  for (size_t index = 1; index < gloves.size(); ++index) {
    const double apart = std::stod(field(gloves[index], "ms")) - std::stod(field(gloves[index - 1], "ms"));
    const bool buttonsChanged = gloves[index].substr(gloves[index].find("buttons")) !=
                                gloves[index - 1].substr(gloves[index - 1].find("buttons"));
    if (!buttonsChanged) {
      EXPECT_GE(apart, kGloveEventMicros / 1000.0) << gloves[index];
    }
    if (gloves[index].find("\"buttons\":[1,") != std::string::npos && buttonsChanged) ++pressesOfA;
  }
  EXPECT_EQ(pressesOfA, 3);  // head, chest, and the tap that chooses nothing in sign recognition
  EXPECT_NE(gloves.back().find("\"buttons\":[0,1,1,0]"), std::string::npos);  // as the program last read it
  EXPECT_EQ(run.events.back(), endEvent(world.nowMicros, 0));
}

}  // namespace
