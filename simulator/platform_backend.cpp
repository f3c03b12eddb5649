// The simulation backend of the platform layer: every operation acts on the virtual
// world and costs a little virtual time (see timing.h).

#include <cstdarg>
#include <cstdio>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/glove_library.h"
#include "platform/serial.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

constexpr int kOnlyPort = 0;

constexpr int kGloveFound = 1;
constexpr int kMouseDevice = 0;

void observe(ObservedCall call) {
  if (world.options.observe) world.options.observe(call);
}

int portSetting(int port, SerialFailure failsHere = kSerialWorks) {
  worldAdvance(kSerialSetupCallMicros);
  if (failsHere != kSerialWorks && world.scenario->serialFails == failsHere) return -1;
  return port == kOnlyPort && world.portOpen ? 0 : -1;
}

}  // namespace

int serialOpen(int port, int receiveQueueSize, int transmitQueueSize) {
  worldAdvance(kSerialSetupCallMicros);
  ++world.calls.serialOpens;
  world.calls.receiveQueueSize = receiveQueueSize;
  world.calls.transmitQueueSize = transmitQueueSize;
  if (port != kOnlyPort || world.scenario->serialFails == kSerialOpenFails) return -1;
  world.portOpen = true;
  return 0;
}

int serialSetBaud(int port, int baud) {
  ++world.calls.baudSets;
  world.calls.baud = baud;
  return portSetting(port, kSerialBaudFails);
}

int serialSetLine(int port, int parityCode, int stopBitsCode, int dataBits) {
  ++world.calls.lineSets;
  world.calls.parityCode = parityCode;
  world.calls.stopBitsCode = stopBitsCode;
  world.calls.dataBits = dataBits;
  return portSetting(port, kSerialLineFails);
}

int serialClose(int port) {
  ++world.calls.serialCloses;
  const int result = portSetting(port);
  if (port == kOnlyPort) world.portOpen = false;
  return result;
}

int serialSendByte(int port, int byte) {
  worldAdvance(kSerialByteCallMicros);
  if (port != kOnlyPort || !world.portOpen) return -1;
  // A port set differently from the controller's line garbles every byte both ways.
  const uint8_t sent = static_cast<uint8_t>(byte);
  worldSendByte(worldLineMatches() ? sent : worldGarble(sent));
  observe({ObservedCall::kByteSent, byte});
  return 0;
}

int serialTakeByte(int port) {
  worldAdvance(kSerialByteCallMicros);
  if (port != kOnlyPort || !world.portOpen) return -1;
  const int arrived = worldTakeByte();
  const int byte = arrived < 0 || worldLineMatches() ? arrived : worldGarble(static_cast<uint8_t>(arrived));
  if (byte >= 0) observe({ObservedCall::kByteTaken, byte});
  return byte;
}

uint32_t clockMillis() {
  worldAdvance(kClockReadMicros);
  return static_cast<uint32_t>(world.scenario->clockStartMs + static_cast<uint64_t>(world.nowMicros / 1000));
}

void consolePrint(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  worldAdvance(kConsoleWriteMicros);
  worldWrite(text);
  observe({ObservedCall::kConsoleWrite, 0, nullptr, &text});
}

void consoleClear() {
  worldAdvance(kConsoleClearMicros);
  worldClear();
  observe({ObservedCall::kConsoleClear});
}

int consoleReadChar() {
  worldAdvance(kConsoleWriteMicros);
  if (world.keysWaiting == 0) {
    const std::vector<Event>& events = world.scenario->events;
    size_t next = world.nextEvent;
    while (next < events.size() && events[next].kind != EventKind::kEnter) ++next;
    if (next == events.size()) throw SimulationStopped{"the program waits for a key that the scenario never types"};
    worldAdvanceTo(events[next].atMicros);
  }
  --world.keysWaiting;
  return '\n';
}

int gloveLibraryInit() {
  worldAdvance(kGloveLibraryCallMicros);
  ++world.calls.gloveInits;
  const int result = world.scenario->gloveAbsent ? 0 : world.scenario->gloveInitResult;
  // A glove found starts out driving the mouse pointer, as the real one does.
  if (result == kGloveFound) world.gloveOpen = world.mouseEmulationOn = true;
  return result;
}

void gloveLibrarySetMouseState(int device, int state) {
  worldAdvance(kGloveLibraryCallMicros);
  world.calls.mouseStates.emplace_back(device, state);
  if (device == kMouseDevice && world.gloveOpen) world.mouseEmulationOn = state != 0;
}

void gloveLibraryClose() {
  worldAdvance(kGloveLibraryCallMicros);
  ++world.calls.gloveCloses;
  world.gloveOpen = false;
}

const GloveRecord* gloveLibraryRecord() {
  worldAdvance(kGloveRecordReadMicros);
  ++world.calls.gloveRecordReads;
  worldRefreshGlove();
  observe({ObservedCall::kGloveRead, 0, &world.record});
  return &world.record;
}
