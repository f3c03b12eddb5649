#include "drivers/test_driver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// A failure bound only.
constexpr int kLineWaitMillis = 10'000;

}  // namespace

bool driverProcessStart(DriverProcess& driver, const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment) {
  int pipes[3][2];
  for (auto& ends : pipes)
    if (pipe2(ends, O_CLOEXEC) != 0) return false;  // the driver keeps only its own ends
  driver.pid = fork();
  if (driver.pid == 0) {
    dup2(pipes[0][0], STDIN_FILENO);
    dup2(pipes[1][1], STDOUT_FILENO);
    dup2(pipes[2][1], STDERR_FILENO);
    for (const std::string& setting : environment) putenv(const_cast<char*>(setting.c_str()));
    std::vector<char*> argv = {const_cast<char*>(SIGNGLOVE_GLOVE_DRIVER)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(SIGNGLOVE_GLOVE_DRIVER, argv.data());
    _exit(127);
  }
  close(pipes[0][0]);
  close(pipes[1][1]);
  close(pipes[2][1]);
  driver.input = pipes[0][1];
  driver.output = pipes[1][0];
  driver.errors = pipes[2][0];
  return driver.pid > 0;
}

std::string driverProcessLine(int fd) {
  std::string line;
  char c = 0;
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, kLineWaitMillis) == 1 && read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

int driverProcessEnd(DriverProcess& driver, int signal, std::string* errors) {
  if (driver.pid <= 0) return -1;
  if (signal) kill(driver.pid, signal);
  int status = 0;
  waitpid(driver.pid, &status, 0);
  char chunk[4096];
  for (ssize_t count; errors && (count = read(driver.errors, chunk, sizeof chunk)) > 0;) errors->append(chunk, count);
  for (int fd : {driver.input, driver.output, driver.errors})
    if (fd >= 0) close(fd);
  driver = DriverProcess{};
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
