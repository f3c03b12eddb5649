// signglove-sim: runs signglove against a scripted virtual signer, glove and contact
// controller, in virtual time.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kHelp = R"(usage: signglove-sim [--realtime | --fast] [--timing] SCRIPT   run a scenario script (- reads standard input)
       signglove-sim [--realtime | --fast] [--timing] --demo   run the built-in demo
       signglove-sim --help

Runs signglove against a virtual signer, glove and contact controller on a virtual
clock, and writes the program's console to standard output; every clear of the
console is a form feed (a cleared screen on a terminal). The demo runs at the pace of
the wall clock on a terminal; everything else runs as fast as it can. --realtime and
--fast choose; --timing reports the virtual and the wall time a run took on standard
error. Exit status: 0 when the program ended by itself, 2 for a bad script,
3 when the simulation had to stop it (still running 5 s after the last action, or
waiting for a key the scenario never types).

A script has one action a line; # starts a comment. Actions happen at the scenario's
time, which starts at 0 ms and moves on only by waiting (tap, calibrate, hold, move
and sign include their own waits).
  wait MS                     time moves on by MS milliseconds
  press B... / release B...   buttons A B C D go down / up; release all
  tap B...                    press, wait 200, release, wait 200
  position X Y Z              the glove's position from now on
  angles O1 O2 O3             its orientation angles, in record order
  bends T I M R L             its finger bends, 0 to 255
  calibrate                   point at the head, tap A, point at the chest, tap A
  enter                       the user presses Enter
  touch PAD...                these pads touch (LP LR LM LI LT LPm RPm RT RI RM RR RP)
  untouch                     no pads touch
  groups WORD...              the controller's entries are exactly these words
  controller silent|normal    it stops answering / answers again
  controller corrupt N        its next N replies carry a wrong checksum
  controller drop N           its next N replies each lose a byte
  controller noise WORD...    these words go out before its next reply
  reply BYTE...               its next reply is exactly these bytes (none: no answer)
  controller cued             it answers only on cue, not by itself (normal: by itself)
  answer                      the cue: it answers the waiting request now, or the next at once
  hold SHAPE [MS]             take a handshape (round, okay, point, ...) and hold it
  move MOVEMENT [MS]          perform a movement (leftToRight, rollWrists, ...)
  sign WORD                   sign a word (welcome, to, my, ..., concept)
  rest [MS]                   relax the hand (no handshape) in front of the body
  noise AMOUNT [BENDS]        jitter position and angle readings by up to AMOUNT,
                              bends by up to BENDS (default 0); noise 0 turns it off
Start-up conditions, before the first wait: serial fails, glove absent, clock MS.
)";

bool readAll(const char* path, std::string& text) {
  if (std::strcmp(path, "-") == 0) {
    std::ostringstream buffer;
    buffer << std::cin.rdbuf();
    text = buffer.str();
    return true;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  text = buffer.str();
  return !file.bad();
}

int usage() {
  std::fputs("usage: signglove-sim [--realtime | --fast] [--timing] SCRIPT|-|--demo (see --help)\n", stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  bool demo = false, realtime = false, fast = false, timing = false;
  const char* script = nullptr;
  for (int index = 1; index < argc; ++index) {
    const char* argument = argv[index];
    if (std::strcmp(argument, "--help") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argument, "--demo") == 0)
      demo = true;
    else if (std::strcmp(argument, "--realtime") == 0)
      realtime = true;
    else if (std::strcmp(argument, "--fast") == 0)
      fast = true;
    else if (std::strcmp(argument, "--timing") == 0)
      timing = true;
    else if (!script && (argument[0] != '-' || std::strcmp(argument, "-") == 0))
      script = argument;
    else
      return usage();
  }
  if (demo == (script != nullptr) || (realtime && fast)) return usage();

  std::string text = demo ? kDemoScript : "";
  const char* name = demo ? "demo" : std::strcmp(script, "-") == 0 ? "stdin" : script;
  if (!demo && !readAll(script, text)) {
    std::fprintf(stderr, "signglove-sim: cannot read %s: %s\n", script, std::strerror(errno));
    return kExitUsage;
  }
  Scenario scenario;
  ScriptError error;
  if (!compileScript(text, scenario, error)) {
    std::fprintf(stderr, "%s:%d: %s\n", name, error.line, error.message.c_str());
    return kExitUsage;
  }

  WorldOptions options;
  options.echo = stdout;
  options.echoIsTerminal = isatty(STDOUT_FILENO) == 1;
  options.realtime = realtime || (demo && options.echoIsTerminal && !fast);
  const auto wallStart = std::chrono::steady_clock::now();
  const SimulationResult result = runSimulation(scenario, options);
  if (result.exitStatus == kExitStopped) std::fprintf(stderr, "signglove-sim: stopped: %s\n", result.stopReason.c_str());
  if (timing) {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double virtualSeconds = static_cast<double>(world.nowMicros) / 1e6;
    std::fprintf(stderr, "signglove-sim: %.3f s of virtual time in %.3f s of wall time (%.0f times as fast)\n",
                 virtualSeconds, wall, virtualSeconds / wall);
  }
  return result.exitStatus;
}
