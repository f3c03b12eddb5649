#include "simulator/script.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "contacts/contact_mask.h"
#include "simulator/signer.h"

namespace {

constexpr int64_t kLongestWaitMs = 86'400'000;  // a day of virtual time
constexpr int64_t kMostReplies = 1'000'000;
constexpr float kFarthest = 1'000'000.0f;       // positions and angles beyond this are typos
constexpr int64_t kMostNoise = 1000;
constexpr int64_t kMaxBend = 255;
constexpr int64_t kMaxWord = 0xFFFF;
constexpr int64_t kMaxByte = 0xFF;
constexpr int64_t kMaxClock = 0xFFFF'FFFF;
constexpr int64_t kDefaultHoldMs = 600;
constexpr int64_t kLeastInt = std::numeric_limits<int>::min();
constexpr int64_t kMostInt = std::numeric_limits<int>::max();
constexpr double kSlowestTempo = 100, kFastestTempo = 0.01;
constexpr int64_t kLongestScanMs = 10'000;
constexpr int64_t kLongestRefreshMs = 10'000;
constexpr int64_t kMaxSeed = 0x7FFF'FFFF'FFFF'FFFF;

struct Line {
  int number;
  std::string_view action;
  std::vector<std::string_view> arguments;
  std::string_view comment;  // after '#', trimmed
};

struct Compiler {
  ScenarioBuilder builder;
  bool waited = false;  // start-up conditions must come before this
  ScriptError error;
  std::vector<ScriptError> warnings;
  int bendNoise = 0;
};

// The actions a script knows, for suggestions.
const std::vector<std::string_view> kActions = {
    "wait",   "press", "release", "tap",     "position", "angles",     "bends", "calibrate", "enter", "serial", "glove",
    "clock",  "touch", "untouch", "groups",  "controller", "hold",     "noise", "move",      "rest",  "sign"};

void warn(Compiler& compiler, const Line& line, std::string message) {
  compiler.warnings.push_back({line.number, std::move(message)});
}

// The whole line again, without its comment: what the signer does, for notes.
std::string lineText(const Line& line) {
  std::string text(line.action);
  for (std::string_view argument : line.arguments) text += " " + std::string(argument);
  return text;
}

std::string joined(const std::vector<std::string_view>& names, std::string_view last) {
  std::string text;
  for (size_t index = 0; index < names.size(); ++index) {
    if (index > 0) text += index + 1 == names.size() ? std::string(last) : ", ";
    text += "'" + std::string(names[index]) + "'";
  }
  return text;
}

// "did you mean 'fist'?", or the whole list when nothing is close.
std::string suggestion(std::string_view typed, const std::vector<std::string_view>& names, const char* what) {
  const std::vector<std::string_view> near = nearestNames(typed, names);
  if (!near.empty()) return "did you mean " + joined(near, " or ") + "?";
  std::string all;
  for (std::string_view name : names) all += (all.empty() ? "" : " ") + std::string(name);
  return std::string(what) + " are: " + all;
}

bool fail(Compiler& compiler, const Line& line, std::string message) {
  compiler.error = {line.number, std::move(message)};
  return false;
}

// A word as messages quote it: a very long one cut short.
std::string quoted(std::string_view text) {
  constexpr size_t kLongestQuoted = 40;
  if (text.size() <= kLongestQuoted) return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, kLongestQuoted)) + "...' (" + std::to_string(text.size()) + " characters)";
}

bool parseWhole(std::string_view text, int64_t& value, int base = 10) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool wholeInRange(Compiler& compiler, const Line& line, std::string_view text, int64_t low, int64_t high,
                  const char* what, int64_t& value) {
  if (parseWhole(text, value) && value >= low && value <= high) return true;
  return fail(compiler, line,
              quoted(text) + " is not " + what + " (a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ")");
}

bool word(Compiler& compiler, const Line& line, std::string_view text, uint16_t& value) {
  int64_t parsed = -1;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if ((hex ? parseWhole(text.substr(2), parsed, 16) : parseWhole(text, parsed)) && parsed >= 0 && parsed <= kMaxWord) {
    value = static_cast<uint16_t>(parsed);
    return true;
  }
  return fail(compiler, line, quoted(text) + " is not a word (0 to 65535, or 0x0 to 0xFFFF)");
}

bool replyBytes(Compiler& compiler, const Line& line, std::vector<uint8_t>& values) {
  for (std::string_view text : line.arguments) {
    int64_t parsed = -1;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!(hex ? parseWhole(text.substr(2), parsed, 16) : parseWhole(text, parsed)) || parsed < 0 || parsed > kMaxByte)
      return fail(compiler, line, quoted(text) + " is not a byte (0 to 255, or 0x0 to 0xFF)");
    values.push_back(static_cast<uint8_t>(parsed));
  }
  return true;
}

bool words(Compiler& compiler, const Line& line, size_t from, std::vector<uint16_t>& values) {
  for (size_t index = from; index < line.arguments.size(); ++index) {
    uint16_t value = 0;
    if (!word(compiler, line, line.arguments[index], value)) return false;
    values.push_back(value);
  }
  return true;
}

bool coordinate(Compiler& compiler, const Line& line, std::string_view text, float& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (!text.empty() && error == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
      std::fabs(value) <= kFarthest)
    return true;
  return fail(compiler, line, quoted(text) + " is not a number from -1000000 to 1000000");
}

bool buttonList(Compiler& compiler, const Line& line, bool allowAll, unsigned& buttons) {
  buttons = 0;
  for (std::string_view name : line.arguments) {
    if (allowAll && name == "all" && line.arguments.size() == 1) {
      buttons = 0xF;
      return true;
    }
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'D') {
      buttons |= 1u << (name[0] - 'A');
      continue;
    }
    return fail(compiler, line, "unknown button " + quoted(name) + " (buttons are A, B, C and D)");
  }
  return true;
}

bool padList(Compiler& compiler, const Line& line, ContactMask& pads) {
  pads = 0;
  for (std::string_view name : line.arguments) {
    ContactMask bit = 0;
    for (const PadLabel& pad : kPadLabels) {
      const std::string_view label(pad.label);
      if (name == label.substr(0, label.size() - 1)) bit = pad.bit;
    }
    if (bit == 0)
      return fail(compiler, line, "unknown pad " + quoted(name) + " (pads are LP LR LM LI LT LPm RPm RT RI RM RR RP)");
    pads |= bit;
  }
  return true;
}

void schedule(Compiler& compiler, EventKind kind) {
  Event event;
  event.kind = kind;
  builderEvent(compiler.builder, std::move(event));
}

void waitMs(Compiler& compiler, int64_t ms) {
  builderWait(compiler.builder, ms * kMicrosPerMilli);
  compiler.waited = true;
}

bool startUpCondition(Compiler& compiler, const Line& line) {
  if (!compiler.waited) return true;
  return fail(compiler, line, quoted(line.action) + " is a start-up condition and must come before the first wait");
}

// Checks the argument count: between least and most (most < 0: no limit).
bool arguments(Compiler& compiler, const Line& line, int least, int most) {
  const int count = static_cast<int>(line.arguments.size());
  if (count >= least && (most < 0 || count <= most)) return true;
  std::string expected = most < 0 ? "at least " + std::to_string(least)
                         : least == most ? std::to_string(least)
                                         : std::to_string(least) + " or " + std::to_string(most);
  if (least == 0 && most == 1) expected = "at most 1";
  const bool one = (least == 1 && (most == 1 || most < 0)) || (least == 0 && most == 1);
  return fail(compiler, line,
              quoted(line.action) + " takes " + expected + " argument" + (one ? "" : "s") + ", not " +
                  std::to_string(count));
}

bool compileController(Compiler& compiler, const Line& line) {
  if (!arguments(compiler, line, 1, -1)) return false;
  const std::string_view mode = line.arguments[0];
  Event event;
  if (mode == "scan") {
    int64_t ms = 0;
    if (line.arguments.size() != 2) return fail(compiler, line, "'controller scan' takes a number of milliseconds");
    if (!startUpCondition(compiler, line) ||
        !wholeInRange(compiler, line, line.arguments[1], 0, kLongestScanMs, "a scan time in milliseconds", ms))
      return false;
    compiler.builder.scenario.controllerScanMicros = ms * kMicrosPerMilli;
    return true;
  }
  if (mode == "silent" || mode == "normal" || mode == "cued") {
    if (line.arguments.size() != 1) return fail(compiler, line, "'controller " + std::string(mode) + "' takes nothing more");
    event.kind = mode == "silent"   ? EventKind::kControllerSilent
                 : mode == "normal" ? EventKind::kControllerNormal
                                    : EventKind::kControllerCued;
  } else if (mode == "corrupt" || mode == "drop") {
    if (line.arguments.size() != 2)
      return fail(compiler, line, "'controller " + std::string(mode) + "' takes a number of replies");
    int64_t count = 0;
    if (!wholeInRange(compiler, line, line.arguments[1], 0, kMostReplies, "a number of replies", count)) return false;
    event.kind = mode == "corrupt" ? EventKind::kControllerCorrupt : EventKind::kControllerDrop;
    event.count = static_cast<int>(count);
  } else if (mode == "noise") {
    if (line.arguments.size() < 2) return fail(compiler, line, "'controller noise' takes at least one word");
    event.kind = EventKind::kControllerNoise;
    if (!words(compiler, line, 1, event.words)) return false;
  } else {
    return fail(compiler, line,
                "unknown controller mode " + quoted(mode) + " (silent, normal, cued, corrupt N, drop N, noise WORD... or scan MS)");
  }
  builderEvent(compiler.builder, std::move(event));
  return true;
}

bool compileLine(Compiler& compiler, const Line& line) {
  ScenarioBuilder& builder = compiler.builder;
  const std::string_view action = line.action;
  const std::vector<std::string_view>& args = line.arguments;

  if (action == "wait") {
    int64_t ms = 0;
    if (!arguments(compiler, line, 1, 1) ||
        !wholeInRange(compiler, line, args[0], 0, kLongestWaitMs, "a number of milliseconds", ms))
      return false;
    waitMs(compiler, ms);
  } else if (action == "press" || action == "release" || action == "tap") {
    unsigned buttons = 0;
    if (!arguments(compiler, line, 1, -1) || !buttonList(compiler, line, action == "release", buttons)) return false;
    if (action == "tap") {
      signerTap(builder, buttons);
      compiler.waited = true;
    } else {
      Event event;
      event.kind = action == "press" ? EventKind::kPress : EventKind::kRelease;
      event.buttons = buttons;
      builderNote(builder, (action == "press" ? "pressing " : "releasing ") + signerButtonNames(buttons));
      builderEvent(builder, std::move(event));
    }
  } else if (action == "position" || action == "angles") {
    float values[3];
    if (!arguments(compiler, line, 3, 3)) return false;
    for (int index = 0; index < 3; ++index)
      if (!coordinate(compiler, line, args[index], values[index])) return false;
    const GloveChannel first = action == "position" ? kGloveX : kGloveOrient1;
    for (int index = 0; index < 3; ++index) builderSet(builder, static_cast<GloveChannel>(first + index), values[index]);
  } else if (action == "bends") {
    int64_t values[5];
    if (!arguments(compiler, line, 5, 5)) return false;
    for (int index = 0; index < 5; ++index)
      if (!wholeInRange(compiler, line, args[index], 0, kMaxBend, "a bend", values[index])) return false;
    for (int index = 0; index < 5; ++index)
      builderSet(builder, static_cast<GloveChannel>(kFirstBendChannel + index), static_cast<float>(values[index]));
  } else if (action == "calibrate") {
    if (!arguments(compiler, line, 0, 0)) return false;
    signerCalibrate(builder);
    compiler.waited = true;
  } else if (action == "enter") {
    if (!arguments(compiler, line, 0, 0)) return false;
    builderNote(builder, "pressing Enter");
    schedule(compiler, EventKind::kEnter);
  } else if (action == "serial") {
    const std::string_view step = args.size() == 2 ? args[1] : "open";
    const SerialFailure failure = step == "open" ? kSerialOpenFails
                                  : step == "baud" ? kSerialBaudFails
                                  : step == "line" ? kSerialLineFails
                                                   : kSerialWorks;
    if (args.empty() || args.size() > 2 || args[0] != "fails" || failure == kSerialWorks)
      return fail(compiler, line, "did you mean 'serial fails'? (or 'serial fails open', 'baud' or 'line')");
    if (!startUpCondition(compiler, line)) return false;
    builder.scenario.serialFails = failure;
  } else if (action == "glove" && !args.empty() && args[0] == "refresh") {
    int64_t ms = 0;
    if (args.size() != 2) return fail(compiler, line, "'glove refresh' takes a number of milliseconds");
    if (!startUpCondition(compiler, line) ||
        !wholeInRange(compiler, line, args[1], 0, kLongestRefreshMs, "a refresh period in milliseconds", ms))
      return false;
    builder.scenario.gloveRefreshMicros = ms * kMicrosPerMilli;
  } else if (action == "glove") {
    int64_t result = 0;
    const bool returns = args.size() == 2 && args[0] == "returns";
    if (!returns && (args.size() != 1 || args[0] != "absent"))
      return fail(compiler, line, "did you mean 'glove absent' or 'glove returns N'?");
    if (!startUpCondition(compiler, line)) return false;
    if (returns && !wholeInRange(compiler, line, args[1], kLeastInt, kMostInt, "a glove init result", result))
      return false;
    builder.scenario.gloveAbsent = !returns;
    builder.scenario.gloveInitResult = static_cast<int>(result);
  } else if (action == "clock") {
    int64_t ms = 0;
    if (!arguments(compiler, line, 1, 1) || !startUpCondition(compiler, line) ||
        !wholeInRange(compiler, line, args[0], 0, kMaxClock, "a clock reading", ms))
      return false;
    builder.scenario.clockStartMs = static_cast<uint32_t>(ms);
  } else if (action == "touch") {
    Event event;
    event.kind = EventKind::kTouch;
    if (!arguments(compiler, line, 2, -1) || !padList(compiler, line, event.mask)) return false;
    builderEvent(builder, std::move(event));
  } else if (action == "untouch") {
    if (!arguments(compiler, line, 0, 0)) return false;
    schedule(compiler, EventKind::kUntouch);
  } else if (action == "groups") {
    Event event;
    event.kind = EventKind::kGroups;
    if (!words(compiler, line, 0, event.words)) return false;
    builderEvent(builder, std::move(event));
  } else if (action == "controller") {
    return compileController(compiler, line);
  } else if (action == "answer") {
    if (!arguments(compiler, line, 0, 0)) return false;
    schedule(compiler, EventKind::kAnswer);
  } else if (action == "reply") {
    Event event;
    event.kind = EventKind::kReply;
    if (!replyBytes(compiler, line, event.bytes)) return false;
    builderEvent(builder, std::move(event));
  } else if (action == "hold") {
    int64_t ms = kDefaultHoldMs;
    if (!arguments(compiler, line, 1, 2)) return false;
    if (!signerKnowsHandshape(args[0]))
      return fail(compiler, line,
                  "no handshape the program names " + quoted(args[0]) + " can be held" +
                      (args[0] == "rest" ? ": 'rest' is an action of its own"
                                         : ": " + suggestion(args[0], signerHandshapeNames(), "handshapes")));
    if (args.size() == 2 && !wholeInRange(compiler, line, args[1], 0, kLongestWaitMs, "a number of milliseconds", ms))
      return false;
    builderNote(builder, "holding: " + std::string(args[0]));
    signerHold(builder, args[0], ms);
    compiler.waited = true;
  } else if (action == "noise") {
    int64_t amount = 0, bendAmount = 0;
    if (!arguments(compiler, line, 1, 2) ||
        !wholeInRange(compiler, line, args[0], 0, kMostNoise, "a noise amount", amount) ||
        (args.size() == 2 && !wholeInRange(compiler, line, args[1], 0, kMaxBend, "a bend noise amount", bendAmount)))
      return false;
    if (amount > kSignerMostNoise || bendAmount > kSignerMostBendNoise)
      warn(compiler, line,
           "warning: the virtual signer is built for noise up to " + std::to_string(kSignerMostNoise) +
               " (bends up to " + std::to_string(kSignerMostBendNoise) +
               "); with more the program may misread its handshapes, movements and signs");
    compiler.bendNoise = static_cast<int>(bendAmount);
    Event event;
    event.kind = EventKind::kNoise;
    event.amount = static_cast<int>(amount);
    event.bendAmount = static_cast<int>(bendAmount);
    builderEvent(builder, std::move(event));
  } else if (action == "seed") {
    int64_t seed = 0;
    if (!arguments(compiler, line, 1, 1) || !startUpCondition(compiler, line) ||
        !wholeInRange(compiler, line, args[0], 0, kMaxSeed, "a seed", seed))
      return false;
    builder.scenario.noiseSeed = static_cast<uint64_t>(seed);
  } else if (action == "tempo") {
    if (!arguments(compiler, line, 1, 1)) return false;
    double factor = 0;
    const auto [end, error] = std::from_chars(args[0].data(), args[0].data() + args[0].size(), factor);
    if (error != std::errc() || end != args[0].data() + args[0].size() || !(factor >= kFastestTempo) ||
        !(factor <= kSlowestTempo))
      return fail(compiler, line, quoted(args[0]) + " is not a tempo (a factor from 0.01 to 100; 1 is the usual pace)");
    builder.tempo = factor;
  } else if (action == "move") {
    int64_t ms = 0;
    if (!arguments(compiler, line, 1, 2)) return false;
    if (!signerKnowsMovement(args[0]))
      return fail(compiler, line,
                  "unknown movement " + quoted(args[0]) + ": " + suggestion(args[0], signerMovementNames(), "movements"));
    if (args.size() == 2 && !wholeInRange(compiler, line, args[1], 1, kLongestWaitMs, "a number of milliseconds", ms))
      return false;
    // At another tempo than the usual one any duration goes: finding where recognition
    // fails is what a changed tempo is for.
    if (const MoveRange range = signerMoveRange(builder, args[0]);
        builder.tempo == 1 && ms != 0 && (ms < range.fastestMs || ms > range.slowestMs))
      return fail(compiler, line,
                  "the program sees " + std::string(args[0]) + " only when it takes " + std::to_string(range.fastestMs) +
                      " to " + std::to_string(range.slowestMs) + " ms (MS is how long the movement itself takes; " +
                      "leave it out for the usual " + std::to_string(range.usualMs) +
                      " ms; the hand holds still after it, and wait holds it longer)");
    if (compiler.bendNoise > 0 && args[0] == "fingersIncDecInc")
      warn(compiler, line, "warning: bend noise defeats the finger wave (noise AMOUNT 0 turns bend noise off)");
    builderNote(builder, "moving: " + std::string(args[0]));
    signerMove(builder, args[0], ms);
    builderNote(builder, "moved: " + std::string(args[0]));
    // The hand then holds still until the program has surely finished recording, so
    // that whatever comes next, another movement too, is not taken for part of it.
    signerSettleAfterMove(builder);
    compiler.waited = true;
  } else if (action == "rest") {
    int64_t ms = kDefaultHoldMs;
    if (!arguments(compiler, line, 0, 1) ||
        (args.size() == 1 && !wholeInRange(compiler, line, args[0], 0, kLongestWaitMs, "a number of milliseconds", ms)))
      return false;
    builderNote(builder, "resting");
    signerRest(builder, ms);
    compiler.waited = true;
  } else if (action == "sign") {
    if (!arguments(compiler, line, 1, 1)) return false;
    if (!signerKnowsWord(args[0]))
      return fail(compiler, line, "no sign for " + quoted(args[0]) + ": " + suggestion(args[0], signerWords(), "words"));
    if (compiler.bendNoise > 0 && args[0] == "welcome")
      warn(compiler, line, "warning: bend noise defeats the finger wave that welcome needs (noise AMOUNT 0 turns it off)");
    builderNote(builder, "signing: " + std::string(args[0]));
    signerSign(builder, args[0]);
    builderNote(builder, "signed: " + std::string(args[0]));
    compiler.waited = true;
  } else {
    const std::vector<std::string_view> near = nearestNames(action, kActions);
    return fail(compiler, line,
                "unknown action " + quoted(action) + (near.empty() ? "" : ": did you mean " + joined(near, " or ") + "?"));
  }
  return true;
}

// Compiles a line, noting what it does for traces and captions, with its comment.
bool compileAndNote(Compiler& compiler, const Line& line) {
  std::vector<Note>& notes = compiler.builder.scenario.notes;
  const size_t firstNote = notes.size();
  // A wait is no action of the signer's, but its comment says what the wait is for.
  if (line.action == "wait" && !line.comment.empty()) builderNote(compiler.builder, std::string(line.comment));
  if (!compileLine(compiler, line)) return false;
  if (line.action == "wait" && !line.comment.empty()) return true;
  const bool noted = notes.size() > firstNote;
  if (!noted && line.action != "wait") builderNote(compiler.builder, lineText(line));
  if (!line.comment.empty() && notes.size() > firstNote) notes[firstNote].text += " (" + std::string(line.comment) + ")";
  return true;
}

Line splitLine(std::string_view text, int number) {
  Line line{number, {}, {}, {}};
  if (const size_t comment = text.find('#'); comment != std::string_view::npos) {
    line.comment = text.substr(comment + 1);
    const size_t start = line.comment.find_first_not_of(" \t");
    const size_t end = line.comment.find_last_not_of(" \t\r");
    line.comment = start == std::string_view::npos ? std::string_view() : line.comment.substr(start, end - start + 1);
    text = text.substr(0, comment);
  }
  size_t position = 0;
  while (position < text.size()) {
    const size_t start = text.find_first_not_of(" \t\r", position);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(text.find_first_of(" \t\r", start), text.size());
    const std::string_view token = text.substr(start, end - start);
    if (line.action.empty())
      line.action = token;
    else
      line.arguments.push_back(token);
    position = end;
  }
  return line;
}

}  // namespace

std::vector<std::string_view> nearestNames(std::string_view typed, const std::vector<std::string_view>& names) {
  const auto lower = [](std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
  };
  // Edit distance, a swap of two neighbours counting as one edit.
  const auto distance = [](const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
      for (size_t j = 1; j <= b.size(); ++j) {
        d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    return d[a.size()][b.size()];
  };
  const std::string want = lower(typed);
  struct Candidate {
    size_t score;
    std::string_view name;
  };
  std::vector<Candidate> candidates;
  const size_t typos = want.size() <= 4 ? 1 : 2;
  for (std::string_view name : names) {
    const std::string have = lower(name);
    // Lengths further apart than the typos allowed cannot be that close: the distance,
    // whose cost grows with both lengths, is not worked out for them.
    const size_t apart = want.size() > have.size() ? want.size() - have.size() : have.size() - want.size();
    size_t score = apart > typos ? typos + 1 : distance(want, have);
    if (score > typos) {
      // A prefix ("left" for leftToRight) or one part of a name ("this" for this/the).
      const bool prefix = want.size() >= 2 && have.starts_with(want);
      bool part = false;
      for (size_t start = 0; start <= have.size();) {
        const size_t end = std::min(have.find_first_of("/-", start), have.size());
        part = part || have.substr(start, end - start) == want;
        start = end + 1;
      }
      if (!prefix && !part) continue;
      score = typos + 1;
    }
    candidates.push_back({score, name});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
  std::vector<std::string_view> nearest;
  for (const Candidate& candidate : candidates)
    if (nearest.size() < 3 && candidate.score == candidates.front().score) nearest.push_back(candidate.name);
  return nearest;
}

bool readScriptFile(const std::string& path, std::string& text) {
  const int fd = path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char chunk[65536];
  ssize_t got;
  while ((got = read(fd, chunk, sizeof chunk)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;  // a directory reads as EISDIR
    text.append(chunk, static_cast<size_t>(got));
  }
  const int error = errno;
  if (fd != STDIN_FILENO) close(fd);
  errno = error;
  return got == 0;
}

bool compileScript(std::string_view text, Scenario& scenario, ScriptError& error, std::vector<ScriptError>* warnings) {
  Compiler compiler;
  int number = 0;
  size_t position = 0;
  while (position <= text.size()) {
    const size_t end = std::min(text.find('\n', position), text.size());
    const Line line = splitLine(text.substr(position, end - position), ++number);
    if (!line.action.empty() && !compileAndNote(compiler, line)) {
      error = compiler.error;
      return false;
    }
    if (end == text.size()) break;
    position = end + 1;
  }
  scenario = builderFinish(compiler.builder);
  if (warnings) *warnings = std::move(compiler.warnings);
  return true;
}
