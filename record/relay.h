#pragma once

#include <cstdint>
#include <vector>

#include "record/recording.h"

// The recorder's place on the contact line: between the program's end of its serial
// line and the real device, passing every byte on unchanged as soon as it comes, and
// noting the program's requests and the controller's bytes with their times.

struct RelayLog {
  std::vector<int64_t> requests;      // request bytes, when they had been passed to the device
  std::vector<TimedByte> replies;     // bytes from the device, when they came
  std::vector<int64_t> handlingNanos;  // per byte passed either way: from its coming to its passing on
  int64_t lostToProgram = 0;           // bytes the program's side would not take (it stopped reading)
  int64_t lostToDevice = 0;            // bytes the device would not take
};

// Microseconds of CLOCK_MONOTONIC, the clock every time in a RelayLog is read from.
int64_t monotonicMicros();

// Asks the scheduler to run the calling thread ahead of ordinary work, so that a busy
// machine does not hold a byte up; false where that is not allowed (it runs as before).
bool relayRunAhead();

// Relays until stopFd becomes readable. Both descriptors must be non-blocking.
void relayRun(int programFd, int deviceFd, int stopFd, RelayLog& log);
