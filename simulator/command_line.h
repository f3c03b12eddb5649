#pragma once

// signglove-sim's command line. Its options are listed once, below; they are parsed by
// CLI11 where the build found it, and otherwise by a plain parser that takes the same
// options and prints the same help (command_line_cli11.cpp or command_line_plain.cpp,
// one linked into the simulator), so that the simulator builds with a compiler alone.

#include <string>

struct SimCommandLine {
  bool demo = false, realtime = false, fast = false, timing = false, narrate = false;
  std::string script;  // a script's path, or "-" for standard input; empty with --demo
  std::string trace;   // --trace FILE
};

constexpr int kSimExitUsage = 2;

struct SimFlag {
  const char* name;
  bool SimCommandLine::*field;
  const char* help;
};
struct SimValueOption {
  const char* name;
  std::string SimCommandLine::*field;
  const char* value;  // what the value is, as the help names it
  const char* help;
};

extern const SimFlag kSimFlags[];
extern const size_t kSimFlagCount;
extern const SimValueOption kSimValueOptions[];
extern const size_t kSimValueOptionCount;

// One line on what the simulator does, before the usage.
extern const char* const kSimDescription;
extern const char* const kSimScriptHelp;  // what SCRIPT is, for the options list

// What follows the options in --help: what the simulator does, the script language
// and every name it takes.
std::string simHelpFooter();

// Parses the command line; -1 to go on, or the status to exit with (help and version:
// 0; a usage error: kSimExitUsage, said on standard error).
int parseSimCommandLine(int argc, char** argv, SimCommandLine& line);

// Checks what parsing cannot: one of SCRIPT and --demo, not both --realtime and --fast.
// -1, or kSimExitUsage after saying why.
int checkSimCommandLine(const SimCommandLine& line);
