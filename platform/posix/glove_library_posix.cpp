// The POSIX glove library: a glove driver keeps the record current in shared memory
// (platform/glove_shared_record.h) and every poll takes a consistent copy of it.
//
// The program waits for buttons by polling the glove and nothing else. So that such a
// wait does not burn a core, a poll straight after another poll, while the record has
// not changed, sleeps on the record's sequence word until the driver publishes a
// change, for at most kLongestWaitNanos. A poll after any other platform call (a serial
// byte, the clock, the console) never waits, so sampling keeps the wire's pace.
//
// Whoever writes the record drives the program, so the object is read only when it is
// owned by the reading user or by root and nobody else may write it (as ssh reads a key
// file); a group may read it, for a driver that runs as root for signers of a group.
//
// Nothing a driver does to the object can stop the program: the record is copied with
// pread(), never loaded through a mapping, so an object cut short cannot raise SIGBUS
// (the object is mapped only for the futex the waits sleep on, where the kernel reports
// a missing page as an error). A record with NaN or infinity in it is not used. While
// the program runs the heartbeat is watched and the name looked up again now and then,
// so that a driver that stops is noticed and one that restarts (a new object under the
// name) is read again. Each of these is said once on standard error; the program's own
// output never changes, and the hand stays as it was last seen.

#include "platform/posix/glove_library_posix.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
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
// The name is looked up again this often, so that a restarted driver's new object is
// read well within a tenth of a second.
constexpr int64_t kNameCheckNanos = 50'000'000;
constexpr int64_t kNanosPerSecond = 1'000'000'000;
constexpr int64_t kNanosPerMilli = 1'000'000;
constexpr off_t kSequenceOffset = offsetof(SharedGloveRecord, sequence);

// An object being read.
struct Attached {
  int fd = -1;
  void* futexPage = nullptr;  // mapped only to sleep on the sequence word; never read here
  dev_t device = 0;
  ino_t inode = 0;
};

struct GloveLibrary {
  std::string configuredName;  // from gloveLibraryUseObject; empty: the environment's
  std::string name;            // the object's name, once initialised
  Attached object;
  GloveRecord current = {};  // the last good copy: what the program sees
  uint32_t seenSequence = 0;
  uint64_t lastBeat = 0;
  int64_t beatMovedNanos = 0;  // when the heartbeat was last seen to move
  int64_t nameCheckedNanos = 0;
  bool driverStopped = false;
  bool badRecordSaid = false;
  std::string problemSaid;  // the latest trouble with the object, said once
  bool lastCallWasPoll = false;
};

GloveLibrary library;

void say(const std::string& what) { std::fprintf(stderr, "glove %s: %s\n", library.name.c_str(), what.c_str()); }

void sayOnce(const std::string& problem) {
  if (problem == library.problemSaid) return;
  library.problemSaid = problem;
  say(problem);
}

// Sleeps until the sequence word no longer holds expected, or for at most nanos. Where
// the word cannot be slept on (the object was cut short under its mapping) it just sleeps.
void waitForChange(const Attached& object, uint32_t expected, int64_t nanos) {
  if (nanos <= 0) return;
  const timespec timeout{static_cast<time_t>(nanos / kNanosPerSecond), static_cast<long>(nanos % kNanosPerSecond)};
  if (object.futexPage) {
    auto* word = reinterpret_cast<uint32_t*>(static_cast<char*>(object.futexPage) + kSequenceOffset);
    if (syscall(SYS_futex, word, FUTEX_WAIT, expected, &timeout, nullptr, 0) == 0 || errno == EAGAIN ||
        errno == ETIMEDOUT || errno == EINTR)
      return;
  }
  nanosleep(&timeout, nullptr);
}

bool readAt(int fd, void* into, size_t size, off_t at) {
  ssize_t got;
  do got = pread(fd, into, size, at);
  while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(size);
}

enum class Copy { kWhole, kShort, kUnsettled };

// Copies the record once the writer is not changing it: the sequence, the record, the
// sequence again, each its own read. kUnsettled when the writer stays in the middle of a
// change (it died there) or keeps changing it until the deadline.
Copy copyRecord(const Attached& object, SharedGloveRecord& copy, int64_t deadlineNanos) {
  for (;;) {
    uint32_t before = 0, after = 0;
    if (!readAt(object.fd, &before, sizeof before, kSequenceOffset)) return Copy::kShort;
    if (before & 1u) {
      const int64_t left = deadlineNanos - gloveMonotonicNanos();
      if (left <= 0) return Copy::kUnsettled;
      waitForChange(object, before, left);
      continue;
    }
    if (!readAt(object.fd, &copy, sizeof copy, 0)) return Copy::kShort;
    if (!readAt(object.fd, &after, sizeof after, kSequenceOffset)) return Copy::kShort;
    if (after == before) {
      copy.sequence = before;
      return Copy::kWhole;
    }
    if (gloveMonotonicNanos() >= deadlineNanos) return Copy::kUnsettled;
  }
}

void detach(Attached& object) {
  if (object.futexPage) munmap(object.futexPage, sizeof(SharedGloveRecord));
  if (object.fd >= 0) close(object.fd);
  object = Attached{};
}

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Why the object must not be read, or empty when it may be: it must be a plain object of
// this user's or root's that nobody else may write.
std::string untrustedBecause(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "not a shared-memory object";
  if (status.st_uid != geteuid() && status.st_uid != 0)
    return "owned by uid " + std::to_string(status.st_uid) +
           ", neither this user nor root: not read, since its owner could drive the program";
  if (status.st_mode & (S_IWGRP | S_IWOTH))
    return "writable by others (mode " + octal(status.st_mode) + "): not read, since they could drive the program";
  return "";
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Why an open object is not read as a live glove, or empty when it is one; its record
// is copied on the way. An object not ready yet (magic still 0) gives an empty reason.
std::string refusalOf(Attached& object, SharedGloveRecord& copy) {
  struct stat status {};
  if (fstat(object.fd, &status) != 0) return std::string("cannot look at it: ") + std::strerror(errno);
  if (const std::string untrusted = untrustedBecause(status); !untrusted.empty()) return untrusted;
  if (status.st_size < static_cast<off_t>(sizeof(SharedGloveRecord)))
    return std::to_string(status.st_size) + " bytes, too short for a glove record (" +
           std::to_string(sizeof(SharedGloveRecord)) + ")";
  object.device = status.st_dev;
  object.inode = status.st_ino;
  const Copy read = copyRecord(object, copy, gloveMonotonicNanos() + kLongestWaitNanos);
  if (read == Copy::kShort) return "cut short while being read";
  if (read == Copy::kUnsettled) return "its driver never finishes a change of the record";
  if (copy.magic == 0) return "";
  if (copy.magic != kGloveMagic) return "not a glove record (magic " + hex(copy.magic) + ")";
  if (copy.version != kGloveLayoutVersion)
    return "a glove record of layout " + std::to_string(copy.version) + "; this program reads layout " +
           std::to_string(kGloveLayoutVersion);
  // The clock is read after the record, so a live driver's beat is never ahead of it.
  // Any 64 bits may stand in the heartbeat: the difference is taken without overflow.
  const uint64_t now = static_cast<uint64_t>(gloveMonotonicNanos()), beat = copy.heartbeatNanos;
  if (beat <= now && now - beat >= static_cast<uint64_t>(kGloveStaleNanos))
    return "the driver's heartbeat is " + std::to_string((now - beat) / kNanosPerMilli) + " ms old: no driver is running";
  if (beat > now && beat - now > static_cast<uint64_t>(kGloveFutureNanos))
    return "the driver's heartbeat is " + std::to_string((beat - now) / kNanosPerMilli) +
           " ms ahead of this clock: no driver here wrote it";
  return "";
}

// Opens the object and checks it as start-up does: trusted, a glove record of this
// layout, and a driver beating now. False with the reason; with an empty one for a
// driver's object that is not ready yet.
bool openChecked(const std::string& name, Attached& object, SharedGloveRecord& copy, std::string& reason) {
  // Non-blocking: a FIFO in the object's place must not hold the program up.
  object.fd = shm_open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (object.fd < 0) {
    reason = errno == ENOENT ? "no such shared-memory object (is the glove driver running?)"
                             : std::string("cannot open it: ") + std::strerror(errno);
    return false;
  }
  reason = refusalOf(object, copy);
  if (!reason.empty() || copy.magic != kGloveMagic) {
    detach(object);
    return false;
  }
  void* page = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ, MAP_SHARED, object.fd, 0);
  object.futexPage = page == MAP_FAILED ? nullptr : page;
  return true;
}

bool finite(const SharedGloveRecord& copy) {
  const float fields[] = {copy.x, copy.y, copy.z, copy.orient[0], copy.orient[1], copy.orient[2]};
  for (float field : fields)
    if (!std::isfinite(field)) return false;
  return true;
}

// Takes a consistent copy as what the program sees, unless a field is not a number.
void takeRecord(const SharedGloveRecord& copy) {
  library.seenSequence = copy.sequence;
  if (!finite(copy)) {
    if (!library.badRecordSaid) say("a record with NaN or infinity in it is not used; the hand stays as last seen");
    library.badRecordSaid = true;
    return;
  }
  library.current = gloveRecordOf(copy);
}

void adopt(const Attached& object, const SharedGloveRecord& copy, int64_t now) {
  detach(library.object);
  library.object = object;
  library.lastBeat = copy.heartbeatNanos;
  library.beatMovedNanos = now;
  library.nameCheckedNanos = now;
  library.driverStopped = false;
  library.problemSaid.clear();
  takeRecord(copy);
}

// A driver that stops beating is said once; the hand stays as it was until it beats again.
void watchHeartbeat(uint64_t beat, int64_t now) {
  if (beat != library.lastBeat) {
    library.lastBeat = beat;
    library.beatMovedNanos = now;
    if (library.driverStopped) say("the driver beats again: the glove is read again");
    library.driverStopped = false;
    return;
  }
  if (library.driverStopped || now - library.beatMovedNanos < kGloveStaleNanos) return;
  library.driverStopped = true;
  say("the driver has stopped (no heartbeat for " + std::to_string(kGloveStaleNanos / kNanosPerMilli) +
      " ms): the hand stays as last seen until it beats again");
}

// Reads a new object under the name, when a driver has made one since (it restarted).
void lookForNewObject(int64_t now) {
  if (now - library.nameCheckedNanos < kNameCheckNanos) return;
  library.nameCheckedNanos = now;
  const int fd = shm_open(library.name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return;  // gone: the heartbeat says when the driver has stopped
  struct stat status {};
  const bool same = fstat(fd, &status) == 0 && status.st_dev == library.object.device &&
                    status.st_ino == library.object.inode;
  close(fd);
  if (same) return;
  Attached object;
  SharedGloveRecord copy{};
  std::string reason;
  if (openChecked(library.name, object, copy, reason)) {
    adopt(object, copy, now);
    say("a new driver's record: the glove is read from it now");
  } else if (!reason.empty()) {
    sayOnce("a new object under the name is not read: " + reason);
  }
}

}  // namespace

void gloveLibraryUseObject(const char* name) { library.configuredName = name ? name : ""; }

void gloveLibraryNoteOtherCall() { library.lastCallWasPoll = false; }

int gloveLibraryInit() {
  library.lastCallWasPoll = false;
  if (library.object.fd >= 0) return kGloveFound;
  std::string error;
  library.name = library.configuredName.empty() ? gloveSharedObjectName(&error) : library.configuredName;
  if (library.name.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kNoGloveFound;
  }
  library.badRecordSaid = false;
  Attached object;
  SharedGloveRecord copy{};
  std::string reason;
  if (!openChecked(library.name, object, copy, reason)) {
    say(reason.empty() ? "its driver has not finished creating it" : reason);
    return kNoGloveFound;
  }
  adopt(object, copy, gloveMonotonicNanos());
  return kGloveFound;
}

void gloveLibrarySetMouseState(int, int) { library.lastCallWasPoll = false; }  // a driver has no pointer to drive

void gloveLibraryClose() {
  detach(library.object);
  library.lastCallWasPoll = false;
}

const GloveRecord* gloveLibraryRecord() {
  if (library.object.fd < 0) return &library.current;
  const int64_t start = gloveMonotonicNanos();
  if (library.lastCallWasPoll) waitForChange(library.object, library.seenSequence, kLongestWaitNanos);
  lookForNewObject(gloveMonotonicNanos());
  SharedGloveRecord copy{};
  switch (copyRecord(library.object, copy, start + kLongestWaitNanos)) {
    case Copy::kWhole:
      watchHeartbeat(copy.heartbeatNanos, gloveMonotonicNanos());
      if (!library.driverStopped) takeRecord(copy);
      break;
    case Copy::kShort:
      sayOnce("cut short by its driver: the hand stays as last seen");
      break;
    case Copy::kUnsettled:
      break;  // the driver died in the middle of a change: the last copy stays
  }
  library.lastCallWasPoll = true;
  return &library.current;
}

// With no object attached there is no word to sleep on, and waitForChange just sleeps.
void gloveLibraryAwaitChange(int64_t longestNanos) {
  waitForChange(library.object, library.seenSequence, longestNanos);
}
