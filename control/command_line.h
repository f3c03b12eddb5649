#pragma once

// The real program's command line. It takes no arguments in normal use; --version,
// --help and -h print and end without starting anything; anything else is a usage
// error. The devices it uses come from the environment (SIGNGLOVE_COM1, SIGNGLOVE_GLOVE).

// Negative when the program should run; otherwise the exit status to end with at once.
int handleCommandLine(int argc, char** argv);
