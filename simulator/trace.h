#pragma once

#include <ostream>

#include "simulator/scenario.h"
#include "simulator/world.h"

// A trace of one simulated run as CSV, one row per thing that happened, in time order:
//   ms,kind,x,y,z,orient3,orient2,orient1,slot0,...,slot5,thumb,index,middle,ring,little,groups,window,still,text
// kind "sample": a sample the program took (a contact reply it accepted, then a glove
//   read), its 17 channels in the program's order, how many slots that reply filled
//   (the others keep what earlier replies left there), the window it belongs to
//   (counted from 1) and whether that window was still (1) or moving (0). Windows are
//   left empty where the program takes no windows (finger connections).
// kind "signer": what the script's signer starts doing (text).
// kind "console": a piece of text the program printed, without its line ends.
// kind "clear": the program cleared the console.
// The trace only watches the platform calls the program makes; it changes nothing.

// Starts a trace of a run of the scenario into out; writes the header row.
void traceStart(const Scenario& scenario, std::ostream& out);

// Takes note of one platform call (WorldOptions::observe).
void traceObserve(const ObservedCall& call);

// Writes what is still pending once the run has ended, up to the world's time now. False
// when any of the trace could not be written (a full disk, a failing device).
bool traceFinish();
