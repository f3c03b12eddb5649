#include "view/program_view.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "contacts/contact_packet.h"
#include "record/child_program.h"
#include "record/session_watch.h"
#include "view/view_feed.h"
#include "view/view_server.h"

namespace {

// The relay, the glove watch and the terminal each note what they see, on threads of
// their own, within microseconds; what is older than this is put in time order.
constexpr int64_t kSettleMicros = 20'000;
constexpr int kTickMillis = 5;
constexpr size_t kChunk = 4096;
constexpr size_t kMostKeysWaiting = 65536;  // typed and not yet taken by the program's terminal
// A program asked to stop (SIGTERM) is killed if it has not ended this much later.
constexpr int64_t kStopGraceMicros = 1'000'000;
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

// Something the program did or was shown, as the view saw it from outside.
struct Happening {
  int64_t atMicros = 0;  // CLOCK_MONOTONIC
  enum class Kind { kRequest, kReplyByte, kGlove, kConsole } kind = Kind::kRequest;
  uint8_t byte = 0;
  GloveRecord record{};
  ConsolePiece piece;
};

struct ProgramView {
  SessionWatch watch;
  Pty console;  // the program's terminal
  ChildProgram program;
  ViewHub hub;
  ViewFeed feed;
  ViewServer server;
  TerminalReader terminal;
  std::vector<Happening> pending;  // not yet put in order
  GloveRecord gloveNow{};          // the record as of the happenings put in order so far
  int64_t origin = 0;
  std::string keysWaiting;
  bool typing = true;
  bool userTerminalRaw = false;
  termios userTerminal{};
};

void writeAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the user's terminal has gone: the view goes on
    bytes += written;
    count -= static_cast<size_t>(written);
  }
}

// The program's terminal is set as the user's is, and as large; the user's passes every
// key on as it is typed (Ctrl-C too, which the program's terminal turns into SIGINT).
void shareUserTerminal(ProgramView& view) {
  winsize size{};
  if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0) ioctl(view.console.slave, TIOCSWINSZ, &size);
  if (tcgetattr(STDIN_FILENO, &view.userTerminal) != 0) return;
  tcsetattr(view.console.slave, TCSANOW, &view.userTerminal);
  termios raw = view.userTerminal;
  cfmakeraw(&raw);
  raw.c_oflag |= OPOST | ONLCR;  // the program's output is the terminal's already; what others write keeps its lines
  view.userTerminalRaw = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

void restoreUserTerminal(ProgramView& view) {
  if (view.userTerminalRaw) tcsetattr(STDIN_FILENO, TCSANOW, &view.userTerminal);
  view.userTerminalRaw = false;
}

// Takes what the relay and the glove watch have noted. A glove change goes to the page
// at once; everything waits to be put in order.
void collect(ProgramView& view) {
  const RelayTaken line = relayTake(view.watch.relay);
  for (int64_t at : line.requests) view.pending.push_back({at, Happening::Kind::kRequest, 0, {}, {}});
  for (const TimedByte& byte : line.replies)
    view.pending.push_back({byte.atMicros, Happening::Kind::kReplyByte, byte.byte, {}, {}});
  for (const GloveSnapshot& snapshot : gloveWatchTake(view.watch.glove)) {
    viewFeedGlove(view.feed, snapshot.atMicros - view.origin, snapshot.record, snapshot.atMicros);
    view.pending.push_back({snapshot.atMicros, Happening::Kind::kGlove, 0, snapshot.record, {}});
  }
}

// Puts what happened up to settledMicros in time order and works out the program's
// samples from it: a reply it accepts is followed by its glove read, of the record as
// it was then.
void putInOrder(ProgramView& view, int64_t settledMicros) {
  std::stable_sort(view.pending.begin(), view.pending.end(),
                   [](const Happening& a, const Happening& b) { return a.atMicros < b.atMicros; });
  auto settled = view.pending.begin();
  for (; settled != view.pending.end() && settled->atMicros <= settledMicros; ++settled) {
    const Happening& happening = *settled;
    switch (happening.kind) {
      case Happening::Kind::kRequest:
        viewFeedByteSent(view.feed, kRequestByte);
        break;
      case Happening::Kind::kReplyByte:
        viewFeedByteTaken(view.feed, happening.byte);
        if (seenReplyAccepted(view.feed.seen))
          viewFeedSample(view.feed, happening.atMicros - view.origin, view.gloveNow);
        break;
      case Happening::Kind::kGlove:
        view.gloveNow = happening.record;
        break;
      case Happening::Kind::kConsole:
        if (happening.piece.clear) seenConsoleClear(view.feed.seen);
        else seenConsoleText(view.feed.seen, happening.piece.text);
        break;
    }
  }
  view.pending.erase(view.pending.begin(), settled);
}

// Passes the program's output on to the user's terminal and to the page. False once
// there is nothing more to read for now.
bool readConsole(ProgramView& view) {
  char bytes[kChunk];
  const ssize_t count = read(view.console.master, bytes, sizeof bytes);
  if (count <= 0) return false;
  const int64_t now = viewClockMicros();
  writeAll(STDOUT_FILENO, bytes, static_cast<size_t>(count));
  std::vector<ConsolePiece> pieces;
  terminalRead(view.terminal, std::string_view(bytes, static_cast<size_t>(count)), pieces);
  for (ConsolePiece& piece : pieces) {
    viewHubConsole(view.hub, piece);
    view.pending.push_back({now, Happening::Kind::kConsole, 0, {}, std::move(piece)});
  }
  return true;
}

// Runs until the program ends: the user's keys to its terminal, its output to the
// user's and the page, the line and glove into the page. A request to stop (SIGINT,
// SIGTERM, a hang-up) is passed to the program, which is killed if it has not ended a
// second later. The program's wait status.
int superviseProgram(ProgramView& view, int signals) {
  int64_t killAt = kForever;
  for (;;) {
    int status = 0;
    if (waitpid(view.program.pid, &status, WNOHANG) == view.program.pid) return status;
    const int64_t now = viewClockMicros();
    if (now >= killAt) {
      kill(view.program.pid, SIGKILL);
      killAt = kForever;
    }
    pollfd fds[3] = {
        {signals, POLLIN, 0},
        {view.typing && view.keysWaiting.size() < kMostKeysWaiting ? STDIN_FILENO : -1, POLLIN, 0},
        {view.console.master, static_cast<short>(POLLIN | (view.keysWaiting.empty() ? 0 : POLLOUT)), 0}};
    if (poll(fds, 3, kTickMillis) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      unsigned char numbers[64];
      const ssize_t count = read(signals, numbers, sizeof numbers);
      for (ssize_t index = 0; index < count; ++index) {
        if (numbers[index] == SIGWINCH) {
          winsize size{};
          if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0) ioctl(view.console.slave, TIOCSWINSZ, &size);
        } else if (numbers[index] != SIGCHLD && killAt == kForever) {
          kill(view.program.pid, SIGTERM);
          killAt = viewClockMicros() + kStopGraceMicros;
        }
      }
    }
    if (fds[1].revents) {
      char bytes[kChunk];
      const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
      if (count > 0) view.keysWaiting.append(bytes, static_cast<size_t>(count));
      else if (count == 0 || errno != EINTR) view.typing = false;
    }
    if (fds[2].revents & POLLOUT) {
      const ssize_t written = write(view.console.master, view.keysWaiting.data(), view.keysWaiting.size());
      if (written > 0) view.keysWaiting.erase(0, static_cast<size_t>(written));
    }
    while (readConsole(view)) {
    }
    collect(view);
    putInOrder(view, viewClockMicros() - kSettleMicros);
    viewFeedTick(view.feed, viewClockMicros() - view.origin);
  }
  int status = 0;
  waitpid(view.program.pid, &status, 0);
  return status;
}

int cannotSetUp(ProgramView& view, const std::string& error) {
  restoreUserTerminal(view);
  std::fprintf(stderr, "signglove-view: %s\n", error.c_str());
  viewServerStop(view.server);
  sessionWatchStop(view.watch);
  return kViewExitCannotSetUp;
}

}  // namespace

int runProgramView(const ProgramViewOptions& options) {
  static ProgramView view;  // its watch's threads and the server's refer to it until the end
  std::string error;
  signal(SIGPIPE, SIG_IGN);
  const int signals = signalPipeStart({SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGWINCH});
  if (signals < 0) return cannotSetUp(view, std::string("pipe: ") + std::strerror(errno));
  if (!sessionWatchSetUp(view.watch, options.watched, error) || !ptyOpen(view.console, error, false))
    return cannotSetUp(view, error);
  viewFeedStart(view.feed, view.hub, "program");
  if (!viewServerStart(view.server, view.hub, options.address, options.port, error)) return cannotSetUp(view, error);
  std::fprintf(stderr, "signglove-view: the live view is at %s\n", view.server.url.c_str());

  sessionWatchStart(view.watch, options.watched);
  if (isatty(STDIN_FILENO)) shareUserTerminal(view);
  view.origin = viewClockMicros();
  if (!childProgramStart(options.watched.command, view.console.slave, view.program, error))
    return cannotSetUp(view, error);
  const int status = superviseProgram(view, signals);
  while (readConsole(view)) {
  }
  restoreUserTerminal(view);
  collect(view);
  putInOrder(view, kForever);
  const int exitStatus = childExitStatus(status);
  viewFeedEnd(view.feed, viewClockMicros() - view.origin, exitStatus);

  if (options.keep)
    std::fprintf(stderr, "signglove-view: the program has ended; the live view stays at %s until Ctrl-C\n",
                 view.server.url.c_str());
  viewServerLinger(options.keep ? -1 : kProgramViewLingerSeconds);
  viewServerStop(view.server);
  sessionWatchStop(view.watch);
  const ViewLatencies& latencies = view.hub.latencies;
  std::fprintf(stderr, "signglove-view: served %d viewers", view.hub.viewersEver);
  if (latencies.count > 0)
    std::fprintf(stderr, "; glove changes left the server %.2f ms (median), %.2f ms (worst) after the view saw them",
                 static_cast<double>(viewLatencyMedian(latencies)) / 1e3,
                 static_cast<double>(latencies.worstMicros) / 1e3);
  std::fputc('\n', stderr);
  return exitStatus;
}
