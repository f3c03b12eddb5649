#include "record/child_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

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

}  // namespace

bool childProgramStart(const std::vector<std::string>& command, int terminal, ChildProgram& program,
                       std::string& error) {
  int input[2] = {-1, -1}, execStatus[2];
  if ((terminal < 0 && pipe2(input, O_CLOEXEC) != 0) || pipe2(execStatus, O_CLOEXEC) != 0) return fail(error, "pipe");
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  program.pid = fork();
  if (program.pid < 0) return fail(error, "fork");
  if (program.pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGWINCH}) signal(number, SIG_DFL);
    if (terminal >= 0) {
      setsid();
      ioctl(terminal, TIOCSCTTY, 0);
      dup2(terminal, STDOUT_FILENO);
    }
    dup2(terminal >= 0 ? terminal : input[0], STDIN_FILENO);  // dup2 clears close-on-exec on the copy
    execvp(argv[0], argv.data());
    const int reason = errno;
    if (write(execStatus[1], &reason, sizeof reason) < 0) {
    }
    _exit(kExecFailed);
  }
  close(execStatus[1]);
  if (terminal < 0) {
    close(input[0]);
    program.keys = input[1];
    fcntl(program.keys, F_SETFL, O_NONBLOCK);  // typing never blocks the one who passes it on
  }
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

int childExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

int signalPipeStart(std::initializer_list<int> signals) {
  if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESTART;
  for (int number : signals) sigaction(number, &action, nullptr);
  return signalPipe[0];
}
