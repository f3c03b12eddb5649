#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/com1_device.h"
#include "platform/glove_record_writer.h"
#include "record/glove_watch.h"
#include "record/relay.h"
#include "rig/pty.h"

// The watch a recorder (or a live view) keeps on a live session: the program's COM1 is
// a pseudo-terminal bound over its device in a mount namespace of the program's own,
// and a relay passes every byte between it and the real controller, noting requests and
// replies; a glove watch notes every change of the glove record the program reads.

struct SessionWatch {
  int device = -1;   // the real controller's line
  Pty line;          // the program's COM1
  int stopRelay[2] = {-1, -1};
  RelayLog relay;
  GloveWatchLog glove;
  bool gloveAbsent = false;  // the program would find no glove: none is watched
  std::atomic<bool> stopGlove{false};
  std::thread relaying, watchingGlove;
};

// The program a recorder or a live view runs, and the devices it is watched on.
struct WatchedProgram {
  std::string device;                // the real contact controller's serial device
  std::string com1;                  // the program's COM1 device, bound over in its namespace
  std::string glove;                 // the glove record's shared-memory object
  std::vector<std::string> command;  // the program and its arguments
};

// The devices as the program's environment names them, its COM1 being the real
// controller's device too until a command line says otherwise; the reason in error when
// the environment names one wrongly (said only after the command line, so that --help
// still works).
inline WatchedProgram watchedProgramOfEnvironment(std::string& error) {
  WatchedProgram program;
  std::string com1Error, gloveError;
  program.device = program.com1 = com1Device(&com1Error);
  program.glove = gloveSharedObjectName(&gloveError);
  error = !com1Error.empty() ? com1Error : gloveError;
  return program;
}

// Opens the real controller's line (9600 baud 8N1, raw, as the program sets its own) and
// the program's, and binds the program's over its COM1 in a private mount namespace,
// which this process and the children it starts from now on share; false with the reason.
bool sessionWatchSetUp(SessionWatch& watch, const WatchedProgram& program, std::string& error);

// Attaches to the glove record (gloveAbsent when the program would find none, said on
// standard error) and starts relaying and watching, before the program starts so that
// nothing it sees is missed.
void sessionWatchStart(SessionWatch& watch, const WatchedProgram& program);

// Stops relaying and watching, after a last look at the glove.
void sessionWatchStop(SessionWatch& watch);
