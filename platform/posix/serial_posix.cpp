// The POSIX backend of the serial library, over termios: raw lines, no flow control.
// A port survives its device going away (a USB adapter unplugged, the other side of
// a pseudo-terminal closed): it closes the dead descriptor and opens the same device
// again, with the same settings, once it is back; never another device that has taken
// its name (the rule is in serial_posix.h).

#include "platform/posix/serial_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com1_device.h"
#include "platform/posix/glove_library_posix.h"
#include "platform/serial.h"

namespace {

constexpr int kPorts = 4;
// An empty take waits this long for data, so that a polling caller sleeps instead of
// spinning while its deadlines stay exact to the millisecond. The first empty take
// after a byte or a send does not wait: that is the check that the queue is empty
// before a request, and waiting there would add a millisecond to every sample.
constexpr int kTakeWaitMillis = 1;
// A send waits at most this long for room in the kernel's transmit buffer.
constexpr int kSendWaitMillis = 100;
constexpr size_t kReadChunk = 256;
// A lost device is looked for again at most this often; opening it never blocks.
constexpr int64_t kReopenIntervalMillis = 100;
constexpr int64_t kNanosPerMilli = 1'000'000;

struct Port {
  int fd = -1;        // -1 while closed, or while the device is lost
  bool opened = false;  // opened by the program and not closed by it
  std::string device;
  std::string openedDevice;  // the path it was opened at, to open again after a loss
  SerialDevice identity;     // what that path led to then
  bool refusalSaid = false;  // that the name now leads elsewhere has been said
  termios settings{};        // the line as last set, put back when it is opened again
  int64_t lastReopenNanos = 0;
  unsigned char buffer[kReadChunk];
  size_t next = 0, end = 0;  // bytes read from the device and not yet taken
  bool lastTakeEmpty = false;  // the last take found nothing, and nothing was sent since
};

Port ports[kPorts];
bool pseudoTerminalsAsAdapters = false;

// Device numbers of terminals that belong to sessions rather than to a device: Unix 98
// and BSD pseudo-terminals, /dev/tty, /dev/console, /dev/ptmx and the virtual consoles.
constexpr unsigned kFirstPtySlaveMajor = 136, kLastPtySlaveMajor = 143;
constexpr unsigned kBsdPtyMasterMajor = 2, kBsdPtySlaveMajor = 3;
constexpr unsigned kVirtualConsoleMajor = 4, kVirtualConsoles = 64;
constexpr unsigned kTtyAuxMajor = 5;  // /dev/tty, /dev/console, /dev/ptmx

bool isSessionTerminal(dev_t number) {
  const unsigned major = ::major(number), minor = ::minor(number);
  return (major >= kFirstPtySlaveMajor && major <= kLastPtySlaveMajor) || major == kBsdPtyMasterMajor ||
         major == kBsdPtySlaveMajor || major == kTtyAuxMajor || (major == kVirtualConsoleMajor && minor < kVirtualConsoles);
}

// Where a character device sits in the hardware: its sysfs device, e.g. the USB
// interface of an adapter; empty when sysfs does not say.
std::string hardwareOf(dev_t number) {
  const std::string link =
      "/sys/dev/char/" + std::to_string(::major(number)) + ":" + std::to_string(::minor(number)) + "/device";
  char resolved[PATH_MAX];
  return realpath(link.c_str(), resolved) ? resolved : "";
}

SerialDevice deviceOf(const std::string& path, const struct stat& status) {
  SerialDevice device;
  device.found = S_ISCHR(status.st_mode);
  device.number = status.st_rdev;
  device.sessionTerminal = device.found && !pseudoTerminalsAsAdapters && isSessionTerminal(status.st_rdev);
  struct stat link {};
  device.namedByLink = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  if (device.found) device.hardware = hardwareOf(status.st_rdev);
  return device;
}

Port* openPort(int port) {
  if (port < 0 || port >= kPorts || !ports[port].opened) return nullptr;
  return &ports[port];
}

int64_t monotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void sleepUntil(int64_t nanos) {
  const timespec until{static_cast<time_t>(nanos / 1'000'000'000), static_cast<long>(nanos % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

// Applies the settings and remembers them for a reopen; 0, or -1 on failure.
int applySettings(Port& p, const termios& settings) {
  if (tcsetattr(p.fd, TCSANOW, &settings) != 0) return -1;
  p.settings = settings;
  return 0;
}

// The device hung up or failed: drop its descriptor. Bytes already read stay takeable.
void loseDevice(Port& p) {
  close(p.fd);
  p.fd = -1;
  p.lastReopenNanos = monotonicNanos();
  p.refusalSaid = false;
  if (p.identity.sessionTerminal)
    std::fprintf(stderr, "%s: hung up; a pseudo-terminal is not opened again (its number goes to the next session)\n",
                 p.openedDevice.c_str());
  else
    std::fprintf(stderr, "%s: gone; it is opened again once the same device is back\n", p.openedDevice.c_str());
}

// Opens a lost device again with the port's settings, if the same device is back and
// the last try was long enough ago. True when the port has a device.
bool haveDevice(Port& p) {
  if (p.fd >= 0) return true;
  if (p.identity.sessionTerminal) return false;
  const int64_t now = monotonicNanos();
  if (now - p.lastReopenNanos < kReopenIntervalMillis * kNanosPerMilli) return false;
  p.lastReopenNanos = now;
  const SerialDevice there = serialDeviceAt(p.openedDevice);
  if (!serialMayReopen(p.identity, there)) {
    if (there.found && !p.refusalSaid)
      std::fprintf(stderr, "%s: now leads to another device; not opened\n", p.openedDevice.c_str());
    p.refusalSaid = p.refusalSaid || there.found;
    return false;
  }
  const int fd = open(p.openedDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat status {};
  // What was opened must be what was looked at: the name may have moved in between.
  if (fstat(fd, &status) != 0 || status.st_rdev != there.number || tcsetattr(fd, TCSANOW, &p.settings) != 0) {
    close(fd);
    return false;
  }
  p.fd = fd;
  std::fprintf(stderr, "%s: back, opened again\n", p.openedDevice.c_str());
  return true;
}

// Reads what the device has into the port's buffer, waiting up to waitNanos for it.
// A hang-up or an I/O error loses the device.
void fillBuffer(Port& p, int64_t waitNanos) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const ssize_t count = read(p.fd, p.buffer, kReadChunk);
    if (count > 0) {
      p.next = 0;
      p.end = static_cast<size_t>(count);
      return;
    }
    // A raw line that never blocks reads 0 when it is empty, and also once hung up;
    // poll tells the two apart.
    if (count < 0 && errno != EAGAIN && errno != EINTR) return loseDevice(p);
    if (attempt == 1) return;
    pollfd ready{p.fd, POLLIN, 0};
    // A wait already over (opening the device again took longer) is no wait: poll
    // would take a negative time-out for ever.
    const int waitMillis = waitNanos <= 0 ? 0 : static_cast<int>((waitNanos + kNanosPerMilli - 1) / kNanosPerMilli);
    if (poll(&ready, 1, waitMillis) < 0) return;
    if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // Whatever arrived before the hang-up is still read; the next take finds it gone.
      const ssize_t last = read(p.fd, p.buffer, kReadChunk);
      if (last > 0) {
        p.next = 0;
        p.end = static_cast<size_t>(last);
        return;
      }
      return loseDevice(p);
    }
  }
}

speed_t speedFor(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    // Glove boards on USB serial adapters run faster than the contact controller.
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 2000000: return B2000000;
    default: return B0;
  }
}

tcflag_t sizeFor(int dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return 0;
  }
}

// Parity codes: 0 none, 1 odd, 2 even. Stop-bit codes: 0 one, 2 two.
constexpr int kNoParity = 0, kOddParity = 1, kEvenParity = 2;
constexpr int kOneStopBit = 0, kTwoStopBits = 2;

// The program's own message says only that COM1 failed; this line says which device and why.
int reportSetupFailure(const std::string& device) {
  std::fprintf(stderr, "%s: %s\n", device.c_str(), std::strerror(errno));
  return -1;
}

}  // namespace

void serialUseDevice(int port, const char* path) {
  if (port >= 0 && port < kPorts) ports[port].device = path ? path : "";
}

SerialDevice serialDeviceAt(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return {};
  return deviceOf(path, status);
}

bool serialMayReopen(const SerialDevice& opened, const SerialDevice& now) {
  if (!now.found || opened.sessionTerminal || now.sessionTerminal) return false;
  if (opened.namedByLink && now.namedByLink) return true;  // the link names the device, wherever it sits
  return now.number == opened.number && now.hardware == opened.hardware;
}

void serialTestPseudoTerminalsAsAdapters(bool on) { pseudoTerminalsAsAdapters = on; }

int serialDescriptor(int port) {
  const Port* p = openPort(port);
  return p ? p->fd : -1;
}

int serialOpen(int port, int, int) {
  if (port < 0 || port >= kPorts || ports[port].opened) return -1;
  Port& p = ports[port];
  std::string error;
  const std::string device = !p.device.empty() ? p.device : port == 0 ? com1Device(&error) : "/dev/ttyS" + std::to_string(port);
  if (device.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return -1;
  }
  // The kernel keeps the queues; their sizes are its own.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return reportSetupFailure(device);
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    reportSetupFailure(device);
    close(fd);
    return -1;
  }
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    reportSetupFailure(device);
    close(fd);
    return -1;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~CRTSCTS;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  p.fd = fd;
  if (applySettings(p, settings) != 0) {
    reportSetupFailure(device);
    close(fd);
    p.fd = -1;
    return -1;
  }
  p.opened = true;
  p.openedDevice = device;
  p.identity = deviceOf(device, status);
  p.next = p.end = 0;
  return 0;
}

int serialSetBaud(int port, int baud) {
  Port* p = openPort(port);
  const speed_t speed = speedFor(baud);
  termios settings{};
  if (!p || speed == B0 || tcgetattr(p->fd, &settings) != 0) return -1;
  if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return -1;
  return applySettings(*p, settings);
}

int serialSetLine(int port, int parityCode, int stopBitsCode, int dataBits) {
  Port* p = openPort(port);
  const tcflag_t size = sizeFor(dataBits);
  termios settings{};
  if (!p || size == 0 || tcgetattr(p->fd, &settings) != 0) return -1;
  if (parityCode != kNoParity && parityCode != kOddParity && parityCode != kEvenParity) return -1;
  if (stopBitsCode != kOneStopBit && stopBitsCode != kTwoStopBits) return -1;
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  settings.c_cflag |= size;
  if (parityCode != kNoParity) settings.c_cflag |= PARENB | (parityCode == kOddParity ? PARODD : 0);
  if (stopBitsCode == kTwoStopBits) settings.c_cflag |= CSTOPB;
  return applySettings(*p, settings);
}

int serialClose(int port) {
  Port* p = openPort(port);
  if (!p) return -1;
  const int result = p->fd >= 0 ? close(p->fd) : 0;  // a lost device is closed already
  p->fd = -1;
  p->opened = false;
  p->next = p->end = 0;
  return result == 0 ? 0 : -1;
}

int serialSendByte(int port, int byte) {
  gloveLibraryNoteOtherCall();
  Port* p = openPort(port);
  if (!p || !haveDevice(*p)) return -1;
  p->lastTakeEmpty = false;
  const unsigned char value = static_cast<unsigned char>(byte);
  for (;;) {
    const ssize_t written = write(p->fd, &value, 1);
    if (written == 1) return 0;
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) {
      loseDevice(*p);
      return -1;
    }
    pollfd ready{p->fd, POLLOUT, 0};
    if (poll(&ready, 1, kSendWaitMillis) <= 0) return -1;
    if (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      loseDevice(*p);
      return -1;
    }
  }
}

// An empty take always lasts its millisecond, whatever the device's state: a caller
// polling a hung-up or missing device sleeps instead of spinning a core.
int serialTakeByte(int port) {
  gloveLibraryNoteOtherCall();
  Port* p = openPort(port);
  if (!p) return -1;
  if (p->next == p->end) {
    const int64_t waitEnds = monotonicNanos() + (p->lastTakeEmpty ? kTakeWaitMillis * kNanosPerMilli : 0);
    if (haveDevice(*p)) fillBuffer(*p, waitEnds - monotonicNanos());
    if (p->next == p->end) sleepUntil(waitEnds);
  }
  p->lastTakeEmpty = p->next == p->end;
  return p->next < p->end ? p->buffer[p->next++] : -1;
}
