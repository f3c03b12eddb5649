// Fuzzes the POSIX glove library, the program's reader of the glove bridge, with any
// object a driver could leave: any bytes, any size, changed and cut short while it is
// read. The first bytes say how the object starts (its size, whether the harness makes
// its header a live glove's), the rest are changes between polls. Checked on every input:
// - start-up finds a glove only in an object at least a record long, with the magic,
//   the layout and a heartbeat of now;
// - no poll ever crashes (SIGBUS from a cut object included) or returns a field that is
//   not a number;
// - after a whole, settled, finite record has been written, the next poll returns it.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glove_library.h"
#include "platform/glove_record_writer.h"
#include "platform/glove_shared_record.h"
#include "platform/posix/glove_library_posix.h"

namespace {

constexpr size_t kLargestObject = 256;
constexpr int kMostChanges = 32;
constexpr uint8_t kOddSequences = 0xA5;

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

const std::string& objectName() {
  static const std::string name = "/signglove-fuzz-glove-" + std::to_string(getpid());
  return name;
}

struct Object {
  int fd = -1;
  std::vector<uint8_t> bytes;  // what the object holds now

  bool oddSequences = false;  // a writer caught in the middle of a change: each poll waits then

  void put() {
    if (!oddSequences && bytes.size() > offsetof(SharedGloveRecord, sequence))
      bytes[offsetof(SharedGloveRecord, sequence)] &= 0xFE;
    if (ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ||
        pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
      broken("the harness could not write the object");
  }
  SharedGloveRecord record() const {
    SharedGloveRecord copy{};
    if (!bytes.empty()) std::memcpy(&copy, bytes.data(), std::min(bytes.size(), sizeof copy));
    return copy;
  }
  // A live glove's header: magic, layout, an even sequence, a heartbeat of now.
  void makeLive(uint32_t sequence) {
    if (bytes.size() < sizeof(SharedGloveRecord)) bytes.resize(sizeof(SharedGloveRecord));
    SharedGloveRecord copy = record();
    copy.magic = kGloveMagic;
    copy.version = kGloveLayoutVersion;
    copy.sequence = sequence & ~1u;
    copy.heartbeatNanos = static_cast<uint64_t>(gloveMonotonicNanos());
    std::memcpy(bytes.data(), &copy, sizeof copy);
  }
};

bool finite(const GloveRecord& record) {
  const float fields[] = {record.x, record.y, record.z, record.orient[0], record.orient[1], record.orient[2]};
  for (float field : fields)
    if (!std::isfinite(field)) return false;
  return true;
}

bool sameAs(const GloveRecord& seen, const SharedGloveRecord& written) {
  return std::memcmp(&seen.x, &written.x, sizeof(float) * 6) == 0 &&
         std::memcmp(seen.bend, written.bend, sizeof seen.bend) == 0 &&
         std::memcmp(seen.buttons, written.buttons, sizeof seen.buttons) == 0;
}

bool finiteRecord(const SharedGloveRecord& copy) {
  const float fields[] = {copy.x, copy.y, copy.z, copy.orient[0], copy.orient[1], copy.orient[2]};
  for (float field : fields)
    if (!std::isfinite(field)) return false;
  return true;
}

const GloveRecord& poll() {
  gloveLibraryNoteOtherCall();  // never the waiting kind: a fuzz run must not sleep
  const GloveRecord& seen = *gloveLibraryRecord();
  if (!finite(seen)) broken("a poll returned a field that is not a number");
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  shm_unlink(objectName().c_str());
  Object object;
  object.fd = shm_open(objectName().c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (object.fd < 0) broken("the harness could not create the object");
  // Rarely a writer caught in the middle of a change, for which a reader waits a while.
  object.oddSequences = input.ConsumeIntegral<uint8_t>() == kOddSequences;
  object.bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, kLargestObject));
  const bool live = input.ConsumeBool();
  if (live) object.makeLive(input.ConsumeIntegral<uint32_t>());
  object.put();

  gloveLibraryUseObject(objectName().c_str());
  const int found = gloveLibraryInit();
  const SharedGloveRecord start = object.record();
  const uint64_t now = static_cast<uint64_t>(gloveMonotonicNanos()), beat = start.heartbeatNanos;
  const bool beating = beat <= now ? now - beat < static_cast<uint64_t>(kGloveStaleNanos)
                                   : beat - now <= static_cast<uint64_t>(kGloveFutureNanos);
  const bool aGlove = object.bytes.size() >= sizeof(SharedGloveRecord) && start.magic == kGloveMagic &&
                      start.version == kGloveLayoutVersion && !(start.sequence & 1u) && beating;
  if (found == 1 && !aGlove) broken("found a glove in an object that is not a live one");
  if (found != 1 && aGlove) broken("found no glove in a live one");
  if (found == 1 && finiteRecord(start) && !sameAs(poll(), start)) broken("the first poll is not the record");

  for (int change = 0; change < kMostChanges && input.remaining_bytes() > 0; ++change) {
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {  // bytes written anywhere, the object growing to hold them
        const size_t at = input.ConsumeIntegralInRange<size_t>(0, kLargestObject);
        const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 64));
        if (object.bytes.size() < at + bytes.size()) object.bytes.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), object.bytes.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      }
      case 1:  // cut short, or grown with zeros
        object.bytes.resize(input.ConsumeIntegralInRange<size_t>(0, kLargestObject));
        break;
      case 2:  // a driver publishing a whole record
        object.makeLive(object.record().sequence + 2);
        break;
      default:
        poll();
        continue;
    }
    object.put();
    const SharedGloveRecord now = object.record();
    const bool settled = found == 1 && object.bytes.size() >= sizeof(SharedGloveRecord) && !(now.sequence & 1u);
    const GloveRecord& seen = poll();
    if (settled && finiteRecord(now) && !sameAs(seen, now))
      broken("a whole, settled, finite record was not read");
  }
  gloveLibraryClose();
  close(object.fd);
  shm_unlink(objectName().c_str());
  return 0;
}
