#include "drivers/command_line.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "drivers/driver_run.h"
#include "drivers/guided_calibration.h"
#include "drivers/keys_session.h"
#include "platform/glove_shared_record.h"

namespace {

const char* const kDescription =
    "Glove drivers: publish a hand from a glove you can get today through the glove record signglove reads.";

const char* const kFooter =
    "One subcommand a source; `signglove-glove SUBCOMMAND --help` says more, and README.md (\"Connect your own\n"
    "glove\") says it all, with the units of the record.\n"
    "\n"
    "Environment:\n"
    "  SIGNGLOVE_GLOVE=/NAME  the glove record's shared-memory object (default " SIGNGLOVE_GLOVE_SHARED_NAME ")\n"
    "\n"
    "Exit status: 0 when it ends by Ctrl-C, SIGTERM or SIGHUP (or, for calibrate and keys, when done);\n"
    "1 when a device, a socket or the glove record fails; 2 for a usage error, a calibration file that\n"
    "does not parse or a SIGNGLOVE_GLOVE that is not an object's name.";

struct SerialOptions {
  std::string device;
  int baud = kDefaultGloveBaud;
  std::string columns = kDefaultColumns;
  std::string calibration;
  int oscPort = 0;
};

const CLI::Validator kBaud(
    [](std::string& text) {
      return gloveSerialBaudSupported(std::atoi(text.c_str())) ? std::string()
                                                               : "not a rate the line can be set to: " + text +
                                                                     " (1200 to 2000000, e.g. 115200, 230400, 1000000)";
    },
    "BAUD");

void addSerialOptions(CLI::App& command, SerialOptions& options) {
  command.add_option("DEVICE", options.device, "the glove's serial device, e.g. /dev/ttyACM0 or /dev/serial/by-id/...")
      ->required();
  command.add_option("--baud", options.baud, "the line's rate")->check(kBaud)->capture_default_str();
  command.add_option("--columns", options.columns,
                     "what each number of a line is, in order, from: thumb index middle ring little x y z a1 a2 "
                     "a3 A B C D (- skips a column)")
      ->capture_default_str();
}

// Reads the column list and the calibration file; false, with the reason said, when either is bad.
bool prepareColumns(const SerialOptions& options, DriverSources& sources) {
  std::string error;
  if (!columnMapParse(options.columns, sources.columns, error) ||
      (!options.calibration.empty() && !calibrationLoad(options.calibration, sources.calibration, error))) {
    std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
    return false;
  }
  return true;
}

#ifdef SIGNGLOVE_WITH_OSC
bool openOsc(OscReceiver& receiver, const std::string& address, int port) {
  std::string error;
  if (oscReceiverOpen(receiver, address, port, error)) return true;
  std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
  return false;
}
#endif

int runSerial(const SerialOptions& options, gid_t group) {
  DriverSources sources;
  if (!prepareColumns(options, sources)) return kDriverExitUsage;
  GloveSerial serial;
  if (!gloveSerialOpen(serial, options.device, options.baud)) return kDriverExitFailed;
  sources.serial = &serial;
#ifdef SIGNGLOVE_WITH_OSC
  OscReceiver osc;
  if (options.oscPort != 0 && !openOsc(osc, kDefaultOscAddress, options.oscPort)) return kDriverExitFailed;
  if (options.oscPort != 0) sources.osc = &osc;
#else
  if (options.oscPort != 0) {
    std::fprintf(stderr, "signglove-glove: built without OSC (liblo-dev was not found): --osc-port cannot be used\n");
    return kDriverExitUsage;
  }
#endif
  const int status = runDriver(sources, group);
  gloveSerialClose(serial);
  return status;
}

int runOsc(const std::string& address, int port, gid_t group) {
#ifdef SIGNGLOVE_WITH_OSC
  OscReceiver osc;
  if (!openOsc(osc, address, port)) return kDriverExitFailed;
  DriverSources sources;
  sources.osc = &osc;
  std::fprintf(stderr, "signglove-glove: listening for OSC on %s port %d\n", address.c_str(), osc.port);
  const int status = runDriver(sources, group);
  oscReceiverClose(osc);
  return status;
#else
  (void)address, (void)port, (void)group;
  std::fprintf(stderr, "signglove-glove: built without OSC (liblo-dev was not found): osc cannot be used\n");
  return kDriverExitUsage;
#endif
}

// The calibration is written at the end: a file that could not be written is refused first.
bool writableOut(const std::string& out) {
  struct stat status {};
  if (stat(out.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fprintf(stderr, "signglove-glove: --out %s is a folder\n", out.c_str());
    return false;
  }
  const size_t slash = out.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : out.substr(0, slash);
  if (access(folder.c_str(), W_OK | X_OK) == 0) return true;
  std::fprintf(stderr, "signglove-glove: cannot write in %s: %s\n", folder.c_str(), std::strerror(errno));
  return false;
}

int runCalibrate(const SerialOptions& serial, const std::string& out) {
  CalibrateOptions options;
  options.device = serial.device;
  options.baud = serial.baud;
  options.out = out;
  std::string error;
  if (!columnMapParse(serial.columns, options.columns, error)) {
    std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
    return kDriverExitUsage;
  }
  if (!writableOut(out)) return kDriverExitUsage;
  return runGuidedCalibration(options);
}

// The group named by --group, for a driver that runs as root for signers of a group.
bool readerGroupOf(const std::string& name, gid_t& group) {
  group = kGloveNoReaderGroup;
  if (name.empty()) return true;
  const struct group* found = getgrnam(name.c_str());
  if (!found) {
    std::fprintf(stderr, "signglove-glove: no group '%s'\n", name.c_str());
    return false;
  }
  group = found->gr_gid;
  return true;
}

}  // namespace

int gloveDriverMain(int argc, char** argv) {
  CLI::App app{kDescription, "signglove-glove"};
  addVersionFlag(app);
  app.footer(kFooter);
  app.require_subcommand(0, 1);  // none is refused below, after CLI11 has named anything it does not take
  std::string groupName;
  app.add_option("--group", groupName,
                 "let this group read the glove record (mode 0640; otherwise 0600), for a driver run as root");

  SerialOptions serialOptions;
  CLI::App* serial = app.add_subcommand("serial", "a glove that prints lines of numbers on a serial line (USB serial)");
  addSerialOptions(*serial, serialOptions);
  serial->add_option("--calibration", serialOptions.calibration,
                     "raw bend readings mapped onto the bend scale, from a file calibrate wrote");
  serial->add_option("--osc-port", serialOptions.oscPort,
                     "also listen for OSC on 127.0.0.1 at this port, for the fields the columns do not give")
      ->check(CLI::Range(1, 65535));

  std::string oscAddress = kDefaultOscAddress;
  int oscPort = kDefaultOscPort;
  CLI::App* osc = app.add_subcommand("osc", "a sender of OSC messages over UDP (/signglove/glove, /signglove/bends, ...)");
  osc->add_option("--port", oscPort, "the UDP port")->check(CLI::Range(0, 65535))->capture_default_str();
  osc->add_option("--listen", oscAddress,
                  "the address to listen on (0.0.0.0: every interface; then anyone who can reach it drives signglove)")
      ->capture_default_str();

  SerialOptions calibrateOptions;
  std::string calibrationOut;
  CLI::App* calibrate = app.add_subcommand(
      "calibrate", "guided calibration of a serial flex glove: writes the file --calibration reads");
  addSerialOptions(*calibrate, calibrateOptions);
  calibrate->add_option("--out", calibrationOut, "the calibration file to write")->required();

  KeysOptions keysOptions;
  CLI::App* keys = app.add_subcommand("keys", "a glove played from the keyboard, for trying signglove with no hardware");
  keys->add_option("--contacts", keysOptions.contacts,
                   "also answer as the contact controller, with the pads of the handshape held, on a pseudo-terminal "
                   "linked at this path (run signglove with SIGNGLOVE_COM1=PATH)");

  if (const int status = parseCommandLine(app, argc, argv); status >= 0) return status;
  if (app.get_subcommands().empty()) {
    std::fprintf(stderr, "signglove-glove: a subcommand is required: serial, osc, calibrate or keys (see --help)\n");
    return kDriverExitUsage;
  }
  gid_t group = kGloveNoReaderGroup;
  if (!readerGroupOf(groupName, group)) return kDriverExitUsage;
  if (serial->parsed()) return runSerial(serialOptions, group);
  if (calibrate->parsed()) return runCalibrate(calibrateOptions, calibrationOut);
  if (keys->parsed()) {
    keysOptions.readerGroup = group;
    return runKeyboardGlove(keysOptions);
  }
  return runOsc(oscAddress, oscPort, group);
}
