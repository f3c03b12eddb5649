// signglove-sim's command line parsed without CLI11, for a build with a compiler alone:
// the same options, the same help layout and the same exit statuses.

#include <cstdio>
#include <cstring>
#include <string>

#include "simulator/command_line.h"

namespace {

void printHelp() {
  std::printf("%s\nUsage: signglove-sim [OPTIONS] [SCRIPT]\n\nPositionals:\n  %-28s%s\n\nOptions:\n", kSimDescription,
              "SCRIPT TEXT", kSimScriptHelp);
  std::printf("  %-28s%s\n  %-28s%s\n", "-h,--help", "Print this help message and exit", "--version",
              "Display program version information and exit");
  for (size_t index = 0; index < kSimFlagCount; ++index)
    std::printf("  %-28s%s\n", kSimFlags[index].name, kSimFlags[index].help);
  for (size_t index = 0; index < kSimValueOptionCount; ++index)
    std::printf("  %-28s%s\n", (std::string(kSimValueOptions[index].name) + " " + kSimValueOptions[index].value).c_str(),
                kSimValueOptions[index].help);
  std::printf("\n%s\n", simHelpFooter().c_str());
}

int usageError(const std::string& what) {
  std::fprintf(stderr, "signglove-sim: %s\nRun with --help for more information.\n", what.c_str());
  return kSimExitUsage;
}

}  // namespace

int parseSimCommandLine(int argc, char** argv, SimCommandLine& line) {
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--help" || argument == "-h") {
      printHelp();
      return 0;
    }
    if (argument == "--version") {
      std::printf("signglove-sim %s\n", SIGNGLOVE_VERSION);
      return 0;
    }
    bool taken = false;
    for (size_t flag = 0; flag < kSimFlagCount && !taken; ++flag)
      if (argument == kSimFlags[flag].name) taken = line.*kSimFlags[flag].field = true;
    for (size_t option = 0; option < kSimValueOptionCount && !taken; ++option) {
      if (argument != kSimValueOptions[option].name) continue;
      if (++index == argc) return usageError(argument + ": " + kSimValueOptions[option].value + " missing");
      line.*kSimValueOptions[option].field = argv[index];
      taken = true;
    }
    if (taken) continue;
    if (argument.size() > 1 && argument[0] == '-') return usageError("unknown option '" + argument + "'");
    if (!line.script.empty()) return usageError("unexpected argument '" + argument + "'");
    line.script = argument;
  }
  return -1;
}
