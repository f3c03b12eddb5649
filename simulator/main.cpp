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

#include "simulator/command_line.h"
#include "simulator/demo.h"
#include "simulator/narration.h"
#include "simulator/script.h"
#include "simulator/signer.h"
#include "simulator/simulation.h"
#include "simulator/stop_diagnosis.h"
#include "simulator/trace.h"

namespace {

constexpr int kExitUsage = kSimExitUsage;


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
  SimCommandLine line;
  if (const int status = parseSimCommandLine(argc, argv, line); status >= 0) return status;
  if (const int status = checkSimCommandLine(line); status >= 0) return status;
  const bool demo = line.demo, realtime = line.realtime, fast = line.fast, timing = line.timing;
  bool narrate = line.narrate;
  const char* script = line.script.empty() ? nullptr : line.script.c_str();
  const char* tracePath = line.trace.empty() ? nullptr : line.trace.c_str();

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
  if (result.exitStatus == kExitStopped) {
    std::fprintf(stderr, "signglove-sim: stopped: %s\n", result.stopReason.c_str());
    const bool waitingForKey = result.stopReason.find("key") != std::string::npos;
    for (const std::string& line : explainStop(stopFactsOf(scenario, result.transcript, waitingForKey)))
      std::fprintf(stderr, "signglove-sim: %s\n", line.c_str());
  }
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
