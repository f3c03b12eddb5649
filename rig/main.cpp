// signglove-rig: plays a scenario script in real time for the real signglove (or any
// COMMAND): the virtual signer's glove in shared memory, the emulated contact
// controller on a pseudo-terminal bound over COM1, in a mount namespace of its own.

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "rig/rig.h"

#ifndef SIGNGLOVE_COM1
#define SIGNGLOVE_COM1 "/dev/ttyS0"
#endif

namespace {

const char* const kHelp = R"(usage: signglove-rig [--timing] SCRIPT [-- COMMAND [ARGS...]]

Runs COMMAND (by default the signglove built beside the rig) against the scenario
SCRIPT (- reads standard input), played against the wall clock: the virtual signer's
glove is published in the shared-memory object /signglove-glove, refreshed every
millisecond, and the emulated contact controller answers on a pseudo-terminal with the
serial line's real timing. The program sees that terminal as its COM1 ()" SIGNGLOVE_COM1 R"()
and a /dev/shm of its own, in a private mount namespace; the host's /dev is untouched.
This needs root or unprivileged user namespaces. The script language is signglove-sim's;
`clock` cannot be played in real time. `enter` types a newline on the program's
standard input; its output passes through unchanged.

--timing reports on standard error the program's CPU and wall time and the mean
interval between its requests against the line's limit.

Exit status: the program's own; 1 when the rig cannot set up; 2 for a bad script;
3 when the program was still running 5 s after the script's last action.
)";

int usage() {
  std::fputs("usage: signglove-rig [--timing] SCRIPT [-- COMMAND [ARGS...]] (see --help)\n", stderr);
  return kRigExitBadScript;
}

bool readAll(const std::string& path, std::string& text) {
  std::ostringstream buffer;
  if (path == "-") {
    buffer << std::cin.rdbuf();
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    buffer << file.rdbuf();
    if (file.bad()) return false;
  }
  text = buffer.str();
  return true;
}

std::string besideTheRig(const char* name) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return name;
  std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
  RigOptions options;
  options.device = SIGNGLOVE_COM1;
  std::string script;
  bool haveScript = false;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (argument == "--") {
      for (++index; index < argc; ++index) options.command.push_back(argv[index]);
      if (options.command.empty()) return usage();
    } else if (argument == "--timing") {
      options.timing = true;
    } else if (!haveScript && (argument[0] != '-' || argument == "-")) {
      script = argument;
      haveScript = true;
    } else {
      return usage();
    }
  }
  if (!haveScript) return usage();
  if (options.command.empty()) options.command.push_back(besideTheRig("signglove"));

  std::string text;
  if (!readAll(script, text)) {
    std::fprintf(stderr, "signglove-rig: cannot read %s: %s\n", script.c_str(), std::strerror(errno));
    return kRigExitBadScript;
  }
  const std::string name = script == "-" ? "stdin" : script;
  Scenario scenario;
  ScriptError error;
  if (!compileScript(text, scenario, error) || !playableInRealTime(text, error)) {
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), error.line, error.message.c_str());
    return kRigExitBadScript;
  }
  return runRig(scenario, options);
}
