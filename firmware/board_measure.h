#pragma once

#include <string>

// Figures of the firmware on the emulated board, printed on standard output: the scan
// time for several touch patterns and each reply's time on the line, the replies to a
// burst of requests, the resistance ranges that read right, and how fast the emulator
// runs against the wall clock. Returns an exit status.
int boardMeasure(const std::string& firmwarePath);
