// signglove-record: records a live session with the glove and the contact controller
// as a scenario script (see record/recorder.h).

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/com1_device.h"
#include "platform/glove_record_writer.h"
#include "record/recorder.h"

namespace {

const char* const kHelp = R"(usage: signglove-record OUT [--force] [--device PATH] [-- COMMAND [ARGS...]]

Runs COMMAND (by default the signglove built beside the recorder) and records the
session into the scenario script OUT:
  - the glove: every change of the shared-memory record (SIGNGLOVE_GLOVE, else
    /signglove-glove), with its time;
  - the contact line: the program's COM1 (SIGNGLOVE_COM1, else )" SIGNGLOVE_COM1 R"() is a
    pseudo-terminal in a private mount namespace; the recorder passes every byte between
    it and the real controller on PATH (default: COM1's device) unchanged, noting
    requests and replies;
  - the keyboard: the recorder's standard input goes on to the program's, and each
    character is one key press.
The program's output passes through unchanged. OUT is written as the session goes, all
but about its last second, so a recorder that is killed keeps what it had; it is never
written through a symbolic link, and an existing OUT is refused unless --force is given
(it is then replaced once the session starts). Ctrl-C, SIGTERM and a hang-up end the
program (killed if it has not ended a second later) and the recording with it.
Replay the script with signglove-sim (virtual time) or signglove-rig (real time); it is
an ordinary script to edit or to keep as a test. Setting up needs root or unprivileged
user namespaces.

Exit status: the program's own (128 + N when signal N ended it); 1 when the recorder
cannot set up or write OUT; 2 for a bad command line.
)";

int usage() {
  std::fputs("usage: signglove-record OUT [--force] [--device PATH] [-- COMMAND [ARGS...]] (see --help)\n", stderr);
  return kRecordExitUsage;
}

std::string besideTheRecorder(const char* name) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return name;
  const std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
  RecorderOptions options;
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
    } else if (argument == "--force") {
      options.force = true;
    } else if (argument == "--device") {
      if (++index == argc) return usage();
      options.device = argv[index];
    } else if (options.out.empty() && !argument.empty() && argument[0] != '-') {
      options.out = argument;
    } else {
      return usage();
    }
  }
  if (options.out.empty()) return usage();
  for (const std::string& error : {com1Error, gloveError})
    if (!error.empty()) {
      std::fprintf(stderr, "signglove-record: %s\n", error.c_str());
      return kRecordExitCannotSetUp;
    }
  if (options.command.empty()) options.command.push_back(besideTheRecorder("signglove"));
  return runRecorder(options);
}
