#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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

// What the controller sends in answer to one request is kept up to this many bytes, and
// only while it comes within this long of the request (the program has long timed out
// by then); the rest, a flood or bytes nobody asked for, is left out and counted.
constexpr size_t kMostBytesPerExchange = 4096;
constexpr int64_t kExchangeWindowMicros = 600'000;

// The scenario script of a recording. The controller is cued to answer each request
// when the live one did, with the entries it sent (`groups`), its faults where they
// match the emulated controller's, or else the very bytes (`reply`); while the program
// samples, the glove is shown as each of its polls saw it; otherwise glove fields and
// buttons change at their recorded moments, to the millisecond; every typed character
// is one `enter`. Only changes are written.
std::string recordingScript(const Recording& recording);

// A line of a script, due at a moment of the scenario.
struct ScriptAction {
  int64_t atMillis;
  std::string text;
};

// The same script written as the session goes on (the recorder streams it to disk, so
// that a session cut short keeps all but its last second): the events go in as they
// come, each kind in time order, and out come the lines that nothing still to come can
// change. However the events are cut up, the lines are recordingScript's.
struct RecordingStream {
  // Events not yet written.
  std::deque<int64_t> requests;
  std::deque<TimedByte> replies;
  std::deque<GloveSnapshot> glove;
  std::vector<ScriptAction> session, keys;  // lines not yet written, each kind in order
  // What the replay has been told so far.
  GloveRecord shown = {};         // all zero, buttons up, until told otherwise
  std::vector<uint16_t> entries;  // the replay's controller starts with nothing touching
  int64_t earliestMillis = 0;     // glove changes in their own time come no earlier
  int64_t writtenMillis = 0;      // the scenario's time after the lines written
  bool exchanged = false;         // an exchange has been written: stray bytes before the next go nowhere
  int64_t leftOutBytes = 0;       // controller bytes left out (see kMostBytesPerExchange)
};

// The script's first lines: the notes as comments, the start-up conditions.
std::string recordingStreamStart(RecordingStream& stream, const std::vector<std::string>& notes, bool gloveAbsent);

// Takes the events of `more` (its glove, requests, replies, keys), each later than those
// given before; every event still to come is at settledMicros or later. The lines that
// are final now.
std::string recordingStreamAdd(RecordingStream& stream, const Recording& more, int64_t settledMicros);

// Everything left, the closing notes as comments and the end: the program's exit.
std::string recordingStreamEnd(RecordingStream& stream, int64_t endMicros, int exitStatus, bool endedBySignal,
                               const std::vector<std::string>& closingNotes = {});
