// signglove-view: a live view in the browser of the real program with its glove and
// contact controller (see view/program_view.h).

#include <cstdio>
#include <string>

#include "cli/command_line.h"
#include "cli/executable_files.h"
#include "view/program_view.h"
#include "view/view_server.h"

namespace {

const char* const kDescription = "Runs signglove and serves a live view of it in the browser.";

const char* const kFooter = R"(
It runs COMMAND (by default the signglove beside the view) and serves a page at
http://127.0.0.1:PORT/ (the address is said on standard error): the glove's bends
against the handshape tree's thresholds, its angles, buttons and position, the pads
that touch, the sample windows as the program takes them, still or moving, with the
handshape named for each, the program's console and the words it recognises.

The program runs on a terminal of the view's: its output passes on to yours, your keys
(Ctrl-C too) to it. Its COM1 (SIGNGLOVE_COM1, else )" SIGNGLOVE_COM1 R"() is a
pseudo-terminal in a private mount namespace, relayed to the real controller on
--device as signglove-record relays it, and the glove record it reads
(SIGNGLOVE_GLOVE, else /signglove-glove) is watched. The page is served for 3 s after
the program ends (--keep: until Ctrl-C). Setting up needs root or unprivileged user
namespaces.

Exit status: the program's own (128 + N when signal N ended it); 1 when the view cannot
set up; 2 for a bad command line.)";

}  // namespace

int main(int argc, char** argv) {
  ProgramViewOptions options;
  options.address = kViewDefaultAddress;
  std::string environmentError;
  options.watched = watchedProgramOfEnvironment(environmentError);

  CLI::App app{kDescription, "signglove-view"};
  app.footer(kFooter);
  addVersionFlag(app);
  app.add_option("--port", options.port, "serve the page on PORT (default 0: any free port)")
      ->type_name("PORT")
      ->check(CLI::Range(0, 65535));
  app.add_option("--listen", options.address, "serve on ADDRESS instead of 127.0.0.1 (0.0.0.0: every one)")
      ->type_name("ADDRESS");
  app.add_flag("--keep", options.keep, "serve the page after the program's end until Ctrl-C");
  app.add_option("--device", options.watched.device, "the real contact controller's serial device (default: COM1's)")
      ->type_name("PATH");
  addCommandAfterDoubleDash(app, options.watched.command, "the program to view and its arguments");
  if (const int status = parseCommandLine(app, argc, argv, &options.watched.command); status >= 0) return status;
  if (!environmentError.empty()) {
    std::fprintf(stderr, "signglove-view: %s\n", environmentError.c_str());
    return kViewExitCannotSetUp;
  }
  if (options.watched.command.empty()) options.watched.command.push_back(besideThisExecutable("signglove"));
  return runProgramView(options);
}
