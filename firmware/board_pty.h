#pragma once

#include <string>

struct AvrBoard;

// The board's serial line as a pseudo-terminal: a program opens the slave's path as
// its serial port. The host keeps a slave descriptor open as well, since reading the
// master fails with EIO while no slave is open.
struct BoardPty {
  int master = -1;
  int slave = -1;
  std::string path;
};

// Opens a raw pseudo-terminal. On failure returns false with the reason in error.
bool boardPtyOpen(BoardPty& pty, std::string& error);

// Closes both ends.
void boardPtyClose(BoardPty& pty);

// Runs the board for about a millisecond of emulated time: bytes written to the slave
// go to the firmware, the firmware's bytes go to the slave as their frames end.
// Returns false when the emulated chip stopped.
bool boardPtyStep(AvrBoard& board, BoardPty& pty);
