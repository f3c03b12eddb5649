#pragma once

// signglove-record: a live session recorded as a scenario script. The program runs in a
// mount namespace of its own where a pseudo-terminal stands in for its COM1; the
// recorder relays that terminal to the real contact controller, reads the same glove
// record as the program and passes the user's typing to it, noting everything with
// its time, and writes the script as the session goes (every line nothing later can
// change, within about a second), so that a recorder that is killed keeps what it had.

#include <string>

#include "record/session_watch.h"

constexpr int kRecordExitCannotSetUp = 1;

struct RecorderOptions {
  std::string out;                   // where the script goes
  bool force = false;                // an existing OUT is replaced (else refused)
  WatchedProgram watched;            // the program and its devices
};

// Records a session. Returns the program's exit status (128 + signal when a signal
// ended it), or kRecordExitCannotSetUp with the reason on standard error: OUT or the
// devices cannot be used (nothing is run then), or OUT could not be written.
int runRecorder(const RecorderOptions& options);
