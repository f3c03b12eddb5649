// What the recorder's relay adds to each byte on the contact line: one byte at a time
// goes from a program's pseudo-terminal through the relay to the device's, and the
// same byte straight to the device's terminal for comparison; both ways.
//   ./build/signglove_relay_bench [BYTES [--ahead]]   (--ahead: as the recorder runs it)

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "record/relay.h"

namespace {

constexpr int kDefaultBytes = 2000;
constexpr int kReadWaitMillis = 1000;
constexpr useconds_t kPauseMicros = 200;  // bytes on a 9600 baud line are a millisecond apart anyway

struct Line {
  int master = -1, slave = -1;
  Line() {
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) std::exit(1);
    fcntl(master, F_SETFL, O_NONBLOCK);
    fcntl(slave, F_SETFL, O_NONBLOCK);
  }
};

int64_t nanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Nanoseconds from writing one byte on from to its being readable on to, for each byte.
std::vector<int64_t> oneByteTimes(int from, int to, int count) {
  std::vector<int64_t> times;
  for (int index = 0; index < count; ++index) {
    const uint8_t byte = static_cast<uint8_t>(index);
    const int64_t start = nanos();
    if (write(from, &byte, 1) != 1) break;
    pollfd ready{to, POLLIN, 0};
    if (poll(&ready, 1, kReadWaitMillis) <= 0) break;
    times.push_back(nanos() - start);
    uint8_t got;
    while (read(to, &got, 1) == 1) {
    }
    usleep(kPauseMicros);
  }
  return times;
}

double at(std::vector<int64_t> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : static_cast<double>(values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))]) / 1e3;
}

void report(const char* what, const std::vector<int64_t>& relayed, const std::vector<int64_t>& direct) {
  const double base = at(direct, 0.5);
  std::printf("%-22s through the relay: median %6.1f us, 99%% %6.1f us, worst %7.1f us; straight: median %5.1f us;"
              " added: median %6.1f us, worst %7.1f us\n",
              what, at(relayed, 0.5), at(relayed, 0.99), at(relayed, 1.0), base, at(relayed, 0.5) - base,
              at(relayed, 1.0) - base);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : kDefaultBytes;
  Line program, device;
  int stop[2];
  if (pipe(stop) != 0) return 1;
  RelayLog log;
  // --ahead runs the relay as the recorder does, and the measuring thread likewise, so
  // that the other work on a busy machine does not land in the figures.
  const bool ahead = argc > 2 && std::string(argv[2]) == "--ahead";
  if (ahead) relayRunAhead();
  std::thread relay([&] {
    if (ahead && !relayRunAhead()) std::puts("(the relay cannot run ahead here)");
    relayRun(program.master, device.slave, stop[0], log);
  });

  const std::vector<int64_t> toDevice = oneByteTimes(program.slave, device.master, count);
  const std::vector<int64_t> toProgram = oneByteTimes(device.master, program.slave, count);
  if (write(stop[1], "x", 1) != 1) return 1;
  relay.join();
  Line straight;
  const std::vector<int64_t> directOut = oneByteTimes(straight.slave, straight.master, count);
  const std::vector<int64_t> directIn = oneByteTimes(straight.master, straight.slave, count);

  std::printf("%d bytes each way, one at a time\n", count);
  report("program to controller", toDevice, directOut);
  report("controller to program", toProgram, directIn);
  std::printf("relay's own handling (coming to passed on): median %.1f us, worst %.1f us; bytes lost: %lld;"
              " straight worst: %.1f us, %.1f us\n",
              at(log.timings.sampleNanos, 0.5), static_cast<double>(log.timings.worstNanos) / 1e3,
              static_cast<long long>(log.lostToProgram),
              at(directOut, 1.0), at(directIn, 1.0));
  return 0;
}
