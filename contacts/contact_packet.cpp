#include "contacts/contact_packet.h"

#include "control/recognition_context.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/serial.h"

namespace {

// Longer than two bytes at 9600 baud on a millisecond clock: a line this long without
// a byte has stopped sending.
constexpr uint32_t kLineQuietMs = 3;

// The deadline check: 1 while the clock is before the deadline. The difference is
// taken as signed so that a deadline past the clock's wrap still lies ahead.
int checkInTime(PacketDeadline& state) {
  state.inTime = static_cast<int32_t>(clockMillis() - state.deadline) < 0 ? 1 : 0;
  return state.inTime;
}

// Takes the next byte, polling until one arrives or the deadline passes; the byte
// only counts while state.inTime is 1.
int waitForByte(PacketDeadline& state) {
  do {
    state.lastByte = serialTakeByte(kContactPort);
    if (state.lastByte >= 0) break;
  } while (checkInTime(state));
  return state.lastByte;
}

uint16_t readWord(PacketDeadline& state) {
  uint16_t word = 0;
  int byte = waitForByte(state);
  if (state.inTime) word = static_cast<uint16_t>(byte << 8);
  byte = waitForByte(state);
  if (state.inTime) word = static_cast<uint16_t>(word | byte);
  return word;
}

// Empties the receive queue before a request, so that every attempt starts in step
// with the controller's words. A failed attempt can leave the rest of its reply
// behind, or stop between the two bytes of a word; read on from there, every later
// reply would be taken one byte out of step. A well-behaved reply is always read
// whole, so after one the queue is empty and this costs a single take.
//
// Emptying the queue is not enough while bytes are still on the line (a long burst,
// the tail of a reply): taking only what has arrived could stop between two bytes
// of a word. So after a failed attempt, or when anything was waiting, bytes are taken
// until the line has been quiet for kLineQuietMs; a line that never falls quiet gets
// its request after kPacketTimeoutMs all the same, and its time-out if need be.
void clearReceiveQueue(PacketDeadline& state, bool lastAttemptFailed) {
  bool settle = lastAttemptFailed;
  while ((state.lastByte = serialTakeByte(kContactPort)) >= 0) settle = true;
  if (!settle) return;
  const uint32_t start = clockMillis();
  uint32_t lastHeard = start;
  for (;;) {
    const uint32_t now = clockMillis();
    if (now - lastHeard >= kLineQuietMs || now - start >= kPacketTimeoutMs) return;
    state.lastByte = serialTakeByte(kContactPort);
    if (state.lastByte >= 0) lastHeard = clockMillis();
  }
}

enum class Attempt { kAccepted, kRejected, kTimedOut };

Attempt readOneReply(ContactPacket& packet, PacketDeadline& state, bool lastAttemptFailed) {
  clearReceiveQueue(state, lastAttemptFailed);
  state.deadline = clockMillis() + kPacketTimeoutMs;
  serialSendByte(kContactPort, kRequestByte);

  uint16_t word = 0;
  while (word != kHeaderWord && checkInTime(state)) word = readWord(state);

  // A controller should send at most six groups. Any beyond the packet's room are
  // read and dropped, and the reply is then refused like a bad checksum.
  bool overflowed = false;
  packet.count = 0;
  while (word != kTerminatorWord && checkInTime(state)) {
    word = readWord(state);
    if (!state.inTime || word == kTerminatorWord) continue;
    if (packet.count < kPacketSlots)
      packet.slots[packet.count++] = word;
    else
      overflowed = true;
  }

  const uint16_t checksum = readWord(state);
  if (!state.inTime) return Attempt::kTimedOut;
  int32_t sum = 0;  // the plain sum: six words cannot overflow it
  for (int slot = 0; slot < packet.count; ++slot) sum += packet.slots[slot];
  return sum == checksum && !overflowed ? Attempt::kAccepted : Attempt::kRejected;
}

}  // namespace

// A line that only ever gives frames that are refused (a wrong checksum, too many
// entries) is as useless as a silent one, and must not hang the program without a word:
// once no reply has been accepted for as long as the time-out, counted from the request
// of the first refused attempt to that of the latest, it is reported as a time-out and
// waits for Enter likewise. A healthy line never refuses for that long.
void readContactPacket(RecognitionContext& context) {
  PacketDeadline& state = context.deadline;
  bool refusing = false;
  uint32_t firstRefusedDeadline = 0;
  for (bool failed = false;; failed = true) {
    const Attempt attempt = readOneReply(context.packet, state, failed);
    if (attempt == Attempt::kAccepted) return;
    if (attempt == Attempt::kRejected && !refusing) {
      refusing = true;
      firstRefusedDeadline = state.deadline;
    }
    const bool refusedTooLong = attempt == Attempt::kRejected && state.deadline - firstRefusedDeadline >= kPacketTimeoutMs;
    if (attempt == Attempt::kTimedOut || refusedTooLong) {
      consolePrint("error in packet: routine TIMED OUT\n");
      consoleReadChar();
      refusing = false;
    }
  }
}
