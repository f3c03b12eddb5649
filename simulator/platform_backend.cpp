// The simulation backend of the platform layer: every operation acts on the virtual
// world and costs a little virtual time (see timing.h). Every call is observed (see
// observation.h); idle polling is skipped where the program cannot tell (poll_skipping.h).

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

void observe(PlatformCall call, int64_t atMicros, int64_t result, int64_t first = 0, int64_t second = 0,
             int64_t third = 0) {
  observeCall(world.observation, call, atMicros, result, first, second, third);
}

// Tells the run's observer (the trace, the captions), if any, of a call just made.
void notifyObserver(ObservedCall call) {
  if (world.options.observe) world.options.observe(call);
}

int portSetting(int port, SerialFailure failsHere = kSerialWorks) {
  worldAdvance(kSerialSetupCallMicros);
  if (failsHere != kSerialWorks && world.scenario->serialFails == failsHere) return -1;
  return port == kOnlyPort && world.portOpen ? 0 : -1;
}

}  // namespace

int serialOpen(int port, int receiveQueueSize, int transmitQueueSize) {
  const int64_t at = world.nowMicros;
  worldAdvance(kSerialSetupCallMicros);
  ++world.calls.serialOpens;
  world.calls.receiveQueueSize = receiveQueueSize;
  world.calls.transmitQueueSize = transmitQueueSize;
  int result = -1;
  if (port == kOnlyPort && world.scenario->serialFails != kSerialOpenFails) {
    world.portOpen = true;
    result = 0;
  }
  observe(PlatformCall::kSerialOpen, at, result, port, receiveQueueSize, transmitQueueSize);
  pollingSawOtherCall();
  return result;
}

int serialSetBaud(int port, int baud) {
  const int64_t at = world.nowMicros;
  ++world.calls.baudSets;
  world.calls.baud = baud;
  const int result = portSetting(port, kSerialBaudFails);
  observe(PlatformCall::kSerialSetBaud, at, result, port, baud);
  pollingSawOtherCall();
  return result;
}

int serialSetLine(int port, int parityCode, int stopBitsCode, int dataBits) {
  const int64_t at = world.nowMicros;
  ++world.calls.lineSets;
  world.calls.parityCode = parityCode;
  world.calls.stopBitsCode = stopBitsCode;
  world.calls.dataBits = dataBits;
  const int result = portSetting(port, kSerialLineFails);
  observe(PlatformCall::kSerialSetLine, at, result, port, parityCode, stopBitsCode * 256 + dataBits);
  pollingSawOtherCall();
  return result;
}

int serialClose(int port) {
  const int64_t at = world.nowMicros;
  ++world.calls.serialCloses;
  const int result = portSetting(port);
  if (port == kOnlyPort) world.portOpen = false;
  observe(PlatformCall::kSerialClose, at, result, port);
  pollingSawOtherCall();
  return result;
}

int serialSendByte(int port, int byte) {
  const int64_t at = world.nowMicros;
  worldAdvance(kSerialByteCallMicros);
  int result = -1;
  if (port == kOnlyPort && world.portOpen) {
    // A port set differently from the controller's line garbles every byte both ways.
    const uint8_t sent = static_cast<uint8_t>(byte);
    worldSendByte(worldLineMatches() ? sent : worldGarble(sent));
    notifyObserver({ObservedCall::kByteSent, byte});
    result = 0;
  }
  observe(PlatformCall::kSerialSendByte, at, result, port, byte);
  pollingSawSend(result == 0 ? byte : -1);
  return result;
}

int serialTakeByte(int port) {
  const int64_t at = world.nowMicros;
  worldAdvance(kSerialByteCallMicros);
  const bool open = port == kOnlyPort && world.portOpen;
  int result = open ? worldTakeByte() : -1;
  if (result >= 0 && !worldLineMatches()) result = worldGarble(static_cast<uint8_t>(result));
  if (result >= 0) notifyObserver({ObservedCall::kByteTaken, result});
  observe(PlatformCall::kSerialTakeByte, at, result, port);
  if (open)
    pollingSawTake(result);
  else
    pollingSawOtherCall();
  return result;
}

uint32_t clockMillis() {
  const int64_t at = world.nowMicros;
  worldAdvance(kClockReadMicros);
  const uint32_t result = worldClockMillis(world.nowMicros);
  observe(PlatformCall::kClockRead, at, result);
  pollingSawClock(result);
  return result;
}

void consolePrint(const char* format, ...) {
  const int64_t at = world.nowMicros;
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
  notifyObserver({ObservedCall::kConsoleWrite, 0, nullptr, &text});
  observe(PlatformCall::kConsolePrint, at, 0, textDigest(text.data(), text.size()));
  pollingSawOtherCall();
}

void consoleClear() {
  const int64_t at = world.nowMicros;
  worldAdvance(kConsoleClearMicros);
  worldClear();
  notifyObserver({ObservedCall::kConsoleClear});
  observe(PlatformCall::kConsoleClear, at, 0);
  pollingSawOtherCall();
}

int consoleReadChar() {
  const int64_t at = world.nowMicros;
  worldAdvance(kConsoleWriteMicros);
  if (world.keysWaiting == 0) {
    const std::vector<Event>& events = world.scenario->events;
    size_t next = world.nextEvent;
    while (next < events.size() && events[next].kind != EventKind::kEnter) ++next;
    if (next == events.size()) throw SimulationStopped{"the program waits for a key that the scenario never types"};
    worldAdvanceTo(events[next].atMicros);
  }
  --world.keysWaiting;
  observe(PlatformCall::kConsoleReadChar, at, '\n');
  pollingSawOtherCall();
  return '\n';
}

int gloveLibraryInit() {
  const int64_t at = world.nowMicros;
  worldAdvance(kGloveLibraryCallMicros);
  ++world.calls.gloveInits;
  const int result = world.scenario->gloveAbsent ? 0 : world.scenario->gloveInitResult;
  // A glove found starts out driving the mouse pointer, as the real one does.
  if (result == kGloveFound) world.gloveOpen = world.mouseEmulationOn = true;
  observe(PlatformCall::kGloveInit, at, result);
  pollingSawOtherCall();
  return result;
}

void gloveLibrarySetMouseState(int device, int state) {
  const int64_t at = world.nowMicros;
  worldAdvance(kGloveLibraryCallMicros);
  world.calls.mouseStates.emplace_back(device, state);
  if (device == kMouseDevice && world.gloveOpen) world.mouseEmulationOn = state != 0;
  observe(PlatformCall::kGloveMouseState, at, 0, device, state);
  pollingSawOtherCall();
}

void gloveLibraryClose() {
  const int64_t at = world.nowMicros;
  worldAdvance(kGloveLibraryCallMicros);
  ++world.calls.gloveCloses;
  world.gloveOpen = false;
  observe(PlatformCall::kGloveClose, at, 0);
  pollingSawOtherCall();
}

const GloveRecord* gloveLibraryRecord() {
  const int64_t at = world.nowMicros;
  worldAdvance(kGloveRecordReadMicros);
  ++world.calls.gloveRecordReads;
  const bool changed = worldRefreshGlove();
  notifyObserver({ObservedCall::kGloveRead, 0, &world.record});
  observe(PlatformCall::kGloveRecordRead, at, world.observation.keepDigest ? gloveRecordDigest(world.record) : 0);
  pollingSawGloveRead(changed);
  return &world.record;
}
