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

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

int64_t nearestMillis(int64_t micros) {
  return micros == kForever ? kForever : std::max<int64_t>(0, (micros + 500) / 1000);
}

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

void showGlove(RecordingStream& stream, int64_t atMillis, const GloveRecord& record) {
  std::vector<ScriptAction>& actions = stream.session;
  const GloveRecord& shown = stream.shown;
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
  stream.shown = record;
}

int64_t gloveMillis(const RecordingStream& stream, const GloveSnapshot& snapshot) {
  return std::max(nearestMillis(snapshot.atMicros), stream.earliestMillis);
}

// Glove changes before a moment, each at its own millisecond: the program polls the
// glove without pause while it waits for buttons. Of several changes within one
// millisecond the last is what stays. Where the moment is only how far the session is
// settled (no request after it is known yet), a change waits while one still to come
// might fall in its millisecond.
void gloveInTheirTime(RecordingStream& stream, int64_t beforeMicros, bool beforeIsKnown, int64_t settledMicros) {
  std::deque<GloveSnapshot>& glove = stream.glove;
  const int64_t knownBefore = beforeIsKnown ? beforeMicros : settledMicros;
  while (!glove.empty() && glove.front().atMicros < beforeMicros) {
    const int64_t millis = gloveMillis(stream, glove.front());
    bool nextSameMillisecond = false;
    if (glove.size() > 1 && glove[1].atMicros < knownBefore)
      nextSameMillisecond = gloveMillis(stream, glove[1]) == millis;
    else if (!beforeIsKnown && millis >= nearestMillis(settledMicros))
      return;
    if (!nextSameMillisecond) showGlove(stream, millis, glove.front().record);
    glove.pop_front();
  }
}

// The record as it was just before a moment, passing over every change until then;
// null when nothing changed.
std::optional<GloveRecord> gloveJustBefore(RecordingStream& stream, int64_t micros) {
  std::optional<GloveRecord> record;
  while (!stream.glove.empty() && stream.glove.front().atMicros < micros) {
    record = stream.glove.front().record;
    stream.glove.pop_front();
  }
  return record;
}

void addControllerLines(RecordingStream& stream, int64_t atMillis, const std::vector<uint8_t>& bytes) {
  std::vector<ScriptAction>& actions = stream.session;
  const std::optional<ComposedReply> composed = composedAs(bytes);
  if (!composed) {
    std::string text = "reply";
    for (uint8_t byte : bytes) text += " " + hex(byte, 2);
    actions.push_back({atMillis, text});
    return;
  }
  if (composed->entries != stream.entries) {
    stream.entries = composed->entries;
    actions.push_back({atMillis, stream.entries.empty() ? "untouch" : "groups" + wordList(stream.entries)});
  }
  if (!composed->noise.empty()) actions.push_back({atMillis, "controller noise" + wordList(composed->noise)});
  if (composed->corrupt) actions.push_back({atMillis, "controller corrupt 1"});
}

// Writes the exchange of the first request not yet written: what came in answer to it,
// the bytes after it, before the next request and within kExchangeWindowMicros (those
// before the first request go with it, so that none is lost). False while something
// still to come could change it.
//
// The replay keeps the live session's pace by cueing each reply when it came (the
// controller answers only on cue), so that its requests and glove polls fall where
// the live program's did however the pace of the two differs. While the program
// samples it polls the glove once a request, just before it: so the glove as it was
// just before each request is shown while the reply before that request goes out,
// and every change in between, which no poll saw, is left out.
bool writeNextExchange(RecordingStream& stream, int64_t settledMicros) {
  if (stream.requests.empty()) return false;
  const int64_t request = stream.requests.front();
  const bool nextKnown = stream.requests.size() > 1;
  const int64_t next = nextKnown ? stream.requests[1] : kForever;
  const int64_t windowEnds = std::min(next, request + kExchangeWindowMicros);
  int64_t lastMicros = 0;
  for (const TimedByte& received : stream.replies) {
    if (received.atMicros >= windowEnds) break;
    lastMicros = received.atMicros;
  }
  const bool nextSettled = nextKnown && next <= settledMicros;
  if (!nextSettled && (request + kExchangeWindowMicros > settledMicros ||
                       lastMicros + kSamplingGapMicros >= settledMicros))
    return false;

  gloveInTheirTime(stream, request, true, settledMicros);
  std::vector<uint8_t> bytes;
  lastMicros = 0;
  for (; !stream.replies.empty() && stream.replies.front().atMicros < windowEnds; stream.replies.pop_front()) {
    const TimedByte& received = stream.replies.front();
    const bool stray = stream.exchanged && received.atMicros < request;  // after the last exchange's window
    if (stray || bytes.size() == kMostBytesPerExchange) {
      ++stream.leftOutBytes;
      continue;
    }
    bytes.push_back(received.byte);
    lastMicros = received.atMicros;
  }
  stream.requests.pop_front();
  stream.exchanged = true;
  if (bytes.empty()) return true;  // not answered: no cue
  // The replay's line paces the reply's bytes: cued so that its last byte comes when
  // the live one did (the program polls and asks again then), though never before
  // the request could have reached the controller.
  const int64_t answerMillis =
      nearestMillis(std::max(lastMicros - lineMicros(static_cast<int64_t>(bytes.size())), request + lineMicros(1)));
  const bool sampling = nextKnown && next - lastMicros <= kSamplingGapMicros;
  // After the last reply of a run the program polls once more and then waits in
  // its own time: it saw the glove as it was when the reply ended.
  if (const std::optional<GloveRecord> glove = gloveJustBefore(stream, sampling ? next : lastMicros + 1))
    showGlove(stream, answerMillis, *glove);
  addControllerLines(stream, answerMillis, bytes);
  stream.session.push_back({answerMillis, "answer"});
  // Changes in their own time come after the replay's poll at the end of this reply.
  const int64_t replyEnds = answerMillis * 1000 + lineMicros(static_cast<int64_t>(bytes.size()));
  stream.earliestMillis = (replyEnds + 999) / 1000 + 1;
  return true;
}

// Turns every event that can no longer change into script actions.
void settle(RecordingStream& stream, int64_t settledMicros) {
  while (writeNextExchange(stream, settledMicros)) {
  }
  if (stream.requests.empty() || stream.requests.front() > settledMicros)
    gloveInTheirTime(stream, settledMicros, settledMicros == kForever, settledMicros);
  else
    gloveInTheirTime(stream, stream.requests.front(), true, settledMicros);
}

// The script lines of the actions before a moment (in scenario milliseconds), in time
// order, with the waits between them. Of actions at the same moment the session's come
// first, each kind in the order it was made.
std::string writeActionsBefore(RecordingStream& stream, int64_t beforeMillis) {
  const auto earlier = [](const ScriptAction& a, const ScriptAction& b) { return a.atMillis < b.atMillis; };
  std::stable_sort(stream.session.begin(), stream.session.end(), earlier);
  std::string script;
  size_t session = 0, key = 0;
  for (;;) {
    const bool sessionDue = session < stream.session.size() && stream.session[session].atMillis < beforeMillis;
    const bool keyDue = key < stream.keys.size() && stream.keys[key].atMillis < beforeMillis;
    if (!sessionDue && !keyDue) break;
    const bool takeSession = sessionDue && (!keyDue || stream.session[session].atMillis <= stream.keys[key].atMillis);
    const ScriptAction& action = takeSession ? stream.session[session++] : stream.keys[key++];
    for (int64_t step; action.atMillis > stream.writtenMillis; stream.writtenMillis += step) {
      step = std::min(action.atMillis - stream.writtenMillis, kLongestWaitMillis);
      script += "wait " + std::to_string(step) + "\n";
    }
    script += action.text + "\n";
  }
  stream.session.erase(stream.session.begin(), stream.session.begin() + static_cast<std::ptrdiff_t>(session));
  stream.keys.erase(stream.keys.begin(), stream.keys.begin() + static_cast<std::ptrdiff_t>(key));
  return script;
}

// No action still to come can be earlier than this (scenario milliseconds).
int64_t earliestStillToCome(const RecordingStream& stream, int64_t settledMicros) {
  int64_t earliest = nearestMillis(settledMicros);
  if (!stream.glove.empty()) earliest = std::min(earliest, gloveMillis(stream, stream.glove.front()));
  if (!stream.requests.empty()) earliest = std::min(earliest, nearestMillis(stream.requests.front() + lineMicros(1)));
  return earliest;
}

}  // namespace

std::string recordingStreamStart(RecordingStream& stream, const std::vector<std::string>& notes, bool gloveAbsent) {
  stream = RecordingStream{};
  std::string script;
  for (const std::string& note : notes) script += "# " + note + "\n";
  if (gloveAbsent) script += "glove absent\n";
  return script + "controller cued\n";
}

std::string recordingStreamAdd(RecordingStream& stream, const Recording& more, int64_t settledMicros) {
  stream.glove.insert(stream.glove.end(), more.glove.begin(), more.glove.end());
  stream.requests.insert(stream.requests.end(), more.requests.begin(), more.requests.end());
  stream.replies.insert(stream.replies.end(), more.replies.begin(), more.replies.end());
  for (int64_t key : more.keys) stream.keys.push_back({nearestMillis(key), "enter"});
  settle(stream, settledMicros);
  return writeActionsBefore(stream, earliestStillToCome(stream, settledMicros));
}

std::string recordingStreamEnd(RecordingStream& stream, int64_t endMicros, int exitStatus, bool endedBySignal,
                               const std::vector<std::string>& closingNotes) {
  settle(stream, kForever);
  stream.leftOutBytes += static_cast<int64_t>(stream.replies.size());  // after the last exchange's window
  stream.replies.clear();
  std::string script = writeActionsBefore(stream, kForever);
  for (int64_t step; nearestMillis(endMicros) > stream.writtenMillis; stream.writtenMillis += step) {
    step = std::min(nearestMillis(endMicros) - stream.writtenMillis, kLongestWaitMillis);
    script += "wait " + std::to_string(step) + "\n";
  }
  for (const std::string& note : closingNotes) script += "# " + note + "\n";
  // The line the scenario tests read the expected exit status from.
  script += endedBySignal ? "# exit: 3 (the program was ended here; a replay stops it likewise)\n"
                          : "# exit: " + std::to_string(exitStatus) + " (the program ended here)\n";
  return script;
}

std::string recordingScript(const Recording& recording) {
  RecordingStream stream;
  std::string script = recordingStreamStart(stream, recording.notes, recording.gloveAbsent);
  script += recordingStreamAdd(stream, recording, kForever);
  return script + recordingStreamEnd(stream, recording.endMicros, recording.exitStatus, recording.endedBySignal);
}
