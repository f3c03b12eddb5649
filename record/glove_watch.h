#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/glove_shared_record.h"
#include "record/recording.h"

// The recorder's look at the glove: the same shared record the program reads, through
// the same library, read whenever it changes and at least every millisecond.

// Attaches to the glove record as the program does at start-up; false when the program
// would find no glove (and says why on standard error, as the program does).
bool gloveWatchAttach(const std::string& name);

// What the watch has noted: taken away as the session goes (gloveWatchTake).
struct GloveWatchLog {
  std::mutex mutex;                     // the watch's thread notes, another takes
  std::vector<GloveSnapshot> snapshots;  // noted since the last take
  int64_t changes = 0;                   // noted in all
};

// Notes every change of the record, with its time in CLOCK_MONOTONIC microseconds,
// until stop is set, and the record as it is then. The first snapshot is the record as
// it was at the start.
void gloveWatchRun(const std::atomic<bool>& stop, GloveWatchLog& log);

// The snapshots noted since the last take.
std::vector<GloveSnapshot> gloveWatchTake(GloveWatchLog& log);
