#pragma once

// The command-line conventions every signglove tool built on CLI11 shares: -h and
// --help print the usage and the options on standard output and exit 0, --version
// prints "NAME VERSION" and exits 0, and anything the command line does not take is a
// usage error, named on standard error, with exit status 2. A tool that runs a command
// takes it after "--", whole, its options included.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

constexpr int kExitUsage = 2;

// Adds --version to app, whose name is the executable's.
inline void addVersionFlag(CLI::App& app) { app.set_version_flag("--version", app.get_name() + " " SIGNGLOVE_VERSION); }

// Declares the command run after "--" (shown in the usage as COMMAND...); it is filled
// by parseCommandLine.
inline void addCommandAfterDoubleDash(CLI::App& app, std::vector<std::string>& command, const std::string& what) {
  app.add_option("COMMAND", command, "after --: " + what);
}

// Parses the command line; -1 to go on, or the status to exit with (help, version: 0;
// a usage error: kExitUsage, after saying what was wrong). With command, only what
// stands before "--" is parsed and what follows it is the command.
inline int parseCommandLine(CLI::App& app, int argc, char** argv, std::vector<std::string>* command = nullptr) {
  int parsed = argc;
  if (command)
    for (int index = 1; index < argc && parsed == argc; ++index)
      if (std::string_view(argv[index]) == "--") parsed = index;
  try {
    app.parse(parsed, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }
  if (!command) return -1;
  if (!command->empty()) {
    std::fprintf(stderr, "%s: unexpected argument '%s': a command goes after --\n", app.get_name().c_str(),
                 command->front().c_str());
    return kExitUsage;
  }
  command->assign(argv + (parsed < argc ? parsed + 1 : argc), argv + argc);
  if (parsed < argc && command->empty()) {
    std::fprintf(stderr, "%s: -- names no command\n", app.get_name().c_str());
    return kExitUsage;
  }
  return -1;
}
