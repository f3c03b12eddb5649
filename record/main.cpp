// signglove-record: records a live session with the glove and the contact controller
// as a scenario script (see record/recorder.h).

#include <cstdio>
#include <string>

#include "cli/command_line.h"
#include "cli/executable_files.h"
#include "record/recorder.h"

namespace {

const char* const kDescription =
    "Records a live session with the glove and the contact controller as a scenario script, OUT.";

const char* const kFooter = R"(
It runs COMMAND (by default the signglove beside the recorder) and records the glove
(every change of the shared-memory record SIGNGLOVE_GLOVE, else /signglove-glove,
with its time), the contact line (the program's COM1, SIGNGLOVE_COM1, else
)" SIGNGLOVE_COM1 R"(, is a pseudo-terminal in a private mount namespace; the recorder
passes every byte between it and the real controller on --device unchanged, noting
requests and replies) and the keyboard (the recorder's standard input goes on to the
program's, each character one key press). The program's output passes through
unchanged.

OUT is written as the session goes, all but about its last second, so a recorder that
is killed keeps what it had. Replay it with signglove-sim (virtual time) or
signglove-rig (real time). Setting up needs root or unprivileged user namespaces.
Ctrl-C, SIGTERM and a hang-up end the program (killed if it has not ended a second
later) and the recording with it.

Exit status: the program's own (128 + N when signal N ended it); 1 when the recorder
cannot set up or write OUT; 2 for a bad command line.)";

}  // namespace

int main(int argc, char** argv) {
  RecorderOptions options;
  std::string environmentError;
  options.watched = watchedProgramOfEnvironment(environmentError);

  CLI::App app{kDescription, "signglove-record"};
  app.footer(kFooter);
  addVersionFlag(app);
  app.add_option("OUT", options.out, "the scenario script to write")->required();
  app.add_flag("--force", options.force, "replace OUT if it exists (never through a symbolic link)");
  app.add_option("--device", options.watched.device, "the real contact controller's serial device (default: COM1's)")
      ->type_name("PATH");
  addCommandAfterDoubleDash(app, options.watched.command, "the program to record and its arguments");
  if (const int status = parseCommandLine(app, argc, argv, &options.watched.command); status >= 0) return status;
  if (!environmentError.empty()) {
    std::fprintf(stderr, "signglove-record: %s\n", environmentError.c_str());
    return kRecordExitCannotSetUp;
  }
  if (options.watched.command.empty()) options.watched.command.push_back(besideThisExecutable("signglove"));
  return runRecorder(options);
}
