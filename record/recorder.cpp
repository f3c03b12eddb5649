#include "record/recorder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/glove_record_writer.h"
#include "record/glove_watch.h"
#include "record/recording.h"
#include "record/relay.h"
#include "rig/mount_namespace.h"
#include "rig/pty.h"

namespace {

constexpr size_t kKeyChunk = 256;
constexpr int kExecFailed = 127;

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

void writeKeys(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the program has closed its standard input
    bytes += written;
    count -= static_cast<size_t>(written);
  }
}

int exitStatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// The program running, with its standard input fed from the recorder.
struct Program {
  pid_t pid = -1;
  int keys = -1;  // write end of the program's standard input
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
    signal(SIGPIPE, SIG_DFL);
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

// Passes the user's typing to the program, noting when each character came, until the
// program ends; forwards a request to stop (Ctrl-C, SIGTERM) to it. Its wait status.
int superviseProgram(Program& program, std::vector<int64_t>& keys) {
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents) {
      unsigned char numbers[64];
      const ssize_t count = read(signalPipe[0], numbers, sizeof numbers);
      for (ssize_t index = 0; index < count; ++index)
        if (numbers[index] != SIGCHLD) kill(program.pid, SIGTERM);
      int status = 0;
      if (waitpid(program.pid, &status, WNOHANG) == program.pid) return status;
    }
    if (fds[0].revents) {
      char bytes[kKeyChunk];
      const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
      if (count > 0) {
        const int64_t now = monotonicMicros();
        for (ssize_t index = 0; index < count; ++index) keys.push_back(now);
        writeKeys(program.keys, bytes, static_cast<size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        close(program.keys);  // the program sees the end of its input too
        program.keys = -1;
        fds[0].fd = -1;
      }
    }
  }
  int status = 0;
  waitpid(program.pid, &status, 0);
  return status;
}

int64_t percentile(std::vector<int64_t> values, double fraction) {
  if (values.empty()) return 0;
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
  return values[index];
}

}  // namespace

int runRecorder(const RecorderOptions& options) {
  std::string error;
  int device = -1;
  Pty pty;
  if (!openDevice(options.device, device, error) || !ptyOpen(pty, error) || !enterPrivateMountNamespace(error) ||
      !bindOver(pty.slavePath, options.com1, error)) {
    std::fprintf(stderr, "signglove-record: %s\n", error.c_str());
    return kRecordExitCannotSetUp;
  }
  // Opened now, so that a session is never recorded only to find it cannot be kept.
  std::ofstream file(options.out, std::ios::binary | std::ios::trunc);
  if (!file) {
    std::fprintf(stderr, "signglove-record: cannot write %s: %s\n", options.out.c_str(), std::strerror(errno));
    return kRecordExitCannotSetUp;
  }
  Recording recording;
  recording.gloveAbsent = !gloveWatchAttach(gloveSharedObjectName());

  int stopRelay[2];
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(stopRelay, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "signglove-record: pipe: %s\n", std::strerror(errno));
    return kRecordExitCannotSetUp;
  }
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESTART;
  for (int number : {SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Both watchers run before the program starts, so that nothing it sees is missed.
  RelayLog line;
  std::thread relay([&] {
    relayRunAhead();  // best effort: where it is not allowed the relay runs as any thread
    relayRun(pty.master, device, stopRelay[0], line);
  });
  std::atomic<bool> stopGlove{false};
  std::vector<GloveSnapshot> glove;
  std::thread gloveWatcher;
  if (!recording.gloveAbsent) gloveWatcher = std::thread(gloveWatchRun, std::cref(stopGlove), std::ref(glove));
  auto stopWatching = [&] {
    if (write(stopRelay[1], "x", 1) < 0) {
    }
    stopGlove = true;
    relay.join();
    if (gloveWatcher.joinable()) gloveWatcher.join();
  };

  Program program;
  if (!startProgram(options.command, program, error)) {
    stopWatching();
    std::fprintf(stderr, "signglove-record: %s\n", error.c_str());
    return kRecordExitCannotSetUp;
  }
  const int64_t origin = monotonicMicros();
  const int status = superviseProgram(program, recording.keys);
  const int64_t end = monotonicMicros();
  stopWatching();

  recording.notes = {"Recorded by signglove-record from " + options.device + ": " +
                         std::to_string((end - origin) / 1000) + " ms, " + std::to_string(line.requests.size()) +
                         " requests, " + std::to_string(glove.size()) + " glove changes, " +
                         std::to_string(recording.keys.size()) + " keys.",
                     "A scenario script like any other: replay it with signglove-sim or signglove-rig, edit it,",
                     "or keep it as a test."};
  for (GloveSnapshot snapshot : glove) recording.glove.push_back({snapshot.atMicros - origin, snapshot.record});
  for (int64_t request : line.requests) recording.requests.push_back(request - origin);
  for (TimedByte byte : line.replies) recording.replies.push_back({byte.atMicros - origin, byte.byte});
  for (int64_t& key : recording.keys) key -= origin;
  recording.endMicros = end - origin;
  recording.exitStatus = exitStatusOf(status);
  recording.endedBySignal = WIFSIGNALED(status);

  const int64_t writeStart = monotonicMicros();
  const std::string script = recordingScript(recording);
  file << script;
  file.close();
  const int64_t writeMicros = monotonicMicros() - writeStart;
  if (!file) {
    std::fprintf(stderr, "signglove-record: cannot write %s: %s\n", options.out.c_str(), std::strerror(errno));
    return kRecordExitCannotSetUp;
  }
  std::fprintf(stderr, "signglove-record: wrote %s: %zu bytes for %.1f s of session, in %.1f ms", options.out.c_str(),
               script.size(), static_cast<double>(end - origin) / 1e6, static_cast<double>(writeMicros) / 1e3);
  if (!line.handlingNanos.empty())
    std::fprintf(stderr, "; the relay passed %zu bytes on within %.1f us (median), %.1f us (worst) of their coming",
                 line.handlingNanos.size(), static_cast<double>(percentile(line.handlingNanos, 0.5)) / 1e3,
                 static_cast<double>(percentile(line.handlingNanos, 1.0)) / 1e3);
  if (line.lostToProgram || line.lostToDevice)
    std::fprintf(stderr, "; %lld bytes could not be passed on",
                 static_cast<long long>(line.lostToProgram + line.lostToDevice));
  std::fputc('\n', stderr);
  return recording.exitStatus;
}
