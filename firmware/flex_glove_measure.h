#pragma once

#include <string>

// Figures of the flex glove's firmware on its emulated board, printed on standard
// output: its sample rate and the spread of its lines' starts, the longest line's time
// on the wire, how closely a linear calibration reads the bends back, and how fast the
// emulator runs against the wall clock. Returns an exit status.
int flexGloveMeasure(const std::string& firmwarePath);
