#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "view/console_screen.h"

// The live view's events between the run that makes them (one thread) and the viewers
// that take them (a thread each), in bounded memory whatever the run's length and the
// viewers' pace: the last kMostEventsKept events, the console page now and the words so
// far. A new viewer starts from a snapshot (setup, the page, the latest glove,
// samples and windows); a viewer so slow that the events it has not had are no longer
// kept starts again from a snapshot, skipping what it missed.

constexpr size_t kMostEventsKept = 4096;       // about 20 s of a run
constexpr size_t kHistoryForNewViewers = 256;  // glove, sample and window events a new viewer gets
constexpr size_t kMostBytesPerTake = 256 * 1024;
constexpr size_t kLatenciesKept = 100'000;     // for the median

struct ViewEvent {
  uint64_t number = 0;
  std::string data;        // the JSON object
  bool history = false;    // a glove, sample or window event, which a new viewer gets
  int64_t bornMicros = 0;  // CLOCK_MONOTONIC when what it tells of happened; 0: not timed
};

// How long events took from their happening to leaving the server (their last byte
// written to a viewer's connection).
struct ViewLatencies {
  int64_t count = 0;
  int64_t worstMicros = 0;
  std::vector<int64_t> micros;  // the first kLatenciesKept, for the median
};

struct ViewHub {
  std::mutex mutex;
  std::condition_variable changed;
  std::string setup;
  ConsoleScreen screen;
  std::string caption;
  bool ended = false;
  bool closed = false;
  std::deque<ViewEvent> events;
  uint64_t nextNumber = 1;
  int viewers = 0, viewersEver = 0;
  int64_t skippedAhead = 0;  // snapshots sent to viewers that had fallen behind
  ViewLatencies latencies;
};

// Where a viewer is: the number of the next event it is to get; 0 before its snapshot.
struct ViewerCursor {
  uint64_t next = 0;
  std::vector<int64_t> bornMicros;  // of the timed events taken last
};

// Starts the hub with the setup event every viewer gets first.
void viewHubStart(ViewHub& hub, std::string setup);

// Publishes an event; bornMicros as in ViewEvent.
void viewHubPublish(ViewHub& hub, std::string data, bool history, int64_t bornMicros = 0);

// Console output: the page is kept, and its console event and any words it completes are
// published.
void viewHubConsole(ViewHub& hub, const ConsolePiece& piece);

// The signer's caption now, and its event.
void viewHubCaption(ViewHub& hub, const std::string& caption, std::string data);

// The run has ended: its event is published and later viewers are told so.
void viewHubEnd(ViewHub& hub, std::string data);

// No more events: every viewer's take returns false from now on.
void viewHubClose(ViewHub& hub);

// A viewer comes and goes (for the figures).
void viewHubViewerCame(ViewHub& hub);
void viewHubViewerLeft(ViewHub& hub);

// Appends to out, as server-sent events, what the viewer has not had yet (at most about
// kMostBytesPerTake), waiting up to wait for something; false once the hub is closed.
bool viewHubTake(ViewHub& hub, ViewerCursor& cursor, std::string& out, std::chrono::milliseconds wait);

// What the viewer took last has left the server now: notes how long its timed events took.
void viewHubDelivered(ViewHub& hub, ViewerCursor& cursor, int64_t nowMicros);

// CLOCK_MONOTONIC in microseconds: the clock events are timed by.
int64_t viewClockMicros();

// The median of the latencies noted; 0 when none.
int64_t viewLatencyMedian(const ViewLatencies& latencies);
