#pragma once

#include <cstdio>
#include <vector>

#include "eval/grid.h"
#include "eval/report.h"

// Runs trials in separate worker processes (the virtual world is one global per
// process), writing each trial's CSV line in trial order whatever the number of
// workers.

struct RunOptions {
  int jobs = 1;           // worker processes
  FILE* csv = nullptr;    // gets one line per trial, in trial order
  bool progress = false;  // a progress bar with the time left on standard error
};

struct RunResult {
  size_t done = 0;           // trials written, the first `done` of the list
  bool interrupted = false;  // stopped by SIGINT or SIGTERM
  bool failed = false;       // a worker died or could not be started
  int writeError = 0;        // errno of the first CSV write that failed (the run stops there)
};

// Runs the trials, counting each written one in the tally. SIGINT or SIGTERM stops
// the workers; every line written by then is whole, and they are the first trials.
RunResult runTrials(const std::vector<Trial>& trials, const RunOptions& options, Tally& tally);
