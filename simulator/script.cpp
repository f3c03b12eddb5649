#include "simulator/script.h"

#include <charconv>
#include <cmath>
#include <cstdint>
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

struct Line {
  int number;
  std::string_view action;
  std::vector<std::string_view> arguments;
};

struct Compiler {
  ScenarioBuilder builder;
  bool waited = false;  // start-up conditions must come before this
  ScriptError error;
};

bool fail(Compiler& compiler, const Line& line, std::string message) {
  compiler.error = {line.number, std::move(message)};
  return false;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

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
  return fail(compiler, line,
              quoted(line.action) + " takes " + expected + " argument" + (least == 1 && most == 1 ? "" : "s") +
                  ", not " + std::to_string(count));
}

bool compileController(Compiler& compiler, const Line& line) {
  if (!arguments(compiler, line, 1, -1)) return false;
  const std::string_view mode = line.arguments[0];
  Event event;
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
                "unknown controller mode " + quoted(mode) + " (silent, normal, cued, corrupt N, drop N or noise WORD...)");
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
    schedule(compiler, EventKind::kEnter);
  } else if (action == "serial") {
    if (args.size() != 1 || args[0] != "fails") return fail(compiler, line, "did you mean 'serial fails'?");
    if (!startUpCondition(compiler, line)) return false;
    builder.scenario.serialFails = true;
  } else if (action == "glove") {
    if (args.size() != 1 || args[0] != "absent") return fail(compiler, line, "did you mean 'glove absent'?");
    if (!startUpCondition(compiler, line)) return false;
    builder.scenario.gloveAbsent = true;
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
      return fail(compiler, line, "no handshape the program names " + quoted(args[0]) + " can be held");
    if (args.size() == 2 && !wholeInRange(compiler, line, args[1], 0, kLongestWaitMs, "a number of milliseconds", ms))
      return false;
    signerHold(builder, args[0], ms);
    compiler.waited = true;
  } else if (action == "noise") {
    int64_t amount = 0, bendAmount = 0;
    if (!arguments(compiler, line, 1, 2) ||
        !wholeInRange(compiler, line, args[0], 0, kMostNoise, "a noise amount", amount) ||
        (args.size() == 2 && !wholeInRange(compiler, line, args[1], 0, kMaxBend, "a bend noise amount", bendAmount)))
      return false;
    Event event;
    event.kind = EventKind::kNoise;
    event.amount = static_cast<int>(amount);
    event.bendAmount = static_cast<int>(bendAmount);
    builderEvent(builder, std::move(event));
  } else if (action == "move") {
    int64_t ms = 0;
    if (!arguments(compiler, line, 1, 2)) return false;
    if (!signerKnowsMovement(args[0])) return fail(compiler, line, "unknown movement " + quoted(args[0]));
    if (args.size() == 2 && !wholeInRange(compiler, line, args[1], 1, kLongestWaitMs, "a number of milliseconds", ms))
      return false;
    signerMove(builder, args[0], ms);
    compiler.waited = true;
  } else if (action == "rest") {
    int64_t ms = kDefaultHoldMs;
    if (!arguments(compiler, line, 0, 1) ||
        (args.size() == 1 && !wholeInRange(compiler, line, args[0], 0, kLongestWaitMs, "a number of milliseconds", ms)))
      return false;
    signerRest(builder, ms);
    compiler.waited = true;
  } else if (action == "sign") {
    if (!arguments(compiler, line, 1, 1)) return false;
    if (!signerKnowsWord(args[0])) return fail(compiler, line, "no sign for " + quoted(args[0]));
    signerSign(builder, args[0]);
    compiler.waited = true;
  } else {
    return fail(compiler, line, "unknown action " + quoted(action));
  }
  return true;
}

Line splitLine(std::string_view text, int number) {
  if (const size_t comment = text.find('#'); comment != std::string_view::npos) text = text.substr(0, comment);
  Line line{number, {}, {}};
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

bool compileScript(std::string_view text, Scenario& scenario, ScriptError& error) {
  Compiler compiler;
  int number = 0;
  size_t position = 0;
  while (position <= text.size()) {
    const size_t end = std::min(text.find('\n', position), text.size());
    const Line line = splitLine(text.substr(position, end - position), ++number);
    if (!line.action.empty() && !compileLine(compiler, line)) {
      error = compiler.error;
      return false;
    }
    if (end == text.size()) break;
    position = end + 1;
  }
  scenario = builderFinish(compiler.builder);
  return true;
}
