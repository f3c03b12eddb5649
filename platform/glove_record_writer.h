#pragma once

// The writing side of the glove bridge (glove_shared_record.h), for glove drivers and
// the rig: one writer per shared object. Also the object's name, which every reader and
// writer takes from here.

#include <sys/types.h>

#include <string>

#include "platform/glove_library.h"
#include "platform/glove_shared_record.h"

// No group of readers: the object is its owner's alone (mode 0600).
constexpr gid_t kGloveNoReaderGroup = static_cast<gid_t>(-1);

struct GloveRecordWriter {
  std::string name;
  SharedGloveRecord* shared = nullptr;
  GloveRecord last = {};  // the content readers see now
  std::string error;      // why the last create failed
};

// The shared object's name: SIGNGLOVE_GLOVE from the environment when it is set, else
// kGloveSharedName. Empty, with the reason in *error, when SIGNGLOVE_GLOVE is not a
// POSIX shared-memory name ('/' and 1 to NAME_MAX characters, none of them '/').
std::string gloveSharedObjectName(std::string* error = nullptr);

// Creates the shared object mode 0600, or 0640 owned by readerGroup so that a driver
// running as root can feed signers of that group, with an all-zero record and a fresh
// heartbeat. An object left under the name by the same user (a driver that died) is
// replaced; one owned by anyone else is not. False, with the reason in writer.error
// (and errno set), when it cannot.
bool gloveWriterCreate(GloveRecordWriter& writer, const std::string& name, gid_t readerGroup = kGloveNoReaderGroup);

// Beats the heartbeat and, when the record differs from the last one, publishes it and
// wakes every reader waiting for a change.
void gloveWriterPublish(GloveRecordWriter& writer, const GloveRecord& record);

// Unmaps and removes the shared object.
void gloveWriterClose(GloveRecordWriter& writer);

// The clock heartbeats are read from: CLOCK_MONOTONIC in nanoseconds.
int64_t gloveMonotonicNanos();

// The program's record in a shared one (the same fields, in the same order, from x on).
GloveRecord gloveRecordOf(const SharedGloveRecord& shared);
