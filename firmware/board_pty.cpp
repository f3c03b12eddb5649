#include "firmware/board_pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "firmware/avr_board.h"

namespace {

// Slices of emulated time between looks at the line: well under a byte's frame.
constexpr int64_t kStepMicros = 250;
constexpr size_t kReadChunk = 64;

}  // namespace

bool boardPtyOpen(BoardPty& pty, std::string& error) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    boardPtyClose(pty);
    return false;
  }
  pty.path = ptsname(pty.master);
  pty.slave = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
  termios settings{};
  if (pty.slave < 0 || tcgetattr(pty.slave, &settings) != 0) {
    error = "cannot open " + pty.path + ": " + std::strerror(errno);
    boardPtyClose(pty);
    return false;
  }
  cfmakeraw(&settings);
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  tcsetattr(pty.slave, TCSANOW, &settings);
  fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
  return true;
}

void boardPtyClose(BoardPty& pty) {
  if (pty.slave >= 0) close(pty.slave);
  if (pty.master >= 0) close(pty.master);
  pty.slave = pty.master = -1;
}

bool boardPtyStep(AvrBoard& board, BoardPty& pty) {
  for (int slice = 0; slice < 4; ++slice) {
    unsigned char incoming[kReadChunk];
    const ssize_t count = read(pty.master, incoming, sizeof incoming);
    for (ssize_t index = 0; index < count; ++index) avrBoardSendByte(board, incoming[index]);
    if (!avrBoardRunFor(board, kStepMicros)) return false;
    BoardByte outgoing;
    while (avrBoardTakeByte(board, outgoing)) {
      // A full master buffer means nobody reads the line: the byte is lost, as on a wire.
      [[maybe_unused]] const ssize_t written = write(pty.master, &outgoing.byte, 1);
    }
  }
  return true;
}
