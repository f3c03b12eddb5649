#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "platform/glove_library.h"
#include "simulator/contact_controller.h"
#include "simulator/scenario.h"

// The virtual world the simulation backend stands in: one clock, one glove, one
// contact controller on one serial line, one keyboard and one console.

// Thrown out of a platform call when the simulation must end the program.
struct SimulationStopped {
  std::string reason;
};

struct WorldOptions {
  FILE* echo = nullptr;       // where console output also goes as it is written
  bool echoIsTerminal = false;
  bool realtime = false;      // keep virtual time from running ahead of the wall clock
};

// A byte on its way, available once the virtual clock reaches atMicros.
struct LineByte {
  int64_t atMicros;
  uint8_t byte;
};

struct World {
  const Scenario* scenario = nullptr;
  WorldOptions options;

  int64_t nowMicros = 0;
  int64_t stopMicros = 0;  // still running then: the program is stopped
  size_t nextEvent = 0;
  size_t keyCursor[kGloveChannels] = {};

  // Glove.
  GloveRecord record = {};
  uint8_t buttons[4] = {};
  int noiseAmount = 0;
  int bendNoiseAmount = 0;
  uint64_t noiseState = 0;

  // Serial line and controller.
  ContactController controller;
  bool portOpen = false;
  int64_t hostLineFreeMicros = 0;        // the host's transmitter is busy until then
  int64_t controllerLineFreeMicros = 0;  // the controller's transmitter is busy until then
  std::deque<int64_t> requestsArriving;  // request bytes on their way to the controller
  std::deque<LineByte> received;         // reply bytes on their way to, or in, the host's queue
  int64_t requestsSent = 0;              // request bytes the host has sent, for figures
  bool requestWaiting = false;           // a cued controller has a request it has not answered
  int answersDue = 0;                    // cues given before their request arrived

  // Keyboard: Enter presses that have happened and not been read yet.
  int keysWaiting = 0;

  // Console.
  std::string transcript;

  // Pacing against the wall clock.
  int64_t paceCheckedMicros = 0;
  int64_t wallStartNanos = 0;
};

extern World world;

// Starts a fresh world for the scenario.
void worldStart(const Scenario& scenario, const WorldOptions& options);

// Moves virtual time on, letting everything due happen on the way.
void worldAdvance(int64_t micros);

// Moves virtual time on to the given moment.
void worldAdvanceTo(int64_t atMicros);

// Refreshes the glove record for the time now.
void worldRefreshGlove();

// Puts a byte on the host's transmit line.
void worldSendByte(uint8_t byte);

// Takes the first received byte that has arrived, or -1.
int worldTakeByte();

// Appends console text to the transcript and the echo.
void worldWrite(const std::string& text);

// Clears the console: a form feed in the transcript (and the echo, unless a terminal).
void worldClear();

// For players that drive the world from another clock (the rig): when the next
// scripted event or request arrival is due, or INT64_MAX when nothing more is coming.
int64_t worldNextHappeningMicros();

// When the first received byte is due in the host's queue, or INT64_MAX.
int64_t worldNextByteMicros();

// The Enter presses that have happened and not been taken yet; takes them all.
int worldTakeKeys();
