// Recognition costs: the handshape tree and the movement tests per call, and how much
// virtual time sampling covers and how fast the virtual world runs against the wall clock.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "control/recognition_context.h"
#include "platform/serial.h"
#include "recognition/handshape.h"
#include "recognition/movement_classifier.h"
#include "contacts/contact_groups.h"
#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

using Contexts = std::vector<std::unique_ptr<RecognitionContext>>;

// A held hand: bends T I M R L, second angle, the packet's groups, and what it is.
struct Hand {
  float bends[5];
  float angle2;
  std::vector<int32_t> groups;
  HandshapeCode expected;
};

const Hand kHands[] = {
    {{60, 60, 60, 60, 60}, 30, {0x001C}, kRound},        {{60, 30, 1, 1, 1}, 30, {0x0018, 0x0C00}, kOkay},
    {{60, 1, 60, 60, 60}, 30, {0x0016}, kPoint},          {{60, 1, 60, 60, 60}, 30, {0x0014}, kPerth},
    {{60, 1, 1, 60, 60}, -35, {0x0013, 0x000C}, kLetterN}, {{60, 1, 1, 1, 60}, -45, {0x0011, 0x000E}, kLetterM},
    {{60, 1, 1, 1, 1}, 30, {}, kFour},                    {{20, 1, 1, 1, 1}, 30, {0x000F}, kFlat},
    {{25, 25, 25, 25, 25}, 30, {}, kBall},                {{1, 1, 60, 60, 1}, 30, {0x3000}, kLove},
    {{20, 50, 30, 30, 30}, 30, {}, kHandshapeNone},
};

void BM_ClassifyHandshape(benchmark::State& state) {
  Contexts contexts;
  for (const Hand& hand : kHands) {
    auto& context = *contexts.emplace_back(std::make_unique<RecognitionContext>());
    for (int finger = 0; finger < 5; ++finger) context.window.channel[kChannelThumb + finger][0] = hand.bends[finger];
    context.window.channel[kChannelOrient2][0] = hand.angle2;
    for (int32_t group : hand.groups) context.packet.slots[context.packet.count++] = group;
    if (classifyHandshape(context) != hand.expected) return state.SkipWithError("a hand is not classified as meant");
  }
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(classifyHandshape(*contexts[next]));
    next = next + 1 == contexts.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyHandshape);

// A track moving from (x, y, z) by (dx, dy, dz) over every sample, fingers and angles steady.
void fillTrack(MovementTrack& track, float dx, float dy, float dz) {
  for (int sample = 0; sample < kTrackSamples; ++sample) {
    const float at = static_cast<float>(sample) / (kTrackSamples - 1);
    track.channel[kChannelX][sample] = 100 + dx * at;
    track.channel[kChannelY][sample] = 300 + dy * at;
    track.channel[kChannelZ][sample] = 500 + dz * at;
    track.channel[kChannelOrient3][sample] = -120;  // below 100 throughout: no wrist roll
    track.channel[kChannelOrient2][sample] = 30 + 40 * at;
    for (int finger = 0; finger < 5; ++finger) track.channel[kChannelThumb + finger][sample] = 30;
  }
}

void BM_ClassifyMovement(benchmark::State& state) {
  struct Path {
    float dx, dy, dz;
    MovementCode expected;
  };
  const Path paths[] = {{200, 0, 0, kLeftToRight}, {0, 0, -120, kTowardBody},   {300, -300, 120, kAwayRightDown},
                        {0, -200, 0, kDown},       {300, 300, 120, kAwayRightUp}, {40, 40, 40, kMovementNone}};
  Contexts contexts;
  for (const Path& path : paths) {
    auto& context = *contexts.emplace_back(std::make_unique<RecognitionContext>());
    fillTrack(context.track, path.dx, path.dy, path.dz);
    if (classifyMovement(context) != path.expected) return state.SkipWithError("a track is not classified as meant");
  }
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(classifyMovement(*contexts[next]));
    next = next + 1 == contexts.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyMovement);

// A long scenario: the demo's words signed over and over, touching pads on the way.
std::string longScript() {
  std::string script = "calibrate\nwait 500\n";
  for (int round = 0; round < 100; ++round)
    for (const char* word : {"welcome", "to", "my", "presentation", "I", "hope", "this/the", "proves", "concept"})
      script += std::string("sign ") + word + "\n";
  return script + "wait 1000\n";
}

// The contact port as the program's start-up leaves it: open and set to 9600 baud 8N1.
void openContactPort() {
  serialOpen(kContactPort, 1024, 1024);
  serialSetBaud(kContactPort, 9600);
  serialSetLine(kContactPort, 0, 0, 8);
}

// Sampling in the virtual world: virtual time per window, virtual seconds per wall second.
void BM_TakeWindowVirtualTime(benchmark::State& state) {
  Scenario scenario;
  ScriptError error;
  if (!compileScript(longScript(), scenario, error)) return state.SkipWithError(error.message.c_str());
  const auto context = std::make_unique<RecognitionContext>();
  const auto restart = [&] {
    worldStart(scenario, {});
    openContactPort();
  };
  restart();
  int64_t virtualMicros = 0;
  for (auto _ : state) {
    if (world.nowMicros > scenario.endMicros) {  // keep well clear of the world's stop
      state.PauseTiming();
      restart();
      state.ResumeTiming();
    }
    const int64_t before = world.nowMicros;
    benchmark::DoNotOptimize(takeWindow(*context));
    virtualMicros += world.nowMicros - before;
  }
  const double total = static_cast<double>(virtualMicros);
  state.counters["virtual_us_per_window"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
  state.counters["virtual_s_per_wall_s"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TakeWindowVirtualTime)->UseRealTime();

// One finger-connections cycle with one group touching, in virtual time, against what
// the wire alone needs: the request byte and a nine-byte reply at 9600 baud.
void BM_FingerConnectionsCycle(benchmark::State& state) {
  Scenario scenario;
  ScriptError error;
  if (!compileScript("touch RT RI\nwait 86400000\n", scenario, error)) return state.SkipWithError(error.message.c_str());
  worldStart(scenario, {});
  openContactPort();
  const auto context = std::make_unique<RecognitionContext>();
  const int64_t start = world.nowMicros;
  for (auto _ : state) {
    runFingerConnectionsCycle(*context);
    world.transcript.clear();
  }
  state.counters["virtual_us_per_cycle"] =
      benchmark::Counter(static_cast<double>(world.nowMicros - start), benchmark::Counter::kAvgIterations);
  state.counters["wire_us_per_cycle"] = static_cast<double>(lineMicros(1 + replyBytes(1)));
}
BENCHMARK(BM_FingerConnectionsCycle)->UseRealTime();

// Each movement of the virtual signer as the program records it: how long the
// movement lasts in virtual time and how many windows the recorder takes.
constexpr const char* kMovementNames[] = {"fingersIncDecInc", "leftToRight", "towardBody", "rollWrists",
                                          "awayRightDown",    "down",        "awayRightUp"};

void BM_RecordMovement(benchmark::State& state) {
  const std::string pose = "position 0 350 400\nangles 0 30 50\nbends 20 50 30 30 30\nwait 300\n";
  const std::string move = std::string("move ") + kMovementNames[state.range(0)] + "\n";
  Scenario before, scenario;
  ScriptError error;
  if (!compileScript(pose, before, error) || !compileScript(pose + move + "wait 2000\n", scenario, error))
    return state.SkipWithError(error.message.c_str());
  const int64_t movementMicros = scenario.endMicros - 2'000'000 - before.endMicros;
  const auto context = std::make_unique<RecognitionContext>();
  int64_t windows = 0;
  MovementCode code = kMovementNone;
  for (auto _ : state) {
    worldStart(scenario, {});
    openContactPort();
    while (takeWindow(*context) == 1) {
    }
    const int64_t requests = world.requestsSent - kWindowSamples;  // the first moving window counts too
    code = captureMovement(*context);
    windows = (world.requestsSent - requests) / kWindowSamples;
  }
  if (code != state.range(0) + 1) return state.SkipWithError("the movement was not recognised");
  state.SetLabel(kMovementNames[state.range(0)]);
  state.counters["movement_ms"] = static_cast<double>(movementMicros) / 1000.0;
  state.counters["recorder_windows"] = static_cast<double>(windows);
}
BENCHMARK(BM_RecordMovement)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

// The whole program on the demo: virtual seconds per wall second end to end.
void BM_RunDemo(benchmark::State& state) {
  Scenario scenario;
  ScriptError error;
  if (!compileScript(kDemoScript, scenario, error)) return state.SkipWithError(error.message.c_str());
  double virtualSeconds = 0;
  for (auto _ : state) {
    if (runSimulation(scenario).exitStatus != 0) return state.SkipWithError("the demo did not end by itself");
    virtualSeconds += static_cast<double>(world.nowMicros) / 1e6;
  }
  state.counters["virtual_s_per_wall_s"] = benchmark::Counter(virtualSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunDemo)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
