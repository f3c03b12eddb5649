#include "control/command_line.h"
#include "control/program.h"

int main(int argc, char** argv) {
  const int status = handleCommandLine(argc, argv);
  return status >= 0 ? status : signgloveMain();
}
