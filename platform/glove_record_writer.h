#pragma once

// The writing side of the glove bridge (glove_shared_record.h), for glove drivers and
// the rig: one writer per shared object.

#include <string>

#include "platform/glove_library.h"
#include "platform/glove_shared_record.h"

struct GloveRecordWriter {
  std::string name;
  SharedGloveRecord* shared = nullptr;
  GloveRecord last = {};  // the content readers see now
};

// Creates the shared object (replacing any left behind) with an all-zero record and a
// fresh heartbeat; false, with errno set, when it cannot.
bool gloveWriterCreate(GloveRecordWriter& writer, const char* name = kGloveSharedName);

// Beats the heartbeat and, when the record differs from the last one, publishes it and
// wakes every reader waiting for a change.
void gloveWriterPublish(GloveRecordWriter& writer, const GloveRecord& record);

// Unmaps and removes the shared object.
void gloveWriterClose(GloveRecordWriter& writer);

// The clock heartbeats are read from: CLOCK_MONOTONIC in nanoseconds.
int64_t gloveMonotonicNanos();
