#pragma once

// The POSIX glove library reads the glove bridge's shared object (see
// platform/glove_shared_record.h).

// Names the shared object to read instead of /signglove-glove (the tests use their own).
void gloveLibraryUseObject(const char* name);

// Another platform call has been made since the last glove poll: the next poll must
// return at once instead of waiting for the record to change.
void gloveLibraryNoteOtherCall();
