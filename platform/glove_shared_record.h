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
//
// Units (the program's thresholds, and the virtual signer, are in these):
//   x, y, z    millimetres: x to the signer's right, y up, z forward, away from the
//              body. The origin may be anywhere the hand never is: a position of
//              exactly (0, 0, 0) ends a movement's recording. A hand is near the head
//              or the chest it pointed at during calibration within 525 sideways and
//              225 up, down, forward and back. The virtual signer's head is at
//              (0, 700, 100), its chest at (0, 350, 100), its hand at rest at (0, 350, 400).
//   orient[0]  yaw, degrees: a turn about the vertical, positive turning the fingertips
//              to the signer's right.
//   orient[1]  pitch, degrees: positive lifting the fingertips, negative pointing them
//              down. letter-n needs it between -70 and 0, letter-m between -90 and 0
//              (spoon and mother otherwise); the wrist roll needs it to rise by less
//              than 10 a sample while the roll starts.
//   orient[2]  roll, degrees: a turn about the forearm, 0 with the palm down, positive
//              turning the palm up (clockwise as the signer looks along the forearm).
//              The wrist roll needs it to reach 100; the finger wave is looked for
//              only while it lies outside 0..100.
//   bend[]     0 a straight finger, 63 a fully bent one (the six-bit range of the glove
//              the program was written for); more than 63 reads as more bent still.
//              The handshape tree reads below 5 (and 10, 15, 20) as straight, 10 to
//              40 as half bent, above 40 as bent.
//   buttons[]  1 while held, 0 otherwise.
// A window of three samples (about 9 ms apart) is still unless a position moves more
// than 75 mm, an angle more than 75 degrees or a bend more than 4 between its first
// sample and a later one. A movement's path must travel more than 150 mm sideways or
// up and down, or 90 mm forward or back, from its first recorded sample to its last,
// straying at most 225 mm on an axis it does not travel along and stepping back at
// most 20 mm on one it does.

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
  float x, y, z;            /* hand position, millimetres (see Units above) */
  float orient[3];          /* yaw, pitch, roll in degrees */
  uint8_t bend[5];          /* thumb, index, middle, ring, little finger: 0 straight, 63 fully bent */
  uint8_t buttons[4];       /* A, B, C, D: 1 while held, 0 otherwise */
  uint8_t padding[7];       /* zero */
} SharedGloveRecord;

#ifdef __cplusplus
#include <cstddef>

constexpr const char* kGloveSharedName = SIGNGLOVE_GLOVE_SHARED_NAME;
constexpr uint32_t kGloveMagic = SIGNGLOVE_GLOVE_MAGIC;
constexpr uint32_t kGloveLayoutVersion = SIGNGLOVE_GLOVE_LAYOUT_VERSION;
// A glove whose heartbeat is this old is not there.
constexpr int64_t kGloveStaleNanos = 500000000;  // no digit separators: C compilers read this file too
// A heartbeat ahead of the reader's clock by more than this was not written by a live
// driver on this clock.
constexpr int64_t kGloveFutureNanos = 1000000000;

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
