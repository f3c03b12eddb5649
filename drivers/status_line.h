#pragma once

// A driver's one-line status on standard error while that is a terminal (rate, the
// record's last values, what was skipped), redrawn in place a few times a second;
// nothing otherwise.

#include <cstdint>
#include <string>

#include "platform/glove_library.h"

// What a driver has done with what its glove sent.
struct DriverCounts {
  int64_t used = 0;     // lines or messages taken into the record
  int64_t skipped = 0;  // lines or messages refused
};

struct StatusLine {
  bool shown = false;  // standard error is a terminal
  bool drawn = false;  // a status is on the screen now
  int64_t lastDrawNanos = 0;
  int64_t usedAtLastDraw = 0;
};

// The status's text: the rate of records used, the record, the skipped count.
std::string statusText(double perSecond, const GloveRecord& record, const DriverCounts& counts);

// Shows the status from now on if standard error is a terminal.
void statusLineStart(StatusLine& status);

// Redraws the status when the last drawing is old enough.
void statusLineTick(StatusLine& status, const GloveRecord& record, const DriverCounts& counts, int64_t nowNanos);

// Moves off the status's line before anything else is printed, and at the end.
void statusLineBreak(StatusLine& status);
