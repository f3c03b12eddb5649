// The POSIX glove library: a glove driver keeps the record current in shared memory
// (platform/glove_shared_record.h) and every poll takes a consistent copy of it.
//
// The program waits for buttons by polling the glove and nothing else. So that such a
// wait does not burn a core, a poll straight after another poll, while the record has
// not changed, sleeps on the record's sequence word until the driver publishes a
// change, for at most kLongestWaitNanos. A poll after any other platform call (a serial
// byte, the clock, the console) never waits, so sampling keeps the wire's pace.

#include "platform/posix/glove_library_posix.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/glove_library.h"
#include "platform/glove_record_writer.h"
#include "platform/glove_shared_record.h"

namespace {

constexpr int kGloveFound = 1;
constexpr int kNoGloveFound = 0;
// A driver that wakes nobody still has its changes seen this soon.
constexpr int64_t kLongestWaitNanos = 20'000'000;
constexpr int64_t kNanosPerSecond = 1'000'000'000;
constexpr size_t kRecordOffset = offsetof(SharedGloveRecord, x);
constexpr size_t kRecordWords = (sizeof(SharedGloveRecord) - kRecordOffset) / sizeof(uint32_t);

std::string objectName = kGloveSharedName;
const SharedGloveRecord* shared = nullptr;
GloveRecord current = {};  // the last consistent copy: what the program sees
uint32_t seenSequence = 0;
bool lastCallWasPoll = false;

uint32_t sequenceNow() { return __atomic_load_n(&shared->sequence, __ATOMIC_ACQUIRE); }

// Sleeps until the sequence word no longer holds expected, or for at most nanos.
void waitForChange(uint32_t expected, int64_t nanos) {
  if (nanos <= 0) return;
  const timespec timeout{static_cast<time_t>(nanos / kNanosPerSecond), static_cast<long>(nanos % kNanosPerSecond)};
  syscall(SYS_futex, &shared->sequence, FUTEX_WAIT, expected, &timeout, nullptr, 0);
}

// Copies the record once the writer is not changing it; keeps the last copy when the
// writer stays in the middle of a change (it died there) until the deadline.
void readConsistent(int64_t deadlineNanos) {
  for (;;) {
    const uint32_t before = sequenceNow();
    if (before & 1u) {
      const int64_t left = deadlineNanos - gloveMonotonicNanos();
      if (left <= 0) return;
      waitForChange(before, left);
      continue;
    }
    uint32_t words[kRecordWords];
    const auto* source = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(shared) + kRecordOffset);
    for (size_t index = 0; index < kRecordWords; ++index) words[index] = __atomic_load_n(&source[index], __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_ACQUIRE);  // the copy happens before the second look
    if (__atomic_load_n(&shared->sequence, __ATOMIC_RELAXED) != before) continue;
    SharedGloveRecord copy;
    std::memcpy(reinterpret_cast<char*>(&copy) + kRecordOffset, words, sizeof words);
    current.x = copy.x;
    current.y = copy.y;
    current.z = copy.z;
    std::memcpy(current.orient, copy.orient, sizeof current.orient);
    std::memcpy(current.bend, copy.bend, sizeof current.bend);
    std::memcpy(current.buttons, copy.buttons, sizeof current.buttons);
    seenSequence = before;
    return;
  }
}

// Maps the object when it is a glove bridge of this layout with a live driver.
const SharedGloveRecord* attach() {
  const int fd = shm_open(objectName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat status {};
  void* mapped = MAP_FAILED;
  if (fstat(fd, &status) == 0 && status.st_size >= static_cast<off_t>(sizeof(SharedGloveRecord)))
    mapped = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return nullptr;
  const auto* record = static_cast<const SharedGloveRecord*>(mapped);
  const bool ours = __atomic_load_n(&record->magic, __ATOMIC_ACQUIRE) == kGloveMagic &&
                    __atomic_load_n(&record->version, __ATOMIC_ACQUIRE) == kGloveLayoutVersion;
  const int64_t age =
      gloveMonotonicNanos() - static_cast<int64_t>(__atomic_load_n(&record->heartbeatNanos, __ATOMIC_ACQUIRE));
  if (ours && age < kGloveStaleNanos) return record;
  munmap(mapped, sizeof(SharedGloveRecord));
  return nullptr;
}

}  // namespace

void gloveLibraryUseObject(const char* name) { objectName = name ? name : kGloveSharedName; }

void gloveLibraryNoteOtherCall() { lastCallWasPoll = false; }

int gloveLibraryInit() {
  if (!shared) shared = attach();
  if (!shared) return kNoGloveFound;
  readConsistent(gloveMonotonicNanos() + kLongestWaitNanos);
  lastCallWasPoll = false;
  return kGloveFound;
}

void gloveLibrarySetMouseState(int, int) { lastCallWasPoll = false; }  // a driver has no pointer to drive

void gloveLibraryClose() {
  if (shared) munmap(const_cast<SharedGloveRecord*>(shared), sizeof(SharedGloveRecord));
  shared = nullptr;
  lastCallWasPoll = false;
}

const GloveRecord* gloveLibraryRecord() {
  if (!shared) return &current;
  const int64_t start = gloveMonotonicNanos();
  if (lastCallWasPoll && sequenceNow() == seenSequence) waitForChange(seenSequence, kLongestWaitNanos);
  readConsistent(start + kLongestWaitNanos);
  lastCallWasPoll = true;
  return &current;
}
