#pragma once

// Writes printf-style text to the console; it is on the screen when the call returns.
void consolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Leaves the console empty, ready for a new page.
void consoleClear();

// Reads one character from standard input, waiting for it; negative at end of input.
int consoleReadChar();
