#pragma once

// The glove bridge: how a glove driver hands its readings to signglove on Linux.
//
// A driver (any process that can measure the hand's position, three angles, five
// finger bends and four buttons) keeps one record current in the POSIX shared-memory
// object kGloveSharedName, i.e. /dev/shm/signglove-glove, or the one the environment
// variable SIGNGLOVE_GLOVE names (e.g. /signglove-glove-alice), and signglove polls it.
// The object is SharedGloveRecord below, native byte order, nothing before it. All
// fields are fixed-width; the header is plain C so that a driver in C can include it too.
//
// Writing (glove_record_writer.h does all of this for C++ drivers):
//   1. Create the object with size sizeof(SharedGloveRecord), mode 0600 (0640 with a
//      group of readers), zero it, set magic and version last. The program reads only
//      an object owned by its own user or by root that nobody else may write, as ssh
//      reads a key file.
//   2. To publish a record whose content differs from the last one: make sequence odd
//      (+1), write the record fields, make sequence even again (+1), then FUTEX_WAKE
//      every waiter on the sequence word (a shared futex, not FUTEX_PRIVATE_FLAG).
//      The sequence moves only when the content changes, so a still hand wakes nobody.
//   3. At least every 100 ms, whether or not the record changed, store the driver's
//      CLOCK_MONOTONIC time in nanoseconds in heartbeatNanos. The program treats a
//      glove whose heartbeat is 500 ms old or more, or more than a second ahead of its
//      own clock, as absent when it starts. While it runs, a heartbeat that stays the
//      same for 500 ms means the driver has stopped: the hand stays as last seen until
//      it beats again. A driver that restarts re-creates the object; the program reads
//      the new one within about 100 ms.
//   4. Never shrink the object, and never publish NaN or infinity: the program keeps
//      the last good record instead (and says so on standard error).
//
// Reading: read sequence; if odd, retry; copy the record; read sequence again and
// retry unless it is unchanged. A reader waiting for a change may FUTEX_WAIT on the
// sequence word with the value it last saw.

#include <stdint.h>

#define SIGNGLOVE_GLOVE_SHARED_NAME "/signglove-glove"
#define SIGNGLOVE_GLOVE_MAGIC 0x564C4753u /* "SGLV" in a little-endian dump */
#define SIGNGLOVE_GLOVE_LAYOUT_VERSION 1u

typedef struct SharedGloveRecord {
  uint32_t magic;           /* SIGNGLOVE_GLOVE_MAGIC once the object is ready */
  uint32_t version;         /* SIGNGLOVE_GLOVE_LAYOUT_VERSION */
  uint32_t sequence;        /* odd while the writer is changing the record */
  uint32_t reserved;        /* zero */
  uint64_t heartbeatNanos;  /* the writer's CLOCK_MONOTONIC at its latest beat */
  /* The record: the fields of the program's GloveRecord, in its order. */
  float x, y, z;            /* hand position, glove units */
  float orient[3];          /* the three orientation angles */
  uint8_t bend[5];          /* thumb, index, middle, ring, little finger; larger is more bent */
  uint8_t buttons[4];       /* A, B, C, D: 1 while held, 0 otherwise */
  uint8_t padding[7];       /* zero */
} SharedGloveRecord;

#ifdef __cplusplus
#include <cstddef>

constexpr const char* kGloveSharedName = SIGNGLOVE_GLOVE_SHARED_NAME;
constexpr uint32_t kGloveMagic = SIGNGLOVE_GLOVE_MAGIC;
constexpr uint32_t kGloveLayoutVersion = SIGNGLOVE_GLOVE_LAYOUT_VERSION;
// A glove whose heartbeat is this old is not there.
constexpr int64_t kGloveStaleNanos = 500'000'000;
// A heartbeat ahead of the reader's clock by more than this was not written by a live
// driver on this clock.
constexpr int64_t kGloveFutureNanos = 1'000'000'000;

// The offsets are the contract with drivers written in any language.
static_assert(offsetof(SharedGloveRecord, magic) == 0);
static_assert(offsetof(SharedGloveRecord, version) == 4);
static_assert(offsetof(SharedGloveRecord, sequence) == 8);
static_assert(offsetof(SharedGloveRecord, heartbeatNanos) == 16);
static_assert(offsetof(SharedGloveRecord, x) == 24);
static_assert(offsetof(SharedGloveRecord, orient) == 36);
static_assert(offsetof(SharedGloveRecord, bend) == 48);
static_assert(offsetof(SharedGloveRecord, buttons) == 53);
static_assert(sizeof(SharedGloveRecord) == 64);
#endif
