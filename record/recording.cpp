#include "record/recording.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
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

void addGloveActions(const Recording& recording, std::vector<Action>& actions) {
  GloveRecord shown = {};  // what the replay shows: all zero, buttons up, until told otherwise
  const std::vector<GloveSnapshot>& snapshots = recording.glove;
  for (size_t index = 0; index < snapshots.size(); ++index) {
    const int64_t atMillis = nearestMillis(snapshots[index].atMicros);
    // Of several changes within one millisecond the last is what stays.
    if (index + 1 < snapshots.size() && nearestMillis(snapshots[index + 1].atMicros) == atMillis) continue;
    const GloveRecord& record = snapshots[index].record;
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
    shown = record;
  }
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

// The bytes that answered each request: those that came after it and before the next.
// Bytes that came before the first request go with it, so that none is lost.
std::vector<std::vector<uint8_t>> repliesByRequest(const Recording& recording) {
  std::vector<std::vector<uint8_t>> replies(recording.requests.size());
  if (replies.empty()) return replies;
  size_t request = 0;
  for (const TimedByte& received : recording.replies) {
    while (request + 1 < recording.requests.size() && recording.requests[request + 1] <= received.atMicros) ++request;
    replies[request].push_back(received.byte);
  }
  return replies;
}

// The controller answers with what it scanned when a request reached it, one byte's
// time after the recorder passed it on. A change seen first by one request is placed
// halfway between that moment and the previous request's, so that the replay, whose
// requests fall a little earlier or later than the live ones, sees it at the same
// request.
void addControllerActions(const Recording& recording, std::vector<Action>& actions) {
  const std::vector<std::vector<uint8_t>> replies = repliesByRequest(recording);
  std::vector<uint16_t> entries;  // the replay's controller starts with nothing touching
  bool silent = false;
  int64_t previousScan = -1;
  for (size_t request = 0; request < replies.size(); ++request) {
    const int64_t scan = recording.requests[request] + lineMicros(1);
    const int64_t atMillis = nearestMillis(previousScan < 0 ? 0 : (previousScan + scan) / 2);
    previousScan = scan;
    const std::vector<uint8_t>& bytes = replies[request];
    if (bytes.empty()) {
      if (!silent) actions.push_back({atMillis, "controller silent"});
      silent = true;
      continue;
    }
    if (silent) actions.push_back({atMillis, "controller normal"});
    silent = false;
    const std::optional<ComposedReply> composed = composedAs(bytes);
    if (!composed) {
      std::string text = "reply";
      for (uint8_t byte : bytes) text += " " + hex(byte, 2);
      actions.push_back({atMillis, text});
      continue;
    }
    if (composed->entries != entries) {
      entries = composed->entries;
      actions.push_back({atMillis, entries.empty() ? "untouch" : "groups" + wordList(entries)});
    }
    if (!composed->noise.empty()) actions.push_back({atMillis, "controller noise" + wordList(composed->noise)});
    if (composed->corrupt) actions.push_back({atMillis, "controller corrupt 1"});
  }
}

}  // namespace

std::string recordingScript(const Recording& recording) {
  std::vector<Action> actions;
  addGloveActions(recording, actions);
  addControllerActions(recording, actions);
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
  script += "# the program ended here, exit status " + std::to_string(recording.exitStatus) + "\n";
  return script;
}
