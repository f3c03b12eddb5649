#include "drivers/keyboard_glove.h"

namespace {

constexpr unsigned char kEscape = 0x1B;
constexpr unsigned char kCtrlC = 0x03, kCtrlD = 0x04;
constexpr int kMovements = 7;
// A sequence longer than this is not a key's.
constexpr size_t kLongestSequence = 16;

struct Sequence {
  const char* bytes;
  int key;
};

constexpr Sequence kSequences[] = {
    {"\x1b[A", kKeyUp},  {"\x1b[B", kKeyDown}, {"\x1b[C", kKeyRight}, {"\x1b[D", kKeyLeft},     {"\x1bOA", kKeyUp},
    {"\x1bOB", kKeyDown}, {"\x1bOC", kKeyRight}, {"\x1bOD", kKeyLeft}, {"\x1b[5~", kKeyPageUp}, {"\x1b[6~", kKeyPageDown},
};

KeyCommand nudge(float x, float y, float z) {
  KeyCommand command;
  command.action = KeyAction::kNudge;
  command.nudge[0] = x;
  command.nudge[1] = y;
  command.nudge[2] = z;
  return command;
}

KeyCommand of(KeyAction action, int index = 0, unsigned buttons = 0) {
  KeyCommand command;
  command.action = action;
  command.index = index;
  command.buttons = buttons;
  return command;
}

}  // namespace

int keyDecoderFeed(KeyDecoder& decoder, unsigned char byte) {
  if (decoder.pending.empty() && byte != kEscape) return byte;
  decoder.pending.push_back(static_cast<char>(byte));
  const std::string& pending = decoder.pending;
  if (pending.size() == 1) return kKeyNone;
  // ESC [ gathers parameters up to a final byte; ESC O takes one byte; ESC with
  // anything else (Alt and a key) is dropped whole.
  const bool csi = pending[1] == '[', ss3 = pending[1] == 'O';
  if (!csi && !ss3) {
    decoder.pending.clear();
    return kKeyNone;
  }
  const bool final = pending.size() > 2 && (ss3 || (byte >= '@' && byte <= '~'));
  if (!final && pending.size() < kLongestSequence) return kKeyNone;
  int key = kKeyNone;
  for (const Sequence& sequence : kSequences)
    if (pending == sequence.bytes) key = sequence.key;
  decoder.pending.clear();
  return key;
}

KeyCommand keyboardGlovePress(KeyboardGlove& glove, int key) {
  switch (key) {
    case '[':
    case ']':
      if (glove.shapes > 0) glove.picked = (glove.picked + (key == ']' ? 1 : glove.shapes - 1)) % glove.shapes;
      return of(KeyAction::kPick, glove.picked);
    case '\r':
    case '\n':
    case ' ':
      return glove.shapes > 0 ? of(KeyAction::kHold, glove.picked) : KeyCommand{};
    case 'r': return of(KeyAction::kRest);
    case 'k': return of(KeyAction::kCalibrate);
    case kKeyLeft: return nudge(-kNudgeMillimetres, 0, 0);
    case kKeyRight: return nudge(kNudgeMillimetres, 0, 0);
    case kKeyUp: return nudge(0, kNudgeMillimetres, 0);
    case kKeyDown: return nudge(0, -kNudgeMillimetres, 0);
    case kKeyPageUp: return nudge(0, 0, kNudgeMillimetres);
    case kKeyPageDown: return nudge(0, 0, -kNudgeMillimetres);
    case 'q':
    case kCtrlC:
    case kCtrlD:
      return of(KeyAction::kQuit);
    default: break;
  }
  if (key >= '1' && key < '1' + kMovements) return of(KeyAction::kMove, key - '1');
  if (key >= 'a' && key <= 'd') {
    glove.toggled ^= 1u << (key - 'a');
    return of(KeyAction::kButtons, 0, glove.toggled);
  }
  if (key >= 'A' && key <= 'D') return of(KeyAction::kTap, 0, 1u << (key - 'A'));
  return KeyCommand{};
}
