#include "record/session_watch.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "rig/mount_namespace.h"

namespace {

bool fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

bool openDevice(const std::string& path, int& fd, std::string& error) {
  fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(error, path);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return fail(error, path);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, B9600) != 0 || cfsetospeed(&settings, B9600) != 0 ||
      tcsetattr(fd, TCSANOW, &settings) != 0)
    return fail(error, path);
  return true;
}

}  // namespace

bool sessionWatchSetUp(SessionWatch& watch, const WatchedProgram& program, std::string& error) {
  if (!openDevice(program.device, watch.device, error) || !ptyOpen(watch.line, error) ||
      !enterPrivateMountNamespace(error) || !bindOver(watch.line.slavePath, program.com1, error))
    return false;
  if (pipe2(watch.stopRelay, O_CLOEXEC) != 0) return fail(error, "pipe");
  return true;
}

void sessionWatchStart(SessionWatch& watch, const WatchedProgram& program) {
  watch.gloveAbsent = !gloveWatchAttach(program.glove);
  watch.relaying = std::thread([&watch] {
    relayRunAhead();  // best effort: where it is not allowed the relay runs as any thread
    relayRun(watch.line.master, watch.device, watch.stopRelay[0], watch.relay);
  });
  if (!watch.gloveAbsent)
    watch.watchingGlove = std::thread(gloveWatchRun, std::cref(watch.stopGlove), std::ref(watch.glove));
}

void sessionWatchStop(SessionWatch& watch) {
  if (watch.relaying.joinable()) {
    if (write(watch.stopRelay[1], "x", 1) < 0) {
    }
    watch.relaying.join();
  }
  watch.stopGlove = true;
  if (watch.watchingGlove.joinable()) watch.watchingGlove.join();
}
