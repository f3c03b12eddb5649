// signglove-glove serial's figures, with a glove played here on a pseudo-terminal (run
// by hand):  ./build/drivers/signglove_glove_driver_figures
// - latency: from a line written to the device to the record published with it (the
//   sequence word's futex wakes this reader), median, 99th percentile and worst, and
//   beside it a bare pseudo-terminal hop, which the latency includes;
// - the driver's CPU time (user and system, from wait4) while the glove sends 100 and
//   1000 lines a second for 10 s.

#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/glove_record_writer.h"
#include "platform/glove_shared_record.h"

namespace {

constexpr int kLatencyLines = 2000;
constexpr int64_t kLatencyGapNanos = 2'000'000;  // 500 lines a second
constexpr int64_t kMeasuredNanos = 10'000'000'000;
constexpr int64_t kStartNanos = 300'000'000;
constexpr int64_t kGiveUpNanos = 1'000'000'000;

struct Driver {
  pid_t pid = -1;
  int master = -1;
  std::string object;
  const SharedGloveRecord* record = nullptr;
};

void sleepUntil(int64_t nanos) {
  const timespec until{static_cast<time_t>(nanos / 1'000'000'000), static_cast<long>(nanos % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

bool start(Driver& driver, int run) {
  int slave = -1;
  char device[PATH_MAX];
  if (openpty(&driver.master, &slave, device, nullptr, nullptr) != 0) return false;
  driver.object = "/signglove-driver-figures-" + std::to_string(getpid()) + "-" + std::to_string(run);
  driver.pid = fork();
  if (driver.pid == 0) {
    close(driver.master);
    setenv("SIGNGLOVE_GLOVE", driver.object.c_str(), 1);
    execl(SIGNGLOVE_GLOVE_DRIVER, SIGNGLOVE_GLOVE_DRIVER, "serial", device, nullptr);
    _exit(127);
  }
  close(slave);  // the driver has opened it by the time its object exists
  sleepUntil(gloveMonotonicNanos() + kStartNanos);
  const int fd = shm_open(driver.object.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  void* mapped = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  driver.record = mapped == MAP_FAILED ? nullptr : static_cast<const SharedGloveRecord*>(mapped);
  // What comes before the first line end is the tail of a line to the driver.
  return driver.record != nullptr && write(driver.master, "\n", 1) == 1;
}

// Ends the driver: its CPU seconds, user and system.
double stop(Driver& driver) {
  kill(driver.pid, SIGTERM);
  int status = 0;
  rusage usage{};
  wait4(driver.pid, &status, 0, &usage);
  munmap(const_cast<SharedGloveRecord*>(driver.record), sizeof(SharedGloveRecord));
  close(driver.master);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void writeLine(int master, int thumb) {
  char line[64];
  const int length = std::snprintf(line, sizeof line, "%d,40,33,8,0,1,0,0,0\r\n", thumb);
  if (write(master, line, static_cast<size_t>(length)) != length) std::perror("write");
}

void report(const char* what, std::vector<double> micros) {
  std::sort(micros.begin(), micros.end());
  std::printf("%s: median %.1f us, 99th percentile %.1f us, worst %.1f us (%zu lines)\n", what,
              micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back(), micros.size());
}

void measureLatency() {
  Driver driver;
  if (!start(driver, 0)) return (void)std::fprintf(stderr, "cannot start %s\n", SIGNGLOVE_GLOVE_DRIVER);
  std::vector<double> micros;
  int lost = 0;
  for (int index = 0; index < kLatencyLines; ++index) {
    const int thumb = index % 200 + 1;  // every line differs from the one before
    const int64_t written = gloveMonotonicNanos();
    writeLine(driver.master, thumb);
    bool published = false;
    while (!published && gloveMonotonicNanos() - written < kGiveUpNanos) {
      const uint32_t sequence = __atomic_load_n(&driver.record->sequence, __ATOMIC_ACQUIRE);
      published = sequence % 2 == 0 && __atomic_load_n(&driver.record->bend[0], __ATOMIC_RELAXED) == thumb;
      const timespec bound{0, 100'000'000};
      if (!published) syscall(SYS_futex, &driver.record->sequence, FUTEX_WAIT, sequence, &bound, nullptr, 0);
    }
    if (published) micros.push_back(static_cast<double>(gloveMonotonicNanos() - written) / 1e3);
    lost += published ? 0 : 1;
    sleepUntil(written + kLatencyGapNanos);
  }
  stop(driver);
  if (lost) std::printf("%d lines never published\n", lost);
  report("line written to the device -> record published", micros);

  // The pseudo-terminal alone: written on the master, readable on the slave.
  int master = -1, slave = -1;
  termios raw{};
  cfmakeraw(&raw);  // as the driver sets its line: no echo back, no line editing
  openpty(&master, &slave, nullptr, &raw, nullptr);
  fcntl(slave, F_SETFL, O_NONBLOCK);
  std::vector<double> hop;
  for (int index = 0; index < kLatencyLines; ++index) {
    const int64_t written = gloveMonotonicNanos();
    writeLine(master, 1);
    pollfd ready{slave, POLLIN, 0};
    poll(&ready, 1, 1000);
    hop.push_back(static_cast<double>(gloveMonotonicNanos() - written) / 1e3);
    char drain[256];
    while (read(slave, drain, sizeof drain) > 0) {
    }
    sleepUntil(written + kLatencyGapNanos);
  }
  close(master);
  close(slave);
  report("the pseudo-terminal hop alone", hop);
}

void measureCpu(int linesPerSecond, int run) {
  Driver driver;
  if (!start(driver, run)) return (void)std::fprintf(stderr, "cannot start %s\n", SIGNGLOVE_GLOVE_DRIVER);
  const int64_t gap = 1'000'000'000 / linesPerSecond, begin = gloveMonotonicNanos();
  int64_t lines = 0;
  for (int64_t at = begin; at - begin < kMeasuredNanos; at += gap, ++lines) {
    sleepUntil(at);
    writeLine(driver.master, static_cast<int>(lines % 60));
  }
  const double seconds = static_cast<double>(gloveMonotonicNanos() - begin) / 1e9;
  const double cpu = stop(driver);
  std::printf("%d lines a second: %lld lines in %.1f s, driver CPU %.3f s (user and system, with start-up): %.2f%% of a core\n",
              linesPerSecond, static_cast<long long>(lines), seconds, cpu, 100 * cpu / seconds);
}

}  // namespace

int main() {
  measureLatency();
  measureCpu(100, 1);
  measureCpu(1000, 2);
  return 0;
}
