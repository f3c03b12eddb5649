#include "simulator/scenario.h"

namespace {

// A channel's keyframes must stay in time order: anything scheduled after now is
// replaced by the value the channel has now.
void cutAfterNow(ScenarioBuilder& builder, GloveChannel channel) {
  std::vector<Keyframe>& keys = builder.scenario.channels[channel];
  if (keys.empty() || keys.back().atMicros <= builder.nowMicros) return;
  const int64_t now = builder.nowMicros;
  float value = 0;
  for (size_t i = 1; i < keys.size(); ++i) {  // the first keyframe is never after now
    if (keys[i].atMicros > now) {
      value = keyframeValue(keys[i - 1], keys[i], now);
      keys.resize(i);
      break;
    }
  }
  keys.push_back({now, value, false});
  builder.pose[channel] = value;
}

}  // namespace

float keyframeValue(const Keyframe& from, const Keyframe& next, int64_t atMicros) {
  if (!next.ramp || next.atMicros <= from.atMicros) return from.value;
  const double fraction =
      static_cast<double>(atMicros - from.atMicros) / static_cast<double>(next.atMicros - from.atMicros);
  return static_cast<float>(from.value + (next.value - from.value) * fraction);
}

void applyToController(ContactController& controller, const Event& event) {
  switch (event.kind) {
    case EventKind::kTouch:
      controllerTouch(controller, event.mask);
      break;
    case EventKind::kUntouch:
      controllerUntouch(controller);
      break;
    case EventKind::kGroups:
      controllerSetWords(controller, event.words);
      break;
    case EventKind::kControllerSilent:
      controller.silent = true;
      break;
    case EventKind::kControllerNormal:
      controller.silent = false;
      controller.cued = false;
      break;
    case EventKind::kControllerCued:
      controller.cued = true;
      break;
    case EventKind::kControllerCorrupt:
      controller.corruptReplies = event.count;
      break;
    case EventKind::kControllerDrop:
      controller.dropReplies = event.count;
      break;
    case EventKind::kControllerNoise:
      controller.noiseWords = event.words;
      break;
    case EventKind::kReply:
      controllerQueueReply(controller, event.bytes);
      break;
    default:
      break;
  }
}

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
  applyToController(builder.contacts, event);
  builder.scenario.events.push_back(std::move(event));
}

void builderNote(ScenarioBuilder& builder, std::string text) {
  builder.scenario.notes.push_back({builder.nowMicros, std::move(text)});
}

Scenario builderFinish(ScenarioBuilder& builder) {
  builder.scenario.endMicros = builder.nowMicros;
  return std::move(builder.scenario);
}
