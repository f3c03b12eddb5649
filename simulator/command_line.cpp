#include "simulator/command_line.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "simulator/signer.h"

namespace {

const char* const kFooter = R"(
Runs signglove against a virtual signer, glove and contact controller on a virtual
clock, and writes the program's console to standard output; every clear of the
console is a form feed (a cleared screen on a terminal). The demo runs at the pace of
the wall clock on a terminal; everything else runs as fast as it can. --realtime and
--fast choose. --timing reports the virtual and the wall time a run took on standard
error. --trace FILE writes every sample the program takes, what the signer does and
what the program prints, with their times, as CSV (see README.md, "Traces and
plots"). --narrate captions what the virtual signer does (the demo always does): in a
status line on a terminal, else on standard error. Exit status: 0 when the program
ended by itself, 2 for a bad script, 3 when the simulation had to stop it (still
running 5 s after the last action, or waiting for a key the scenario never types).

A script has one action a line; # starts a comment. Actions happen at the scenario's
time, which starts at 0 ms and moves on only by waiting (tap, calibrate, hold, move,
sign and rest include their own waits).
  wait MS                     time moves on by MS milliseconds
  press B... / release B...   buttons A B C D go down / up; release all
  tap B...                    press, wait 200, release, wait 200
  position X Y Z              the glove's position from now on
  angles O1 O2 O3             its orientation angles, in record order
  bends T I M R L             its finger bends, 0 to 255
  calibrate                   point at the head, tap A, point at the chest, tap A (1 s)
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
  hold SHAPE [MS]             the arm jolts out and back (about 40 ms), the fingers
                              take the shape and the pads follow (about 30 ms), then
                              the hand holds still for MS (600)
  move MOVEMENT [MS]          the movement itself takes MS (leave it out: the usual
                              speed, about 90 ms for paths, 150 ms for the roll and
                              170 ms for the wave, which first turns the wrist out
                              of the way slowly); then the hand holds still where it
                              ended for about 170 ms, until the program has recorded
                              the movement, so whatever follows stands apart
  sign WORD                   from the rest pose: the start handshape at once, held
                              250 ms; the movement; for hope the fingers close to wish,
                              held 400 ms; then rest. About 1.2 s in all.
  rest [MS]                   the fingers relax into a pose that names no handshape
                              (40 ms, then still 400 ms, unless already resting), the
                              arm returns in front of the body (150 ms), then MS (600)
  noise AMOUNT [BENDS]        jitter position and angle readings by up to AMOUNT,
                              bends by up to BENDS (default 0), anew each sample of
                              the glove (1 ms, or the refresh period); noise 0 turns
                              it off. The signer is built for up to 10 (bends 2);
                              more gives a warning. Bend noise defeats the finger wave.
  tempo FACTOR                holds, movements and signs take FACTOR times as long
Start-up conditions, before the first wait: serial fails [open|baud|line],
glove absent, glove returns N (what the glove library's init returns), clock MS,
seed N (the noise sequence), controller scan MS, glove refresh MS (the glove record
changes only once every MS).
A port set to anything but 9600 baud 8N1 garbles every byte both ways. When the
program ends by itself, whatever it left open or never switched off is reported
on standard error ("signglove-sim: left open: serial port COM1").

What the modes print, and when:
  finger connections      every touching group, one a line, every cycle (~10 ms).
  handshape diagnostics   a name each time the hand moves: the shape it is leaving,
                          often twice, and often the new one. Every shape has been
                          named once the next hold has begun; leaving (press C,
                          then hold) names nothing more: hold one shape extra.
  movement diagnostics    a movement's name once the hand has been still again for
                          three windows after it (move waits for that).
  sign recognition        each word, followed by a space, once the hand holds the
                          closing shape; sign has rested by the time the next line
                          runs.
  every mode              C ends the mode only at the end of a cycle: hold C down
                          (press C) until the hand has moved (handshapes, movements)
                          or rested (signs), then release C. tap C is often missed.
A script for each mode (README.md, "One script per mode", says what each prints;
tests/scenarios/*.sim holds more):
  finger connections      handshape diagnostics   movement diagnostics    sign recognition
  calibrate               calibrate               calibrate               calibrate
  wait 300                wait 300                wait 300                wait 300
  tap A                   tap A                   tap A                   tap B
  tap A                   tap B                   tap B                   sign welcome
  touch RT RI             tap A                   tap B                   sign to
  wait 30                 hold point              move leftToRight        sign my
  touch RM RR             hold fist               move down               press B C
  wait 30                 hold flat               move rollWrists         wait 100
  untouch                 hold spread             press B C               release all
  wait 30                 press B C               move towardBody
  press B C               hold spread             release all
  wait 100                release all
  release all
)";

// The names the signer knows, a line of --help each, wrapped.
std::string nameList(const char* title, const std::vector<std::string_view>& names) {
  constexpr size_t kWidth = 84;
  const std::string indent(2, ' ');
  std::string text = std::string(title) + ":\n", line = indent;
  for (std::string_view name : names) {
    if (line.size() + name.size() + 1 > kWidth) {
      text += line + "\n";
      line = indent;
    }
    line += (line.size() > indent.size() ? " " : "") + std::string(name);
  }
  return text + line + "\n";
}

}  // namespace

const SimFlag kSimFlags[] = {
    {"--demo", &SimCommandLine::demo, "run the built-in demo instead of a script"},
    {"--realtime", &SimCommandLine::realtime, "pace the run to the wall clock"},
    {"--fast", &SimCommandLine::fast, "run as fast as it can (the demo too)"},
    {"--timing", &SimCommandLine::timing, "report the virtual and the wall time of the run on standard error"},
    {"--narrate", &SimCommandLine::narrate, "caption what the virtual signer does (the demo always does)"},
};
const size_t kSimFlagCount = std::size(kSimFlags);

const SimValueOption kSimValueOptions[] = {
    {"--trace", &SimCommandLine::trace, "FILE", "write a trace of the run to FILE, as CSV"},
};
const size_t kSimValueOptionCount = std::size(kSimValueOptions);

const char* const kSimDescription =
    "Runs signglove against a virtual signer, glove and contact controller on a virtual clock.";
const char* const kSimScriptHelp = "the scenario script to run (- reads standard input)";

std::string simHelpFooter() {
  return kFooter + ("\n" + nameList("Handshapes (hold)", signerHandshapeNames()) +
                    nameList("Movements (move)", signerMovementNames()) + nameList("Words (sign)", signerWords()));
}

int checkSimCommandLine(const SimCommandLine& line) {
  const char* wrong = nullptr;
  if (!line.demo && line.script.empty()) wrong = "give a SCRIPT or --demo";
  if (line.demo && !line.script.empty()) wrong = "give a SCRIPT or --demo, not both";
  if (line.realtime && line.fast) wrong = "--realtime and --fast exclude each other";
  if (!wrong) return -1;
  std::fprintf(stderr, "signglove-sim: %s (see --help)\n", wrong);
  return kSimExitUsage;
}
