#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "firmware/board_pty.h"
#include "firmware/flex_glove_board.h"
#include "platform/glove_library.h"

// The do-it-yourself glove standing in for a player's glove (the rig's): the scenario's
// bends and buttons move the flex glove's emulated board, whose lines go through a
// pseudo-terminal to the driver (signglove-glove serial --calibration --osc-port),
// which publishes the glove record; the hand's position and angles, which the glove
// does not measure, reach the same driver as OSC messages over UDP on 127.0.0.1.

struct FlexGloveDriver {
  std::string program;      // signglove-glove
  std::string calibration;  // its calibration file for the board's sensors
  std::string gloveName;    // the shared object it publishes, e.g. /signglove-glove
};

struct FlexGloveLink {
  FlexGloveBoard board;
  BoardPty line;
  uint64_t startCycle = 0;  // the board's cycle at scenario time 0
  pid_t driver = -1;
  int oscSocket = -1;
  uint16_t oscPort = 0;
  float sentPose[6] = {};      // the position and angles the driver was last sent
  int64_t poseSentMicros = -1;  // and when, in scenario time
};

// Loads the firmware, starts the driver on the board's line and runs the board at the
// wall clock's pace, the hand as the record says, until the driver publishes that
// hand (its position and angles too) or 5 s have gone. Scenario time 0 is then. On
// failure returns false with the reason, the driver ended.
bool flexGloveLinkStart(FlexGloveLink& link, const std::string& firmwarePath, const FlexGloveDriver& driver,
                        const GloveRecord& record, std::string& error);

// Runs the board to the scenario time with the record's bends and buttons, passes its
// lines on to the driver, and sends the record's position and angles when they change
// (and every 20 ms, so that a message lost on the way is made good). False, with the
// reason, when the emulated chip stopped or the driver ended.
bool flexGloveLinkRunTo(FlexGloveLink& link, const GloveRecord& record, int64_t micros, std::string& error);

// Ends the driver (SIGTERM, then SIGKILL) and closes the line and the socket.
void flexGloveLinkStop(FlexGloveLink& link);
