#pragma once

// Serial ports of the POSIX backend: port 0 (COM1) is the device SIGNGLOVE_COM1 names
// in the environment, else the one the build names (/dev/ttyS0 by default; see
// platform/com1_device.h); port 1 /dev/ttyS1 and so on, unless a device is named for
// the port here (the tests use a pseudo-terminal).
//
// A port whose device goes away (a USB adapter unplugged) is opened again only when the
// same device is back, never another that has taken its name:
//   - a pseudo-terminal (or a console) is never opened again: once its other side has
//     gone, its number goes to whichever session asks next;
//   - a device named through a symbolic link, as /dev/serial/by-id/... names an adapter
//     by its serial number, is opened again wherever the link leads, unless that is a
//     pseudo-terminal;
//   - a device named directly (/dev/ttyUSB0) is opened again only with the same device
//     number at the same place in the hardware (the same USB socket, as sysfs says).

#include <sys/types.h>

#include <string>

void serialUseDevice(int port, const char* path);

// What a device name leads to, as far as opening it again goes.
struct SerialDevice {
  bool found = false;            // the name leads to a character device
  bool sessionTerminal = false;  // a pseudo-terminal or a console: never opened again
  bool namedByLink = false;      // the name is a symbolic link
  dev_t number = 0;
  std::string hardware;  // where it sits in the hardware (its sysfs device), if known
};

SerialDevice serialDeviceAt(const std::string& path);

// True when a port opened on `opened` may open `now` after losing its device (the rule above).
bool serialMayReopen(const SerialDevice& opened, const SerialDevice& now);

// The open port's descriptor, for a caller that waits in poll() for its next bytes once
// a take has found none (a glove driver waits on its serial line and a socket
// together); -1 while the device is lost (a take looks for it again) or the port is
// not open.
int serialDescriptor(int port);

// For tests only: a pseudo-terminal stands in for a USB adapter and is opened again like one.
void serialTestPseudoTerminalsAsAdapters(bool on);
