#include <time.h>

#include "platform/clock.h"
#include "platform/posix/glove_library_posix.h"

uint32_t clockMillis() {
  gloveLibraryNoteOtherCall();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
