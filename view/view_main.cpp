// signglove-view: a live view in the browser of the real program with its glove and
// contact controller (see view/program_view.h).

#include <cstdio>
#include <string>

#include "platform/com1_device.h"
#include "platform/glove_record_writer.h"
#include "record/child_program.h"
#include "view/program_view.h"
#include "view/view_server.h"

namespace {

const char* const kHelp = R"(usage: signglove-view [--port N] [--listen ADDRESS] [--keep] [--device PATH] [-- COMMAND [ARGS...]]

Runs COMMAND (by default the signglove built beside the view) and serves a live view
of it at http://127.0.0.1:N/ (N 0, the default: any free port; the address is said on
standard error): the glove's bends against the handshape tree's thresholds, its angles,
buttons and position, the pads that touch, the sample windows as the program takes
them, still or moving, with the handshape named for each, the program's console and
the words it recognises. --listen serves on another address (0.0.0.0: every one).
  - the program runs on a terminal of the view's: its output passes on to yours, your
    keys to it (Ctrl-C too);
  - its COM1 (SIGNGLOVE_COM1, else )" SIGNGLOVE_COM1 R"() is a pseudo-terminal in a private
    mount namespace, which the view relays to the real controller on PATH (default:
    COM1's device), as signglove-record does;
  - the glove: the shared-memory record the program reads (SIGNGLOVE_GLOVE, else
    /signglove-glove).
The page is served for 3 s after the program ends (--keep: until Ctrl-C). Setting up
needs root or unprivileged user namespaces.

Exit status: the program's own (128 + N when signal N ended it); 1 when the view cannot
set up; 2 for a bad command line.
)";

int usage() {
  std::fputs(
      "usage: signglove-view [--port N] [--listen ADDRESS] [--keep] [--device PATH] [-- COMMAND [ARGS...]] "
      "(see --help)\n",
      stderr);
  return kViewExitUsage;
}


}  // namespace

int main(int argc, char** argv) {
  ProgramViewOptions options;
  options.address = kViewDefaultAddress;
  std::string com1Error, gloveError;
  options.device = options.com1 = com1Device(&com1Error);
  options.glove = gloveSharedObjectName(&gloveError);
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (argument == "--") {
      for (++index; index < argc; ++index) options.command.push_back(argv[index]);
      if (options.command.empty()) return usage();
    } else if (argument == "--port" && index + 1 < argc) {
      if (!viewPortNumber(argv[++index], options.port)) return usage();
    } else if (argument == "--listen" && index + 1 < argc) {
      options.address = argv[++index];
    } else if (argument == "--device" && index + 1 < argc) {
      options.device = argv[++index];
    } else if (argument == "--keep") {
      options.keep = true;
    } else {
      return usage();
    }
  }
  for (const std::string& error : {com1Error, gloveError})
    if (!error.empty()) {
      std::fprintf(stderr, "signglove-view: %s\n", error.c_str());
      return kViewExitCannotSetUp;
    }
  if (options.command.empty()) options.command.push_back(besideThisExecutable("signglove"));
  return runProgramView(options);
}
