#include "simulator/world.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "contacts/contact_packet.h"
#include "simulator/timing.h"

World world;

namespace {

// The program is stopped when it is still running this long after the last action.
constexpr int64_t kRunOnMicros = 5 * kMicrosPerSecond;
constexpr uint64_t kNoiseSeed = 0x5167'6c6f'7665'0001ULL;
// Real-time runs compare the clocks every few virtual milliseconds and sleep off any
// lead; a person cannot tell output that late.
constexpr int64_t kPaceIntervalMicros = 5000;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t wallNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

uint64_t nextRandom() {  // splitmix64: small, fast and the same everywhere
  uint64_t z = (world.noiseState += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int jitter(int amount) {
  if (amount <= 0) return 0;
  return static_cast<int>(nextRandom() % static_cast<uint64_t>(2 * amount + 1)) - amount;
}

float channelValue(GloveChannel channel) {
  const std::vector<Keyframe>& keys = world.scenario->channels[channel];
  size_t& cursor = world.keyCursor[channel];
  const int64_t now = world.nowMicros;
  if (keys.empty() || keys[0].atMicros > now) return 0;
  while (cursor + 1 < keys.size() && keys[cursor + 1].atMicros <= now) ++cursor;
  return cursor + 1 < keys.size() ? keyframeValue(keys[cursor], keys[cursor + 1], now) : keys[cursor].value;
}

void answerOnCue();

void applyEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::kPress:
    case EventKind::kRelease:
      for (int button = 0; button < 4; ++button)
        if (event.buttons & (1u << button)) world.buttons[button] = event.kind == EventKind::kPress ? 1 : 0;
      break;
    case EventKind::kEnter:
      ++world.keysWaiting;
      break;
    case EventKind::kNoise:
      world.noiseAmount = event.amount;
      world.bendNoiseAmount = event.bendAmount;
      break;
    case EventKind::kAnswer:
      answerOnCue();
      break;
    default:
      applyToController(world.controller, event);
      break;
  }
}

// The controller sends its reply byte by byte once the reply is ready and its
// transmitter is free.
void sendReply(int64_t readyMicros) {
  const std::vector<uint8_t> reply = controllerReply(world.controller);
  const int64_t start = std::max(readyMicros, world.controllerLineFreeMicros);
  for (size_t index = 0; index < reply.size(); ++index) {
    if (world.received.size() >= static_cast<size_t>(kReceiveQueueBytes)) break;
    world.received.push_back({start + lineMicros(static_cast<int64_t>(index) + 1), reply[index]});
  }
  world.controllerLineFreeMicros = start + lineMicros(static_cast<int64_t>(reply.size()));
}

// A request byte has reached the controller: it scans, then replies; a cued controller
// replies when the script says so (or at once, if the script already has).
void answerRequest(int64_t arrivedMicros) {
  if (world.controller.silent) return;
  if (!world.controller.cued) return sendReply(arrivedMicros + kControllerScanMicros);
  if (world.answersDue == 0) {
    world.requestWaiting = true;
    return;
  }
  --world.answersDue;
  sendReply(arrivedMicros);
}

// The script's cue: the request that is waiting is answered now, or else the next one
// the moment it arrives. A controller that answers by itself needs no cue.
void answerOnCue() {
  if (!world.controller.cued) return;
  if (!world.requestWaiting) {
    ++world.answersDue;
    return;
  }
  world.requestWaiting = false;
  sendReply(world.nowMicros);
}

// Lets every event and request arrival up to target happen, in time order.
void happenUntil(int64_t target) {
  const std::vector<Event>& events = world.scenario->events;
  for (;;) {
    const int64_t eventAt = world.nextEvent < events.size() ? events[world.nextEvent].atMicros : kNever;
    const int64_t requestAt = world.requestsArriving.empty() ? kNever : world.requestsArriving.front();
    const int64_t next = std::min(eventAt, requestAt);
    if (next > target) return;
    world.nowMicros = std::max(world.nowMicros, next);
    if (eventAt <= requestAt) {
      applyEvent(events[world.nextEvent++]);
    } else {
      world.requestsArriving.pop_front();
      answerRequest(requestAt);
    }
  }
}

void keepPace() {
  if (!world.options.realtime || world.nowMicros - world.paceCheckedMicros < kPaceIntervalMicros) return;
  world.paceCheckedMicros = world.nowMicros;
  const int64_t lead = world.nowMicros * 1000 - (wallNanos() - world.wallStartNanos);
  if (lead > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(lead));
}

void echo(const char* text, size_t length) {
  if (!world.options.echo) return;
  std::fwrite(text, 1, length, world.options.echo);
  std::fflush(world.options.echo);
}

}  // namespace

void worldStart(const Scenario& scenario, const WorldOptions& options) {
  world = World{};
  world.scenario = &scenario;
  world.options = options;
  world.stopMicros = scenario.endMicros + kRunOnMicros;
  world.noiseState = kNoiseSeed;
  world.wallStartNanos = wallNanos();
}

void worldAdvanceTo(int64_t atMicros) {
  happenUntil(atMicros);
  world.nowMicros = std::max(world.nowMicros, atMicros);
  if (world.nowMicros > world.stopMicros)
    throw SimulationStopped{"the program was still running 5 s after the scenario's last action"};
  keepPace();
}

void worldAdvance(int64_t micros) { worldAdvanceTo(world.nowMicros + micros); }

void worldRefreshGlove() {
  GloveRecord& record = world.record;
  float* positionAndAngles[] = {&record.x, &record.y, &record.z, &record.orient[0], &record.orient[1],
                                &record.orient[2]};
  for (int channel = kGloveX; channel <= kGloveOrient3; ++channel)
    *positionAndAngles[channel] = channelValue(static_cast<GloveChannel>(channel)) +
                                  static_cast<float>(jitter(world.noiseAmount));
  for (int finger = 0; finger < 5; ++finger) {
    const long bend = std::lround(channelValue(static_cast<GloveChannel>(kFirstBendChannel + finger))) +
                      jitter(world.bendNoiseAmount);
    record.bend[finger] = static_cast<uint8_t>(std::clamp(bend, 0L, 255L));
  }
  for (int button = 0; button < 4; ++button) record.buttons[button] = world.buttons[button];
}

void worldSendByte(uint8_t byte) {
  const int64_t start = std::max(world.nowMicros, world.hostLineFreeMicros);
  world.hostLineFreeMicros = start + lineMicros(1);
  if (byte != kRequestByte) return;
  world.requestsArriving.push_back(world.hostLineFreeMicros);
  ++world.requestsSent;
}

int worldTakeByte() {
  if (world.received.empty() || world.received.front().atMicros > world.nowMicros) return -1;
  const uint8_t byte = world.received.front().byte;
  world.received.pop_front();
  return byte;
}

void worldWrite(const std::string& text) {
  world.transcript += text;
  echo(text.data(), text.size());
}

void worldClear() {
  world.transcript += '\f';
  if (world.options.echoIsTerminal)
    echo("\x1b[H\x1b[2J", 7);
  else
    echo("\f", 1);
}

int64_t worldNextHappeningMicros() {
  const std::vector<Event>& events = world.scenario->events;
  const int64_t eventAt = world.nextEvent < events.size() ? events[world.nextEvent].atMicros : kNever;
  return std::min(eventAt, world.requestsArriving.empty() ? kNever : world.requestsArriving.front());
}

int64_t worldNextByteMicros() { return world.received.empty() ? kNever : world.received.front().atMicros; }

int worldTakeKeys() {
  const int keys = world.keysWaiting;
  world.keysWaiting = 0;
  return keys;
}
