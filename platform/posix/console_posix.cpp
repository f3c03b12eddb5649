#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "platform/com1_device.h"
#include "platform/console.h"
#include "platform/posix/glove_library_posix.h"

void consolePrint(const char* format, ...) {
  gloveLibraryNoteOtherCall();
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

// A terminal is cleared and homed; anything else gets a form feed between pages.
void consoleClear() {
  gloveLibraryNoteOtherCall();
  std::fputs(isatty(STDOUT_FILENO) ? "\x1b[H\x1b[2J" : "\f", stdout);
  std::fflush(stdout);
}

// The program reads the keyboard only to go on after the contact controller has not
// answered in time; standard error says what the key does and which device it was,
// since the program's own message names neither.
int consoleReadChar() {
  gloveLibraryNoteOtherCall();
  std::fprintf(stderr, "signglove: no reply from the contact controller on COM1 (%s): Enter tries again, Ctrl-C quits\n",
               com1Device().c_str());
  return std::getchar();
}
