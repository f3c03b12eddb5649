#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "record/recording.h"

// The recorder's place on the contact line: between the program's end of its serial
// line and the real device, passing every byte on unchanged as soon as it comes, and
// noting the program's requests and the controller's bytes with their times. What it
// notes is taken away as the session goes (relayTake), so that a long session, or a
// device that floods the line, costs no more memory than a moment of it.

// How long the relay took to pass bytes on, from their coming to their passing on.
struct RelayTimings {
  int64_t bytes = 0;
  int64_t worstNanos = 0;
  std::vector<int64_t> sampleNanos;  // the first kRelayTimingSamples bytes', for the median
};
constexpr size_t kRelayTimingSamples = 100'000;

struct RelayLog {
  std::mutex mutex;                // the relay's thread notes, another takes
  std::vector<int64_t> requests;   // request bytes, when they had been passed to the device
  std::vector<TimedByte> replies;  // bytes from the device, when they came
  RelayTimings timings;
  int64_t lostToProgram = 0;  // bytes the program's side would not take (it stopped reading)
  int64_t lostToDevice = 0;   // bytes the device would not take
  int64_t leftOut = 0;        // device bytes passed on but not noted: more than a reply can be
  size_t sinceRequest = 0;    // device bytes since the last request
};

// The requests and replies noted since the last take (times as noted; the rest stays).
struct RelayTaken {
  std::vector<int64_t> requests;
  std::vector<TimedByte> replies;
};
RelayTaken relayTake(RelayLog& log);

// Microseconds of CLOCK_MONOTONIC, the clock every time in a RelayLog is read from.
int64_t monotonicMicros();

// Asks the scheduler to run the calling thread ahead of ordinary work, so that a busy
// machine does not hold a byte up; false where that is not allowed (it runs as before).
bool relayRunAhead();

// Relays until stopFd becomes readable. Both descriptors must be non-blocking.
void relayRun(int programFd, int deviceFd, int stopFd, RelayLog& log);
