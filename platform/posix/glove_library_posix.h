#pragma once

// The POSIX glove library reads the glove bridge's shared object (see
// platform/glove_shared_record.h).

#include <cstdint>

// Names the shared object to read instead of the environment's (SIGNGLOVE_GLOVE) or
// /signglove-glove (the tests use their own); null goes back to those.
void gloveLibraryUseObject(const char* name);

// Another platform call has been made since the last glove poll: the next poll must
// return at once instead of waiting for the record to change.
void gloveLibraryNoteOtherCall();

// Sleeps until the driver publishes a record other than the one the last poll saw, or
// for at most longestNanos.
void gloveLibraryAwaitChange(int64_t longestNanos);
