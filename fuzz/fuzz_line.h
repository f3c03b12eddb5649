#pragma once

// A stand-in serial line, clock and console for fuzzing the contact packet reader: the
// fuzz-only platform backend. Each request byte the program sends releases the next
// segment of the input to the receive queue; time moves only when the clock is read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Thrown from a request when the input has no segment left: the run is over.
struct InputUsedUp {};

// A byte the reader took after its request, and whether every clock reading since the
// request had been before the deadline when it was taken.
struct TakenByte {
  uint8_t value;
  bool inTime;
};

struct FuzzLine {
  // From the input.
  uint32_t clockStartMs = 0;
  uint32_t microsPerClockRead = 1;
  uint32_t gapEvery = 0;  // every Nth take finds the queue empty (0: never)
  std::vector<std::vector<uint8_t>> segments;

  // State.
  uint64_t nowMicros = 0;
  size_t nextSegment = 0;
  std::vector<uint8_t> queue;  // released and not yet taken
  size_t queueHead = 0;
  uint64_t takes = 0;
  uint32_t lastClockMs = 0;

  // The current attempt: what the reader took since its request.
  bool requestSent = false;
  uint32_t deadlineMs = 0;
  bool lateSeen = false;
  std::vector<TakenByte> taken;
  int attempts = 0;

  std::string console;
};

extern FuzzLine fuzzLine;

// Starts a run from a fuzz input: 4 bytes clock start (big-endian), 1 byte clock step,
// 1 byte gap period, then segments, each a length byte and that many bytes.
void fuzzLineStart(const uint8_t* data, size_t size);

// Called when a request goes out: the previous attempt, if any, has failed.
void fuzzLineAttemptFailed();
