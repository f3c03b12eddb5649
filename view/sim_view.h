#pragma once

#include <string>

#include "simulator/command_line.h"
#include "simulator/scenario.h"
#include "simulator/world.h"
#include "view/view_server.h"

// signglove-sim --view: the live view of a simulated run, served while it runs at the
// pace of the wall clock, fed by every platform call the program makes.

constexpr int kSimViewLingerSeconds = 3;  // served this long after the run, unless kept

struct SimViewOptions {
  int port = 0;  // 0: any free port
  std::string address = kViewDefaultAddress;
  bool keep = false;  // served after the run until Ctrl-C (or SIGTERM)
};

// The options --view, --listen and --view-keep give (checked by checkSimCommandLine).
inline SimViewOptions simViewOptionsOf(const SimCommandLine& line) {
  SimViewOptions options;
  viewPortNumber(line.view.c_str(), options.port);
  if (!line.listen.empty()) options.address = line.listen;
  options.keep = line.viewKeep;
  return options;
}

// Starts serving the view of a run of the scenario and says where on standard error;
// false with the reason when it cannot (the port is taken; the simulator was built
// without the view).
bool simViewStart(const Scenario& scenario, const SimViewOptions& options, std::string& error);

// Takes note of one platform call (WorldOptions::observe).
void simViewObserve(const ObservedCall& call);

// The run has ended with this status: the page is told, and served a few seconds more
// (or, kept, until Ctrl-C) before the server stops.
void simViewFinish(int exitStatus);
