#include "eval/workers.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <string>

namespace {

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

constexpr int kPollMillis = 200;
constexpr double kProgressSeconds = 0.25;
constexpr int kBarWidth = 30;

struct Worker {
  pid_t pid = -1;
  int fd = -1;  // the read end of its pipe; -1 once it has closed
  std::string pending;  // a line not yet complete
};

bool writeAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t result = write(fd, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    written += static_cast<size_t>(result);
  }
  return true;
}

// A worker runs every jobs-th trial from its first and sends, a line each,
// "index TAB correct TAB response TAB csv line".
[[noreturn]] void work(const std::vector<Trial>& trials, size_t first, size_t step, int fd) {
  std::signal(SIGINT, SIG_IGN);  // the parent decides when to stop, and stops the workers
  std::signal(SIGTERM, SIG_DFL);
  for (size_t index = first; index < trials.size(); index += step) {
    const Outcome outcome = runTrial(trials[index].condition, allItems()[trials[index].item]);
    const std::string line = std::to_string(index) + '\t' + (outcome.correct ? '1' : '0') + '\t' + outcome.response +
                             '\t' + csvRow(index, trials[index], outcome) + '\n';
    if (!writeAll(fd, line)) _exit(1);
  }
  _exit(0);
}

std::string duration(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%ldh%02ldm", whole / 3600, whole / 60 % 60);
  else
    std::snprintf(text, sizeof text, "%ldm%02lds", whole / 60, whole % 60);
  return text;
}

void showProgress(size_t done, size_t total, double elapsed) {
  const int filled = total ? static_cast<int>(kBarWidth * done / total) : kBarWidth;
  const std::string left = done ? duration(elapsed / static_cast<double>(done) * static_cast<double>(total - done)) : "?";
  std::fprintf(stderr, "\r[%s%s] %zu/%zu trials, %s left   ", std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, '.').c_str(), done, total, left.c_str());
  std::fflush(stderr);
}

struct Received {
  bool correct;
  std::string response;
  std::string row;
};

// Splits a worker's line; false when it is not one.
bool parseLine(const std::string& line, size_t& index, Received& received) {
  const size_t first = line.find('\t'), second = line.find('\t', first + 1), third = line.find('\t', second + 1);
  if (third == std::string::npos) return false;
  index = std::stoull(line.substr(0, first));
  received.correct = line.substr(first + 1, second - first - 1) == "1";
  received.response = line.substr(second + 1, third - second - 1);
  received.row = line.substr(third + 1);
  return true;
}

}  // namespace

RunResult runTrials(const std::vector<Trial>& trials, const RunOptions& options, Tally& tally) {
  RunResult result;
  stopRequested = 0;
  struct sigaction action = {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  struct sigaction oldInt = {}, oldTerm = {};
  sigaction(SIGINT, &action, &oldInt);
  sigaction(SIGTERM, &action, &oldTerm);

  const size_t jobs = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(options.jobs, 1)), trials.size()));
  std::vector<Worker> workers(trials.empty() ? 0 : jobs);
  std::fflush(nullptr);  // nothing buffered may be written twice by a worker
  for (size_t first = 0; first < workers.size(); ++first) {
    int fds[2];
    if (pipe(fds) != 0) {
      result.failed = true;
      break;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      for (size_t other = 0; other < first; ++other) close(workers[other].fd);
      work(trials, first, jobs, fds[1]);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      result.failed = true;
      break;
    }
    workers[first].pid = pid;
    workers[first].fd = fds[0];
  }

  std::map<size_t, Received> waiting;  // arrived ahead of their turn
  const auto start = std::chrono::steady_clock::now();
  double shownAt = -kProgressSeconds;
  size_t open = 0;
  for (const Worker& worker : workers) open += worker.fd >= 0;
  while (open > 0 && !stopRequested && !result.failed && !result.writeError) {
    std::vector<pollfd> fds;
    std::vector<Worker*> polled;
    for (Worker& worker : workers)
      if (worker.fd >= 0) {
        fds.push_back({worker.fd, POLLIN, 0});
        polled.push_back(&worker);
      }
    if (poll(fds.data(), fds.size(), kPollMillis) < 0 && errno != EINTR) result.failed = true;
    for (size_t index = 0; index < fds.size(); ++index) {
      if (!(fds[index].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Worker& worker = *polled[index];
      char buffer[8192];
      const ssize_t got = read(worker.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(worker.fd);
        worker.fd = -1;
        --open;
        continue;
      }
      worker.pending.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = worker.pending.find('\n')) != std::string::npos;) {
        size_t trial = 0;
        Received received;
        if (parseLine(worker.pending.substr(0, end), trial, received) && trial < trials.size())
          waiting[trial] = std::move(received);
        else
          result.failed = true;
        worker.pending.erase(0, end + 1);
      }
    }
    for (auto next = waiting.find(result.done); next != waiting.end(); next = waiting.find(result.done)) {
      if (std::fprintf(options.csv, "%s\n", next->second.row.c_str()) < 0 || std::ferror(options.csv))
        result.writeError = result.writeError ? result.writeError : errno ? errno : EIO;
      tallyTrial(tally, trials[result.done], next->second.correct, next->second.response);
      waiting.erase(next);
      ++result.done;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options.progress && elapsed - shownAt >= kProgressSeconds) {
      showProgress(result.done, trials.size(), elapsed);
      shownAt = elapsed;
    }
  }
  if (std::fflush(options.csv) != 0 && !result.writeError) result.writeError = errno ? errno : EIO;

  result.interrupted = stopRequested != 0;
  for (Worker& worker : workers) {
    if (worker.pid <= 0) continue;
    if (worker.fd >= 0) {
      kill(worker.pid, SIGTERM);
      close(worker.fd);
    }
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.interrupted && !result.writeError && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
      result.failed = true;
  }
  if (!result.interrupted && !result.writeError && result.done != trials.size()) result.failed = true;
  if (options.progress) {
    showProgress(result.done, trials.size(), 0);
    std::fprintf(stderr, "\n");
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  return result;
}
