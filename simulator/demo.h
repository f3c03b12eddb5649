#pragma once

#include <string>

// The built-in demo: calibrate, sign recognition, the nine words, leave and exit.
extern const char* const kDemoScript;

// A long sign-recognition session, forty rounds of the nine words, for speed figures
// and for checks that need many signs.
std::string longSessionScript();
