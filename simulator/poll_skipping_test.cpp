#include "simulator/poll_skipping.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "contacts/contact_packet.h"
#include "control/recognition_context.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "simulator/script.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

// What the program saw in one run of one of its waits.
struct Seen {
  uint64_t digest;
  int64_t endMicros;
  std::string console;
  int64_t calls, skippedCalls;
};

using Wait = std::function<void(RecognitionContext&)>;

// Runs the wait on the script after leadMicros clock readings (1 us each), which shift
// every later call against the millisecond clock, the bytes and the keyframes.
Seen observe(const char* script, int leadMicros, bool skip, const Wait& wait) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << "line " << error.line << ": " << error.message;
  WorldOptions options;
  options.skipIdlePolling = skip;
  options.keepDigest = true;
  worldStart(scenario, options);
  serialOpen(kContactPort, 1024, 1024);
  for (int lead = 0; lead < leadMicros; ++lead) clockMillis();
  const auto context = std::make_unique<RecognitionContext>();
  try {
    wait(*context);
  } catch (const SimulationStopped&) {
  }
  observeEnd(world.observation, world.nowMicros);
  return {world.observation.digest, world.nowMicros, world.transcript, world.observation.calls,
          world.observation.skippedCalls};
}

struct WaitCase {
  const char* name;
  const char* script;
  Wait wait;
};

const WaitCase kWaits[] = {
    {"a reply", "touch RT RI", readContactPacket},
    {"noise words, then a reply", "controller noise 0x1234 0x0040 0x4000\ngroups 0x18 0x300", readContactPacket},
    {"a silent controller times out on a word's first byte, then Enter",
     "controller silent\nwait 700\nenter\ncontroller normal", readContactPacket},
    {"a lost byte times out on a word's second byte, then Enter", "controller drop 1\nwait 700\nenter",
     readContactPacket},
    {"a reply across the clock's wrap", "clock 4294967295\ntouch RT RI", readContactPacket},
    {"a time-out across the clock's wrap", "clock 4294967100\ncontroller drop 1\nwait 700\nenter",
     readContactPacket},
    {"button waits, the hand still", "wait 20\npress A\nwait 30\nrelease A\nwait 7\npress A\nwait 3\nrelease A",
     calibrateReferences},
    {"button waits across a jump of the hand", "wait 20\nposition 5 5 5\nwait 20\nbends 9 9 9 9 9\nwait 3\n"
                                               "press A\nwait 30\nrelease A\nwait 7\npress A\nwait 3\nrelease A",
     calibrateReferences},
    {"button waits while the hand moves", "wait 20\nmove leftToRight\npress A\nwait 5\nrelease A\nmove down\n"
                                          "position 1 2 3\npress A\nwait 1\nrelease A",
     calibrateReferences},
    {"button waits with noise", "noise 3 1\nwait 20\npress A\nwait 30\nrelease A\nnoise 0\nwait 7\npress A\n"
                                "wait 3\nrelease A",
     calibrateReferences},
    {"a button that never comes: stopped 5 s after the last action", "wait 20", calibrateReferences},
};

TEST(PollSkippingTest, TheProgramsWaitsSeeTheSameFromEveryPhase) {
  for (const WaitCase& c : kWaits) {
    int64_t skippedCalls = 0;
    for (int lead = 0; lead < 30; ++lead) {  // every phase against 5 us and 6 us loop periods
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(lead) + " us later");
      const Seen polled = observe(c.script, lead, false, c.wait);
      const Seen skipped = observe(c.script, lead, true, c.wait);
      EXPECT_EQ(skipped.digest, polled.digest);
      EXPECT_EQ(skipped.endMicros, polled.endMicros);
      EXPECT_EQ(skipped.console, polled.console);
      EXPECT_EQ(skipped.calls + skipped.skippedCalls, polled.calls);
      skippedCalls += skipped.skippedCalls;
    }
    EXPECT_GT(skippedCalls, 0) << c.name << ": nothing was skipped, so nothing was shown";
  }
}

// A byte's arrival against the program's polling depends only on the reply's length
// and the bytes before it, so replies of every length, with noise before them.
TEST(PollSkippingTest, WaitsForEachByteOfRepliesOfEveryLength) {
  for (int noiseWords = 0; noiseWords <= 3; ++noiseWords) {
    for (int entries = 0; entries <= 6; ++entries) {
      std::string script = noiseWords > 0 ? "controller noise" : "";
      for (int word = 0; word < noiseWords; ++word) script += " 0x" + std::to_string(1111 * (word + 1));
      script += "\ngroups";
      for (int entry = 0; entry < entries; ++entry) script += " " + std::to_string(1 << entry);
      SCOPED_TRACE(script);
      const Seen polled = observe(script.c_str(), 0, false, readContactPacket);
      const Seen skipped = observe(script.c_str(), 0, true, readContactPacket);
      EXPECT_EQ(skipped.digest, polled.digest);
      EXPECT_EQ(skipped.endMicros, polled.endMicros);
      EXPECT_GT(skipped.skippedCalls, 0);
    }
  }
}

// The skip stops where polling must go on call by call.
TEST(PollSkippingTest, StopsBeforeTheStopRuleAndEachPacingCheck) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("wait 1000", scenario, error));
  worldStart(scenario, {});
  EXPECT_EQ(worldSkipLimitMicros(), 6'000'001);  // the stop: still running 5 s after the last action
  WorldOptions realtime;
  realtime.realtime = true;
  worldStart(scenario, realtime);
  world.paceCheckedMicros = 40'000;
  EXPECT_EQ(worldSkipLimitMicros(), 45'000);
}

// The deadline is learnt from the clock reading the program made last before its
// request; without one, nothing is skipped while waiting for bytes.
TEST(PollSkippingTest, WaitsForBytesAreSkippedOnlyAgainstAKnownDeadline) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("controller silent\nwait 1000", scenario, error));
  worldStart(scenario, {});
  serialOpen(kContactPort, 1024, 1024);
  serialSendByte(kContactPort, kRequestByte);  // no clock reading first: deadline unknown
  for (int poll = 0; poll < 3; ++poll) {
    serialTakeByte(kContactPort);
    clockMillis();
  }
  EXPECT_EQ(world.observation.skippedCalls, 0);

  const uint32_t deadline = clockMillis() + kPacketTimeoutMs;
  serialSendByte(kContactPort, kRequestByte);
  int64_t iterations = 0;
  while (serialTakeByte(kContactPort) < 0 && static_cast<int32_t>(clockMillis() - deadline) < 0) ++iterations;
  EXPECT_GT(world.observation.skippedCalls, 0);
  EXPECT_LT(iterations, 10);  // three calls to learn the loop, a few more at the deadline
  EXPECT_EQ(worldClockMillis(world.nowMicros), deadline);
}

}  // namespace
