#include "drivers/hand_plan.h"

#include "drivers/glove_fields.h"
#include "simulator/signer.h"

namespace {

static_assert(static_cast<int>(kGloveChannels) == kFieldLittle + 1 && static_cast<int>(kGloveThumb) == kFieldThumb);

// Played events are dropped in batches, not one at a time.
constexpr size_t kPlayedEventsKept = 64;

// The channel's value at a moment, its keyframes before the one in force then dropped.
float playChannel(std::vector<Keyframe>& keys, int64_t nowMicros) {
  size_t current = 0;
  while (current + 1 < keys.size() && keys[current + 1].atMicros <= nowMicros) ++current;
  keys.erase(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(current));
  if (keys.empty()) return 0;
  return keys.size() > 1 ? keyframeValue(keys[0], keys[1], nowMicros) : keys[0].value;
}

void playEvent(HandPlan& plan, const Event& event) {
  if (event.kind == EventKind::kPress) plan.tapped |= event.buttons;
  if (event.kind == EventKind::kRelease) plan.tapped &= ~event.buttons;
  applyToController(plan.pads, event);
}

}  // namespace

void handPlanStart(HandPlan& plan) {
  plan = HandPlan{};
  for (int channel = 0; channel < kGloveChannels; ++channel) builderSet(plan.builder, static_cast<GloveChannel>(channel), 0);
  signerRest(plan.builder, 0);
}

ScenarioBuilder& handPlanNext(HandPlan& plan, int64_t nowMicros) {
  if (plan.builder.nowMicros < nowMicros) plan.builder.nowMicros = nowMicros;
  return plan.builder;
}

bool handPlanBusy(const HandPlan& plan, int64_t nowMicros) { return nowMicros < plan.builder.nowMicros; }

void handPlanPlay(HandPlan& plan, int64_t nowMicros, GloveRecord& record) {
  std::vector<Event>& events = plan.builder.scenario.events;
  while (plan.nextEvent < events.size() && events[plan.nextEvent].atMicros <= nowMicros)
    playEvent(plan, events[plan.nextEvent++]);
  if (plan.nextEvent > kPlayedEventsKept) {
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(plan.nextEvent));
    plan.nextEvent = 0;
  }
  plan.builder.scenario.notes.clear();
  // The scenario's channels are the record's fields up to the little finger, in order.
  for (int channel = 0; channel < kGloveChannels; ++channel)
    gloveFieldSet(record, channel, playChannel(plan.builder.scenario.channels[channel], nowMicros));
  for (int button = 0; button < 4; ++button) record.buttons[button] = plan.tapped >> button & 1;
}
