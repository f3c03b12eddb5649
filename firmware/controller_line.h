#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "simulator/contact_controller.h"

// The serial line between a real contact controller (the firmware on its board) and
// the host, doing to the controller's replies what a scenario's controller faults
// ask: a silent controller hears nothing; a corrupted reply carries its checksum plus
// one; a dropped reply loses its middle byte; noise words go out before a reply's
// header. Faults are taken from the ContactController as the simulator's controller
// takes them, one reply at a time, so that both put the same bytes on the line.

// The faults one reply was given when its request went through.
struct ReplyFaults {
  bool corrupt = false;
  bool drop = false;
  std::vector<uint8_t> noise;  // bytes of the noise words
};

struct ControllerLine {
  std::deque<ReplyFaults> pending;  // one per request passed on and not yet answered
  std::vector<uint8_t> reply;       // bytes of the reply coming in (noise first, when held)
  size_t replyStart = 0;            // where the controller's own bytes start in reply
  bool entriesDone = false;         // the terminator has come: two checksum bytes follow
  size_t checksumBytes = 0;
};

// A byte from the host. Returns true when it goes on to the controller; bytes that
// reach the host at once (a request's noise words) are appended to toHost.
bool controllerLineFromHost(ControllerLine& line, ContactController& faults, uint8_t byte,
                            std::vector<uint8_t>& toHost);

// A byte from the controller: appends to toHost whatever reaches the host now.
// Returns true when the byte ended a reply.
bool controllerLineFromController(ControllerLine& line, uint8_t byte, std::vector<uint8_t>& toHost);
