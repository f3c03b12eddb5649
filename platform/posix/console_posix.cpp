#include <unistd.h>

#include <cstdarg>
#include <cstdio>

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

int consoleReadChar() {
  gloveLibraryNoteOtherCall();
  return std::getchar();
}
