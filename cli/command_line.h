#pragma once

// The command-line conventions every signglove tool built on CLI11 shares: -h and
// --help print the usage and the options on standard output and exit 0, --version
// prints "NAME VERSION" and exits 0, and anything the command line does not take is a
// usage error, named on standard error, with exit status 2.

#include <CLI/CLI.hpp>

constexpr int kExitUsage = 2;

// Adds --version to app, whose name is the executable's.
inline void addVersionFlag(CLI::App& app) { app.set_version_flag("--version", app.get_name() + " " SIGNGLOVE_VERSION); }

// Parses the command line; -1 to go on, or the status to exit with (help, version:
// 0; a usage error: kExitUsage, after saying what was wrong).
inline int parseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kExitUsage;
  }
}
