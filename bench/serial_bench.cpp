// The POSIX serial port's empty take, on a pseudo-terminal: with the device there and
// with it unplugged. An empty take should sleep its millisecond either way; cpu_share
// is the part of the wall time the process spent on a CPU meanwhile.

#include <benchmark/benchmark.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/serial_posix.h"
#include "platform/serial.h"

namespace {

constexpr int kPort = 0;
constexpr int kQueue = 1024;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void emptyTakes(benchmark::State& state, bool unplugged) {
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return state.SkipWithError("no pseudo-terminal");
  char directory[] = "/tmp/signglove-bench-XXXXXX";
  if (!mkdtemp(directory)) return state.SkipWithError("no temporary directory");
  const std::string link = std::string(directory) + "/contacts";
  if (symlink(name, link.c_str()) != 0) return state.SkipWithError("no symlink");
  serialUseDevice(kPort, link.c_str());
  if (serialOpen(kPort, kQueue, kQueue) != 0 || serialSetBaud(kPort, 9600) != 0 ||
      serialSetLine(kPort, 0, 0, 8) != 0)
    return state.SkipWithError("cannot open the port");
  if (unplugged) {
    close(master);
    close(slave);
    master = slave = -1;
  }

  const double cpuStart = cpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(serialTakeByte(kPort));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  state.counters["cpu_share"] = (cpuSeconds() - cpuStart) / wall;

  serialClose(kPort);
  if (master >= 0) close(master);
  if (slave >= 0) close(slave);
  unlink(link.c_str());
  rmdir(directory);
}

void BM_EmptyTakeDeviceThere(benchmark::State& state) { emptyTakes(state, false); }
void BM_EmptyTakeDeviceUnplugged(benchmark::State& state) { emptyTakes(state, true); }

// A few seconds each, so that the CPU share is measured over thousands of takes.
BENCHMARK(BM_EmptyTakeDeviceThere)->Unit(benchmark::kMicrosecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_EmptyTakeDeviceUnplugged)->Unit(benchmark::kMicrosecond)->MinTime(3.0)->UseRealTime();

}  // namespace
