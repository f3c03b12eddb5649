// The glove bridge's figures, with a driver played here (run by hand):
//   ./build/signglove_glove_figures [PROGRAM]   (default: the signglove beside it)
// - what a poll that never waits costs (the record is read with pread, three reads);
// - the real program's CPU time (its time on a CPU, /proc/PID/schedstat) while it waits for a button (calibration's first A), with a
//   driver beating every millisecond, then with the driver stopped (no beat, no change);
// - how long after a driver restarts (a new object under the name) a reader waiting as
//   the program waits for a button reads the new object.
// The program runs with SIGNGLOVE_COM1=/dev/ptmx (a terminal that needs no controller
// before calibration) and a glove object of this run's own.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/glove_library.h"
#include "platform/glove_record_writer.h"
#include "platform/posix/glove_library_posix.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPolls = 200'000;
constexpr int kRestarts = 5;
constexpr auto kMeasured = std::chrono::seconds(10);

double cpuSeconds() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

// The time a process has been on a CPU so far, in seconds (from /proc, in nanoseconds).
double childCpuSeconds(pid_t pid) {
  FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/schedstat").c_str(), "r");
  if (!stat) return 0;
  unsigned long long nanos = 0;
  if (std::fscanf(stat, "%llu", &nanos) != 1) nanos = 0;
  std::fclose(stat);
  return static_cast<double>(nanos) / 1e9;
}

GloveRecord pressing(bool a) {
  GloveRecord record{};
  record.buttons[0] = a ? 1 : 0;
  return record;
}

struct Program {
  pid_t pid = -1;
  int out = -1;  // its standard output
  std::string seen;

  // Reads what it printed until text appears or the bound passes; true when it appeared.
  bool waitFor(const std::string& text, std::chrono::milliseconds bound) {
    for (const auto until = Clock::now() + bound; seen.find(text) == std::string::npos && Clock::now() < until;) {
      pollfd ready{out, POLLIN, 0};
      if (poll(&ready, 1, 10) == 1) {
        char chunk[256];
        const ssize_t got = read(out, chunk, sizeof chunk);
        if (got > 0) seen.append(chunk, static_cast<size_t>(got));
      }
    }
    return seen.find(text) != std::string::npos;
  }
};

Program start(const std::string& path, const std::string& glove) {
  int output[2], input[2];
  if (pipe(output) != 0 || pipe(input) != 0) return {};
  Program program;
  program.pid = fork();
  if (program.pid == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    setenv("SIGNGLOVE_COM1", "/dev/ptmx", 1);
    setenv("SIGNGLOVE_GLOVE", glove.c_str(), 1);
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  close(input[0]);
  program.out = output[0];
  return program;
}

// The program's share of a core while the driver beats (every millisecond) or not.
double shareWhile(Program& program, GloveRecordWriter& driver, bool beating) {
  const double before = childCpuSeconds(program.pid);
  const auto until = Clock::now() + kMeasured;
  while (Clock::now() < until) {
    if (beating) gloveWriterPublish(driver, pressing(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return (childCpuSeconds(program.pid) - before) / std::chrono::duration<double>(kMeasured).count();
}

std::string beside(const char* name) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
  return path.substr(0, path.rfind('/') + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string glove = "/signglove-glove-figures-" + std::to_string(getpid());
  GloveRecordWriter driver;
  if (!gloveWriterCreate(driver, glove)) {
    std::fprintf(stderr, "%s\n", driver.error.c_str());
    return 1;
  }
  gloveWriterPublish(driver, pressing(false));

  gloveLibraryUseObject(glove.c_str());
  if (gloveLibraryInit() != 1) return 1;
  const double before = cpuSeconds();
  for (int poll = 0; poll < kPolls; ++poll) {
    gloveLibraryNoteOtherCall();
    gloveLibraryRecord();
  }
  std::printf("a poll that never waits: %.2f us of CPU (user+sys), over %d polls\n",
              (cpuSeconds() - before) / kPolls * 1e6, kPolls);
  gloveLibraryClose();

  Program program = start(argc > 1 ? argv[1] : beside("signglove"), glove);
  if (!program.waitFor("press A button", std::chrono::seconds(10))) {
    std::fprintf(stderr, "the program did not reach calibration: [%s]\n", program.seen.c_str());
    return 1;
  }
  std::printf("the program waiting for A, the driver beating every ms: %.2f%% of a core (%lld s on a CPU)\n",
              100 * shareWhile(program, driver, true), static_cast<long long>(kMeasured.count()));
  std::printf("the program waiting for A, the driver stopped:          %.2f%% of a core (%lld s on a CPU)\n",
              100 * shareWhile(program, driver, false), static_cast<long long>(kMeasured.count()));

  kill(program.pid, SIGTERM);
  waitpid(program.pid, nullptr, 0);

  // Restarts: a new object under the name, read by polls that wait as the program's do.
  gloveWriterPublish(driver, pressing(false));
  gloveLibraryUseObject(glove.c_str());
  if (gloveLibraryInit() != 1) return 1;
  std::vector<double> millis;
  for (int restart = 1; restart <= kRestarts; ++restart) {
    gloveLibraryRecord();
    gloveWriterClose(driver);
    const auto restarted = Clock::now();
    if (!gloveWriterCreate(driver, glove)) return 1;
    GloveRecord marked = pressing(false);
    marked.x = static_cast<float>(restart);
    gloveWriterPublish(driver, marked);
    while (gloveLibraryRecord()->x != marked.x && Clock::now() - restarted < std::chrono::seconds(5))
      if (Clock::now() - restarted > std::chrono::milliseconds(50)) gloveWriterPublish(driver, marked);  // beats on
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - restarted).count());
  }
  std::sort(millis.begin(), millis.end());
  std::printf("a driver's restart was read after %.0f ms (median of %d; %.0f to %.0f)\n", millis[millis.size() / 2],
              kRestarts, millis.front(), millis.back());
  gloveLibraryClose();
  gloveWriterClose(driver);
  return 0;
}
