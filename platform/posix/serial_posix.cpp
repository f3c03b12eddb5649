// The POSIX backend of the serial library, over termios: raw lines, no flow control.

#include "platform/posix/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/glove_library_posix.h"
#include "platform/serial.h"

namespace {

constexpr int kPorts = 4;
// An empty take waits this long for data, so that a polling caller sleeps instead of
// spinning while its deadlines stay exact to the millisecond.
constexpr int kTakeWaitMillis = 1;
// A send waits at most this long for room in the kernel's transmit buffer.
constexpr int kSendWaitMillis = 100;
constexpr size_t kReadChunk = 256;

struct Port {
  int fd = -1;
  std::string device;
  unsigned char buffer[kReadChunk];
  size_t next = 0, end = 0;  // bytes read from the device and not yet taken
};

Port ports[kPorts];

Port* openPort(int port) {
  if (port < 0 || port >= kPorts || ports[port].fd < 0) return nullptr;
  return &ports[port];
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

#ifndef SIGNGLOVE_COM1
#define SIGNGLOVE_COM1 "/dev/ttyS0"
#endif

}  // namespace

void serialUseDevice(int port, const char* path) {
  if (port >= 0 && port < kPorts) ports[port].device = path ? path : "";
}

int serialOpen(int port, int, int) {
  if (port < 0 || port >= kPorts || ports[port].fd >= 0) return -1;
  Port& p = ports[port];
  const std::string device = !p.device.empty() ? p.device : port == 0 ? SIGNGLOVE_COM1 : "/dev/ttyS" + std::to_string(port);
  // The kernel keeps the queues; their sizes are its own.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return reportSetupFailure(device);
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
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    reportSetupFailure(device);
    close(fd);
    return -1;
  }
  p.fd = fd;
  p.next = p.end = 0;
  return 0;
}

int serialSetBaud(int port, int baud) {
  Port* p = openPort(port);
  const speed_t speed = speedFor(baud);
  termios settings{};
  if (!p || speed == B0 || tcgetattr(p->fd, &settings) != 0) return -1;
  if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return -1;
  return tcsetattr(p->fd, TCSANOW, &settings) == 0 ? 0 : -1;
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
  return tcsetattr(p->fd, TCSANOW, &settings) == 0 ? 0 : -1;
}

int serialClose(int port) {
  Port* p = openPort(port);
  if (!p) return -1;
  const int result = close(p->fd);
  p->fd = -1;
  p->next = p->end = 0;
  return result == 0 ? 0 : -1;
}

int serialSendByte(int port, int byte) {
  gloveLibraryNoteOtherCall();
  Port* p = openPort(port);
  if (!p) return -1;
  const unsigned char value = static_cast<unsigned char>(byte);
  for (;;) {
    const ssize_t written = write(p->fd, &value, 1);
    if (written == 1) return 0;
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return -1;
    pollfd ready{p->fd, POLLOUT, 0};
    if (poll(&ready, 1, kSendWaitMillis) <= 0) return -1;
  }
}

int serialTakeByte(int port) {
  gloveLibraryNoteOtherCall();
  Port* p = openPort(port);
  if (!p) return -1;
  for (int attempt = 0; attempt < 2 && p->next == p->end; ++attempt) {
    const ssize_t count = read(p->fd, p->buffer, kReadChunk);
    if (count > 0) {
      p->next = 0;
      p->end = static_cast<size_t>(count);
    } else if (attempt == 0) {
      pollfd ready{p->fd, POLLIN, 0};
      poll(&ready, 1, kTakeWaitMillis);
    }
  }
  return p->next < p->end ? p->buffer[p->next++] : -1;
}
