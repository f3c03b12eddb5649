#include "platform/glove_record_writer.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

// The record's bytes after the header, copied as 32-bit words so that a reader in
// another process never sees a half-written word.
constexpr size_t kRecordOffset = offsetof(SharedGloveRecord, x);
constexpr size_t kRecordWords = (sizeof(SharedGloveRecord) - kRecordOffset) / sizeof(uint32_t);

bool sameContent(const GloveRecord& a, const GloveRecord& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && std::memcmp(a.orient, b.orient, sizeof a.orient) == 0 &&
         std::memcmp(a.bend, b.bend, sizeof a.bend) == 0 && std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

void storeRecord(SharedGloveRecord& shared, const GloveRecord& record) {
  SharedGloveRecord staged = {};
  staged.x = record.x;
  staged.y = record.y;
  staged.z = record.z;
  std::memcpy(staged.orient, record.orient, sizeof staged.orient);
  std::memcpy(staged.bend, record.bend, sizeof staged.bend);
  std::memcpy(staged.buttons, record.buttons, sizeof staged.buttons);
  uint32_t words[kRecordWords];
  std::memcpy(words, reinterpret_cast<const char*>(&staged) + kRecordOffset, sizeof words);
  auto* target = reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(&shared) + kRecordOffset);
  for (size_t index = 0; index < kRecordWords; ++index) __atomic_store_n(&target[index], words[index], __ATOMIC_RELAXED);
}

void beat(SharedGloveRecord& shared) {
  __atomic_store_n(&shared.heartbeatNanos, static_cast<uint64_t>(gloveMonotonicNanos()), __ATOMIC_RELEASE);
}

}  // namespace

int64_t gloveMonotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool gloveWriterCreate(GloveRecordWriter& writer, const char* name) {
  writer = GloveRecordWriter{};
  writer.name = name;
  shm_unlink(name);  // a dead driver's object would keep its stale sequence and readers
  const int fd = shm_open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  void* mapped = MAP_FAILED;
  if (ftruncate(fd, sizeof(SharedGloveRecord)) == 0)
    mapped = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  const int error = errno;
  close(fd);
  if (mapped == MAP_FAILED) {
    shm_unlink(name);
    errno = error;
    return false;
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
  if (!sameContent(record, writer.last)) {
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
