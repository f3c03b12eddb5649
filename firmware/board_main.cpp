// signglove-board: the contact controller's firmware on an emulated ATmega328P, its
// serial line a pseudo-terminal, its pads touching as standard input says.

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "firmware/board.h"
#include "firmware/board_commands.h"
#include "firmware/board_measure.h"
#include "firmware/board_pty.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr size_t kLongestCommand = 4096;  // more without a newline is not a command

const char* const kHelp = R"(usage: signglove-board [--fast] [--link PATH] [FIRMWARE.elf]
       signglove-board --measure [FIRMWARE.elf]

Runs the contact controller's firmware (by default the one built with this program)
on an emulated ATmega328P at 16 MHz, at the pace of the wall clock, and prints the
pseudo-terminal its serial line is on (--link PATH also links PATH to it). --fast
runs the emulation as fast as it goes. Standard input moves the pads, one command a
line:
  touch PAD...   these pads touch, forming one group; groups that share a pad merge
                 (LP LR LM LI LT LPm RPm RT RI RM RR RP)
  untouch        no pads touch
  quit           end the program (so does end of input, or a signal)
--measure prints, unpaced, the scan time for a few touch patterns and each reply's
time on the line, the replies to a burst of requests, the contact and skin
resistances that read right at every corner of the pads' circuit, and the
emulator's speed against the wall clock.
)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  bool paced = true;
  bool measure = false;
  std::string link;
  std::string firmware = SIGNGLOVE_FIRMWARE_ELF;
  for (int index = 1; index < argc; ++index) {
    const std::string arg = argv[index];
    if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (arg == "--measure") {
      measure = true;
    } else if (arg == "--fast") {
      paced = false;
    } else if (arg == "--link" && index + 1 < argc) {
      link = argv[++index];
    } else if (!arg.empty() && arg[0] != '-') {
      firmware = arg;
    } else {
      std::fputs(kHelp, stderr);
      return kExitUsage;
    }
  }

  if (measure) return boardMeasure(firmware);

  Board board;
  BoardPty pty;
  std::string error;
  if (!boardLoad(board, firmware, error) || !boardPtyOpen(pty, error)) {
    std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
    return kExitFailure;
  }
  if (!link.empty()) {
    unlink(link.c_str());
    if (symlink(pty.path.c_str(), link.c_str()) != 0) {
      std::fprintf(stderr, "signglove-board: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
      return kExitFailure;
    }
  }
  std::printf("serial line on %s\n", pty.path.c_str());
  std::fflush(stdout);
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);

  std::vector<ContactMask> touching;
  std::string pending;
  bool quit = false;
  avrBoardStartPace(board.chip);
  while (!quit && !stopRequested) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) > 0) {
      char chunk[256];
      const ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
      if (count <= 0) break;
      for (ssize_t index = 0; index < count; ++index) {
        if (chunk[index] != '\n') {
          if (pending.size() <= kLongestCommand) pending += chunk[index];
          continue;
        }
        if (pending.size() > kLongestCommand)
          std::fprintf(stderr, "signglove-board: a command line longer than %zu characters\n", kLongestCommand);
        else if (!boardCommand(pending, touching, quit, error))
          std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
        boardSetTouching(board, touching);
        pending.clear();
      }
    }
    if (!boardPtyStep(board.chip, pty)) {
      std::fprintf(stderr, "signglove-board: the emulated chip stopped\n");
      break;
    }
    if (paced) avrBoardKeepPace(board.chip);
  }
  if (!link.empty()) unlink(link.c_str());
  boardPtyClose(pty);
  return 0;
}
