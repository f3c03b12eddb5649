#pragma once

// A serial glove's line: the device opened raw at a baud rate through the program's
// POSIX serial port, which opens a device that went away (unplugged) again only when
// the same device is back (see platform/posix/serial_posix.h); its bytes gathered into
// lines.

#include <functional>
#include <string>
#include <string_view>

#include "drivers/line_parser.h"

constexpr int kDefaultGloveBaud = 115200;

struct GloveSerial {
  std::string device;
  int descriptor = -1;  // as last seen; -1 while the device is lost
  LineAssembler assembler;
};

// True for the rates the line can be set to (1200 to 2000000 baud).
bool gloveSerialBaudSupported(int baud);

// Opens the device raw at the baud rate, 8N1, no flow control; false, with the reason
// on standard error, when it cannot.
bool gloveSerialOpen(GloveSerial& serial, const std::string& device, int baud);

// The descriptor to wait on for more bytes; -1 while the device is lost.
int gloveSerialDescriptor(const GloveSerial& serial);

// Takes every byte that has arrived and hands each line event, with the assembler's
// line, to handle. While the device is lost each call may look for it again (at most
// every 100 ms) and sleeps a millisecond: call it at least that often then.
void gloveSerialRead(GloveSerial& serial, const std::function<void(LineEvent, std::string_view)>& handle);

void gloveSerialClose(GloveSerial& serial);
