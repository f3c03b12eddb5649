#include "control/command_line.h"

#include <cstdio>
#include <cstring>

#include "platform/com1_device.h"
#include "platform/glove_shared_record.h"

namespace {

constexpr int kRun = -1;
constexpr int kExitUsage = 2;

const char* const kHelp =
    "Usage: signglove\n"
    "\n"
    "Recognises signed words, handshapes and movements from a P5 data glove on the right\n"
    "hand and contact pads on both hands (see README.md). It takes no arguments: the\n"
    "glove's buttons drive it, and Enter acknowledges a contact-controller time-out.\n"
    "\n"
    "Environment:\n"
    "  SIGNGLOVE_COM1=PATH    the contact controller's serial device (default " SIGNGLOVE_COM1 ");\n"
    "                         a name from /dev/serial/by-id/ stays the adapter's across plug-ins\n"
    "  SIGNGLOVE_GLOVE=/NAME  the glove driver's shared-memory object (default " SIGNGLOVE_GLOVE_SHARED_NAME ")\n"
    "\n"
    "Options:\n"
    "  -h, --help             print this and exit\n"
    "  --version              print the version and exit\n"
    "\n"
    "When COM1 or the glove cannot be used it says so (\"COM1 for Contact sensors NOT setup\",\n"
    "\"P5 NOT DETECTED\") and standard error says why. Exit status: 0, or 2 for arguments.\n";

}  // namespace

int handleCommandLine(int argc, char** argv) {
  if (argc < 2) return kRun;
  const char* argument = argv[1];
  const bool version = std::strcmp(argument, "--version") == 0;
  const bool help = std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
  if (argc == 2 && (version || help)) {
    std::fputs(version ? "signglove " SIGNGLOVE_VERSION "\n" : kHelp, stdout);
    return 0;
  }
  const char* unexpected = version || help ? argv[2] : argument;
  std::fprintf(stderr, "signglove: unexpected argument '%s' (it takes none; see signglove --help)\n", unexpected);
  return kExitUsage;
}
