// signglove-sim's command line parsed by CLI11.

#include "cli/command_line.h"
#include "simulator/command_line.h"

int parseSimCommandLine(int argc, char** argv, SimCommandLine& line) {
  CLI::App app{kSimDescription, "signglove-sim"};
  app.footer(simHelpFooter());
  addVersionFlag(app);
  app.add_option("SCRIPT", line.script, kSimScriptHelp);
  for (size_t index = 0; index < kSimFlagCount; ++index)
    app.add_flag(kSimFlags[index].name, line.*kSimFlags[index].field, kSimFlags[index].help);
  for (size_t index = 0; index < kSimValueOptionCount; ++index)
    app.add_option(kSimValueOptions[index].name, line.*kSimValueOptions[index].field, kSimValueOptions[index].help)
        ->type_name(kSimValueOptions[index].value);
  return parseCommandLine(app, argc, argv);
}
