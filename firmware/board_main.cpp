// signglove-board: the contact controller's firmware (or the flex glove's) on an
// emulated ATmega328P, its serial line a pseudo-terminal, its pads touching (or the
// glove's fingers bending and buttons pressed) as standard input says.

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/executable_files.h"
#include "firmware/board.h"
#include "firmware/board_commands.h"
#include "firmware/board_measure.h"
#include "firmware/board_pty.h"
#include "firmware/flex_glove_board.h"
#include "firmware/flex_glove_measure.h"

namespace {

constexpr int kExitFailure = 1;
constexpr size_t kLongestCommand = 4096;  // more without a newline is not a command

const char* const kDescription =
    "Runs the contact controller's firmware, or the flex glove's, on an emulated ATmega328P.";

const char* const kFooter = R"(
It runs the firmware (by default the one built with this program) at 16 MHz, at the
pace of the wall clock, and prints the pseudo-terminal its serial line is on.
Standard input moves the pads, one command a line:
  touch PAD...   these pads touch, forming one group; groups that share a pad merge
                 (LP LR LM LI LT LPm RPm RT RI RM RR RP)
  untouch        no pads touch
  quit           end the program (so does end of input, or a signal)
--measure prints, unpaced, the scan time for a few touch patterns and each reply's
time on the line, the replies to a burst of requests, the contact and skin
resistances that read right at every corner of the pads' circuit, and the
emulator's speed against the wall clock.

--glove runs the do-it-yourself flex glove's firmware instead: five flex sensors and
four buttons, one line a sample at 115200 baud. Standard input moves the hand:
  bends T I M R L        the fingers' bends, thumb to little finger (0 straight, 63
                         fully bent, up to 255)
  press BUTTON...        buttons go down (A B C D, or all)
  release BUTTON...      and up
  quit                   end the program
--glove --measure prints its sample rate, the longest line's time on the wire, how
closely a linear calibration reads the bends back, and the emulator's speed.

Exit status: 0; 1 when the firmware cannot be loaded or the terminal made; 2 for a bad
command line.)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

// Runs the board on a pseudo-terminal until quit, end of input or a signal, each line
// of standard input handed to command. Returns an exit status.
int serve(AvrBoard& chip, const std::string& link, bool paced,
          const std::function<bool(const std::string&, bool&, std::string&)>& command) {
  BoardPty pty;
  std::string error;
  if (!boardPtyOpen(pty, error)) {
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

  std::string pending;
  bool quit = false;
  avrBoardStartPace(chip);
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
        else if (!command(pending, quit, error))
          std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
        pending.clear();
      }
    }
    if (!boardPtyStep(chip, pty)) {
      std::fprintf(stderr, "signglove-board: the emulated chip stopped\n");
      break;
    }
    if (paced) avrBoardKeepPace(chip);
  }
  if (!link.empty()) unlink(link.c_str());
  boardPtyClose(pty);
  return 0;
}

int serveContactController(const std::string& firmware, const std::string& link, bool paced) {
  Board board;
  std::string error;
  if (!boardLoad(board, firmware, error)) {
    std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
    return kExitFailure;
  }
  std::vector<ContactMask> touching;
  return serve(board.chip, link, paced, [&](const std::string& line, bool& quit, std::string& reason) {
    const bool done = boardCommand(line, touching, quit, reason);
    boardSetTouching(board, touching);
    return done;
  });
}

int serveGlove(const std::string& firmware, const std::string& link, bool paced) {
  FlexGloveBoard board;
  std::string error;
  if (!flexGloveBoardStart(board, firmware, error)) {
    std::fprintf(stderr, "signglove-board: %s\n", error.c_str());
    return kExitFailure;
  }
  return serve(board.chip, link, paced, [&](const std::string& line, bool& quit, std::string& reason) {
    GloveHand hand = board.hand;
    if (!gloveBoardCommand(line, hand, quit, reason)) return false;
    flexGloveBoardSetHand(board, hand);
    return true;
  });
}

}  // namespace

int main(int argc, char** argv) {
  bool fast = false, measure = false, glove = false;
  std::string link, firmware;
  CLI::App app{kDescription, "signglove-board"};
  app.footer(kFooter);
  addVersionFlag(app);
  app.add_option("FIRMWARE", firmware, "the firmware's ELF image (default: the one built with this program)");
  app.add_flag("--glove", glove, "the flex glove's firmware and board instead of the contact controller's");
  app.add_flag("--fast", fast, "run the emulation as fast as it goes, not at the wall clock's pace");
  app.add_option("--link", link, "make PATH a symbolic link to the serial line's pseudo-terminal")->type_name("PATH");
  app.add_flag("--measure", measure, "print the board's figures (see below) and exit");
  if (const int status = parseCommandLine(app, argc, argv); status >= 0) return status;
  if (firmware.empty()) firmware = firmwareFile(glove ? SIGNGLOVE_GLOVE_FIRMWARE_ELF : SIGNGLOVE_FIRMWARE_ELF);
  if (measure) return glove ? flexGloveMeasure(firmware) : boardMeasure(firmware);
  return glove ? serveGlove(firmware, link, !fast) : serveContactController(firmware, link, !fast);
}
