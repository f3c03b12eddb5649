// Fuzzes the recording's translation into a script with any session: glove records of
// any bits (NaN, infinities, huge values), requests, controller bytes and keys at any
// moments, in time order. Checked on every input:
// - the script compiles, so that every recording replays;
// - written as the session goes, in steps the input chooses, it is the same script.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "record/recording.h"
#include "record/recording_slices.h"
#include "simulator/script.h"

namespace {

constexpr int kMostEvents = 256;
constexpr int64_t kLongestGapMicros = 3'000'000;

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "broken invariant: %s\n%s\n", what, detail.c_str());
  std::abort();
}

GloveRecord anyRecord(FuzzedDataProvider& input) {
  GloveRecord record{};
  uint32_t bits[6];
  for (uint32_t& field : bits) field = input.ConsumeIntegral<uint32_t>();
  std::memcpy(&record.x, bits, sizeof(float) * 3);
  std::memcpy(record.orient, bits + 3, sizeof record.orient);
  for (uint8_t& bend : record.bend) bend = input.ConsumeIntegral<uint8_t>();
  for (uint8_t& button : record.buttons) button = input.ConsumeIntegral<uint8_t>();
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Recording recording;
  recording.gloveAbsent = input.ConsumeBool();
  int64_t now = input.ConsumeIntegralInRange<int64_t>(-1'000'000, 1'000'000);
  for (int event = 0; event < kMostEvents && input.remaining_bytes() > 0; ++event) {
    now += input.ConsumeBool() ? input.ConsumeIntegralInRange<int64_t>(0, 2'000)
                               : input.ConsumeIntegralInRange<int64_t>(0, kLongestGapMicros);
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: recording.glove.push_back({now, anyRecord(input)}); break;
      case 1: recording.requests.push_back(now); break;
      case 2:
        for (uint8_t byte : input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(1, 24)))
          recording.replies.push_back({now += 1'040, byte});
        break;
      default: recording.keys.push_back(now); break;
    }
  }
  recording.endMicros = now + input.ConsumeIntegralInRange<int64_t>(0, kLongestGapMicros);
  recording.exitStatus = input.ConsumeIntegralInRange<int>(0, 255);
  recording.endedBySignal = input.ConsumeBool();

  const std::string script = recordingScript(recording);
  Scenario scenario;
  ScriptError error;
  if (!compileScript(script, scenario, error))
    broken("the script does not compile", std::to_string(error.line) + ": " + error.message + "\n" + script);

  const int64_t step = input.ConsumeIntegralInRange<int64_t>(1'000, 2'000'000);
  RecordingStream stream;
  std::string streamed = recordingStreamStart(stream, recording.notes, recording.gloveAbsent);
  RecordingSlices slices{recording};
  for (int64_t settled = -1'000'000 - step; settled < recording.endMicros + step; settled += step)
    streamed += recordingStreamAdd(stream, slices.before(settled), settled);
  streamed += recordingStreamAdd(stream, slices.before(std::numeric_limits<int64_t>::max()), recording.endMicros + step);
  streamed += recordingStreamEnd(stream, recording.endMicros, recording.exitStatus, recording.endedBySignal);
  if (streamed != script) broken("streamed, the script differs", "whole:\n" + script + "\nstreamed:\n" + streamed);
  return 0;
}
