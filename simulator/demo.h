#pragma once

// The built-in demo: calibrate, sign recognition, the nine words, leave and exit.
extern const char* const kDemoScript;
