#include "simulator/world.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/glove_library.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

// The glove record as the scenario's keyframes give it at a moment, worked out afresh.
float expectedChannel(const Scenario& scenario, GloveChannel channel, int64_t atMicros) {
  const std::vector<Keyframe>& keys = scenario.channels[channel];
  if (keys.empty() || keys[0].atMicros > atMicros) return 0;
  size_t index = 0;
  while (index + 1 < keys.size() && keys[index + 1].atMicros <= atMicros) ++index;
  return index + 1 < keys.size() ? keyframeValue(keys[index], keys[index + 1], atMicros) : keys[index].value;
}

// The record is refreshed only when something may have changed; it must still match
// the keyframes at every read: before the first, across jumps, all along ramps.
TEST(WorldTest, TheGloveRecordFollowsEveryKeyframeReadByRead) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("wait 3\nposition 10 20 30\nwait 2\nmove leftToRight 40\nbends 1 2 3 4 5\nwait 1\n"
                            "hold fist\nmove rollWrists\npress A\nwait 2\nrelease A\nwait 10",
                            scenario, error));
  WorldOptions options;
  options.skipIdlePolling = false;  // reads made from the test, not from a polling loop
  worldStart(scenario, options);
  int reads = 0;
  for (int64_t at = 0; at < scenario.endMicros; at += 7, ++reads) {
    worldAdvanceTo(at);
    const GloveRecord* record = gloveLibraryRecord();
    const int64_t now = world.nowMicros;
    ASSERT_EQ(record->x, expectedChannel(scenario, kGloveX, now)) << "at " << now;
    ASSERT_EQ(record->orient[2], expectedChannel(scenario, kGloveOrient3, now)) << "at " << now;
    for (int finger = 0; finger < 5; ++finger)
      ASSERT_EQ(record->bend[finger],
                std::lround(expectedChannel(scenario, static_cast<GloveChannel>(kFirstBendChannel + finger), now)))
          << "at " << now << ", finger " << finger;
  }
  EXPECT_GT(reads, 1000);
}

// A long run that streams its console keeps neither the console nor the replies: a
// minute of finger connections prints some 6,000 lines and takes as many replies.
TEST(WorldTest, ARunThatKeepsNoTranscriptHoldsNoMoreAsItGoesOn) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("calibrate\nwait 300\ntap A\ntap A\ntouch RT RI\nwait 60000\npress B C\nwait 100\n"
                            "release all",
                            scenario, error));
  WorldOptions options;
  options.keepDigest = true;
  const SimulationResult kept = runSimulation(scenario, options);
  EXPECT_GT(kept.transcript.size(), 30'000u);
  EXPECT_GT(world.repliesSent.size(), 5'000u);
  options.keepTranscript = false;
  options.keepReplies = false;
  const SimulationResult streamed = runSimulation(scenario, options);
  EXPECT_EQ(streamed.exitStatus, 0);
  EXPECT_EQ(streamed.transcript, kept.transcript.substr(kept.transcript.size() - 1));
  EXPECT_TRUE(world.repliesSent.empty());
  EXPECT_EQ(streamed.observation.digest, kept.observation.digest) << "what the program saw is the same";
}

}  // namespace
