#pragma once

// signglove-view: the live view of the real program. The program runs on a
// pseudo-terminal of the view's, whose output passes to the user's terminal and whose
// input is the user's typing; the view relays its COM1 to the real contact controller
// as the recorder does (a pseudo-terminal bound over the device in a mount namespace of
// the program's own), watches the glove record it reads, and works out from the two,
// in the order they happened, the samples and windows the program took.

#include <string>

#include "record/session_watch.h"

constexpr int kViewExitCannotSetUp = 1;
constexpr int kProgramViewLingerSeconds = 3;  // served this long after the program ends, unless kept

struct ProgramViewOptions {
  int port = 0;                      // 0: any free port
  std::string address;               // where to listen
  bool keep = false;                 // served after the program's end until Ctrl-C
  WatchedProgram watched;            // the program and its devices
};

// Runs the program under the view. Returns its exit status (128 + signal when a signal
// ended it), or kViewExitCannotSetUp with the reason on standard error.
int runProgramView(const ProgramViewOptions& options);
