#include "simulator/poll_skipping.h"

#include <algorithm>

#include "contacts/contact_packet.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

constexpr int64_t kWaitForByteMicros = kClockReadMicros + kSerialByteCallMicros;  // one clock reading, one take

bool beforeDeadline(uint32_t millis) {
  return static_cast<int32_t>(millis - world.polling.deadlineMs) < 0;
}

// The first moment at which the clock reads the deadline; now when it already does.
int64_t deadlineMicros() {
  const int64_t now = world.nowMicros;
  const int32_t left = static_cast<int32_t>(world.polling.deadlineMs - worldClockMillis(now));
  return left <= 0 ? now : (now / 1000 + left) * 1000;
}

// How many whole loop iterations of periodMicros fit between now and the moment
// before limitMicros.
int64_t iterationsBefore(int64_t limitMicros, int64_t periodMicros) {
  const int64_t room = limitMicros - 1 - world.nowMicros;
  return room < periodMicros ? 0 : room / periodMicros;
}

// The program has just taken nothing inside its wait for a byte; it will read the
// clock and take again. Each skipped iteration's clock reading must fall before the
// deadline, and its take before the first byte (and any event) arrives.
void skipWaitForByte() {
  const int64_t now = world.nowMicros;
  const int64_t limit = std::min({worldFirstByteMicros(), worldNextEventMicros(), worldSkipLimitMicros(),
                                  deadlineMicros() + kSerialByteCallMicros});
  const int64_t skipped = iterationsBefore(limit, kWaitForByteMicros);
  if (skipped == 0) return;
  if (world.observation.keepDigest) {
    for (int64_t iteration = 0; iteration < skipped; ++iteration) {
      const int64_t at = now + iteration * kWaitForByteMicros;
      foldSkippedCall(world.observation, PlatformCall::kClockRead, at, worldClockMillis(at + kClockReadMicros));
      foldSkippedCall(world.observation, PlatformCall::kSerialTakeByte, at + kClockReadMicros, -1, kContactPort);
    }
  }
  world.observation.skippedCalls += 2 * skipped;
  worldAdvanceTo(now + skipped * kWaitForByteMicros);
}

// The program has read the same record three times in a row; it will read again.
void skipGloveReads() {
  const int64_t limit = std::min({worldGloveSteadyUntil(), worldNextEventMicros(), worldSkipLimitMicros()});
  const int64_t skipped = iterationsBefore(limit, kGloveRecordReadMicros);
  if (skipped == 0) return;
  const int64_t now = world.nowMicros;
  if (world.observation.keepDigest) {
    const int64_t record = gloveRecordDigest(world.record);
    for (int64_t iteration = 0; iteration < skipped; ++iteration)
      foldSkippedCall(world.observation, PlatformCall::kGloveRecordRead, now + iteration * kGloveRecordReadMicros,
                      record);
  }
  world.observation.skippedCalls += skipped;
  world.calls.gloveRecordReads += skipped;
  worldAdvanceTo(now + skipped * kGloveRecordReadMicros);
  worldGloveReadsSkipped(world.nowMicros);
}

}  // namespace

void pollingSawTake(int result) {
  PollingState& polling = world.polling;
  polling.lastCallWasClock = false;
  polling.sameGloveReads = -1;
  if (result >= 0) {
    polling.step = PollStep::kNone;
    return;
  }
  if (polling.step == PollStep::kEmptyTakeThenWait && world.options.skipIdlePolling) skipWaitForByte();
  polling.step = PollStep::kEmptyTake;
}

void pollingSawClock(uint32_t millis) {
  PollingState& polling = world.polling;
  polling.sameGloveReads = -1;
  polling.lastClockMs = millis;
  polling.clockReadSinceRequest = true;
  if (polling.lastCallWasClock) polling.deadlineKnown = false;
  polling.lastCallWasClock = true;
  polling.step = polling.step == PollStep::kEmptyTake && polling.deadlineKnown && beforeDeadline(millis)
                     ? PollStep::kEmptyTakeThenWait
                     : PollStep::kNone;
}

void pollingSawSend(int byte) {
  PollingState& polling = world.polling;
  polling.lastCallWasClock = false;
  polling.sameGloveReads = -1;
  polling.step = PollStep::kNone;
  if (byte != kRequestByte) return;
  polling.deadlineKnown = polling.clockReadSinceRequest;
  polling.deadlineMs = polling.lastClockMs + kPacketTimeoutMs;
  polling.clockReadSinceRequest = false;
}

void pollingSawGloveRead(bool recordChanged) {
  PollingState& polling = world.polling;
  polling.lastCallWasClock = false;
  polling.step = PollStep::kNone;
  polling.sameGloveReads = polling.sameGloveReads >= 0 && !recordChanged ? polling.sameGloveReads + 1 : 0;
  if (polling.sameGloveReads >= 2 && world.options.skipIdlePolling) skipGloveReads();
}

void pollingSawOtherCall() {
  world.polling.lastCallWasClock = false;
  world.polling.step = PollStep::kNone;
  world.polling.sameGloveReads = -1;
}
