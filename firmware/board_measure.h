#pragma once

#include <string>

// Figures of the firmware on the emulated board, printed on standard output: the scan
// time in cycles for several touch patterns, each reply's length on the line, and how
// fast the emulator runs against the wall clock. Returns an exit status.
int boardMeasure(const std::string& firmwarePath);
