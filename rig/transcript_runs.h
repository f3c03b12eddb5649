#pragma once

// The allowance real-time runs need when their transcripts are compared with the
// simulator's: in finger connections and handshape diagnostics the program prints a
// line (or lines) per cycle or per moving window, and how many of those fit between
// two actions depends on where the samples fall, which the wall clock cannot repeat.

#include <string>

// The transcript with every run of a repeated block of lines kept once, in the pages of
// the modes that repeat (a page runs from one console clear to the next).
std::string keepEachRunOnce(const std::string& transcript);
