#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/glove_library.h"

// A live session as the recorder saw it, and its translation into a scenario script
// that makes the simulated program see what the live one saw. All times are
// microseconds since the program was started.

struct GloveSnapshot {
  int64_t atMicros;
  GloveRecord record;  // in force from atMicros until the next snapshot
};

struct TimedByte {
  int64_t atMicros;
  uint8_t byte;
};

struct Recording {
  std::vector<std::string> notes;    // written as comments at the top of the script
  bool gloveAbsent = false;          // no glove record was there when the program started
  std::vector<GloveSnapshot> glove;  // the record at the start, then every change, in time order
  std::vector<int64_t> requests;     // request bytes passed on to the controller, in time order
  std::vector<TimedByte> replies;    // bytes from the controller, in time order
  std::vector<int64_t> keys;         // characters the user typed to the program, in time order
  int64_t endMicros = 0;             // the program ended (or was ended)
  int exitStatus = 0;                // the program's own, when it ended by itself
  bool endedBySignal = false;        // it was ended (a replay's simulator stops it too)
};

// The scenario script of a recording. The controller is cued to answer each request
// when the live one did, with the entries it sent (`groups`), its faults where they
// match the emulated controller's, or else the very bytes (`reply`); while the program
// samples, the glove is shown as each of its polls saw it; otherwise glove fields and
// buttons change at their recorded moments, to the millisecond; every typed character
// is one `enter`. Only changes are written.
std::string recordingScript(const Recording& recording);
