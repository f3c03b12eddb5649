#include "drivers/glove_serial.h"

#include <algorithm>
#include <cstdio>

#include "platform/posix/serial_posix.h"
#include "platform/serial.h"

namespace {

// The driver has the process's serial ports to itself.
constexpr int kGlovePort = 0;
constexpr int kNoParity = 0, kOneStopBit = 0, kDataBits = 8;
constexpr int kSupportedBauds[] = {1200,   2400,   4800,   9600,   19200,  38400,   57600,
                                   115200, 230400, 460800, 500000, 921600, 1000000, 2000000};

}  // namespace

bool gloveSerialBaudSupported(int baud) {
  return std::find(std::begin(kSupportedBauds), std::end(kSupportedBauds), baud) != std::end(kSupportedBauds);
}

bool gloveSerialOpen(GloveSerial& serial, const std::string& device, int baud) {
  serial = GloveSerial{};
  serial.device = device;
  serialUseDevice(kGlovePort, device.c_str());
  // The port's own message names the device and the reason when opening fails.
  if (serialOpen(kGlovePort, 0, 0) != 0) return false;
  if (serialSetBaud(kGlovePort, baud) != 0 || serialSetLine(kGlovePort, kNoParity, kOneStopBit, kDataBits) != 0) {
    std::fprintf(stderr, "%s: cannot set the line to %d baud, 8N1\n", device.c_str(), baud);
    serialClose(kGlovePort);
    return false;
  }
  serial.descriptor = serialDescriptor(kGlovePort);
  return true;
}

int gloveSerialDescriptor(const GloveSerial& serial) { return serial.descriptor; }

void gloveSerialRead(GloveSerial& serial, const std::function<void(LineEvent, std::string_view)>& handle) {
  for (;;) {
    const int byte = serialTakeByte(kGlovePort);
    const int descriptor = serialDescriptor(kGlovePort);
    // Opened again: what comes first is the tail of a line the glove was sending.
    if (serial.descriptor < 0 && descriptor >= 0) lineAssemblerRestart(serial.assembler);
    serial.descriptor = descriptor;
    if (byte < 0) return;
    const LineEvent event = lineAssemblerFeed(serial.assembler, static_cast<char>(byte));
    if (event != LineEvent::kNone) handle(event, serial.assembler.line);
  }
}

void gloveSerialClose(GloveSerial& serial) {
  serialClose(kGlovePort);
  serial.descriptor = -1;
}
