#pragma once

#include <string>
#include <vector>

// What the program left behind in the virtual world when it ended, one line each:
// "left open: serial port COM1", "left open: glove library", "never switched off:
// mouse emulation of glove device 0". Empty after a clean shut-down.
std::vector<std::string> worldLooseEnds();
