#include "record/recorder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include "record/glove_watch.h"
#include "record/recording.h"
#include "record/relay.h"
#include "rig/mount_namespace.h"
#include "rig/pty.h"

namespace {

constexpr size_t kKeyChunk = 256;
constexpr size_t kMostKeysWaiting = 65536;  // typed and not yet taken by the program
constexpr int kExecFailed = 127;
// The script is written this often, up to what has settled: every event still to come
// is later than kSettleMicros ago (a thread may note an event that long after it came).
constexpr int64_t kWriteEveryMicros = 250'000;
constexpr int64_t kSettleMicros = 250'000;
// A program asked to stop (SIGTERM) is killed if it has not ended this much later.
constexpr int64_t kStopGraceMicros = 1'000'000;
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  if (write(signalPipe[1], &byte, 1) < 0) {
  }  // a full pipe already holds a wake-up
  errno = saved;
}

bool fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

// The script file, opened before anything else: never through a symbolic link, never
// over an existing file unless forced, only a regular file (not a FIFO that would block).
struct ScriptFile {
  std::string path;
  int fd = -1;
  bool created = false;  // made here: removed again if the session cannot start
  int64_t bytes = 0;
  int writeError = 0;    // the first write that failed
};

bool openScriptFile(const std::string& path, bool force, ScriptFile& file, std::string& error) {
  file.path = path;
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  file.fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  file.created = file.fd >= 0;
  struct stat link {};
  if (file.fd < 0 && errno == EEXIST && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) errno = ELOOP;
  if (file.fd < 0 && errno == EEXIST && force) file.fd = open(path.c_str(), kFlags);
  if (file.fd < 0) {
    if (errno == EEXIST) error = "cannot write " + path + ": it exists (--force replaces it)";
    else if (errno == ELOOP) error = "cannot write " + path + ": a symbolic link, which is not followed";
    else fail(error, "cannot write " + path);
    return false;
  }
  struct stat status {};
  if (fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = "cannot write " + path + ": not a regular file";
    close(file.fd);
    file.fd = -1;
    return false;
  }
  fcntl(file.fd, F_SETFL, fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
  return true;
}

void writeScript(ScriptFile& file, const std::string& text) {
  for (size_t done = 0; done < text.size() && !file.writeError;) {
    const ssize_t written = write(file.fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      file.writeError = written < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(written);
    file.bytes += written;
  }
}

// The real controller's line, set as the program sets its own: 9600 baud 8N1, raw.
bool openDevice(const std::string& path, int& fd, std::string& error) {
  fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(error, path);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return fail(error, path);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, B9600) != 0 || cfsetospeed(&settings, B9600) != 0 ||
      tcsetattr(fd, TCSANOW, &settings) != 0)
    return fail(error, path);
  return true;
}

int exitStatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// The program running, with its standard input fed from the recorder.
struct Program {
  pid_t pid = -1;
  int keys = -1;  // write end of the program's standard input, non-blocking
};

// Starts the program; false with the reason when it cannot be run at all.
bool startProgram(const std::vector<std::string>& command, Program& program, std::string& error) {
  int input[2], execStatus[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(execStatus, O_CLOEXEC) != 0) return fail(error, "pipe");
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  program.pid = fork();
  if (program.pid < 0) return fail(error, "fork");
  if (program.pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) signal(number, SIG_DFL);
    dup2(input[0], STDIN_FILENO);  // dup2 clears close-on-exec on the copy
    execvp(argv[0], argv.data());
    const int reason = errno;
    if (write(execStatus[1], &reason, sizeof reason) < 0) {
    }
    _exit(kExecFailed);
  }
  close(input[0]);
  close(execStatus[1]);
  program.keys = input[1];
  fcntl(program.keys, F_SETFL, O_NONBLOCK);  // typing never blocks the recorder
  int reason = 0;
  ssize_t got;
  do got = read(execStatus[0], &reason, sizeof reason);
  while (got < 0 && errno == EINTR);
  close(execStatus[0]);
  if (got <= 0) return true;  // closed by a successful exec
  waitpid(program.pid, nullptr, 0);
  errno = reason;
  return fail(error, "cannot run " + command[0]);
}

// Everything the session has noted, turned into script lines as it goes.
struct Session {
  RelayLog line;
  GloveWatchLog glove;
  RecordingStream stream;
  Recording keys;  // typed since the last write (only its keys are used)
  int64_t origin = 0;
  int64_t requests = 0, keysTyped = 0;
  int64_t writingMicros = 0;  // spent making and writing lines
};

// Writes every line that has settled by now (or everything, at the end).
void writeSettled(Session& session, ScriptFile& file, int64_t settledMicros) {
  const int64_t start = monotonicMicros();
  Recording more;
  RelayTaken taken = relayTake(session.line);
  for (int64_t request : taken.requests) more.requests.push_back(request - session.origin);
  for (TimedByte byte : taken.replies) more.replies.push_back({byte.atMicros - session.origin, byte.byte});
  for (GloveSnapshot snapshot : gloveWatchTake(session.glove))
    more.glove.push_back({snapshot.atMicros - session.origin, snapshot.record});
  more.keys.swap(session.keys.keys);
  session.requests += static_cast<int64_t>(more.requests.size());
  session.keysTyped += static_cast<int64_t>(more.keys.size());
  writeScript(file, recordingStreamAdd(session.stream, more, settledMicros));
  session.writingMicros += monotonicMicros() - start;
}

// Passes the user's typing to the program, noting when each character came, and writes
// the script as the session goes, until the program ends. A request to stop (Ctrl-C,
// SIGTERM, a hang-up) is passed to the program, which is killed if it has not ended a
// second later; nothing here blocks meanwhile. The program's wait status.
int superviseProgram(Program& program, Session& session, ScriptFile& file) {
  std::string waiting;  // typed, not yet taken by the program
  bool typing = true;
  int64_t nextWrite = monotonicMicros() + kWriteEveryMicros, killAt = kForever;
  for (;;) {
    int status = 0;
    if (waitpid(program.pid, &status, WNOHANG) == program.pid) return status;
    const int64_t now = monotonicMicros();
    if (now >= killAt) {
      kill(program.pid, SIGKILL);
      killAt = kForever;
    }
    if (now >= nextWrite) {
      writeSettled(session, file, now - kSettleMicros - session.origin);
      nextWrite = now + kWriteEveryMicros;
    }
    pollfd fds[3] = {{signalPipe[0], POLLIN, 0},
                     {typing && waiting.size() < kMostKeysWaiting ? STDIN_FILENO : -1, POLLIN, 0},
                     {!waiting.empty() ? program.keys : -1, POLLOUT, 0}};
    const int64_t wake = std::min(nextWrite, killAt) - now;
    if (poll(fds, 3, static_cast<int>(std::max<int64_t>(1, (wake + 999) / 1000))) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      unsigned char numbers[64];
      const ssize_t count = read(signalPipe[0], numbers, sizeof numbers);
      for (ssize_t index = 0; index < count; ++index)
        if (numbers[index] != SIGCHLD && killAt == kForever) {
          kill(program.pid, SIGTERM);
          killAt = monotonicMicros() + kStopGraceMicros;
        }
    }
    if (fds[1].revents) {
      char bytes[kKeyChunk];
      const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
      if (count > 0) {
        const int64_t typedAt = monotonicMicros() - session.origin;
        session.keys.keys.insert(session.keys.keys.end(), static_cast<size_t>(count), typedAt);
        waiting.append(bytes, static_cast<size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        typing = false;  // the program sees the end of its input once it has the rest
      }
    }
    if (fds[2].revents) {
      const ssize_t written = write(program.keys, waiting.data(), waiting.size());
      if (written > 0) waiting.erase(0, static_cast<size_t>(written));
      if (written < 0 && errno != EAGAIN && errno != EINTR) waiting.clear();  // it closed its input
    }
    if (!typing && waiting.empty() && program.keys >= 0) {
      close(program.keys);
      program.keys = -1;
    }
  }
  int status = 0;
  waitpid(program.pid, &status, 0);
  return status;
}

int64_t median(std::vector<int64_t> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

int cannotSetUp(ScriptFile& file, const std::string& error) {
  std::fprintf(stderr, "signglove-record: %s\n", error.c_str());
  if (file.fd >= 0) close(file.fd);
  if (file.created) unlink(file.path.c_str());  // nothing recorded: nothing left behind
  return kRecordExitCannotSetUp;
}

}  // namespace

int runRecorder(const RecorderOptions& options) {
  std::string error;
  ScriptFile file;
  // OUT first: a session is never recorded only to find it cannot be kept.
  if (!openScriptFile(options.out, options.force, file, error)) {
    std::fprintf(stderr, "signglove-record: %s\n", error.c_str());
    return kRecordExitCannotSetUp;
  }
  int device = -1;
  Pty pty;
  if (!openDevice(options.device, device, error) || !ptyOpen(pty, error) || !enterPrivateMountNamespace(error) ||
      !bindOver(pty.slavePath, options.com1, error))
    return cannotSetUp(file, error);
  int stopRelay[2];
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(stopRelay, O_CLOEXEC) != 0)
    return cannotSetUp(file, std::string("pipe: ") + std::strerror(errno));
  if (!file.created && ftruncate(file.fd, 0) != 0) return cannotSetUp(file, "cannot write " + options.out);

  Session session;
  const bool gloveAbsent = !gloveWatchAttach(options.glove);
  writeScript(file, recordingStreamStart(session.stream,
                                         {"Recorded by signglove-record from " + options.device + ".",
                                          "A scenario script like any other: replay it with signglove-sim or "
                                          "signglove-rig, edit it,",
                                          "or keep it as a test."},
                                         gloveAbsent));
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESTART;
  for (int number : {SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Both watchers run before the program starts, so that nothing it sees is missed.
  std::thread relay([&] {
    relayRunAhead();  // best effort: where it is not allowed the relay runs as any thread
    relayRun(pty.master, device, stopRelay[0], session.line);
  });
  std::atomic<bool> stopGlove{false};
  std::thread gloveWatcher;
  if (!gloveAbsent) gloveWatcher = std::thread(gloveWatchRun, std::cref(stopGlove), std::ref(session.glove));
  auto stopWatching = [&] {
    if (write(stopRelay[1], "x", 1) < 0) {
    }
    stopGlove = true;
    relay.join();
    if (gloveWatcher.joinable()) gloveWatcher.join();
  };

  Program program;
  session.origin = monotonicMicros();
  if (!startProgram(options.command, program, error)) {
    stopWatching();
    return cannotSetUp(file, error);
  }
  const int status = superviseProgram(program, session, file);
  const int64_t end = monotonicMicros() - session.origin;
  stopWatching();

  writeSettled(session, file, kForever);
  const int64_t leftOut = session.line.leftOut + session.stream.leftOutBytes;
  std::vector<std::string> closing = {std::to_string(end / 1000) + " ms, " + std::to_string(session.requests) +
                                      " requests, " + std::to_string(session.glove.changes) + " glove changes, " +
                                      std::to_string(session.keysTyped) + " keys."};
  if (leftOut > 0)
    closing.push_back(std::to_string(leftOut) + " bytes from the controller left out: more than a reply holds, or " +
                      "long after any request.");
  writeScript(file, recordingStreamEnd(session.stream, end, exitStatusOf(status), WIFSIGNALED(status), closing));
  if (close(file.fd) != 0 && !file.writeError) file.writeError = errno;
  if (file.writeError) {
    std::fprintf(stderr, "signglove-record: cannot write %s: %s (the session up to then is in it)\n",
                 options.out.c_str(), std::strerror(file.writeError));
    return kRecordExitCannotSetUp;
  }
  const RelayTimings& timings = session.line.timings;
  std::fprintf(stderr, "signglove-record: wrote %s: %lld bytes for %.1f s of session, in %.1f ms",
               options.out.c_str(), static_cast<long long>(file.bytes), static_cast<double>(end) / 1e6,
               static_cast<double>(session.writingMicros) / 1e3);
  if (timings.bytes > 0)
    std::fprintf(stderr, "; the relay passed %lld bytes on within %.1f us (median), %.1f us (worst) of their coming",
                 static_cast<long long>(timings.bytes), static_cast<double>(median(timings.sampleNanos)) / 1e3,
                 static_cast<double>(timings.worstNanos) / 1e3);
  if (session.line.lostToProgram || session.line.lostToDevice)
    std::fprintf(stderr, "; %lld bytes could not be passed on",
                 static_cast<long long>(session.line.lostToProgram + session.line.lostToDevice));
  if (leftOut > 0) std::fprintf(stderr, "; %lld controller bytes left out", static_cast<long long>(leftOut));
  std::fputc('\n', stderr);
  return exitStatusOf(status);
}
