// The knobs that vary the virtual signer and world: tempo, the noise seed, the
// controller's scan time and the glove record's refresh period.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/script.h"
#include "simulator/simulation.h"
#include "simulator/timing.h"
#include "tests/virtual_world.h"

namespace {

Scenario compiled(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.line << ": " << error.message;
  return scenario;
}

// Tempo stretches the time every signer action takes, not the distances it covers.
TEST(TempoTest, StretchesEverySignerActionAndKeepsItsPath) {
  const char* const actions[] = {"hold point",     "hold letter-m 300",        "move leftToRight",
                                 "move down 100",  "move rollWrists",          "move fingersIncDecInc",
                                 "sign welcome",   "sign hope",                "rest 100"};
  for (const double tempo : {0.25, 2.0, 4.0}) {
    for (const char* action : actions) {
      SCOPED_TRACE(std::string(action) + " at tempo " + std::to_string(tempo));
      const std::string lead = "rest 0\n";  // from the rest pose, like a signer between signs
      const Scenario usual = compiled(lead + action);
      const Scenario paced = compiled(lead + "tempo " + std::to_string(tempo) + "\n" + action);
      const Scenario leadOnly = compiled(lead);
      const double usualMicros = static_cast<double>(usual.endMicros - leadOnly.endMicros);
      const double pacedMicros = static_cast<double>(paced.endMicros - leadOnly.endMicros);
      EXPECT_NEAR(pacedMicros, usualMicros * tempo, 20.0);  // each wait rounds to the microsecond
      for (int channel = 0; channel < kGloveChannels; ++channel) {
        ASSERT_EQ(paced.channels[channel].size(), usual.channels[channel].size()) << "channel " << channel;
        for (size_t key = 0; key < usual.channels[channel].size(); ++key)
          EXPECT_EQ(paced.channels[channel][key].value, usual.channels[channel][key].value) << "channel " << channel;
      }
    }
  }
}

TEST(TempoTest, LeavesTapsAndCalibrationAlone) {
  EXPECT_EQ(compiled("tempo 3\ncalibrate\ntap A").endMicros, compiled("calibrate\ntap A").endMicros);
}

std::vector<int> bendReadings(const std::string& script, int polls) {
  VirtualWorld virtualWorld(script);
  std::vector<int> readings;
  for (int poll = 0; poll < polls; ++poll) {
    readings.push_back(gloveLibraryRecord()->bend[1]);
    worldAdvance(1000);
  }
  return readings;
}

TEST(SeedTest, ChoosesTheNoiseAndRepeatsIt) {
  const std::string noisy = "noise 0 20\nbends 100 100 100 100 100\nwait 1000\n";
  const std::vector<int> usual = bendReadings(noisy, 50);
  EXPECT_EQ(bendReadings("seed 0\n" + noisy, 50), usual);  // seed 0 is the noise of a run that names none
  EXPECT_EQ(bendReadings("seed 7\n" + noisy, 50), bendReadings("seed 7\n" + noisy, 50));
  EXPECT_NE(bendReadings("seed 7\n" + noisy, 50), usual);
  EXPECT_NE(bendReadings("seed 7\n" + noisy, 50), bendReadings("seed 8\n" + noisy, 50));
}

TEST(SeedTest, KeepsTheDemoTranscriptWithNoNoise) {
  const std::string script = "calibrate\nwait 300\ntap B\nsign to\nwait 300\npress B C\nwait 100\nrelease all\n";
  EXPECT_EQ(runSimulation(compiled("seed 99\n" + script)).transcript, runSimulation(compiled(script)).transcript);
}

// The first reply byte arrives after the request byte, the scan and one byte on the line.
TEST(ControllerScanTest, DelaysEveryReplyByTheScanTime) {
  for (const int scanMs : {0, 2, 8}) {
    SCOPED_TRACE(scanMs);
    VirtualWorld virtualWorld("controller scan " + std::to_string(scanMs) + "\nwait 1000");
    const int64_t sent = world.nowMicros;
    serialSendByte(kContactPort, kRequestByte);
    while (serialTakeByte(kContactPort) < 0) {
    }
    const int64_t expected = lineMicros(1) + scanMs * 1000 + lineMicros(1);
    EXPECT_GE(world.nowMicros - sent, expected);
    EXPECT_LE(world.nowMicros - sent, expected + 2 * kSerialByteCallMicros);
  }
  EXPECT_EQ(compiled("wait 1").controllerScanMicros, kControllerScanMicros);
}

// A bend that rises a unit a millisecond: read every millisecond, the record follows it
// on every poll, or only once in each refresh period.
TEST(GloveRefreshTest, ChangesTheRecordOnlyOnceAPeriod) {
  struct Case {
    int refreshMs;
    int changes;  // in 100 polls a millisecond apart
  };
  const Case cases[] = {{0, 99}, {1, 99}, {5, 20}, {20, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refreshMs);
    VirtualWorld virtualWorld("glove refresh " + std::to_string(c.refreshMs) + "\nwait 1\n");
    world.options.skipIdlePolling = false;  // these polls are a millisecond apart, not a wait for a button
    // Ramp the index bend by hand: 0 at 1 ms, 200 at 201 ms.
    virtualWorld.scenario.channels[kGloveIndex] = {{1000, 0, false}, {201'000, 200, true}};
    worldAdvanceTo(50'000);
    int changes = 0, last = -1;
    for (int poll = 0; poll < 100; ++poll) {
      const int bend = gloveLibraryRecord()->bend[1];
      if (last >= 0 && bend != last) ++changes;
      last = bend;
      worldAdvanceTo(world.nowMicros - world.nowMicros % 1000 + 1000);
    }
    EXPECT_NEAR(changes, c.changes, 1);
  }
}

TEST(VariationScriptTest, RejectsBadKnobs) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"tempo 0", "'0' is not a tempo"},
      {"tempo 101", "'101' is not a tempo"},
      {"tempo fast", "'fast' is not a tempo"},
      {"tempo nan", "'nan' is not a tempo"},
      {"tempo", "'tempo' takes 1 argument"},
      {"seed -1", "'-1' is not a seed"},
      {"wait 1\nseed 3", "'seed' is a start-up condition"},
      {"controller scan", "'controller scan' takes a number of milliseconds"},
      {"controller scan 10001", "'10001' is not a scan time"},
      {"hold point\ncontroller scan 1", "'controller' is a start-up condition"},
      {"glove refresh", "'glove refresh' takes a number of milliseconds"},
      {"glove refresh x", "'x' is not a refresh period"},
      {"wait 1\nglove refresh 5", "'glove' is a start-up condition"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Scenario scenario;
    ScriptError error;
    EXPECT_FALSE(compileScript(c.script, scenario, error));
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
  }
}

TEST(VariationScriptTest, SetsTheKnobs) {
  const Scenario scenario = compiled("seed 12\ncontroller scan 0\nglove refresh 20\ntempo 0.5\nglove absent\nwait 1");
  EXPECT_EQ(scenario.noiseSeed, 12u);
  EXPECT_EQ(scenario.controllerScanMicros, 0);
  EXPECT_EQ(scenario.gloveRefreshMicros, 20'000);
  EXPECT_TRUE(scenario.gloveAbsent);
}

}  // namespace
