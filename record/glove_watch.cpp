#include "record/glove_watch.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "platform/glove_library.h"
#include "platform/posix/glove_library_posix.h"
#include "record/relay.h"

namespace {

constexpr long kLongestLookApartNanos = 1'000'000;  // the record is read at least this often
constexpr int kFoundGlove = 1;

const SharedGloveRecord* watched = nullptr;  // mapped again here for its sequence word

bool sameContent(const GloveRecord& a, const GloveRecord& b) {
  return std::memcmp(&a.x, &b.x, sizeof(float) * 3) == 0 && std::memcmp(a.orient, b.orient, sizeof a.orient) == 0 &&
         std::memcmp(a.bend, b.bend, sizeof a.bend) == 0 && std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

// Sleeps until the writer moves the sequence on from expected, or for at most a millisecond.
void waitForChange(uint32_t expected) {
  if (!watched) {
    const timespec pause{0, kLongestLookApartNanos};
    nanosleep(&pause, nullptr);
    return;
  }
  const timespec timeout{0, kLongestLookApartNanos};
  syscall(SYS_futex, &watched->sequence, FUTEX_WAIT, expected, &timeout, nullptr, 0);
}

}  // namespace

bool gloveWatchAttach(const char* name) {
  gloveLibraryUseObject(name);
  if (gloveLibraryInit() != kFoundGlove) return false;
  const int fd = shm_open(name, O_RDONLY | O_CLOEXEC, 0);
  if (fd >= 0) {
    void* mapped = mmap(nullptr, sizeof(SharedGloveRecord), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped != MAP_FAILED) watched = static_cast<const SharedGloveRecord*>(mapped);
  }
  return true;
}

void gloveWatchRun(const std::atomic<bool>& stop, std::vector<GloveSnapshot>& snapshots) {
  for (;;) {
    const bool last = stop.load();  // one more look after the stop, so the end is never missed
    const uint32_t sequence = watched ? __atomic_load_n(&watched->sequence, __ATOMIC_ACQUIRE) : 0;
    gloveLibraryNoteOtherCall();  // the library itself must not wait: this loop does
    const GloveRecord record = *gloveLibraryRecord();
    const int64_t now = monotonicMicros();
    if (snapshots.empty() || !sameContent(record, snapshots.back().record)) snapshots.push_back({now, record});
    if (last) return;
    waitForChange(sequence);
  }
}
