#include "platform/glove_record_writer.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr mode_t kOwnerOnly = 0600;
constexpr mode_t kGroupReads = 0640;

// The record's bytes after the header, copied as 32-bit words so that a reader in
// another process never sees a half-written word.
constexpr size_t kRecordOffset = offsetof(SharedGloveRecord, x);
constexpr size_t kRecordWords = (sizeof(SharedGloveRecord) - kRecordOffset) / sizeof(uint32_t);

// The fields the program reads lie in the same order, packed alike, in both records.
constexpr size_t kFieldBytes = offsetof(SharedGloveRecord, buttons) + sizeof SharedGloveRecord::buttons - kRecordOffset;
static_assert(offsetof(GloveRecord, orient) == offsetof(SharedGloveRecord, orient) - kRecordOffset);
static_assert(offsetof(GloveRecord, bend) == offsetof(SharedGloveRecord, bend) - kRecordOffset);
static_assert(offsetof(GloveRecord, buttons) == offsetof(SharedGloveRecord, buttons) - kRecordOffset);

void storeRecord(SharedGloveRecord& shared, const GloveRecord& record) {
  SharedGloveRecord staged = {};
  std::memcpy(&staged.x, &record.x, kFieldBytes);
  uint32_t words[kRecordWords];
  std::memcpy(words, reinterpret_cast<const char*>(&staged) + kRecordOffset, sizeof words);
  auto* target = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(&shared) + kRecordOffset);
  for (size_t index = 0; index < kRecordWords; ++index) __atomic_store_n(&target[index], words[index], __ATOMIC_RELAXED);
}

void beat(SharedGloveRecord& shared) {
  __atomic_store_n(&shared.heartbeatNanos, static_cast<uint64_t>(gloveMonotonicNanos()), __ATOMIC_RELEASE);
}

bool failed(GloveRecordWriter& writer, const std::string& reason, int error) {
  writer.error = writer.name + ": " + reason;
  errno = error;
  return false;
}

// Clears the name for a new object, unless what holds it is not this user's to take:
// another user's object (squatted, or another driver's) stays, and the driver fails.
bool clearName(GloveRecordWriter& writer) {
  // Non-blocking, so that a FIFO put in the object's place cannot hold the driver up.
  const int fd = shm_open(writer.name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0 && errno == ENOENT) return true;
  if (fd < 0 && errno == EACCES)
    return failed(writer, "taken by an object of another user (a driver replaces only its own)", EEXIST);
  if (fd < 0) return failed(writer, std::strerror(errno), errno);
  struct stat status {};
  const bool known = fstat(fd, &status) == 0;
  const int error = errno;
  close(fd);
  if (!known) return failed(writer, std::strerror(error), error);
  if (status.st_uid != geteuid())
    return failed(writer,
                  "taken by an object of uid " + std::to_string(status.st_uid) +
                      " (a driver replaces only its own; that user or root must remove it)",
                  EEXIST);
  // A dead driver's object would keep its stale sequence and readers.
  if (shm_unlink(writer.name.c_str()) != 0 && errno != ENOENT) return failed(writer, std::strerror(errno), errno);
  return true;
}

}  // namespace

std::string gloveSharedObjectName(std::string* error) {
  const char* configured = std::getenv("SIGNGLOVE_GLOVE");
  if (!configured) return kGloveSharedName;
  const std::string name = configured;
  const std::string rest = name.empty() ? "" : name.substr(1);
  if (name.starts_with('/') && !rest.empty() && rest.size() <= NAME_MAX && rest.find('/') == std::string::npos &&
      rest != "." && rest != "..")
    return name;
  if (error)
    *error = "SIGNGLOVE_GLOVE='" + name.substr(0, 80) + (name.size() > 80 ? "...'" : "'") +
             " is not a shared-memory object name: '/' and 1 to " + std::to_string(NAME_MAX) +
             " characters, none of them '/' (e.g. /signglove-glove-alice)";
  return "";
}

GloveRecord gloveRecordOf(const SharedGloveRecord& shared) {
  GloveRecord record{};
  std::memcpy(&record.x, &shared.x, kFieldBytes);
  return record;
}

int64_t gloveMonotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool gloveWriterCreate(GloveRecordWriter& writer, const std::string& name, gid_t readerGroup) {
  writer = GloveRecordWriter{};
  writer.name = name;
  if (!clearName(writer)) return false;
  const bool shared = readerGroup != kGloveNoReaderGroup;
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
  if (fd < 0) return failed(writer, std::strerror(errno), errno);
  // The mode is set outright, whatever the umask left of it; the group first, so that
  // the object is never readable by a group it was not meant for.
  const char* failedStep = nullptr;
  if (shared && fchown(fd, static_cast<uid_t>(-1), readerGroup) != 0)
    failedStep = "cannot give it to the readers' group";
  else if (fchmod(fd, shared ? kGroupReads : kOwnerOnly) != 0)
    failedStep = "cannot set its mode";
  else if (ftruncate(fd, sizeof(SharedGloveRecord)) != 0)
    failedStep = "cannot size it";
  void* mapped = MAP_FAILED;
  if (!failedStep) mapped = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (!failedStep && mapped == MAP_FAILED) failedStep = "cannot map it";
  const int error = errno;
  close(fd);
  if (failedStep) {
    shm_unlink(name.c_str());
    return failed(writer, std::string(failedStep) + ": " + std::strerror(error), error);
  }
  writer.shared = static_cast<SharedGloveRecord*>(mapped);
  beat(*writer.shared);
  __atomic_store_n(&writer.shared->version, kGloveLayoutVersion, __ATOMIC_RELEASE);
  __atomic_store_n(&writer.shared->magic, kGloveMagic, __ATOMIC_RELEASE);
  return true;
}

void gloveWriterPublish(GloveRecordWriter& writer, const GloveRecord& record) {
  SharedGloveRecord* shared = writer.shared;
  if (!shared) return;
  if (!sameGloveBits(record, writer.last)) {
    const uint32_t sequence = __atomic_load_n(&shared->sequence, __ATOMIC_RELAXED);
    __atomic_store_n(&shared->sequence, sequence + 1, __ATOMIC_RELAXED);
    __atomic_thread_fence(__ATOMIC_RELEASE);  // odd before any field changes
    storeRecord(*shared, record);
    __atomic_store_n(&shared->sequence, sequence + 2, __ATOMIC_RELEASE);
    writer.last = record;
    syscall(SYS_futex, &shared->sequence, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
  }
  beat(*shared);
}

void gloveWriterClose(GloveRecordWriter& writer) {
  if (!writer.shared) return;
  munmap(writer.shared, sizeof(SharedGloveRecord));
  shm_unlink(writer.name.c_str());
  writer.shared = nullptr;
}
