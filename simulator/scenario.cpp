#include "simulator/scenario.h"

namespace {

// A channel's keyframes must stay in time order: anything scheduled after now is
// replaced by the value the channel has now.
void cutAfterNow(ScenarioBuilder& builder, GloveChannel channel) {
  std::vector<Keyframe>& keys = builder.scenario.channels[channel];
  if (keys.empty() || keys.back().atMicros <= builder.nowMicros) return;
  const int64_t now = builder.nowMicros;
  float value = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].atMicros > now) {
      const Keyframe& before = keys[i - 1];  // ramps are always preceded by their start
      value = keys[i].ramp ? before.value + (keys[i].value - before.value) *
                                                static_cast<float>(now - before.atMicros) /
                                                static_cast<float>(keys[i].atMicros - before.atMicros)
                           : before.value;
      keys.resize(i);
      break;
    }
  }
  keys.push_back({now, value, false});
  builder.pose[channel] = value;
}

}  // namespace

void builderWait(ScenarioBuilder& builder, int64_t micros) { builder.nowMicros += micros; }

void builderSet(ScenarioBuilder& builder, GloveChannel channel, float value) {
  cutAfterNow(builder, channel);
  builder.scenario.channels[channel].push_back({builder.nowMicros, value, false});
  builder.pose[channel] = value;
}

void builderRamp(ScenarioBuilder& builder, GloveChannel channel, float value, int64_t micros) {
  if (micros <= 0) return builderSet(builder, channel, value);
  cutAfterNow(builder, channel);
  std::vector<Keyframe>& keys = builder.scenario.channels[channel];
  keys.push_back({builder.nowMicros, builder.pose[channel], false});
  keys.push_back({builder.nowMicros + micros, value, true});
  builder.pose[channel] = value;
}

void builderEvent(ScenarioBuilder& builder, Event event) {
  event.atMicros = builder.nowMicros;
  switch (event.kind) {
    case EventKind::kTouch:
      controllerTouch(builder.contacts, event.mask);
      break;
    case EventKind::kUntouch:
      controllerUntouch(builder.contacts);
      break;
    case EventKind::kGroups:
      controllerSetWords(builder.contacts, event.words);
      break;
    default:
      break;
  }
  builder.scenario.events.push_back(std::move(event));
}

Scenario builderFinish(ScenarioBuilder& builder) {
  builder.scenario.endMicros = builder.nowMicros;
  return std::move(builder.scenario);
}
