#pragma once

#include <cstdint>
#include <string>

#include "platform/glove_library.h"
#include "simulator/seen_samples.h"
#include "view/console_screen.h"
#include "view/view_hub.h"

// Turns what a run shows of the program, in the order it happened, into the live
// view's events: the glove as it changes, samples and windows as the program takes
// them (each window named by the program's own handshape tree), its console and the
// words it recognises. The simulator feeds it every platform call; the real program's
// view feeds it what the relay, the glove watch and the terminal saw.

// Glove events go out at most this often (a page draws at about 60 frames a second);
// a change of the buttons goes at once.
constexpr int64_t kGloveEventMicros = 20'000;

struct ViewFeed {
  ViewHub* hub = nullptr;
  SeenSamples seen;
  GloveRecord published{};       // the record last sent
  int64_t publishedAt = 0;       // when, in the run's time
  bool anyPublished = false;
  GloveRecord held{};            // a change not sent yet
  bool holding = false;
};

// Starts feeding a hub started for a source ("simulator" or "program").
void viewFeedStart(ViewFeed& feed, ViewHub& hub, std::string_view source);

// The program sent, took a byte on its contact line.
void viewFeedByteSent(ViewFeed& feed, int byte);
void viewFeedByteTaken(ViewFeed& feed, int byte);

// The glove record is this now; bornMicros (CLOCK_MONOTONIC, 0: not timed) is when the
// change was seen, for the latency figures, which leave out a change held back.
void viewFeedGlove(ViewFeed& feed, int64_t atMicros, const GloveRecord& record, int64_t bornMicros = 0);

// The program read the glove record: a sample when a reply it accepted came before (and
// the window's event when it ends one). The record's own event is viewFeedGlove's.
void viewFeedSample(ViewFeed& feed, int64_t atMicros, const GloveRecord& record);

// Time has moved on: a change held back is sent once its time has come.
void viewFeedTick(ViewFeed& feed, int64_t atMicros);

// The program wrote to its console, or cleared it.
void viewFeedConsole(ViewFeed& feed, const ConsolePiece& piece);

// What the virtual signer starts doing.
void viewFeedCaption(ViewFeed& feed, int64_t atMicros, const std::string& caption);

// The program has ended with this status.
void viewFeedEnd(ViewFeed& feed, int64_t atMicros, int exitStatus);
