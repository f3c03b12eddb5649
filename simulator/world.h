#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/glove_library.h"
#include "simulator/contact_controller.h"
#include "simulator/observation.h"
#include "simulator/poll_skipping.h"
#include "simulator/scenario.h"

// The virtual world the simulation backend stands in: one clock, one glove, one
// contact controller on one serial line, one keyboard and one console.

// Thrown out of a platform call when the simulation must end the program.
struct SimulationStopped {
  std::string reason;
};

// A platform call the program has just made, as observers (the trace, the captions)
// see it; they must not change anything the program sees.
struct ObservedCall {
  enum Kind { kGloveRead, kByteSent, kByteTaken, kConsoleWrite, kConsoleClear } kind;
  int byte = 0;                         // sent or taken
  const GloveRecord* record = nullptr;  // read
  const std::string* text = nullptr;    // written
};

struct WorldOptions {
  FILE* echo = nullptr;       // where console output also goes as it is written
  bool echoIsTerminal = false;
  bool realtime = false;      // keep virtual time from running ahead of the wall clock
  // Move time straight past polling that cannot see anything new (the program cannot
  // tell); off, every poll is made one by one.
  bool skipIdlePolling = true;
  bool keepDigest = false;  // fold every platform call into world.observation.digest
  // world.transcript keeps the whole console; off, only the tail of its latest page (a
  // long run streams its console to echo instead of keeping it).
  bool keepTranscript = true;
  bool keepReplies = true;  // world.repliesSent keeps every reply; off, none
  int64_t runOnMicros = 5 * kMicrosPerSecond;  // still running this long after the last action: stopped
  void (*observe)(const ObservedCall& call) = nullptr;  // called after each such call
};

// What the program asked of its serial port and glove library, as the real devices
// would notice it: the port's settings, the calls that switch or close things.
struct PlatformCalls {
  int serialOpens = 0, baudSets = 0, lineSets = 0, serialCloses = 0;
  int receiveQueueSize = 0, transmitQueueSize = 0;    // as given at the latest open
  int baud = 0;                                       // the latest set; 0 while never set
  int parityCode = -1, stopBitsCode = -1, dataBits = -1;  // the latest set; -1 while never set
  int gloveInits = 0, gloveCloses = 0;
  std::vector<std::pair<int, int>> mouseStates;  // (device, state) of every mouse-state call
  int64_t gloveRecordReads = 0;
};

// A glove channel's value without noise, as the record carries it (a bend rounded to
// a whole step), and the first moment it may read otherwise.
struct ChannelReading {
  float value = 0;
  int64_t steadyUntil = 0;  // 0: never read
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
  uint64_t noiseKey = 0;  // the seed's key to the noise of every glove sample
  int64_t noiseSample = -1;        // the glove sample noise[] was drawn for; -1: none
  int noise[kGloveChannels] = {};  // that sample's jitter, channel by channel
  ChannelReading channelReadings[kGloveChannels];
  bool gloveOpen = false;          // initialised with a glove found, not closed since
  bool mouseEmulationOn = false;   // device 0 drives the mouse pointer
  int64_t gloveFreshUntil = 0;  // refreshes before then would give the record as it is
  int64_t gloveRefreshTick = -1;  // the refresh period the record was last refreshed in

  // Serial line and controller.
  ContactController controller;
  bool portOpen = false;
  int64_t hostLineFreeMicros = 0;        // the host's transmitter is busy until then
  int64_t controllerLineFreeMicros = 0;  // the controller's transmitter is busy until then
  std::deque<int64_t> requestsArriving;  // request bytes on their way to the controller
  std::deque<LineByte> received;         // reply bytes on their way to, or in, the host's queue
  int64_t requestsSent = 0;              // request bytes the host has sent, for figures
  std::vector<std::vector<uint8_t>> repliesSent;  // each reply's bytes that reached the line, for tests

  PlatformCalls calls;
  std::vector<uint8_t> replyBuffer;      // the reply being put on the wire, reused
  bool requestWaiting = false;           // a cued controller has a request it has not answered
  int answersDue = 0;                    // cues given before their request arrived

  // Keyboard: Enter presses that have happened and not been read yet.
  int keysWaiting = 0;

  // Console.
  std::string transcript;

  // Pacing against the wall clock.
  int64_t paceCheckedMicros = 0;
  int64_t wallStartNanos = 0;

  // What the program has seen, and what the backend knows of its polling.
  Observation observation;
  PollingState polling;
};

extern World world;

// Starts a fresh world for the scenario.
void worldStart(const Scenario& scenario, const WorldOptions& options);

// Moves virtual time on, letting everything due happen on the way.
void worldAdvance(int64_t micros);

// Moves virtual time on to the given moment.
void worldAdvanceTo(int64_t atMicros);

// Refreshes the glove record for the time now, at most once in each of the scenario's
// refresh periods, with the noise of the glove sample now falls in (the refresh
// period, or kGloveSampleMicros when there is none); true when any field changed.
bool worldRefreshGlove();

// Glove reads have been skipped up to the one that ended at lastReadMicros: each gave
// the record as it is, but a read in a new refresh period made that period's refresh.
void worldGloveReadsSkipped(int64_t lastReadMicros);

// The millisecond clock's reading at a moment.
uint32_t worldClockMillis(int64_t atMicros);

// The first moment after now at which a glove record refresh may differ from the one
// made now: a keyframe, a button or noise event, the next glove sample while noise is
// on, or just after now while a channel moves; never before the next refresh period.
// Scripted events bound it too.
int64_t worldGloveSteadyUntil();

// The earliest moment a byte can be waiting in the host's receive queue, counting
// replies to requests still on the wire; far in the future when none can.
int64_t worldFirstByteMicros();

// The moment of the next scripted event, far in the future when none is left.
int64_t worldNextEventMicros();

// Moments at or after this one must be reached by the program's own calls: the stop
// rule and, in real-time runs, the next pacing check.
int64_t worldSkipLimitMicros();

// Puts a byte on the host's transmit line.
void worldSendByte(uint8_t byte);

// Takes the first received byte that has arrived, or -1.
int worldTakeByte();

// 1 when the simulated port is set as the controller's line is: 9600 baud, no parity,
// one stop bit, 8 data bits. Otherwise every byte through that port arrives garbled.
int worldLineMatches();

// A byte as a receiver set differently from its sender reads it: its bits out of step.
uint8_t worldGarble(uint8_t byte);

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
