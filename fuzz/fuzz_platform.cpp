// The fuzz-only platform backend: serial port, clock, console and glove library over
// the stand-in line of fuzz_line.h.

#include <cstdarg>
#include <cstdio>

#include "fuzz/fuzz_line.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/glove_library.h"
#include "platform/serial.h"

FuzzLine fuzzLine;

namespace {

constexpr uint8_t kRequest = 0x53;
constexpr uint32_t kMicrosPerMilli = 1000;
constexpr uint32_t kPacketTimeoutMs = 500;

// The clock is read late once it is at or past the deadline, across its wrap too.
bool late(uint32_t clockMs, uint32_t deadlineMs) { return static_cast<int32_t>(clockMs - deadlineMs) >= 0; }

GloveRecord glove = {};

}  // namespace

void fuzzLineStart(const uint8_t* data, size_t size) {
  fuzzLine = FuzzLine{};
  size_t at = 0;
  const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  for (int byte = 0; byte < 4; ++byte) fuzzLine.clockStartMs = (fuzzLine.clockStartMs << 8) | next();
  // From 0.2 to 51.2 ms a reading: a deadline is reached in 10 to 2500 readings.
  fuzzLine.microsPerClockRead = 200u * (1u + next());
  fuzzLine.gapEvery = next();
  while (at < size) {
    const size_t length = next();
    std::vector<uint8_t> segment(data + at, data + std::min(size, at + length));
    at += segment.size();
    fuzzLine.segments.push_back(std::move(segment));
  }
}

int serialOpen(int, int, int) { return 0; }
int serialSetBaud(int, int) { return 0; }
int serialSetLine(int, int, int, int) { return 0; }
int serialClose(int) { return 0; }

int serialSendByte(int, int byte) {
  if (byte != kRequest) return 0;
  if (fuzzLine.requestSent) fuzzLineAttemptFailed();
  if (fuzzLine.nextSegment == fuzzLine.segments.size()) throw InputUsedUp{};
  const std::vector<uint8_t>& segment = fuzzLine.segments[fuzzLine.nextSegment++];
  fuzzLine.queue.insert(fuzzLine.queue.end(), segment.begin(), segment.end());
  // The reader sets its deadline from the reading just before its request.
  fuzzLine.requestSent = true;
  fuzzLine.deadlineMs = fuzzLine.lastClockMs + kPacketTimeoutMs;
  fuzzLine.lateSeen = false;
  fuzzLine.taken.clear();
  ++fuzzLine.attempts;
  return 0;
}

int serialTakeByte(int) {
  ++fuzzLine.takes;
  if (fuzzLine.gapEvery != 0 && fuzzLine.takes % fuzzLine.gapEvery == 0) return -1;
  if (fuzzLine.queueHead == fuzzLine.queue.size()) return -1;
  const uint8_t byte = fuzzLine.queue[fuzzLine.queueHead++];
  if (fuzzLine.requestSent) fuzzLine.taken.push_back({byte, !fuzzLine.lateSeen});
  return byte;
}

uint32_t clockMillis() {
  fuzzLine.nowMicros += fuzzLine.microsPerClockRead;
  fuzzLine.lastClockMs = static_cast<uint32_t>(fuzzLine.clockStartMs + fuzzLine.nowMicros / kMicrosPerMilli);
  if (fuzzLine.requestSent && late(fuzzLine.lastClockMs, fuzzLine.deadlineMs)) fuzzLine.lateSeen = true;
  return fuzzLine.lastClockMs;
}

void consolePrint(const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  fuzzLine.console += text;
}

void consoleClear() { fuzzLine.console += '\f'; }

int consoleReadChar() { return '\n'; }

int gloveLibraryInit() { return 1; }
void gloveLibrarySetMouseState(int, int) {}
void gloveLibraryClose() {}
const GloveRecord* gloveLibraryRecord() { return &glove; }
