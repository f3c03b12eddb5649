// signglove-rig: plays a scenario script in real time for the real signglove (or any
// COMMAND): the virtual signer's glove in shared memory, the emulated contact
// controller on a pseudo-terminal bound over COM1, in a mount namespace of its own.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "cli/executable_files.h"
#include "platform/com1_device.h"
#include "rig/rig.h"

#ifdef SIGNGLOVE_FIRMWARE_BOARD
#include "firmware/board_link.h"
#endif

namespace {

const char* const kDescription = "Plays a scenario script in real time for the real signglove (or COMMAND).";

const char* const kFooter = R"(
Runs COMMAND (by default the signglove built beside the rig) against the scenario
SCRIPT (- reads standard input), played against the wall clock: the virtual signer's
glove is published in the shared-memory object /signglove-glove (or SIGNGLOVE_GLOVE),
refreshed every millisecond, and the emulated contact controller answers on a
pseudo-terminal with the serial line's real timing. The program sees that terminal as
its COM1 (SIGNGLOVE_COM1, else )" SIGNGLOVE_COM1 R"() and a /dev/shm of its own, in a
private mount namespace; the host's /dev is untouched. This needs root or unprivileged
user namespaces. The script language is signglove-sim's; `clock` cannot be played in
real time. `enter` types a newline on the program's standard input; its output passes
through unchanged.

--controller firmware answers with the contact controller's firmware on an emulated
ATmega328P instead of the simulator's controller: its pads touch as the script says,
and the script's controller faults act on the line between it and the program.
`groups` has no meaning for it and is a script error.

--glove flex puts the do-it-yourself flex glove between the virtual signer and the
program: its firmware on an emulated ATmega328P feels the signer's bends and buttons,
and signglove-glove serial (beside the rig) reads its lines on a pseudo-terminal with
the emulated sensors' calibration and publishes the glove record, taking the hand's
position and angles from the rig as OSC messages on 127.0.0.1. --glove record, the
default, publishes the signer's record straight.

Exit status: the program's own; 1 when the rig cannot set up; 2 for a bad script or
command line; 3 when the program was still running 5 s after the script's last action.)";

// False, with the line, for a script that asks what the controller's firmware cannot do.
bool fitsTheBoard([[maybe_unused]] const std::string& text, [[maybe_unused]] ScriptError& error) {
#ifdef SIGNGLOVE_FIRMWARE_BOARD
  return scriptFitsTheBoard(text, error);
#else
  return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  RigOptions options;
  std::string com1Error;
  options.device = com1Device(&com1Error);
  std::string script, controller = "emulated", glove = "record";
  CLI::App app{kDescription, "signglove-rig"};
  app.footer(kFooter);
  addVersionFlag(app);
  app.add_option("SCRIPT", script, "the scenario script to play (- reads standard input)")->required();
  app.add_flag("--timing", options.timing,
               "report the program's CPU and wall time and its requests' pace against the line's on standard error");
  app.add_option("--controller", controller, "who answers on COM1: the emulated controller, or its firmware")
      ->check(CLI::IsMember({"emulated", "firmware"}))
      ->capture_default_str();
  app.add_option("--glove", glove, "how the glove reaches the program: the signer's record, or the flex glove")
      ->check(CLI::IsMember({"record", "flex"}))
      ->capture_default_str();
  addCommandAfterDoubleDash(app, options.command, "the program to run and its arguments");
  if (const int status = parseCommandLine(app, argc, argv, &options.command); status >= 0) return status;
  const bool onBoard = controller == "firmware", flexGlove = glove == "flex";
  if (options.device.empty()) {
    std::fprintf(stderr, "signglove-rig: %s\n", com1Error.c_str());
    return kRigExitCannotSetUp;
  }
  if (options.command.empty()) options.command.push_back(besideThisExecutable("signglove"));

  std::string text;
  if (!readScriptFile(script, text)) {
    std::fprintf(stderr, "signglove-rig: cannot read %s: %s\n", script.c_str(), std::strerror(errno));
    return kRigExitBadScript;
  }
  const std::string name = script == "-" ? "stdin" : script;
  Scenario scenario;
  ScriptError error;
  if (!compileScript(text, scenario, error) || !playableInRealTime(text, error) ||
      (onBoard && !fitsTheBoard(text, error))) {
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), error.line, error.message.c_str());
    return kRigExitBadScript;
  }
#ifdef SIGNGLOVE_FIRMWARE_BOARD
  if (onBoard) options.firmware = firmwareFile(SIGNGLOVE_FIRMWARE_ELF);
  if (flexGlove) {
    options.gloveFirmware = firmwareFile(SIGNGLOVE_GLOVE_FIRMWARE_ELF);
    options.gloveDriver = besideThisExecutable("signglove-glove");
    options.gloveCalibration = firmwareFile(SIGNGLOVE_GLOVE_CALIBRATION);
    if (access(options.gloveDriver.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "signglove-rig: no glove driver %s (built without liblo or CLI11?)\n",
                   options.gloveDriver.c_str());
      return kRigExitCannotSetUp;
    }
  }
#else
  if (onBoard || flexGlove) {
    std::fputs("signglove-rig: built without the firmwares' boards (avr-gcc or simavr missing)\n", stderr);
    return kRigExitCannotSetUp;
  }
#endif
  return runRig(scenario, options);
}
