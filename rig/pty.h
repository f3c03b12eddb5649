#pragma once

// A pseudo-terminal pair: the master is the far end of a serial line, the slave looks
// to a program like the serial port itself.

#include <string>

struct Pty {
  int master = -1;         // non-blocking, close-on-exec
  int slave = -1;          // kept open, so the master never sees a hang-up between opens
  std::string slavePath;   // /dev/pts/N
};

// Opens a pair with a raw slave (no echo, no line editing, no translation), or, not raw,
// one set as a new terminal is; false with the reason in error when it cannot.
bool ptyOpen(Pty& pty, std::string& error, bool raw = true);

// Closes both ends.
void ptyClose(Pty& pty);
