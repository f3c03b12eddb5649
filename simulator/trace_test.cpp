#include "simulator/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "control/recognition_context.h"
#include "sampling/sample_window.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "tests/virtual_world.h"

namespace {

struct TraceRow {
  double ms = 0;
  std::string kind;
  std::vector<std::string> channels;  // 17
  std::string groups, window, still, text;
};

std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t index = 0; index < line.size(); ++index) {
    const char c = line[index];
    if (quoted && c == '"' && index + 1 < line.size() && line[index + 1] == '"') {
      fields.back() += '"';
      ++index;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

struct Traced {
  SimulationResult result;
  std::string header;
  std::vector<TraceRow> rows;
};

Traced traced(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.line << ": " << error.message;
  std::ostringstream csv;
  traceStart(scenario, csv);
  WorldOptions options;
  options.observe = traceObserve;
  Traced run;
  run.result = runSimulation(scenario, options);
  traceFinish();
  std::istringstream lines(csv.str());
  std::getline(lines, run.header);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> fields = csvFields(line);
    EXPECT_EQ(fields.size(), 23u) << line;
    if (fields.size() != 23u) continue;
    TraceRow row;
    row.ms = std::stod(fields[0]);
    row.kind = fields[1];
    row.channels.assign(fields.begin() + 2, fields.begin() + 19);
    row.groups = fields[19];
    row.window = fields[20];
    row.still = fields[21];
    row.text = fields[22];
    run.rows.push_back(row);
  }
  return run;
}

std::vector<TraceRow> ofKind(const Traced& run, const std::string& kind) {
  std::vector<TraceRow> rows;
  for (const TraceRow& row : run.rows)
    if (row.kind == kind) rows.push_back(row);
  return rows;
}

const char* const kSigning = "calibrate\nwait 300\ntap B\nnoise 10\nsign to\nsign my\nwait 300\npress B C\nwait 100\n";

TEST(TraceTest, ChangesNothingTheProgramSees) {
  for (const char* script :
       {kSigning, "calibrate\nwait 300\ntap A\ntap A\ntouch RT RI\nwait 100\ncontroller corrupt 2\ntouch RM RR\n"
                  "wait 100\ncontroller silent\nwait 700\nenter\ncontroller normal\nwait 50\npress B C\nwait 100\n"}) {
    Scenario scenario;
    ScriptError error;
    ASSERT_TRUE(compileScript(script, scenario, error));
    const SimulationResult plain = runSimulation(scenario);
    const int64_t plainEnd = world.nowMicros;
    const Traced withTrace = traced(script);
    EXPECT_EQ(withTrace.result.transcript, plain.transcript);
    EXPECT_EQ(withTrace.result.exitStatus, plain.exitStatus);
    EXPECT_EQ(world.nowMicros, plainEnd);
  }
}

TEST(TraceTest, SamplesComeInWindowsOfThreeInTimeOrder) {
  const Traced run = traced(kSigning);
  EXPECT_EQ(run.header,
            "ms,kind,x,y,z,orient3,orient2,orient1,slot0,slot1,slot2,slot3,slot4,slot5,thumb,index,middle,ring,little,"
            "groups,window,still,text");
  for (size_t index = 1; index < run.rows.size(); ++index) EXPECT_LE(run.rows[index - 1].ms, run.rows[index].ms);

  const std::vector<TraceRow> samples = ofKind(run, "sample");
  ASSERT_GT(samples.size(), 150u);
  ASSERT_EQ(samples.size() % 3, 0u);
  int stillWindows = 0, movingWindows = 0;
  for (size_t index = 0; index < samples.size(); index += 3) {
    const std::string window = std::to_string(index / 3 + 1);
    for (size_t sample = index; sample < index + 3; ++sample) {
      EXPECT_EQ(samples[sample].window, window);
      EXPECT_EQ(samples[sample].still, samples[index].still);
    }
    (samples[index].still == "1" ? stillWindows : movingWindows)++;
    EXPECT_TRUE(samples[index].still == "1" || samples[index].still == "0");
  }
  EXPECT_GT(stillWindows, movingWindows);
  EXPECT_GT(movingWindows, 4);
}

TEST(TraceTest, WordsAppearBetweenTheSignsStartAndEnd) {
  const Traced run = traced(kSigning);
  std::map<std::string, double> at;
  for (const TraceRow& row : run.rows)
    if (row.kind == "signer" || row.kind == "console") at.emplace(row.kind + ":" + row.text, row.ms);
  ASSERT_TRUE(at.count("console:to") && at.count("console:my")) << run.result.transcript;
  EXPECT_LT(at["signer:signing: to"], at["console:to"]);
  EXPECT_LT(at["console:to"], at["signer:signed: to"]);
  EXPECT_LT(at["signer:signing: my"], at["console:my"]);
  EXPECT_LT(at["console:my"], at["signer:signed: my"]);
  EXPECT_EQ(at["signer:pressing B and C"], at["signer:signed: my"] + 300);
  EXPECT_TRUE(at.count("console:SIGN RECOGNITION program"));
  EXPECT_EQ(ofKind(run, "clear").size(), 2u);
}

TEST(TraceTest, SlotsAreThePacketAsTheProgramHoldsIt) {
  // A shorter reply leaves the later slots as they were; a corrupted reply is read
  // again; pads and bends show in their channels.
  const Traced run = traced(
      "bends 1 2 3 4 5\ncalibrate\nwait 300\ntap A\ntap B\ntap A\ngroups 24 22\nwait 100\ngroups 28\nwait 100\n"
      "controller corrupt 1\ngroups 17 14 15\nwait 100\n");
  std::vector<std::string> slotPairs;
  for (const TraceRow& row : ofKind(run, "sample")) {
    const std::string pair = row.groups + ": " + row.channels[6] + " " + row.channels[7] + " " + row.channels[8];
    if (slotPairs.empty() || slotPairs.back() != pair) slotPairs.push_back(pair);
    EXPECT_EQ(row.channels[12] + row.channels[13] + row.channels[14] + row.channels[15] + row.channels[16], "12345");
  }
  EXPECT_EQ(slotPairs, (std::vector<std::string>{"0: 0 0 0", "2: 24 22 0", "1: 28 22 0", "3: 17 14 15"}));
}

std::vector<TraceRow> rowsOf(const std::string& csv) {
  std::vector<TraceRow> rows;
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line)) {
    const std::vector<std::string> fields = csvFields(line);
    if (fields.size() != 23u || fields[1] != "sample") continue;
    TraceRow row;
    row.channels.assign(fields.begin() + 2, fields.begin() + 19);
    row.window = fields[20];
    row.still = fields[21];
    rows.push_back(row);
  }
  return rows;
}

TEST(TraceTest, SamplesAreTheWindowsTheProgramTook) {
  // Jitter, groups that come and go, replies the program refuses and a time-out: each
  // traced window must hold exactly what the program's own window held.
  VirtualWorld virtualWorld(
      "noise 30 3\ngroups 0x18 0x16 0x0C\nwait 60\ncontroller corrupt 2\ngroups 0x18\nwait 60\n"
      "controller drop 1\ngroups 0x1C 0x2001\nposition 100 200 300\nwait 60\nbends 10 20 30 40 50\nwait 60\n"
      "controller silent\nwait 600\nenter\ncontroller normal\nwait 200\n");
  std::ostringstream csv;
  traceStart(virtualWorld.scenario, csv);
  world.options.observe = traceObserve;
  RecognitionContext context;
  std::vector<SampleWindow> windows;
  std::vector<int> stillness;
  for (int window = 0; window < 40; ++window) {
    stillness.push_back(takeWindow(context));
    windows.push_back(context.window);
  }
  traceFinish();
  EXPECT_NE(virtualWorld.console().find("TIMED OUT"), std::string::npos);

  const std::vector<TraceRow> rows = rowsOf(csv.str());
  ASSERT_EQ(rows.size(), windows.size() * kWindowSamples);
  for (size_t index = 0; index < rows.size(); ++index) {
    const size_t window = index / kWindowSamples;
    SCOPED_TRACE("sample " + std::to_string(index));
    EXPECT_EQ(rows[index].window, std::to_string(window + 1));
    EXPECT_EQ(rows[index].still, std::to_string(stillness[window]));
    for (int channel = 0; channel < kChannels; ++channel)
      EXPECT_EQ(std::stof(rows[index].channels[channel]), windows[window].channel[channel][index % kWindowSamples])
          << "channel " << channel;
  }
  EXPECT_NE(std::count(stillness.begin(), stillness.end(), 0), 0);
  EXPECT_NE(std::count(stillness.begin(), stillness.end(), 1), 0);
}

TEST(TraceTest, FingerConnectionsTakeNoWindows) {
  const Traced run = traced("calibrate\nwait 300\ntap A\ntap A\ntouch RT RI\nwait 100\n");
  const std::vector<TraceRow> samples = ofKind(run, "sample");
  ASSERT_FALSE(samples.empty());
  for (const TraceRow& row : samples) {
    EXPECT_EQ(row.window, "");
    EXPECT_EQ(row.still, "");
  }
  EXPECT_EQ(ofKind(run, "console").back().text, "RT_RI_");
}

TEST(TraceTest, QuotesTextAndKeepsLineEndsVisible) {
  const Traced run = traced("calibrate  # \"head\", then chest\nwait 10\n");
  EXPECT_EQ(run.rows.front().text, "pointing at the head (\"head\", then chest)");
  for (const TraceRow& row : ofKind(run, "console")) EXPECT_EQ(row.text.find('\n'), std::string::npos);
}

}  // namespace
