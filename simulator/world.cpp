#include "simulator/world.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "contacts/contact_packet.h"
#include "simulator/timing.h"

World world;

namespace {

constexpr uint64_t kNoiseSeed = 0x5167'6c6f'7665'0001ULL;
// Real-time runs compare the clocks every few virtual milliseconds and sleep off any
// lead; a person cannot tell output that late.
constexpr int64_t kPaceIntervalMicros = 5000;
constexpr size_t kPageTailBytes = 4096;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t wallNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// splitmix64's finaliser: small, fast and the same everywhere.
uint64_t mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// The glove's noise is counter-based: a channel's jitter in a glove sample is the
// splitmix64 draw numbered by the sample and the channel, from the seed's key. It
// depends on nothing else (not on how often the program read the record before), so
// any sample's noise is computed directly and reads within a sample agree.
int jitter(int64_t sample, int channel, int amount) {
  if (amount <= 0) return 0;
  const uint64_t draw = static_cast<uint64_t>(sample) * kGloveChannels + static_cast<uint64_t>(channel) + 1;
  const uint64_t random = mix(world.noiseKey + draw * 0x9E3779B97F4A7C15ULL);
  return static_cast<int>(random % static_cast<uint64_t>(2 * amount + 1)) - amount;
}

// How long the record's noise holds: the refresh period, or the glove's own sample
// when the record is refreshed on every read.
int64_t noisePeriodMicros() {
  const int64_t period = world.scenario->gloveRefreshMicros;
  return period > 0 ? period : kGloveSampleMicros;
}

float channelValue(GloveChannel channel) {
  const std::vector<Keyframe>& keys = world.scenario->channels[channel];
  size_t& cursor = world.keyCursor[channel];
  const int64_t now = world.nowMicros;
  if (keys.empty() || keys[0].atMicros > now) return 0;
  while (cursor + 1 < keys.size() && keys[cursor + 1].atMicros <= now) ++cursor;
  return cursor + 1 < keys.size() ? keyframeValue(keys[cursor], keys[cursor + 1], now) : keys[cursor].value;
}

// The first moment after now at which the channel's value may differ from its value now.
int64_t channelSteadyUntil(GloveChannel channel) {
  const std::vector<Keyframe>& keys = world.scenario->channels[channel];
  const int64_t now = world.nowMicros;
  if (keys.empty()) return kNever;
  if (keys[0].atMicros > now) return keys[0].atMicros;
  const size_t cursor = world.keyCursor[channel];  // channelValue has just brought it up to now
  if (cursor + 1 == keys.size()) return kNever;
  const Keyframe& next = keys[cursor + 1];
  const bool moving = next.ramp && next.value != keys[cursor].value;
  return moving ? now + 1 : next.atMicros;
}

// Works a channel's reading out for now: its value (a bend rounded to the glove's
// whole steps) and until when it holds.
void readChannel(int channel, ChannelReading& reading) {
  const float value = channelValue(static_cast<GloveChannel>(channel));
  reading.value = channel >= kFirstBendChannel ? static_cast<float>(std::lround(value)) : value;
  reading.steadyUntil = channelSteadyUntil(static_cast<GloveChannel>(channel));
}

// Draws the noise of a glove sample for every channel.
void drawNoise(int64_t sample) {
  world.noiseSample = sample;
  for (int channel = 0; channel < kGloveChannels; ++channel)
    world.noise[channel] =
        jitter(sample, channel, channel < kFirstBendChannel ? world.noiseAmount : world.bendNoiseAmount);
}

// Writes a channel's field of the record: its reading plus its noise; true when the
// field changed, bit for bit.
bool setField(GloveRecord& record, int channel, const ChannelReading& reading, int noise) {
  if (channel < kFirstBendChannel) {
    float* const positionAndAngles[] = {&record.x, &record.y, &record.z, &record.orient[0], &record.orient[1],
                                        &record.orient[2]};
    const float value = reading.value + static_cast<float>(noise);
    const bool changed = std::memcmp(&value, positionAndAngles[channel], sizeof value) != 0;
    *positionAndAngles[channel] = value;
    return changed;
  }
  const long bend = static_cast<long>(reading.value) + noise;
  const auto value = static_cast<uint8_t>(std::clamp(bend, 0L, 255L));
  uint8_t& field = record.bend[channel - kFirstBendChannel];
  const bool changed = value != field;
  field = value;
  return changed;
}

void answerOnCue();

void applyEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::kPress:
    case EventKind::kRelease:
      for (int button = 0; button < 4; ++button)
        if (event.buttons & (1u << button)) world.buttons[button] = event.kind == EventKind::kPress ? 1 : 0;
      world.gloveFreshUntil = 0;
      break;
    case EventKind::kEnter:
      ++world.keysWaiting;
      break;
    case EventKind::kNoise:
      world.noiseAmount = event.amount;
      world.bendNoiseAmount = event.bendAmount;
      world.gloveFreshUntil = 0;
      // Every field is written again, with the new noise or none.
      world.noiseSample = -1;
      std::fill(std::begin(world.noise), std::end(world.noise), 0);
      for (ChannelReading& reading : world.channelReadings) reading.steadyUntil = 0;
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
  std::vector<uint8_t>& reply = world.replyBuffer;
  controllerWriteReply(world.controller, reply);
  const int64_t start = std::max(readyMicros, world.controllerLineFreeMicros);
  std::vector<uint8_t>* sent = world.options.keepReplies ? &world.repliesSent.emplace_back() : nullptr;
  for (size_t index = 0; index < reply.size(); ++index) {
    if (world.received.size() >= static_cast<size_t>(kReceiveQueueBytes)) break;
    world.received.push_back({start + lineMicros(static_cast<int64_t>(index) + 1), reply[index]});
    if (sent) sent->push_back(reply[index]);
  }
  world.controllerLineFreeMicros = start + lineMicros(static_cast<int64_t>(reply.size()));
}

// A request byte has reached the controller: it scans, then replies; a cued controller
// replies when the script says so (or at once, if the script already has).
void answerRequest(int64_t arrivedMicros) {
  if (world.controller.silent) return;
  if (!world.controller.cued) return sendReply(arrivedMicros + world.scenario->controllerScanMicros);
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
  world.stopMicros = scenario.endMicros + options.runOnMicros;
  world.noiseKey = kNoiseSeed ^ mix(scenario.noiseSeed);
  world.wallStartNanos = wallNanos();
  world.observation.keepDigest = options.keepDigest;
}

void worldAdvanceTo(int64_t atMicros) {
  happenUntil(atMicros);
  world.nowMicros = std::max(world.nowMicros, atMicros);
  if (world.nowMicros > world.stopMicros)
    throw SimulationStopped{"the program was still running 5 s after the scenario's last action"};
  keepPace();
}

void worldAdvance(int64_t micros) { worldAdvanceTo(world.nowMicros + micros); }

bool worldRefreshGlove() {
  if (const int64_t period = world.scenario->gloveRefreshMicros; period > 0) {
    if (world.nowMicros / period == world.gloveRefreshTick) return false;  // this period's refresh has happened
    world.gloveRefreshTick = world.nowMicros / period;
  }
  if (world.nowMicros < world.gloveFreshUntil) return false;
  // The record is brought up to date field by field: a field is written again only
  // when its channel may have moved or a new sample's noise has been drawn.
  const int64_t sample = world.nowMicros / noisePeriodMicros();
  const bool noisy = world.noiseAmount > 0 || world.bendNoiseAmount > 0;
  const bool newNoise = noisy && sample != world.noiseSample;
  if (newNoise) drawNoise(sample);
  GloveRecord& record = world.record;
  bool changed = false;
  // Noise holds until the next sample; otherwise the record holds until a channel changes.
  int64_t steadyUntil = noisy ? (sample + 1) * noisePeriodMicros() : kNever;
  for (int channel = 0; channel < kGloveChannels; ++channel) {
    ChannelReading& reading = world.channelReadings[channel];
    const bool moved = world.nowMicros >= reading.steadyUntil;
    if (moved) readChannel(channel, reading);
    if (moved || newNoise) changed |= setField(record, channel, reading, world.noise[channel]);
    steadyUntil = std::min(steadyUntil, reading.steadyUntil);
  }
  for (int button = 0; button < 4; ++button) {
    changed |= record.buttons[button] != world.buttons[button];
    record.buttons[button] = world.buttons[button];
  }
  world.gloveFreshUntil = steadyUntil;
  return changed;
}

void worldGloveReadsSkipped(int64_t lastReadMicros) {
  if (const int64_t period = world.scenario->gloveRefreshMicros; period > 0)
    world.gloveRefreshTick = lastReadMicros / period;
}

uint32_t worldClockMillis(int64_t atMicros) {
  return static_cast<uint32_t>(world.scenario->clockStartMs + static_cast<uint64_t>(atMicros / 1000));
}

int64_t worldGloveSteadyUntil() {
  const int64_t until = std::max(world.gloveFreshUntil, world.nowMicros);
  // A record refreshed once a period holds at least until the next period begins.
  const int64_t period = world.scenario->gloveRefreshMicros;
  return period > 0 ? std::max(until, (world.gloveRefreshTick + 1) * period) : until;
}

int64_t worldFirstByteMicros() {
  int64_t first = world.received.empty() ? kNever : world.received.front().atMicros;
  if (!world.requestsArriving.empty())
    // A cued controller may answer the moment the request arrives: no scan to count on.
    first = std::min(first, world.requestsArriving.front() +
                                (world.controller.cued ? 0 : world.scenario->controllerScanMicros) + lineMicros(1));
  return first;
}

int64_t worldNextEventMicros() {
  const std::vector<Event>& events = world.scenario->events;
  return world.nextEvent < events.size() ? events[world.nextEvent].atMicros : kNever;
}

int64_t worldSkipLimitMicros() {
  const int64_t pace = world.options.realtime ? world.paceCheckedMicros + kPaceIntervalMicros : kNever;
  return std::min(world.stopMicros + 1, pace);
}

int worldLineMatches() {
  const PlatformCalls& port = world.calls;
  return port.baud == kLineBaud && port.parityCode == kLineNoParity && port.stopBitsCode == kLineOneStopBit &&
         port.dataBits == kLineDataBits;
}

// A receiver out of step reads each bit one place late: the top bit is lost and the
// lowest reads as the mark the line idles at. Every garbled byte is odd, so a garbled
// stream never holds the header word.
uint8_t worldGarble(uint8_t byte) { return static_cast<uint8_t>((byte << 1) | 1); }

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

namespace {

// Keeps console text in the transcript: all of it, or only the screen's latest page
// (what follows the last clear), cut to its last kPageTailBytes, which is what an
// explanation of a stopped run reads.
void keep(std::string_view text) {
  world.transcript += text;
  if (world.options.keepTranscript) return;
  if (const size_t clear = world.transcript.rfind('\f'); clear != std::string::npos && clear > 0)
    world.transcript.erase(0, clear);
  if (world.transcript.size() > kPageTailBytes) world.transcript.erase(0, world.transcript.size() - kPageTailBytes);
}

}  // namespace

void worldWrite(const std::string& text) {
  keep(text);
  echo(text.data(), text.size());
}

void worldClear() {
  keep("\f");
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
