#pragma once

#include <cstdint>

// Skipping idle polling. The program waits by polling: it takes serial bytes and reads
// the clock until a byte comes or its packet deadline passes, and reads the glove
// record until a button changes. An iteration of such a loop whose calls return what
// they returned on the previous iteration leaves the program as it was, so the world
// may move time straight to the last iteration that would still see nothing new,
// charging what each skipped call costs: the program's next call then lands exactly
// where polling would have brought it, and sees what it would have seen.
//
// Skipping happens inside a call that the program makes again and again:
// - the third of take (empty), clock (before the packet deadline), take (empty): the
//   program is inside its wait for a byte and goes on while the clock stays before
//   the deadline, which it set at the clock reading it made last before sending its
//   request. Skipped up to the byte's arrival or the deadline.
// - the third glove record read in a row with the same record: a wait for buttons.
//   Skipped up to the next moment the record may change.
// Two clock readings in a row mean the program is waiting for something else (the line
// to fall quiet before a request): the deadline it set last no longer bounds that wait.
// Neither skip passes a scripted event, the stop rule or a pacing check of a
// real-time run.

enum class PollStep : uint8_t {
  kNone,
  kEmptyTake,          // the last call was a take that found nothing
  kEmptyTakeThenWait,  // then a clock reading before the deadline: inside the wait for a byte
};

struct PollingState {
  PollStep step = PollStep::kNone;
  int sameGloveReads = -1;  // glove reads in a row that repeated the first; -1: the last call was no glove read
  bool clockReadSinceRequest = false;
  bool lastCallWasClock = false;
  uint32_t lastClockMs = 0;
  bool deadlineKnown = false;  // the program's packet deadline, as it set it before its last request
  uint32_t deadlineMs = 0;
};

// What the backend tells after each call, in the order the program made them. Skips
// happen inside pollingSawTake and pollingSawGloveRead.
void pollingSawTake(int result);
void pollingSawClock(uint32_t millis);
void pollingSawSend(int byte);  // -1 when nothing was sent
void pollingSawGloveRead(bool recordChanged);
void pollingSawOtherCall();
