#include "drivers/keys_session.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "drivers/driver_run.h"
#include "drivers/hand_plan.h"
#include "drivers/keyboard_glove.h"
#include "drivers/keys_contacts.h"
#include "simulator/signer.h"

namespace {

constexpr int64_t kHoldMs = 300;
constexpr int64_t kRestMs = 300;
// While the hand moves, the record follows it every millisecond, as a glove samples.
constexpr int64_t kMovingStepMicros = 1000;
constexpr int64_t kRedrawMicros = 100'000;
constexpr int64_t kNanosPerMicro = 1000;

struct Session {
  KeyboardGlove keys;
  KeyDecoder decoder;
  HandPlan plan;
  std::vector<std::string_view> shapes = signerHandshapeNames();
  std::vector<std::string_view> movements = signerMovementNames();
  std::string held = "rest";   // the handshape last taken
  std::string doing;           // what the plan is doing, until doingUntil
  int64_t doingUntil = 0;
  GloveRecord record = {};
  bool quit = false;
  bool redraw = true;
};

int64_t micros() { return gloveMonotonicNanos() / kNanosPerMicro; }

// Puts the plan's next action in and says what it is.
void perform(Session& session, const KeyCommand& command, int64_t now) {
  ScenarioBuilder& builder = handPlanNext(session.plan, now);
  const int64_t start = builder.nowMicros;
  std::string doing;
  switch (command.action) {
    case KeyAction::kHold:
      session.held = std::string(session.shapes[static_cast<size_t>(command.index)]);
      signerHold(builder, session.held, kHoldMs);
      doing = "taking " + session.held;
      break;
    case KeyAction::kMove:
      signerMove(builder, session.movements[static_cast<size_t>(command.index)], 0);
      signerSettleAfterMove(builder);
      doing = "performing " + std::string(session.movements[static_cast<size_t>(command.index)]);
      break;
    case KeyAction::kRest:
      signerRest(builder, kRestMs);
      session.held = "rest";
      doing = "resting";
      break;
    case KeyAction::kCalibrate:
      signerCalibrate(builder);
      doing = "calibrating: pointing at the head, tapping A, at the chest, tapping A";
      break;
    case KeyAction::kNudge:
      for (int axis = 0; axis < 3; ++axis)
        builderSet(builder, static_cast<GloveChannel>(kGloveX + axis), builder.pose[kGloveX + axis] + command.nudge[axis]);
      break;
    case KeyAction::kTap:
      signerTap(builder, command.buttons);
      doing = "tapping " + signerButtonNames(command.buttons);
      break;
    case KeyAction::kQuit: session.quit = true; break;
    default: break;
  }
  if (!doing.empty()) {
    session.doing = start > now ? doing + " (after what goes on now)" : doing;
    session.doingUntil = builder.nowMicros;
  }
  session.redraw = true;
}

void takeKeys(Session& session, int64_t now) {
  unsigned char typed[64];
  const ssize_t count = read(STDIN_FILENO, typed, sizeof typed);
  if (count == 0) session.quit = true;  // the terminal went away
  for (ssize_t index = 0; index < count; ++index) {
    const int key = keyDecoderFeed(session.decoder, typed[index]);
    if (key != kKeyNone) perform(session, keyboardGlovePress(session.keys, key), now);
  }
}

void draw(const Session& session, const std::string& where, int64_t now) {
  const GloveRecord& r = session.record;
  char buttons[9] = "- - - - ";
  for (int button = 0; button < 4; ++button)
    if (r.buttons[button]) buttons[2 * button] = static_cast<char>('A' + button);
  std::string movements;
  for (size_t index = 0; index < session.movements.size(); ++index)
    movements += "  " + std::to_string(index + 1) + " " + std::string(session.movements[index]);
  std::printf("\033[H"
              "signglove-glove keys: a glove played from the keyboard (%s)\033[K\n\033[K\n"
              "  hand       %s (%s)\033[K\n"
              "  position   %.0f %.0f %.0f mm   angles %.0f %.0f %.0f   bends %u %u %u %u %u\033[K\n"
              "  buttons    %s\033[K\n"
              "  picked     %s\033[K\n\033[K\n"
              "  [ ]  pick a handshape      Enter or space  hold the picked one\033[K\n"
              " %s\033[K\n"
              "  r  rest    k  calibrate (point at the head, tap A; at the chest, tap A)\033[K\n"
              "  arrows  move 25 mm left, right, up, down; Page Up / Page Down  away from / toward the body\033[K\n"
              "  a b c d  press or release a button    A B C D  tap it    q  quit\033[K\n\033[J",
              where.c_str(), session.held.c_str(), now < session.doingUntil ? session.doing.c_str() : "still", r.x, r.y,
              r.z, r.orient[0], r.orient[1], r.orient[2], r.bend[0], r.bend[1], r.bend[2], r.bend[3], r.bend[4], buttons,
              std::string(session.shapes[static_cast<size_t>(session.keys.picked)]).c_str(), movements.c_str());
  std::fflush(stdout);
}

// The terminal's input raw (each key at once, no echo, Ctrl-C a key), its output as it was.
bool makeRaw(termios& saved) {
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios raw = saved;
  raw.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~(IXON | ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  return tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) == 0;
}

}  // namespace

int runKeyboardGlove(const KeysOptions& options) {
  if (isatty(STDIN_FILENO) != 1 || isatty(STDOUT_FILENO) != 1) {
    std::fprintf(stderr, "signglove-glove: keys is played on a terminal: standard input and output must be one\n");
    return kDriverExitUsage;
  }
  GloveRecordWriter writer;
  if (const int failed = driverCreateRecord(writer, options.readerGroup); failed != 0) return failed;
  KeysContacts contacts;
  std::string error;
  if (!options.contacts.empty() && !keysContactsOpen(contacts, options.contacts, error)) {
    std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
    gloveWriterClose(writer);
    return kDriverExitFailed;
  }
  driverCatchSignals();
  termios saved{};
  if (!makeRaw(saved)) {
    std::fprintf(stderr, "signglove-glove: cannot set the terminal up for keys\n");
    keysContactsClose(contacts);
    gloveWriterClose(writer);
    return kDriverExitFailed;
  }

  Session session;
  session.keys.shapes = static_cast<int>(session.shapes.size());
  session.keys.picked = static_cast<int>(std::find(session.shapes.begin(), session.shapes.end(), "point") - session.shapes.begin());
  const std::string where = "glove " + writer.name + (options.contacts.empty() ? "" : ", pads on " + options.contacts);
  const int64_t origin = micros();
  handPlanStart(session.plan);
  int64_t drawnAt = 0;
  std::printf("\033[2J");
  while (!session.quit && !driverStopping()) {
    const int64_t now = micros() - origin;
    handPlanPlay(session.plan, now, session.record);
    for (int button = 0; button < 4; ++button) session.record.buttons[button] |= session.keys.toggled >> button & 1;
    gloveWriterPublish(writer, session.record);
    if (!options.contacts.empty()) keysContactsServe(contacts, session.plan.pads, now);
    if (session.redraw || (handPlanBusy(session.plan, now) && now - drawnAt >= kRedrawMicros)) {
      draw(session, where, now);
      drawnAt = now;
      session.redraw = false;
    }
    // Awake every millisecond while the hand moves, and when a reply is due; else the heartbeat's pace.
    int64_t wake = now + (handPlanBusy(session.plan, now) ? kMovingStepMicros : kHeartbeatMillis * 1000);
    if (session.doingUntil > now) wake = std::min(wake, session.doingUntil);
    wake = std::min(wake, keysContactsNextDue(contacts));
    const int64_t waitMicros = std::max<int64_t>(0, wake - (micros() - origin));
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {keysContactsDescriptor(contacts), POLLIN, 0}};
    const timespec timeout{static_cast<time_t>(waitMicros / 1'000'000), static_cast<long>(waitMicros % 1'000'000 * 1000)};
    ppoll(watched, options.contacts.empty() ? 1 : 2, &timeout, nullptr);
    if (watched[0].revents) takeKeys(session, micros() - origin);
    if (session.doingUntil <= micros() - origin && !session.doing.empty()) {
      session.doing.clear();
      session.redraw = true;
    }
  }
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::printf("\n");
  keysContactsClose(contacts);
  gloveWriterClose(writer);
  return 0;
}
