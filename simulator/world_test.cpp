#include "simulator/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/glove_library.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "simulator/timing.h"

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
    const float fields[] = {record->x, record->y, record->z, record->orient[0], record->orient[1], record->orient[2]};
    for (int channel = kGloveX; channel <= kGloveOrient3; ++channel)
      ASSERT_EQ(fields[channel], expectedChannel(scenario, static_cast<GloveChannel>(channel), now))
          << "at " << now << ", channel " << channel;
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
  // Only the tail of the latest page is kept, for explaining a run that had to be stopped.
  EXPECT_LE(streamed.transcript.size(), 4096u);
  EXPECT_TRUE(kept.transcript.ends_with(streamed.transcript));
  EXPECT_TRUE(world.repliesSent.empty());
  EXPECT_EQ(streamed.observation.digest, kept.observation.digest) << "what the program saw is the same";
}

// Reads the record at each of the moments, in a fresh world on the scenario.
std::vector<GloveRecord> recordsAt(const Scenario& scenario, const std::vector<int64_t>& moments) {
  WorldOptions options;
  options.skipIdlePolling = false;
  worldStart(scenario, options);
  std::vector<GloveRecord> records;
  for (const int64_t at : moments) {
    worldAdvanceTo(at);
    records.push_back(*gloveLibraryRecord());
  }
  return records;
}

// The noise amounts (position and angle, bend) the script has set by a moment.
std::pair<int, int> noiseAt(const Scenario& scenario, int64_t atMicros) {
  std::pair<int, int> amounts;
  for (const Event& event : scenario.events)
    if (event.kind == EventKind::kNoise && event.atMicros <= atMicros) amounts = {event.amount, event.bendAmount};
  return amounts;
}

// The noise is the glove's, drawn once a glove sample (a millisecond with no refresh
// period): every read within a sample carries the same jitter on the hand's own values,
// within the amount in force, and a sample's jitter is the same however many reads
// came before it.
TEST(WorldTest, GloveNoiseIsDrawnOnceASample) {
  Scenario scenario;
  ScriptError error;
  // Bends from 60 to 100: never clamped to 0 or 255, so every jitter shows.
  ASSERT_TRUE(compileScript("seed 5\nnoise 10 2\nbends 100 100 100 100 100\nwait 3\nmove leftToRight 40\n"
                            "hold fist 20\nnoise 4\nmove down 40\nnoise 0\nwait 20",
                            scenario, error));
  std::vector<int64_t> moments;
  for (int64_t at = 0; at < scenario.endMicros; at += 7) moments.push_back(at);
  const std::vector<GloveRecord> records = recordsAt(scenario, moments);

  int jitteredSamples = 0;
  long lastJitter[kGloveChannels] = {};
  for (size_t read = 0; read < records.size(); ++read) {
    const int64_t at = moments[read] + kGloveRecordReadMicros;  // the record is refreshed as the read ends
    const auto [amount, bendAmount] = noiseAt(scenario, at);
    // A new sample, or new amounts, draw new noise.
    const bool newSample = read == 0 || at / kGloveSampleMicros != (at - 7) / kGloveSampleMicros ||
                           noiseAt(scenario, at - 7) != std::make_pair(amount, bendAmount);
    const GloveRecord& record = records[read];
    const float fields[] = {record.x, record.y, record.z, record.orient[0], record.orient[1], record.orient[2]};
    bool jittered = false;
    for (int channel = 0; channel < kGloveChannels; ++channel) {
      const float expected = expectedChannel(scenario, static_cast<GloveChannel>(channel), at);
      const bool bend = channel >= kFirstBendChannel;
      const long jitter = bend ? record.bend[channel - kFirstBendChannel] - std::lround(expected)
                               : std::lround(fields[channel] - expected);
      ASSERT_LE(std::abs(jitter), bend ? bendAmount : amount) << "at " << at << ", channel " << channel;
      if (!newSample) {
        ASSERT_EQ(jitter, lastJitter[channel]) << "at " << at << ", channel " << channel;
      }
      jittered = jittered || jitter != 0;
      lastJitter[channel] = jitter;
    }
    jitteredSamples += jittered && newSample;
  }
  EXPECT_GT(jitteredSamples, 200);

  // Straight to a moment, in a world read only about once a millisecond.
  constexpr size_t kEvery = 143;
  std::vector<int64_t> sparse;
  for (size_t read = 0; read < moments.size(); read += kEvery) sparse.push_back(moments[read]);
  const std::vector<GloveRecord> direct = recordsAt(scenario, sparse);
  for (size_t read = 0; read < sparse.size(); ++read)
    EXPECT_EQ(std::memcmp(&direct[read], &records[read * kEvery], sizeof(GloveRecord)), 0) << "at " << sparse[read];
}

}  // namespace
