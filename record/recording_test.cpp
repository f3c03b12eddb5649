#include "record/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "contacts/contact_packet.h"
#include "record/recording_slices.h"
#include "simulator/script.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

using Bytes = std::vector<uint8_t>;

Scenario compiled(const std::string& script) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << "line " << error.line << ": " << error.message << "\n"
                                                      << script;
  return scenario;
}

GloveRecord gloveAt(int64_t micros) {
  worldAdvanceTo(micros);
  worldRefreshGlove();
  return world.record;
}

void expectSameGlove(const GloveRecord& seen, const GloveRecord& recorded) {
  EXPECT_EQ(seen.x, recorded.x);
  EXPECT_EQ(seen.y, recorded.y);
  EXPECT_EQ(seen.z, recorded.z);
  for (int angle = 0; angle < 3; ++angle) EXPECT_EQ(seen.orient[angle], recorded.orient[angle]);
  for (int finger = 0; finger < 5; ++finger) EXPECT_EQ(seen.bend[finger], recorded.bend[finger]);
  for (int button = 0; button < 4; ++button) EXPECT_EQ(seen.buttons[button] != 0, recorded.buttons[button] != 0);
}

TEST(RecordingTest, GloveChangesReplayExactlyAtTheirMillisecond) {
  const std::vector<GloveSnapshot> snapshots = {
      {0, {0, 350, 400, {0, 30, 50}, {40, 30, 35, 30, 25}, {0, 0, 0, 0}}},
      {1'400, {0.1f, -350.25f, 1e-7f, {-0.0f, 30, 50}, {40, 30, 35, 30, 25}, {1, 0, 0, 0}}},
      {2'200, {123456.79f, -999999.9f, 3, {179.99f, -180, 1e6f}, {255, 0, 1, 2, 3}, {1, 2, 0, 0}}},
      {2'700, {5, 5, 5, {5, 5, 5}, {5, 5, 5, 5, 5}, {0, 0, 0, 0}}},  // gone within the millisecond
      {2'900, {6, 6, 6, {6, 6, 6}, {6, 6, 6, 6, 6}, {0, 0, 1, 1}}},
      {250'000, {6, 6, 6, {6, 6, 6}, {6, 6, 6, 6, 6}, {0, 0, 1, 1}}},  // no change: nothing written
      {250'499, {6, 6, 6.5f, {6, 6, 6}, {6, 6, 6, 6, 6}, {0, 0, 0, 1}}},
  };
  Recording recording;
  recording.glove = snapshots;
  recording.endMicros = 300'000;
  const Scenario scenario = compiled(recordingScript(recording));
  worldStart(scenario, {});

  struct Check {
    int64_t atMicros;
    size_t snapshot;
  };
  const Check checks[] = {{0, 0},     {999, 0},       {1'000, 1},     {1'999, 1},    {2'000, 2},
                          {2'999, 2}, {3'000, 4}, {249'999, 4}, {250'000, 6}, {300'000, 6}};
  for (const Check& check : checks) {
    SCOPED_TRACE(check.atMicros);
    expectSameGlove(gloveAt(check.atMicros), snapshots[check.snapshot].record);
  }
  EXPECT_EQ(scenario.endMicros, 300'000);
}

TEST(RecordingTest, WritesOnlyChangesInTheScriptLanguage) {
  Recording recording;
  recording.notes = {"a test session"};
  recording.glove = {{0, {0, 0, 0, {0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0}}},
                     {10'000, {1.5f, 0, 0, {0, 0, 0}, {0, 0, 0, 0, 0}, {1, 0, 1, 0}}},
                     {20'200, {1.5f, 0, 0, {0, -2, 0}, {0, 9, 0, 0, 0}, {0, 0, 1, 0}}}};
  recording.keys = {20'400};
  recording.endMicros = 25'000;
  recording.exitStatus = 0;
  EXPECT_EQ(recordingScript(recording),
            "# a test session\n"
            "controller cued\n"  // from the start, whether or not the program asks anything
            "wait 10\n"
            "position 1.5 0 0\n"
            "press A C\n"
            "wait 10\n"
            "angles 0 -2 0\n"
            "bends 0 9 0 0 0\n"
            "release A\n"
            "enter\n"
            "wait 5\n"
            "# exit: 0 (the program ended here)\n");
}

TEST(RecordingTest, StartUpWithoutAGloveAndKeysAreKept) {
  Recording recording;
  recording.gloveAbsent = true;
  recording.keys = {700'000, 700'200, 1'500'000};
  recording.endMicros = 1'600'000;
  const Scenario scenario = compiled(recordingScript(recording));
  EXPECT_TRUE(scenario.gloveAbsent);
  std::vector<int64_t> enters;
  for (const Event& event : scenario.events)
    if (event.kind == EventKind::kEnter) enters.push_back(event.atMicros);
  EXPECT_EQ(enters, (std::vector<int64_t>{700'000, 700'000, 1'500'000}));  // each character is one key
}

// The reply bytes of a well-framed reply with these entries and checksum.
Bytes framed(const std::vector<uint16_t>& entries, int checksumOffset = 0) {
  Bytes bytes = {0x00, 0x40};
  uint16_t sum = 0;
  for (uint16_t entry : entries) {
    bytes.push_back(static_cast<uint8_t>(entry >> 8));
    bytes.push_back(static_cast<uint8_t>(entry));
    sum = static_cast<uint16_t>(sum + entry);
  }
  sum = static_cast<uint16_t>(sum + checksumOffset);
  bytes.insert(bytes.end(), {0x40, 0x00, static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
  return bytes;
}

Bytes withNoise(Bytes reply, Bytes noise) {
  noise.insert(noise.end(), reply.begin(), reply.end());
  return noise;
}

Bytes withoutByte(Bytes reply, size_t index) {
  reply.erase(reply.begin() + static_cast<std::ptrdiff_t>(index));
  return reply;
}

// Each request of a live session got these bytes; the replayed controller must send the
// same bytes to each request of the replay, whether the replay's requests come early
// (the reply then waits for its moment) or a little late (the reply goes at once).
TEST(RecordingTest, TheReplayedControllerAnswersEachRequestWithTheRecordedBytes) {
  constexpr int64_t kFirstRequest = 1'000'000;
  constexpr int64_t kPeriod = 50'000;  // room for the longest reply here, at the line's pace
  const std::vector<Bytes> replies = {
      framed({}),
      framed({0x0018, 0x3000}),
      framed({0x0018, 0x3000}),
      framed({0x0300}),
      framed({0x0300}, 1),                                    // wrong checksum
      framed({0x0300}, 1),                                    // and again
      withNoise(framed({0x0300}), {0x12, 0x34, 0x00, 0x40}),  // noise, a header among it
      withoutByte(framed({0x0018, 0x0300}), 4),               // a byte lost
      {},                                                     // no answer
      {},
      framed({0xFFFF, 0x0002}),                               // the sum wraps
      framed({1, 2, 3, 4, 5, 6, 7}),                          // more entries than the program keeps
      {0x00, 0x40, 0x40, 0x00},                               // cut short
      {0x40, 0x00, 0x00, 0x40, 0x00, 0x01, 0x40, 0x00, 0x00, 0x01, 0x07},  // garbage around a reply
      framed({0x0018}, 7),                                    // checksum off by more than the fault makes
      framed({}),
  };
  Recording recording;
  for (size_t request = 0; request < replies.size(); ++request) {
    const int64_t requestAt = kFirstRequest + static_cast<int64_t>(request) * kPeriod;
    recording.requests.push_back(requestAt);
    const int64_t firstByte = requestAt + lineMicros(1) + kControllerScanMicros;
    for (size_t index = 0; index < replies[request].size(); ++index)
      recording.replies.push_back({firstByte + lineMicros(static_cast<int64_t>(index)), replies[request][index]});
  }
  recording.endMicros = kFirstRequest + static_cast<int64_t>(replies.size()) * kPeriod;
  const std::string script = recordingScript(recording);
  EXPECT_NE(script.find("controller corrupt 1"), std::string::npos) << script;
  EXPECT_NE(script.find("controller noise 0x1234 0x0040"), std::string::npos) << script;
  EXPECT_NE(script.find("reply 0x00 0x40 0x00 0x18 0x00 0x40 0x00 0x03 0x18"), std::string::npos) << script;
  size_t answers = 0;
  for (size_t at = script.find("\nanswer\n"); at != std::string::npos; at = script.find("\nanswer\n", at + 1)) ++answers;
  EXPECT_EQ(answers, replies.size() - 2);  // one cue for each request that was answered
  const Scenario scenario = compiled(script);

  for (int64_t shift : {-kPeriod / 3, int64_t{0}, int64_t{2'000}}) {
    SCOPED_TRACE("requests shifted by " + std::to_string(shift) + " us");
    worldStart(scenario, {});
    for (size_t request = 0; request < replies.size(); ++request) {
      SCOPED_TRACE("request " + std::to_string(request));
      const int64_t requestAt = recording.requests[request] + shift;
      worldAdvanceTo(requestAt);
      worldSendByte(kRequestByte);
      worldAdvanceTo(requestAt + kPeriod - 1);
      Bytes received;
      for (int byte = worldTakeByte(); byte >= 0; byte = worldTakeByte()) received.push_back(static_cast<uint8_t>(byte));
      EXPECT_EQ(received, replies[request]);
    }
  }
}

// The property the replay rests on: a program that samples as fast as the replayed
// line lets it, whatever its pace against the live one, sees at each poll (just before
// each request) the glove the live program saw at its own, though the glove changed
// every millisecond.
TEST(RecordingTest, EachPollOfASamplingReplaySeesWhatTheLivePollSaw) {
  constexpr int kRequests = 60;
  constexpr int64_t kStart = 500'000;
  const Bytes reply = framed({0x0018});
  Recording recording;
  int64_t requestAt = kStart;
  for (int request = 0; request < kRequests; ++request) {
    recording.requests.push_back(requestAt);
    // A live line slower than the replay's, and unevenly so; every fourth reply comes
    // in one burst, late, as through a USB adapter.
    const bool burst = request % 4 == 3;
    const int64_t firstByte = requestAt + (burst ? 12'000 : 3'400 + (request % 7) * 150);
    const int64_t byteApart = burst ? 0 : 1'100;
    for (size_t index = 0; index < reply.size(); ++index)
      recording.replies.push_back({firstByte + static_cast<int64_t>(index) * byteApart, reply[index]});
    requestAt = firstByte + static_cast<int64_t>(reply.size() - 1) * byteApart + 40 + (request % 3) * 900;
  }
  for (int64_t at = 0; at < requestAt + 100'000; at += 1'000) {
    const float value = static_cast<float>(at / 1000);
    recording.glove.push_back({at + 137, {value, -value, 1, {2, 3, value}, {1, 2, 3, 4, 5}, {0, 0, 0, 0}}});
  }
  recording.endMicros = requestAt + 100'000;
  const Scenario scenario = compiled(recordingScript(recording));

  auto liveGloveBefore = [&](int64_t micros) {
    float x = 0;
    for (const GloveSnapshot& snapshot : recording.glove)
      if (snapshot.atMicros < micros) x = snapshot.record.x;
    return x;
  };
  worldStart(scenario, {});
  worldAdvanceTo(kStart);
  for (int request = 0; request < kRequests; ++request) {
    SCOPED_TRACE("request " + std::to_string(request));
    EXPECT_EQ(gloveAt(world.nowMicros).x, liveGloveBefore(recording.requests[request]));
    worldSendByte(kRequestByte);
    Bytes received;
    while (received.size() < reply.size() && world.nowMicros < recording.endMicros) {
      worldAdvance(5);
      for (int byte = worldTakeByte(); byte >= 0; byte = worldTakeByte()) received.push_back(static_cast<uint8_t>(byte));
    }
    ASSERT_EQ(received, reply);
  }
}

TEST(RecordingTest, BytesBeforeTheFirstRequestGoWithItsReply) {
  Recording recording;
  recording.requests = {50'000};
  recording.replies = {{10'000, 0x99}};
  for (uint8_t byte : framed({})) recording.replies.push_back({55'000, byte});
  recording.endMicros = 60'000;
  const std::string script = recordingScript(recording);
  EXPECT_NE(script.find("reply 0x99 0x00 0x40 0x40 0x00 0x00 0x00"), std::string::npos) << script;
}

TEST(RecordingTest, ControllerChangesComeWithTheReplyThatCarriedThem) {
  Recording recording;
  recording.requests = {100'000, 120'000, 140'000};
  for (int request = 0; request < 3; ++request)
    for (uint8_t byte : framed(request == 2 ? std::vector<uint16_t>{0x0018} : std::vector<uint16_t>{}))
      recording.replies.push_back({recording.requests[request] + 5'000, byte});
  recording.endMicros = 150'000;
  const Scenario scenario = compiled(recordingScript(recording));
  std::vector<std::pair<EventKind, int64_t>> events;
  for (const Event& event : scenario.events) events.push_back({event.kind, event.atMicros});
  // Each reply came in one burst 5 ms after its request: the replay's line, which paces
  // bytes, starts it as soon as the request can have reached the controller.
  const std::vector<std::pair<EventKind, int64_t>> expected = {
      {EventKind::kControllerCued, 0}, {EventKind::kAnswer, 101'000}, {EventKind::kAnswer, 121'000},
      {EventKind::kGroups, 141'000},   {EventKind::kAnswer, 141'000}};
  EXPECT_EQ(events, expected);
}

// A session with everything in it: sampling runs with well-framed, noisy, corrupt and
// broken replies, unanswered requests, a menu where only the glove moves (now and then
// twice within a millisecond), keys, stray and late controller bytes and a flood.
Recording mixedSession(uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  const auto random = [&](int below) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<uint32_t>(below));
  };
  Recording recording;
  recording.notes = {"mixed session " + std::to_string(seed)};
  int64_t now = 0;
  const auto gloveChange = [&](int64_t at) {
    const float value = static_cast<float>(random(1000));
    const uint8_t bend = static_cast<uint8_t>(random(256)), button = static_cast<uint8_t>(random(2));
    recording.glove.push_back({at, {value, -value, 2, {1, value, 3}, {bend, 1, 2, 3, 4}, {button, 0, 0, 0}}});
  };
  gloveChange(0);
  if (seed % 3 == 0) recording.replies.push_back({500, 0x99});  // before the first request
  for (int phase = 0; phase < 6; ++phase) {
    // A menu: the glove moves, a key now and then.
    for (int64_t until = now + 300'000 + random(2'000'000); now < until; now += 1'000 + random(40'000)) {
      gloveChange(now);
      if (random(3) == 0) gloveChange(now + random(400));  // within the same millisecond, perhaps
      if (random(20) == 0) recording.keys.push_back(now + 100);
    }
    if (random(4) == 0) recording.replies.push_back({now - 5'000, 0x12});  // stray, after any window
    // Sampling.
    for (int request = 0; request < 20 + random(60); ++request) {
      recording.requests.push_back(now);
      Bytes reply;
      switch (random(8)) {
        case 0: reply = framed({}); break;
        case 1: reply = framed({0x0018}, 1); break;
        case 2: reply = withNoise(framed({0x0300}), {0x12, 0x34}); break;
        case 3: reply = withoutByte(framed({0x0018, 0x0300}), 3); break;
        case 4: break;  // no answer
        case 5: reply = {0x40, 0x00, 0x07}; break;
        default: reply = framed({static_cast<uint16_t>(1 + random(3)), 0x0300}); break;
      }
      int64_t byteAt = now + 1'000 + random(3'000);
      for (uint8_t byte : reply) recording.replies.push_back({byteAt += 1'040, byte});
      if (random(10) == 0) gloveChange(now - 300);
      now = std::max(now, byteAt) + 100 + random(reply.empty() ? 600'000 : 3'000);
      if (random(6) == 0) gloveChange(now - 50);
    }
    if (random(3) == 0) recording.replies.push_back({now + kExchangeWindowMicros + 1'000, 0x55});  // late
    if (phase == 4) {  // a flood, longer than an exchange keeps
      for (int byte = 0; byte < 5'000; ++byte) recording.replies.push_back({now + 10 + byte, 0x00});
      now += 5'000;
    }
    now += 250'000;
  }
  std::sort(recording.glove.begin(), recording.glove.end(),
            [](const GloveSnapshot& a, const GloveSnapshot& b) { return a.atMicros < b.atMicros; });
  std::sort(recording.replies.begin(), recording.replies.end(),
            [](const TimedByte& a, const TimedByte& b) { return a.atMicros < b.atMicros; });
  std::sort(recording.keys.begin(), recording.keys.end());
  recording.endMicros = now + 1'000'000;
  return recording;
}

int64_t waitedMillis(const std::string& lines) {
  int64_t millis = 0;
  for (size_t at = lines.find("wait "); at != std::string::npos; at = lines.find("wait ", at + 1))
    millis += std::stoll(lines.substr(at + 5));
  return millis;
}

// Streamed as the session goes, however its events are cut up, the script is the one
// written from the whole session; and little of it waits: the script written by any
// moment holds the session up to a second or so before it.
TEST(RecordingTest, AScriptStreamedAsTheSessionGoesIsTheWholeSessionsScript) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const Recording recording = mixedSession(seed);
    const std::string whole = recordingScript(recording);
    for (const int64_t step : {int64_t{997}, int64_t{9'300}, int64_t{250'000}, int64_t{1'700'000}}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", steps of " + std::to_string(step) + " us");
      RecordingStream stream;
      RecordingSlices events{recording};
      std::string streamed = recordingStreamStart(stream, recording.notes, recording.gloveAbsent);
      int64_t writtenMillis = 0;
      for (int64_t settled = step; settled < recording.endMicros + step; settled += step) {
        const std::string lines = recordingStreamAdd(stream, events.before(settled), settled);
        streamed += lines;
        writtenMillis += waitedMillis(lines);
        ASSERT_GE(writtenMillis, (settled - 1'500'000) / 1000 - 1) << "lines held back too long";
      }
      streamed += recordingStreamEnd(stream, recording.endMicros, recording.exitStatus, recording.endedBySignal);
      ASSERT_TRUE(streamed == whole) << "the first difference is at byte "
                                     << std::mismatch(streamed.begin(), streamed.end(), whole.begin(), whole.end()).first -
                                            streamed.begin();
      EXPECT_GT(stream.leftOutBytes, 5'000 - static_cast<int64_t>(kMostBytesPerExchange));
    }
  }
}

// What the controller sends long after a request, with none after it, or beyond what one
// reply can be, is left out of the script (and counted): a flood costs the recording
// nothing.
TEST(RecordingTest, BytesLongAfterTheirRequestOrBeyondAReplysRoomAreLeftOut) {
  Recording recording;
  recording.requests = {100'000, 2'000'000};
  recording.replies = {{150'000, 0x01}, {100'000 + kExchangeWindowMicros + 1, 0x02}};
  for (size_t byte = 0; byte < kMostBytesPerExchange + 10; ++byte) recording.replies.push_back({2'000'100, 0x03});
  recording.endMicros = 3'000'000;
  RecordingStream stream;
  std::string script = recordingStreamStart(stream, {}, false);
  script += recordingStreamAdd(stream, recording, 3'000'000);
  script += recordingStreamEnd(stream, recording.endMicros, 0, false);
  EXPECT_NE(script.find("reply 0x01\n"), std::string::npos);
  EXPECT_EQ(script.find("0x02"), std::string::npos);
  size_t kept = 0;
  for (size_t at = script.find(" 0x03"); at != std::string::npos; at = script.find(" 0x03", at + 1)) ++kept;
  EXPECT_EQ(kept, kMostBytesPerExchange);
  EXPECT_EQ(stream.leftOutBytes, 11);
  EXPECT_TRUE(script == recordingScript(recording));
}

}  // namespace
