#include "record/recorder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include "record/child_program.h"
#include "record/recording.h"
#include "record/session_watch.h"

namespace {

constexpr size_t kKeyChunk = 256;
constexpr size_t kMostKeysWaiting = 65536;  // typed and not yet taken by the program
// The script is written this often, up to what has settled: every event still to come
// is later than kSettleMicros ago (a thread may note an event that long after it came).
constexpr int64_t kWriteEveryMicros = 250'000;
constexpr int64_t kSettleMicros = 250'000;
// A program asked to stop (SIGTERM) is killed if it has not ended this much later.
constexpr int64_t kStopGraceMicros = 1'000'000;
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

int signals = -1;  // the signals' pipe

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

// Everything the session has noted, turned into script lines as it goes.
struct Session {
  SessionWatch watch;
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
  RelayTaken taken = relayTake(session.watch.relay);
  for (int64_t request : taken.requests) more.requests.push_back(request - session.origin);
  for (TimedByte byte : taken.replies) more.replies.push_back({byte.atMicros - session.origin, byte.byte});
  for (GloveSnapshot snapshot : gloveWatchTake(session.watch.glove))
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
int superviseProgram(ChildProgram& program, Session& session, ScriptFile& file) {
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
    pollfd fds[3] = {{signals, POLLIN, 0},
                     {typing && waiting.size() < kMostKeysWaiting ? STDIN_FILENO : -1, POLLIN, 0},
                     {!waiting.empty() ? program.keys : -1, POLLOUT, 0}};
    const int64_t wake = std::min(nextWrite, killAt) - now;
    if (poll(fds, 3, static_cast<int>(std::max<int64_t>(1, (wake + 999) / 1000))) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      unsigned char numbers[64];
      const ssize_t count = read(signals, numbers, sizeof numbers);
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
  Session session;
  if (!sessionWatchSetUp(session.watch, options.watched, error)) return cannotSetUp(file, error);
  if ((signals = signalPipeStart({SIGCHLD, SIGINT, SIGTERM, SIGHUP})) < 0)
    return cannotSetUp(file, std::string("pipe: ") + std::strerror(errno));
  if (!file.created && ftruncate(file.fd, 0) != 0) return cannotSetUp(file, "cannot write " + options.out);
  signal(SIGPIPE, SIG_IGN);

  sessionWatchStart(session.watch, options.watched);
  writeScript(file, recordingStreamStart(session.stream,
                                         {"Recorded by signglove-record from " + options.watched.device + ".",
                                          "A scenario script like any other: replay it with signglove-sim or "
                                          "signglove-rig, edit it,",
                                          "or keep it as a test."},
                                         session.watch.gloveAbsent));
  ChildProgram program;
  session.origin = monotonicMicros();
  if (!childProgramStart(options.watched.command, -1, program, error)) {
    sessionWatchStop(session.watch);
    return cannotSetUp(file, error);
  }
  const int status = superviseProgram(program, session, file);
  const int64_t end = monotonicMicros() - session.origin;
  sessionWatchStop(session.watch);

  writeSettled(session, file, kForever);
  const int64_t leftOut = session.watch.relay.leftOut + session.stream.leftOutBytes;
  std::vector<std::string> closing = {std::to_string(end / 1000) + " ms, " + std::to_string(session.requests) +
                                      " requests, " + std::to_string(session.watch.glove.changes) + " glove changes, " +
                                      std::to_string(session.keysTyped) + " keys."};
  if (leftOut > 0)
    closing.push_back(std::to_string(leftOut) + " bytes from the controller left out: more than a reply holds, or " +
                      "long after any request.");
  writeScript(file, recordingStreamEnd(session.stream, end, childExitStatus(status), WIFSIGNALED(status), closing));
  if (close(file.fd) != 0 && !file.writeError) file.writeError = errno;
  if (file.writeError) {
    std::fprintf(stderr, "signglove-record: cannot write %s: %s (the session up to then is in it)\n",
                 options.out.c_str(), std::strerror(file.writeError));
    return kRecordExitCannotSetUp;
  }
  const RelayTimings& timings = session.watch.relay.timings;
  std::fprintf(stderr, "signglove-record: wrote %s: %lld bytes for %.1f s of session, in %.1f ms",
               options.out.c_str(), static_cast<long long>(file.bytes), static_cast<double>(end) / 1e6,
               static_cast<double>(session.writingMicros) / 1e3);
  if (timings.bytes > 0)
    std::fprintf(stderr, "; the relay passed %lld bytes on within %.1f us (median), %.1f us (worst) of their coming",
                 static_cast<long long>(timings.bytes), static_cast<double>(median(timings.sampleNanos)) / 1e3,
                 static_cast<double>(timings.worstNanos) / 1e3);
  if (session.watch.relay.lostToProgram || session.watch.relay.lostToDevice)
    std::fprintf(stderr, "; %lld bytes could not be passed on",
                 static_cast<long long>(session.watch.relay.lostToProgram + session.watch.relay.lostToDevice));
  if (leftOut > 0) std::fprintf(stderr, "; %lld controller bytes left out", static_cast<long long>(leftOut));
  std::fputc('\n', stderr);
  return childExitStatus(status);
}
