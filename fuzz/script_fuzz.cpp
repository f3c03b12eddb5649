// Fuzzes the scenario script compiler with arbitrary text. Checked on every input:
// - a refused script names a line inside it and says something, and leaves the
//   scenario it was given as it was;
// - a compiled scenario has its events, and every channel's keyframes, in time order,
//   within the scenario's time, and no value that is NaN, infinite or out of range.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "simulator/script.h"

namespace {

constexpr float kFarthestValue = 1e8f;  // positions and angles, after any movements
constexpr float kMaxBend = 255;
constexpr int kMostReplies = 1'000'000;
constexpr int kMostNoise = 1000;
constexpr uint32_t kLeftAloneClock = 0xC0FFEE;

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void checkRefused(std::string_view text, const ScriptError& error, const Scenario& scenario) {
  int lines = 1;
  for (char c : text) lines += c == '\n';
  if (error.line < 1 || error.line > lines) broken("error names a line outside the script");
  if (error.message.empty()) broken("error without a message");
  if (scenario.clockStartMs != kLeftAloneClock || scenario.serialFails || scenario.gloveAbsent ||
      !scenario.events.empty() || scenario.endMicros != 0)
    broken("a refused script changed the scenario");
  for (const auto& keys : scenario.channels)
    if (!keys.empty()) broken("a refused script left keyframes behind");
}

void checkCompiled(const Scenario& scenario) {
  if (scenario.endMicros < 0) broken("scenario ends before it starts");
  int64_t previous = 0;
  for (const Event& event : scenario.events) {
    if (event.atMicros < previous || event.atMicros > scenario.endMicros) broken("event out of time order");
    previous = event.atMicros;
    if (event.count < 0 || event.count > kMostReplies) broken("reply count out of range");
    if (event.amount < 0 || event.amount > kMostNoise) broken("noise amount out of range");
    if (event.bendAmount < 0 || event.bendAmount > kMaxBend) broken("bend noise out of range");
    if (event.buttons > 0xF) broken("unknown button");
  }
  for (int channel = 0; channel < kGloveChannels; ++channel) {
    int64_t last = 0;
    for (const Keyframe& key : scenario.channels[channel]) {
      if (key.atMicros < last) broken("keyframe out of time order");
      last = key.atMicros;
      if (!std::isfinite(key.value)) broken("keyframe value is not a number");
      const bool bend = channel >= kFirstBendChannel;
      if (bend ? key.value < 0 || key.value > kMaxBend : std::fabs(key.value) > kFarthestValue)
        broken("keyframe value out of range");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Scenario scenario;
  scenario.clockStartMs = kLeftAloneClock;
  ScriptError error;
  if (compileScript(text, scenario, error))
    checkCompiled(scenario);
  else
    checkRefused(text, error, scenario);
  return 0;
}
