#include "record/glove_watch.h"

#include <cstring>

#include "platform/glove_library.h"
#include "platform/posix/glove_library_posix.h"
#include "record/relay.h"

namespace {

constexpr int64_t kLongestLookApartNanos = 1'000'000;  // the record is read at least this often
constexpr int kFoundGlove = 1;

bool sameContent(const GloveRecord& a, const GloveRecord& b) {
  return std::memcmp(&a.x, &b.x, sizeof(float) * 3) == 0 && std::memcmp(a.orient, b.orient, sizeof a.orient) == 0 &&
         std::memcmp(a.bend, b.bend, sizeof a.bend) == 0 && std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

}  // namespace

bool gloveWatchAttach(const std::string& name) {
  gloveLibraryUseObject(name.c_str());
  return gloveLibraryInit() == kFoundGlove;
}

void gloveWatchRun(const std::atomic<bool>& stop, GloveWatchLog& log) {
  GloveRecord noted{};
  for (bool first = true;; first = false) {
    const bool last = stop.load();  // one more look after the stop, so the end is never missed
    gloveLibraryNoteOtherCall();    // the library itself must not wait: this loop does
    const GloveRecord record = *gloveLibraryRecord();
    if (first || !sameContent(record, noted)) {
      const std::lock_guard<std::mutex> lock(log.mutex);
      log.snapshots.push_back({monotonicMicros(), record});
      ++log.changes;
      noted = record;
    }
    if (last) return;
    gloveLibraryAwaitChange(kLongestLookApartNanos);
  }
}

std::vector<GloveSnapshot> gloveWatchTake(GloveWatchLog& log) {
  std::vector<GloveSnapshot> taken;
  const std::lock_guard<std::mutex> lock(log.mutex);
  taken.swap(log.snapshots);
  return taken;
}
