#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/board.h"
#include "firmware/controller_line.h"
#include "simulator/contact_controller.h"
#include "simulator/script.h"

// The emulated board standing in for the simulator's controller on a player's serial
// line (the rig's): the firmware follows the scenario's clock, its pads touch as the
// scenario's controller says, and the scenario's controller faults are applied on
// the line between it and the host.
struct BoardLink {
  Board board;
  ControllerLine line;
  uint64_t startCycle = 0;  // the board's cycle at scenario time 0

  // For figures: how long each request took on the line, from its start to the end
  // of its reply, summed over the replies.
  std::vector<uint64_t> requestCycles;  // of requests passed on and not yet answered
  int64_t replies = 0;
  uint64_t replyCyclesSum = 0;
  int64_t lastReplyMicros = 0;  // the latest reply's time on the line
};

// Loads the firmware and lets it start. On failure returns false with the reason.
bool boardLinkStart(BoardLink& link, const std::string& firmwarePath, std::string& error);

// Bytes the host has just sent: on to the firmware, unless the line's faults keep
// them; bytes that reach the host at once are appended to toHost.
void boardLinkFromHost(BoardLink& link, ContactController& controller, const uint8_t* bytes, size_t count,
                       std::vector<uint8_t>& toHost);

// Runs the firmware up to the scenario time, its pads touching as the controller
// says, and appends to toHost the bytes that have reached the host by then. Returns
// true when a reply has just ended and no other is awaited. False in stopped tells
// the emulated chip stopped.
bool boardLinkRunTo(BoardLink& link, const ContactController& controller, int64_t micros,
                    std::vector<uint8_t>& toHost, bool& stopped);

// The mean time a request took on the line, from its start to its reply's end, in
// microseconds: the shortest sample period this controller allows. 0 before a reply.
double boardLinkMeanReplyMicros(const BoardLink& link);

// False, with the line, when a scenario script asks of the controller what a board
// cannot do: `groups` sets the entries whatever touches, which only the simulator's
// controller can.
bool scriptFitsTheBoard(std::string_view script, ScriptError& error);
