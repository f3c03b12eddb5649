#pragma once

#include <cstdint>

#include "platform/glove_library.h"

// What the program has observed of the virtual world: every platform call it made,
// with its arguments, its result and the virtual time it was made at, folded into one
// digest. Two runs whose digests agree showed the program the same world, call for
// call; calls the world accounts for without the program making them one by one are
// folded in as if they had been made.

enum class PlatformCall : uint8_t {
  kSerialOpen,
  kSerialSetBaud,
  kSerialSetLine,
  kSerialClose,
  kSerialSendByte,
  kSerialTakeByte,
  kClockRead,
  kConsolePrint,
  kConsoleClear,
  kConsoleReadChar,
  kGloveInit,
  kGloveMouseState,
  kGloveClose,
  kGloveRecordRead,
};

constexpr uint64_t kObservationStart = 0xcbf29ce484222325ULL;  // the FNV-1a offset basis

struct Observation {
  bool keepDigest = false;  // folding every call costs time: only runs that compare digests keep one
  uint64_t digest = kObservationStart;
  int64_t calls = 0;         // platform calls the program made
  int64_t skippedCalls = 0;  // calls accounted for by moving time on instead of being made
};

// Counts one call made at atMicros and, when a digest is kept, folds it in; calls with
// fewer arguments leave the others 0.
void observeCall(Observation& observation, PlatformCall call, int64_t atMicros, int64_t result, int64_t first = 0,
                 int64_t second = 0, int64_t third = 0);

// Folds in a call the program did not have to make, exactly as observeCall would have.
void foldSkippedCall(Observation& observation, PlatformCall call, int64_t atMicros, int64_t result,
                     int64_t first = 0, int64_t second = 0, int64_t third = 0);

// The record as one value for the digest: every field, bit for bit.
int64_t gloveRecordDigest(const GloveRecord& record);

// A text (console output) as one value for the digest.
int64_t textDigest(const char* text, uint64_t length);

// Folds a final value (the run's end time, its exit status) into the digest.
void observeEnd(Observation& observation, int64_t value);
