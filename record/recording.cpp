#include "record/recording.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "contacts/contact_packet.h"
#include "simulator/contact_controller.h"
#include "simulator/timing.h"

namespace {

// The script compiler takes positions and angles up to this far from zero.
constexpr float kFarthest = 1'000'000.0f;
constexpr int kButtons = 4;
constexpr int kBends = 5;
constexpr int64_t kLongestWaitMillis = 86'400'000;  // the longest wait a script takes
// A sampling program asks again within this long of a reply's end; a longer pause
// means it has left its sampling loop (for a menu, a time-out, a key) and polls the
// glove in its own time. No one works a menu this fast; a host that stalls a program
// this long is rare.
constexpr int64_t kSamplingGapMicros = 200'000;

// One line of the script, due at a moment; lines of the same moment keep their order.
struct Action {
  int64_t atMillis;
  std::string text;
};

int64_t nearestMillis(int64_t micros) { return std::max<int64_t>(0, (micros + 500) / 1000); }

// The shortest text that reads back as the same float, within what a script may hold.
std::string number(float value) {
  if (std::isnan(value)) value = 0;
  value = std::clamp(value, -kFarthest, kFarthest);
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

bool sameBits(const float* a, const float* b, int count) { return std::memcmp(a, b, sizeof(float) * count) == 0; }

std::string hex(unsigned value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

std::string buttonLetters(unsigned buttons) {
  std::string text;
  for (int button = 0; button < kButtons; ++button)
    if (buttons & (1u << button)) text += std::string(" ") + static_cast<char>('A' + button);
  return text;
}

// A reply the emulated controller can send by itself: its entries, and the faults
// that shaped it.
struct ComposedReply {
  std::vector<uint16_t> noise;
  std::vector<uint16_t> entries;
  bool corrupt = false;
};

uint16_t wordAt(const std::vector<uint8_t>& bytes, size_t index) {
  return static_cast<uint16_t>(bytes[index] << 8 | bytes[index + 1]);
}

// The emulated controller's own reply that is these very bytes, if there is one: the
// check is the controller composing it, so the replay cannot differ.
std::optional<ComposedReply> composedAs(const std::vector<uint8_t>& bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  for (size_t header = 0; header + 6 <= bytes.size(); header += 2) {
    if (wordAt(bytes, header) != kHeaderWord) continue;
    ComposedReply reply;
    for (size_t at = 0; at < header; at += 2) reply.noise.push_back(wordAt(bytes, at));
    size_t at = header + 2;
    while (at + 2 <= bytes.size() && wordAt(bytes, at) != kTerminatorWord) {
      reply.entries.push_back(wordAt(bytes, at));
      at += 2;
    }
    if (at + 4 != bytes.size()) continue;  // no terminator, or not just the checksum after it
    for (bool corrupt : {false, true}) {
      ContactController controller;
      controllerSetWords(controller, reply.entries);
      controller.noiseWords = reply.noise;
      controller.corruptReplies = corrupt ? 1 : 0;
      if (controllerReply(controller) == bytes) {
        reply.corrupt = corrupt;
        return reply;
      }
    }
  }
  return std::nullopt;
}

std::string wordList(const std::vector<uint16_t>& words) {
  std::string text;
  for (uint16_t word : words) text += " " + hex(word, 4);
  return text;
}

// What came in answer to one request: the bytes after it and before the next. Bytes
// that came before the first request go with it, so that none is lost.
struct Exchange {
  int64_t requestMicros;
  std::vector<uint8_t> bytes;
  int64_t lastMicros = 0;  // when its last byte came
};

std::vector<Exchange> exchangesOf(const Recording& recording) {
  std::vector<Exchange> exchanges;
  for (int64_t request : recording.requests) exchanges.push_back({request, {}});
  size_t request = 0;
  for (const TimedByte& received : recording.replies) {
    if (exchanges.empty()) break;
    while (request + 1 < exchanges.size() && exchanges[request + 1].requestMicros <= received.atMicros) ++request;
    Exchange& exchange = exchanges[request];
    exchange.lastMicros = received.atMicros;
    exchange.bytes.push_back(received.byte);
  }
  return exchanges;
}

struct Writer {
  const Recording& recording;
  std::vector<Action> actions;
  GloveRecord shown = {};  // what the replay shows: all zero, buttons up, until told otherwise
  size_t nextSnapshot = 0;
  int64_t earliestMillis = 0;     // glove changes in their own time come no earlier
  std::vector<uint16_t> entries;  // the replay's controller starts with nothing touching
};

void showGlove(Writer& writer, int64_t atMillis, const GloveRecord& record) {
  std::vector<Action>& actions = writer.actions;
  const GloveRecord& shown = writer.shown;
  if (!sameBits(&record.x, &shown.x, 3))
    actions.push_back({atMillis, "position " + number(record.x) + " " + number(record.y) + " " + number(record.z)});
  if (!sameBits(record.orient, shown.orient, 3))
    actions.push_back({atMillis, "angles " + number(record.orient[0]) + " " + number(record.orient[1]) + " " +
                                     number(record.orient[2])});
  if (std::memcmp(record.bend, shown.bend, kBends) != 0) {
    std::string text = "bends";
    for (uint8_t bend : record.bend) text += " " + std::to_string(bend);
    actions.push_back({atMillis, text});
  }
  unsigned pressed = 0, released = 0;
  for (int button = 0; button < kButtons; ++button) {
    const bool down = record.buttons[button] != 0, wasDown = shown.buttons[button] != 0;
    if (down && !wasDown) pressed |= 1u << button;
    if (!down && wasDown) released |= 1u << button;
  }
  if (released) actions.push_back({atMillis, "release" + buttonLetters(released)});
  if (pressed) actions.push_back({atMillis, "press" + buttonLetters(pressed)});
  writer.shown = record;
}

int64_t gloveMillis(const Writer& writer, size_t snapshot) {
  return std::max(nearestMillis(writer.recording.glove[snapshot].atMicros), writer.earliestMillis);
}

// Glove changes before a moment, each at its own millisecond: the program polls the
// glove without pause while it waits for buttons. Of several changes within one
// millisecond the last is what stays.
void gloveInTheirTime(Writer& writer, int64_t beforeMicros) {
  const std::vector<GloveSnapshot>& snapshots = writer.recording.glove;
  while (writer.nextSnapshot < snapshots.size() && snapshots[writer.nextSnapshot].atMicros < beforeMicros) {
    const size_t snapshot = writer.nextSnapshot++;
    const bool nextSameMillisecond = writer.nextSnapshot < snapshots.size() &&
                                     snapshots[writer.nextSnapshot].atMicros < beforeMicros &&
                                     gloveMillis(writer, writer.nextSnapshot) == gloveMillis(writer, snapshot);
    if (!nextSameMillisecond) showGlove(writer, gloveMillis(writer, snapshot), snapshots[snapshot].record);
  }
}

// The record as it was just before a moment, passing over every change until then;
// null when nothing changed.
const GloveRecord* gloveJustBefore(Writer& writer, int64_t micros) {
  const std::vector<GloveSnapshot>& snapshots = writer.recording.glove;
  const GloveRecord* record = nullptr;
  while (writer.nextSnapshot < snapshots.size() && snapshots[writer.nextSnapshot].atMicros < micros)
    record = &snapshots[writer.nextSnapshot++].record;
  return record;
}

void addControllerLines(Writer& writer, int64_t atMillis, const std::vector<uint8_t>& bytes) {
  std::vector<Action>& actions = writer.actions;
  const std::optional<ComposedReply> composed = composedAs(bytes);
  if (!composed) {
    std::string text = "reply";
    for (uint8_t byte : bytes) text += " " + hex(byte, 2);
    actions.push_back({atMillis, text});
    return;
  }
  if (composed->entries != writer.entries) {
    writer.entries = composed->entries;
    actions.push_back({atMillis, writer.entries.empty() ? "untouch" : "groups" + wordList(writer.entries)});
  }
  if (!composed->noise.empty()) actions.push_back({atMillis, "controller noise" + wordList(composed->noise)});
  if (composed->corrupt) actions.push_back({atMillis, "controller corrupt 1"});
}

// The replay keeps the live session's pace by cueing each reply when it came (the
// controller answers only on cue), so that its requests and glove polls fall where
// the live program's did however the pace of the two differs. While the program
// samples it polls the glove once a request, just before it: so the glove as it was
// just before each request is shown while the reply before that request goes out,
// and every change in between, which no poll saw, is left out.
void addSession(Writer& writer) {
  const std::vector<Exchange> exchanges = exchangesOf(writer.recording);
  if (!exchanges.empty()) writer.actions.push_back({0, "controller cued"});
  for (size_t index = 0; index < exchanges.size(); ++index) {
    const Exchange& exchange = exchanges[index];
    gloveInTheirTime(writer, exchange.requestMicros);
    if (exchange.bytes.empty()) continue;  // not answered: no cue
    // The replay's line paces the reply's bytes: cued so that its last byte comes when
    // the live one did (the program polls and asks again then), though never before
    // the request could have reached the controller.
    const int64_t answerMillis =
        nearestMillis(std::max(exchange.lastMicros - lineMicros(static_cast<int64_t>(exchange.bytes.size())),
                               exchange.requestMicros + lineMicros(1)));
    const bool sampling = index + 1 < exchanges.size() &&
                          exchanges[index + 1].requestMicros - exchange.lastMicros <= kSamplingGapMicros;
    // After the last reply of a run the program polls once more and then waits in
    // its own time: it saw the glove as it was when the reply ended.
    const GloveRecord* glove =
        gloveJustBefore(writer, sampling ? exchanges[index + 1].requestMicros : exchange.lastMicros + 1);
    if (glove) showGlove(writer, answerMillis, *glove);
    addControllerLines(writer, answerMillis, exchange.bytes);
    writer.actions.push_back({answerMillis, "answer"});
    // Changes in their own time come after the replay's poll at the end of this reply.
    const int64_t replyEnds = answerMillis * 1000 + lineMicros(static_cast<int64_t>(exchange.bytes.size()));
    writer.earliestMillis = (replyEnds + 999) / 1000 + 1;
  }
  gloveInTheirTime(writer, std::numeric_limits<int64_t>::max());
}

}  // namespace

std::string recordingScript(const Recording& recording) {
  Writer writer{recording, {}, {}, 0, 0, {}};
  addSession(writer);
  std::vector<Action>& actions = writer.actions;
  for (int64_t key : recording.keys) actions.push_back({nearestMillis(key), "enter"});
  std::stable_sort(actions.begin(), actions.end(),
                   [](const Action& a, const Action& b) { return a.atMillis < b.atMillis; });

  std::string script;
  for (const std::string& note : recording.notes) script += "# " + note + "\n";
  if (recording.gloveAbsent) script += "glove absent\n";
  int64_t nowMillis = 0;
  auto waitUntil = [&](int64_t atMillis) {
    while (atMillis > nowMillis) {
      const int64_t step = std::min(atMillis - nowMillis, kLongestWaitMillis);
      script += "wait " + std::to_string(step) + "\n";
      nowMillis += step;
    }
  };
  for (const Action& action : actions) {
    waitUntil(action.atMillis);
    script += action.text + "\n";
  }
  waitUntil(nearestMillis(recording.endMicros));
  // The line the scenario tests read the expected exit status from.
  script += recording.endedBySignal ? "# exit: 3 (the program was ended here; a replay stops it likewise)\n"
                                    : "# exit: " + std::to_string(recording.exitStatus) + " (the program ended here)\n";
  return script;
}
