#include "record/relay.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "contacts/contact_packet.h"

namespace {

constexpr size_t kChunk = 256;
// Low among real-time priorities: ahead of every ordinary process, behind the kernel's
// own threads. The relay sleeps in poll() between bytes, so it never hogs a core.
constexpr int kRunAheadPriority = 10;
// A side that takes nothing for this long has stopped reading; what it would not take
// is counted as lost rather than holding up the other direction.
constexpr int kWriteWaitMillis = 100;

int64_t monotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Writes all of the bytes, waiting for room; the number written.
size_t writeAll(int fd, const uint8_t* bytes, size_t count) {
  size_t written = 0;
  while (written < count) {
    const ssize_t result = write(fd, bytes + written, count - written);
    if (result > 0) {
      written += static_cast<size_t>(result);
      continue;
    }
    if (result < 0 && errno == EINTR) continue;
    if (result < 0 && errno != EAGAIN) break;
    pollfd room{fd, POLLOUT, 0};
    if (poll(&room, 1, kWriteWaitMillis) <= 0) break;
  }
  return written;
}

void noteTiming(RelayTimings& timings, int64_t nanos, int64_t count) {
  timings.bytes += count;
  timings.worstNanos = std::max(timings.worstNanos, nanos);
  for (int64_t byte = 0; byte < count && timings.sampleNanos.size() < kRelayTimingSamples; ++byte)
    timings.sampleNanos.push_back(nanos);
}

// Reads what has come on from and passes it to to. False when from has nothing more to
// give (an error or its end). The device's bytes are noted as they came, before they
// are passed on, so that a slow program never holds their note back.
bool pass(int from, int to, bool fromProgram, int64_t cameNanos, RelayLog& log) {
  uint8_t bytes[kChunk];
  const ssize_t count = read(from, bytes, sizeof bytes);
  if (count < 0) return errno == EINTR || errno == EAGAIN;
  if (count == 0) return false;
  const size_t size = static_cast<size_t>(count);
  if (!fromProgram) {
    const std::lock_guard<std::mutex> lock(log.mutex);
    // A reply has room for so much; beyond it, a flood is passed on but not noted.
    for (size_t index = 0; index < size; ++index, ++log.sinceRequest) {
      if (log.sinceRequest < kMostBytesPerExchange)
        log.replies.push_back({cameNanos / 1000, bytes[index]});
      else
        ++log.leftOut;
    }
  }
  const size_t written = writeAll(to, bytes, size);
  const int64_t doneNanos = monotonicNanos();
  const std::lock_guard<std::mutex> lock(log.mutex);
  noteTiming(log.timings, doneNanos - cameNanos, static_cast<int64_t>(written));
  if (fromProgram) {
    for (size_t index = 0; index < written; ++index)
      if (bytes[index] == kRequestByte) {
        log.requests.push_back(doneNanos / 1000);
        log.sinceRequest = 0;
      }
    log.lostToDevice += static_cast<int64_t>(size - written);
  } else {
    log.lostToProgram += static_cast<int64_t>(size - written);
  }
  return true;
}

}  // namespace

int64_t monotonicMicros() { return monotonicNanos() / 1000; }

RelayTaken relayTake(RelayLog& log) {
  RelayTaken taken;
  const std::lock_guard<std::mutex> lock(log.mutex);
  taken.requests.swap(log.requests);
  taken.replies.swap(log.replies);
  return taken;
}

bool relayRunAhead() {
  sched_param priority{};
  priority.sched_priority = kRunAheadPriority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
}

void relayRun(int programFd, int deviceFd, int stopFd, RelayLog& log) {
  pollfd fds[3] = {{programFd, POLLIN, 0}, {deviceFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, 3, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    const int64_t cameNanos = monotonicNanos();
    if (fds[2].revents) return;
    // A side that has ended (the device unplugged) is no longer watched; the other
    // goes on until the recording stops.
    if (fds[0].revents && !pass(programFd, deviceFd, true, cameNanos, log)) fds[0].fd = -1;
    if (fds[1].revents && !pass(deviceFd, programFd, false, cameNanos, log)) fds[1].fd = -1;
  }
}
