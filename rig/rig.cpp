#include "rig/rig.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "contacts/contact_packet.h"
#include "platform/glove_record_writer.h"
#include "rig/mount_namespace.h"
#include "rig/pty.h"
#include "rig/scenario_clock.h"
#include "simulator/timing.h"
#include "simulator/world.h"

#ifdef SIGNGLOVE_FIRMWARE_BOARD
#include "firmware/board_link.h"
#include "firmware/flex_glove_link.h"
#endif

namespace {

// The glove record is refreshed at least this often: every sample of the glove.
constexpr int64_t kGloveRefreshMicros = kGloveSampleMicros;
// A program asked to end is given this long before it is killed.
constexpr int kTermGraceMillis = 1000;
// Real-time priority for the rig and the program, where the host allows it, so that
// busy neighbours (compilers, other rigs) rarely delay a byte or a sample; the
// scenario clock takes care of the delays that remain.
constexpr int kRealTimePriority = 10;
// With a firmware's board (the controller's, the glove's), the board runs in slices this
// long between looks at the line: well under a byte's frame.
constexpr int64_t kBoardStepMicros = 250;
// Request intervals longer than a packet time-out are not the wire's pace.
constexpr int64_t kLongestPacedIntervalMicros = 500'000;

int64_t wallMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kMicrosPerSecond + now.tv_nsec / 1000;
}

int cannotSetUp(const std::string& reason) {
  std::fprintf(stderr, "signglove-rig: %s\n", reason.c_str());
  return kRigExitCannotSetUp;
}

// The program's requests, for --timing: when each was read and how many reply bytes
// the controller sent before the next.
struct RequestLog {
  std::vector<int64_t> atMicros;
  std::vector<int64_t> replyBytes;
  std::vector<int64_t> limitMicros;  // the line's limit for each as the board measured it; 0: work it out
};

struct Program {
  pid_t pid = -1;
  int pidfd = -1;
  int input = -1;  // its standard input
};

bool startProgram(const std::vector<std::string>& command, Program& program, std::string& error) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t parent = getpid();
  program.pid = fork();
  if (program.pid < 0) {
    error = std::string("cannot fork: ") + std::strerror(errno);
    return false;
  }
  if (program.pid == 0) {
    // The program never outlives its rig: it would be left on a hung-up line.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(pipeFds[0], STDIN_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "signglove-rig: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  close(pipeFds[0]);
  program.input = pipeFds[1];
  program.pidfd = static_cast<int>(syscall(SYS_pidfd_open, program.pid, 0));
  if (program.pidfd < 0) {
    error = std::string("cannot watch the program: ") + std::strerror(errno);
    kill(program.pid, SIGKILL);
    waitpid(program.pid, nullptr, 0);
    return false;
  }
  return true;
}

int exitStatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Ends a program that would not end by itself: SIGTERM, then SIGKILL.
void endProgram(const Program& program, rusage& usage) {
  kill(program.pid, SIGTERM);
  pollfd exited{program.pidfd, POLLIN, 0};
  if (poll(&exited, 1, kTermGraceMillis) <= 0) kill(program.pid, SIGKILL);
  int status = 0;
  wait4(program.pid, &status, 0, &usage);
}

void reportTiming(const rusage& usage, int64_t wallUsed, const RequestLog& requests) {
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  const double wall = static_cast<double>(wallUsed) / 1e6;
  std::fprintf(stderr, "signglove-rig: the program used %.3f s of CPU in %.3f s of wall time (%.2f%% of a core)\n", cpu,
               wall, wall > 0 ? 100.0 * cpu / wall : 0.0);
  // Each interval against the limit of its own reply: request, scan and reply bytes.
  std::vector<double> ratios;
  int64_t intervalSum = 0, limitSum = 0;
  for (size_t index = 0; index + 1 < requests.atMicros.size(); ++index) {
    const int64_t interval = requests.atMicros[index + 1] - requests.atMicros[index];
    if (interval > kLongestPacedIntervalMicros) continue;
    const int64_t limit = requests.limitMicros[index] > 0
                              ? requests.limitMicros[index]
                              : lineMicros(1) + kControllerScanMicros + lineMicros(requests.replyBytes[index]);
    intervalSum += interval;
    limitSum += limit;
    ratios.push_back(static_cast<double>(interval) / static_cast<double>(limit));
  }
  if (ratios.empty()) {
    std::fprintf(stderr, "signglove-rig: the program sent %zu requests\n", requests.atMicros.size());
    return;
  }
  const double count = static_cast<double>(ratios.size());
  const double interval = static_cast<double>(intervalSum) / count / 1000.0;
  const double limit = static_cast<double>(limitSum) / count / 1000.0;
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
  std::fprintf(stderr,
               "signglove-rig: %zu request intervals, mean %.3f ms against the line's limit of %.3f ms (%.3fx, "
               "median %.3fx)\n",
               ratios.size(), interval, limit, interval / limit, ratios[ratios.size() / 2]);
}

// Takes the bytes the program has sent on its serial line; a byte counts as sent now.
// True when one of them was a request.
bool takeRequests(int master, int64_t wallNow, RequestLog& requests) {
  bool requested = false;
  uint8_t bytes[256];
  for (;;) {
    const ssize_t count = read(master, bytes, sizeof bytes);
    if (count <= 0) return requested;
    for (ssize_t index = 0; index < count; ++index) {
      worldSendByte(bytes[index]);
      if (bytes[index] != kRequestByte) continue;
      requested = true;
      requests.atMicros.push_back(wallNow);
      requests.replyBytes.push_back(0);
      requests.limitMicros.push_back(0);
    }
  }
}

// Hands over every reply byte that is due by now, each at its own moment. True when
// the controller has just sent the last byte it had.
bool deliverBytes(int master, RequestLog& requests) {
  bool delivered = false;
  for (int byte = worldTakeByte(); byte >= 0; byte = worldTakeByte()) {
    const uint8_t value = static_cast<uint8_t>(byte);
    while (write(master, &value, 1) < 0 && errno == EINTR) {
    }
    if (!requests.replyBytes.empty()) ++requests.replyBytes.back();
    delivered = true;
  }
  return delivered && worldNextByteMicros() == std::numeric_limits<int64_t>::max();
}

#ifdef SIGNGLOVE_FIRMWARE_BOARD
void writeBytes(int master, const std::vector<uint8_t>& bytes, RequestLog& requests) {
  for (uint8_t value : bytes)
    while (write(master, &value, 1) < 0 && errno == EINTR) {
    }
  if (!requests.replyBytes.empty()) requests.replyBytes.back() += static_cast<int64_t>(bytes.size());
}

// The program's bytes go to the board through the line's faults. True when one of them
// was a request.
bool takeRequestsForBoard(int master, int64_t wallNow, RequestLog& requests, BoardLink& board) {
  bool requested = false;
  uint8_t bytes[256];
  for (;;) {
    const ssize_t count = read(master, bytes, sizeof bytes);
    if (count <= 0) return requested;
    for (ssize_t index = 0; index < count; ++index) {
      if (bytes[index] != kRequestByte) continue;
      requested = true;
      requests.atMicros.push_back(wallNow);
      requests.replyBytes.push_back(0);
      requests.limitMicros.push_back(0);
    }
    std::vector<uint8_t> toHost;  // noise words go out at once
    boardLinkFromHost(board, world.controller, bytes, static_cast<size_t>(count), toHost);
    writeBytes(master, toHost, requests);
  }
}

// Runs the board to the scenario's time and hands over the bytes that reached the
// program by then. True when a reply has just ended and no other is awaited.
bool deliverBoardBytes(int master, int64_t now, RequestLog& requests, BoardLink& board, bool& stopped) {
  std::vector<uint8_t> toHost;
  const int64_t repliesBefore = board.replies;
  const bool done = boardLinkRunTo(board, world.controller, now, toHost, stopped);
  writeBytes(master, toHost, requests);
  if (board.replies > repliesBefore && !requests.limitMicros.empty())
    requests.limitMicros.back() = board.lastReplyMicros;
  return done;
}
#endif

void deliverKeys(int input) {
  for (int keys = worldTakeKeys(); keys > 0; --keys)
    while (write(input, "\n", 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool playableInRealTime(std::string_view script, ScriptError& error) {
  int number = 0;
  size_t position = 0;
  while (position <= script.size()) {
    const size_t end = std::min(script.find('\n', position), script.size());
    std::string_view line = script.substr(position, end - position);
    ++number;
    if (const size_t comment = line.find('#'); comment != std::string_view::npos) line = line.substr(0, comment);
    const size_t start = line.find_first_not_of(" \t\r");
    if (start != std::string_view::npos) {
      const std::string_view action = line.substr(start, line.find_first_of(" \t\r", start) - start);
      if (action == "clock") {
        error = {number, "'clock' cannot be played in real time: the program reads the host's own clock"};
        return false;
      }
    }
    if (end == script.size()) break;
    position = end + 1;
  }
  return true;
}

int runRig(const Scenario& scenario, const RigOptions& options) {
  signal(SIGPIPE, SIG_IGN);
  std::string error;
  const std::string gloveName = gloveSharedObjectName(&error);
  if (gloveName.empty()) return cannotSetUp(error);
  Pty pty;
  if (!ptyOpen(pty, error)) return cannotSetUp(error);
  if (!enterPrivateMountNamespace(error) || !mountPrivateShm(error)) return cannotSetUp(error);
  // A serial port that cannot be set up: something that is not a terminal.
  if (!bindOver(scenario.serialFails ? "/dev/null" : pty.slavePath, options.device, error)) return cannotSetUp(error);

  GloveRecordWriter glove;
  const bool gloveThere = !scenario.gloveAbsent;
  const bool flexGlove = !options.gloveFirmware.empty();  // the driver publishes the record
  if (gloveThere && !flexGlove && !gloveWriterCreate(glove, gloveName))
    return cannotSetUp("cannot create the glove record " + glove.error);

  prctl(PR_SET_TIMERSLACK, 1UL);
  const sched_param priority{kRealTimePriority};
  sched_setscheduler(0, SCHED_FIFO, &priority);  // best effort; the program inherits it

  worldStart(scenario, {});
  if (gloveThere) {
    worldRefreshGlove();
    if (!flexGlove) gloveWriterPublish(glove, world.record);
  }
#ifdef SIGNGLOVE_FIRMWARE_BOARD
  std::unique_ptr<BoardLink> board;
  if (!options.firmware.empty()) {
    board = std::make_unique<BoardLink>();
    if (!boardLinkStart(*board, options.firmware, error)) return cannotSetUp(error);
  }
  std::unique_ptr<FlexGloveLink> flex;
  if (flexGlove && gloveThere) {
    flex = std::make_unique<FlexGloveLink>();
    const FlexGloveDriver driver = {options.gloveDriver, options.gloveCalibration, gloveName};
    if (!flexGloveLinkStart(*flex, options.gloveFirmware, driver, world.record, error)) return cannotSetUp(error);
  }
#else
  if (!options.firmware.empty() || flexGlove) return cannotSetUp("built without the firmwares' boards");
#endif
  const int64_t startMicros = wallMicros();
  Program program;
  if (!startProgram(options.command, program, error)) return cannotSetUp(error);

  RequestLog requests;
  rusage usage{};
  int exitStatus = kRigExitStopped;
  ScenarioClock clock;
  for (;;) {
    const int64_t wallNow = wallMicros() - startMicros;
    const int64_t now = scenarioClockAt(clock, wallNow);
    try {
      worldAdvanceTo(now);
    } catch (const SimulationStopped& stopped) {
      endProgram(program, usage);
      std::fprintf(stderr, "signglove-rig: stopped: %s\n", stopped.reason.c_str());
      break;
    }
    int64_t stepMicros = kGloveRefreshMicros;
#ifdef SIGNGLOVE_FIRMWARE_BOARD
    if (board) {
      stepMicros = kBoardStepMicros;
      if (takeRequestsForBoard(pty.master, wallNow, requests, *board)) scenarioClockRequest(clock);
      bool chipStopped = false;
      if (deliverBoardBytes(pty.master, now, requests, *board, chipStopped)) scenarioClockReplyDone(clock);
      if (chipStopped) {
        endProgram(program, usage);
        std::fprintf(stderr, "signglove-rig: stopped: the controller's emulated chip stopped\n");
        break;
      }
    } else
#endif
    {
      if (takeRequests(pty.master, wallNow, requests)) scenarioClockRequest(clock);
      if (deliverBytes(pty.master, requests)) scenarioClockReplyDone(clock);
    }
    deliverKeys(program.input);
    if (gloveThere) {
      worldRefreshGlove();
      if (!flexGlove) gloveWriterPublish(glove, world.record);
    }
#ifdef SIGNGLOVE_FIRMWARE_BOARD
    if (flex) stepMicros = kBoardStepMicros;  // the glove's lines reach the driver as they end
    if (flex && !flexGloveLinkRunTo(*flex, world.record, now, error)) {
      endProgram(program, usage);
      std::fprintf(stderr, "signglove-rig: stopped: %s\n", error.c_str());
      break;
    }
#endif

    const int64_t wakeAt = std::min({now + stepMicros, worldNextHappeningMicros(), worldNextByteMicros()});
    scenarioClockPlan(clock, wakeAt);
    const int64_t waitMicros =
        std::max<int64_t>(0, scenarioClockWallFor(clock, wakeAt) - (wallMicros() - startMicros));
    pollfd watched[2] = {{pty.master, POLLIN, 0}, {program.pidfd, POLLIN, 0}};
    const timespec timeout{static_cast<time_t>(waitMicros / kMicrosPerSecond),
                           static_cast<long>(waitMicros % kMicrosPerSecond * 1000)};
    ppoll(watched, 2, &timeout, nullptr);
    if (watched[1].revents & POLLIN) {
      int status = 0;
      wait4(program.pid, &status, 0, &usage);
      exitStatus = exitStatusOf(status);
      break;
    }
  }
  const int64_t wallUsed = wallMicros() - startMicros;
  if (options.timing) reportTiming(usage, wallUsed, requests);
  close(program.input);
  close(program.pidfd);
  if (gloveThere && !flexGlove) gloveWriterClose(glove);
  ptyClose(pty);
  return exitStatus;
}
