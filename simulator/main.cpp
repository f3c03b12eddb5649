// signglove-sim: runs signglove against a scripted virtual signer, glove and contact
// controller, in virtual time.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/ioctl.h>

#include <vector>

#include "simulator/demo.h"
#include "simulator/narration.h"
#include "simulator/script.h"
#include "simulator/signer.h"
#include "simulator/simulation.h"
#include "simulator/trace.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kHelp = R"(usage: signglove-sim [OPTIONS] SCRIPT    run a scenario script (- reads standard input)
       signglove-sim [OPTIONS] --demo      run the built-in demo
       signglove-sim --help
options: --realtime | --fast, --timing, --trace FILE, --narrate

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

int usage() {
  std::fputs("usage: signglove-sim [--realtime | --fast] [--timing] [--trace FILE] [--narrate] SCRIPT|-|--demo"
             " (see --help)\n",
             stderr);
  return kExitUsage;
}

void observe(const ObservedCall& call) {
  traceObserve(call);
  narrationObserve(call);
}

void startNarration(const Scenario& scenario, bool stdoutIsTerminal) {
  NarrationOptions narration;
  winsize size{};
  if (stdoutIsTerminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
    narration.terminal = stdout;
    narration.rows = size.ws_row;
    narration.columns = size.ws_col;
  }
  narration.lines = stderr;
  narrationStart(scenario, narration);
}

}  // namespace

int main(int argc, char** argv) {
  bool demo = false, realtime = false, fast = false, timing = false, narrate = false;
  const char* script = nullptr;
  const char* tracePath = nullptr;
  for (int index = 1; index < argc; ++index) {
    const char* argument = argv[index];
    if (std::strcmp(argument, "--help") == 0) {
      std::fputs(kHelp, stdout);
      std::fputs(("\n" + nameList("Handshapes (hold)", signerHandshapeNames()) +
                  nameList("Movements (move)", signerMovementNames()) + nameList("Words (sign)", signerWords()))
                     .c_str(),
                 stdout);
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
    else if (std::strcmp(argument, "--narrate") == 0)
      narrate = true;
    else if (std::strcmp(argument, "--trace") == 0 && index + 1 < argc && !tracePath)
      tracePath = argv[++index];
    else if (!script && (argument[0] != '-' || std::strcmp(argument, "-") == 0))
      script = argument;
    else
      return usage();
  }
  if (demo == (script != nullptr) || (realtime && fast)) return usage();

  std::string text = demo ? kDemoScript : "";
  const char* name = demo ? "demo" : std::strcmp(script, "-") == 0 ? "stdin" : script;
  if (!demo && !readScriptFile(script, text)) {
    std::fprintf(stderr, "signglove-sim: cannot read %s: %s\n", script, std::strerror(errno));
    return kExitUsage;
  }
  Scenario scenario;
  ScriptError error;
  std::vector<ScriptError> warnings;
  if (!compileScript(text, scenario, error, &warnings)) {
    std::fprintf(stderr, "%s:%d: %s\n", name, error.line, error.message.c_str());
    return kExitUsage;
  }
  for (const ScriptError& warning : warnings)
    std::fprintf(stderr, "%s:%d: %s\n", name, warning.line, warning.message.c_str());

  std::ofstream traceFile;
  if (tracePath) {
    traceFile.open(tracePath, std::ios::binary | std::ios::trunc);
    if (!traceFile) {
      std::fprintf(stderr, "signglove-sim: cannot write %s: %s\n", tracePath, std::strerror(errno));
      return kExitUsage;
    }
    traceStart(scenario, traceFile);
  }

  WorldOptions options;
  options.echo = stdout;
  // The console streams to standard output; a long run keeps none of it, nor the replies.
  options.keepTranscript = false;
  options.keepReplies = false;
  options.echoIsTerminal = isatty(STDOUT_FILENO) == 1;
  options.realtime = realtime || (demo && options.echoIsTerminal && !fast);
  narrate = narrate || demo;
  if (narrate) startNarration(scenario, options.echoIsTerminal);
  if (narrate || tracePath) options.observe = observe;
  const auto wallStart = std::chrono::steady_clock::now();
  const SimulationResult result = runSimulation(scenario, options);
  errno = 0;
  const bool traceWritten = traceFinish() && (!traceFile.is_open() || traceFile.flush());
  const int traceError = errno ? errno : EIO;
  if (narrate) narrationFinish();
  // On a terminal the shell's prompt should start on a line of its own; a pipe gets
  // exactly what the program printed.
  if (options.echoIsTerminal && !result.transcript.empty() && result.transcript.back() != '\n' &&
      result.transcript.back() != '\f')
    std::fputc('\n', stdout);
  if (narrate && (demo || !signedWords(scenario).empty()))
    std::fputs(("\n" + finishedLines(demo ? "The demo has finished." : "The run has finished.", signedWords(scenario),
                             recognisedWords(narrationSignPages())))
                   .c_str(),
               options.echoIsTerminal ? stdout : stderr);
  if (result.exitStatus == kExitStopped)
    std::fprintf(stderr, "signglove-sim: stopped: %s\n", result.stopReason.c_str());
  else  // a program stopped half-way has not had its chance to close anything
    for (const std::string& end : result.looseEnds) std::fprintf(stderr, "signglove-sim: %s\n", end.c_str());
  if (timing) {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double virtualSeconds = static_cast<double>(world.nowMicros) / 1e6;
    std::fprintf(stderr, "signglove-sim: %.3f s of virtual time in %.3f s of wall time (%.0f times as fast)\n",
                 virtualSeconds, wall, virtualSeconds / wall);
    std::fprintf(stderr, "signglove-sim: %lld platform calls made, %lld more skipped as idle polling\n",
                 static_cast<long long>(result.observation.calls),
                 static_cast<long long>(result.observation.skippedCalls));
  }
  if (!traceWritten) {
    std::fprintf(stderr, "signglove-sim: cannot write %s: %s\n", tracePath, std::strerror(traceError));
    return kExitUsage;
  }
  return result.exitStatus;
}
