#include "rig/pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool failed(std::string& error, const char* what) {
  error = std::string(what) + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ptyOpen(Pty& pty, std::string& error, bool raw) {
  pty = Pty{};
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty.master < 0) return failed(error, "cannot open a pseudo-terminal");
  char name[128];
  if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 || ptsname_r(pty.master, name, sizeof name) != 0) {
    failed(error, "cannot unlock the pseudo-terminal");
    ptyClose(pty);
    return false;
  }
  pty.slavePath = name;
  pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (pty.slave < 0 || tcgetattr(pty.slave, &settings) != 0) {
    failed(error, "cannot open the pseudo-terminal's slave");
    ptyClose(pty);
    return false;
  }
  if (!raw) return true;
  // Raw from the start: the program makes it raw too, but only once it has opened it.
  cfmakeraw(&settings);
  if (tcsetattr(pty.slave, TCSANOW, &settings) != 0) {
    failed(error, "cannot make the pseudo-terminal raw");
    ptyClose(pty);
    return false;
  }
  return true;
}

void ptyClose(Pty& pty) {
  if (pty.master >= 0) close(pty.master);
  if (pty.slave >= 0) close(pty.slave);
  pty = Pty{};
}
