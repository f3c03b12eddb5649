// Fuzzes the whole program in the simulator: after calibration and a mode chosen by the
// input, the glove carries any bits the input gives (NaN, infinities, huge values, in any
// field) and the controller sends any replies and faults, for a while; then the line is
// healthy again, the hand finite, and the signer holds B and C while the hand rests,
// moves and holds, as a signer leaving a mode does. Checked on every input: the program
// ends by itself (it kept answering B with C), without a sanitizer's complaint.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "simulator/scenario.h"
#include "simulator/signer.h"
#include "simulator/simulation.h"

namespace {

constexpr int kMostSteps = 48;
constexpr int kLongestStepMs = 300;
constexpr int64_t kLongestQueuedReplyMicros = 600'000;  // a time-out, and a little
constexpr unsigned kButtonA = 1, kButtonB = 2, kButtonsBAndC = 6;
constexpr GloveChannel kFloatChannels[] = {kGloveX, kGloveY, kGloveZ, kGloveOrient1, kGloveOrient2, kGloveOrient3};

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "broken invariant: %s: %s\n", what, detail.c_str());
  std::abort();
}

void event(ScenarioBuilder& builder, EventKind kind) {
  Event happening;
  happening.kind = kind;
  builderEvent(builder, std::move(happening));
}

float anyFloat(FuzzedDataProvider& input) {
  const uint32_t bits = input.ConsumeIntegral<uint32_t>();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// One fuzzed step: something the glove or the controller does, then a wait.
void step(ScenarioBuilder& builder, FuzzedDataProvider& input) {
  Event happening;
  switch (input.ConsumeIntegralInRange<int>(0, 8)) {
    case 0:
      for (GloveChannel channel : kFloatChannels) builderSet(builder, channel, anyFloat(input));
      break;
    case 1:
      builderSet(builder, kFloatChannels[input.ConsumeIntegralInRange<int>(0, 5)], anyFloat(input));
      break;
    case 2:
      for (int finger = 0; finger < 5; ++finger)
        builderSet(builder, static_cast<GloveChannel>(kFirstBendChannel + finger), input.ConsumeIntegral<uint8_t>());
      break;
    case 3:
      happening.kind = EventKind::kReply;
      happening.bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 40));
      builderEvent(builder, std::move(happening));
      break;
    case 4:
      happening.kind = input.ConsumeBool() ? EventKind::kControllerCorrupt : EventKind::kControllerDrop;
      happening.count = input.ConsumeIntegralInRange<int>(0, 100);
      builderEvent(builder, std::move(happening));
      break;
    case 5:
      happening.kind = input.ConsumeBool() ? EventKind::kGroups : EventKind::kControllerNoise;
      for (int word = input.ConsumeIntegralInRange<int>(0, 8); word > 0; --word)
        happening.words.push_back(input.ConsumeIntegral<uint16_t>());
      builderEvent(builder, std::move(happening));
      break;
    case 6:
      event(builder, input.ConsumeBool() ? EventKind::kControllerSilent : EventKind::kControllerNormal);
      break;
    case 7:
      event(builder, input.ConsumeBool() ? EventKind::kControllerCued : EventKind::kAnswer);
      break;
    default:
      event(builder, EventKind::kEnter);
      break;
  }
  builderWait(builder, input.ConsumeIntegralInRange<int64_t>(1, kLongestStepMs) * kMicrosPerMilli);
}

void press(ScenarioBuilder& builder, EventKind kind, unsigned buttons) {
  Event happening;
  happening.kind = kind;
  happening.buttons = buttons;
  builderEvent(builder, std::move(happening));
}

// A healthy line, a finite hand, and B and C held while the hand rests, moves and holds:
// every mode ends at the end of such a cycle, and the menu then ends the program.
void leave(ScenarioBuilder& builder) {
  for (EventKind kind : {EventKind::kControllerNormal, EventKind::kUntouch}) event(builder, kind);
  for (EventKind kind : {EventKind::kControllerCorrupt, EventKind::kControllerDrop, EventKind::kControllerNoise}) {
    Event healthy;
    healthy.kind = kind;
    builderEvent(builder, std::move(healthy));
  }
  for (int channel = 0; channel < kGloveChannels; ++channel) builderSet(builder, static_cast<GloveChannel>(channel), 0);
  // Replies still queued answer the next requests first: an empty one is a time-out,
  // which waits for Enter.
  int64_t queued = 0;
  for (const Event& happening : builder.scenario.events) queued += happening.kind == EventKind::kReply;
  for (int64_t enter = 0; enter < queued; ++enter) event(builder, EventKind::kEnter);
  builderWait(builder, queued * kLongestQueuedReplyMicros);
  for (int round = 0; round < 3; ++round) {
    press(builder, EventKind::kPress, kButtonsBAndC);
    for (int enter = 0; enter < 3; ++enter) event(builder, EventKind::kEnter);
    signerRest(builder, 300);
    signerMove(builder, "leftToRight", 0);
    signerSettleAfterMove(builder);
    signerHold(builder, "point", 300);
    press(builder, EventKind::kRelease, kAllButtons);
    builderWait(builder, 200 * kMicrosPerMilli);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  ScenarioBuilder builder;
  signerCalibrate(builder);
  builderWait(builder, 300 * kMicrosPerMilli);
  // The menu's pages: A then A (finger connections), A, B, A (handshapes), A, B, B
  // (movements), or B (sign recognition).
  static const std::vector<unsigned> kModes[] = {
      {kButtonA, kButtonA}, {kButtonA, kButtonB, kButtonA}, {kButtonA, kButtonB, kButtonB}, {kButtonB}};
  for (unsigned buttons : kModes[input.ConsumeIntegralInRange<int>(0, 3)]) signerTap(builder, buttons);
  for (int steps = 0; steps < kMostSteps && input.remaining_bytes() > 0; ++steps) step(builder, input);
  leave(builder);
  const Scenario scenario = builderFinish(builder);

  WorldOptions options;
  options.keepTranscript = false;
  options.keepReplies = false;
  const SimulationResult result = runSimulation(scenario, options);
  if (result.exitStatus != 0) broken("the program did not end on B and C", result.stopReason);
  return 0;
}
