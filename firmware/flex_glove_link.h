#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <string>

#include "firmware/board_pty.h"
#include "firmware/flex_glove_board.h"
#include "platform/glove_library.h"

// The do-it-yourself glove standing in for a player's glove (the rig's): the scenario's
// bends and buttons move the flex glove's emulated board, whose lines go through a
// pseudo-terminal to the driver (signglove-glove serial --calibration --osc-port),
// which publishes the glove record; the hand's position and angles, which the glove
// does not measure, reach the same driver as OSC messages over UDP on 127.0.0.1.
//
// The virtual world changes the whole record at once, and the program names a moving
// window from the bends and the second angle of one sample: so the position and angles
// travel with the bends, as a glove with a motion sensor would send them. The pose of
// the moment each of the firmware's samples starts goes to the driver as that sample's
// line ends.

struct FlexGloveDriver {
  std::string program;      // signglove-glove
  std::string calibration;  // its calibration file for the board's sensors
  std::string gloveName;    // the shared object it publishes, e.g. /signglove-glove
};

struct FlexGloveLink {
  ~FlexGloveLink();  // ends the driver

  FlexGloveBoard board;
  BoardPty line;
  uint64_t startCycle = 0;  // the board's cycle at scenario time 0
  pid_t driver = -1;
  int oscSocket = -1;
  uint16_t oscPort = 0;
  // The position and angles (x y z, then the angles in record order) of each sample
  // whose line has not ended yet, in order.
  struct Pose {
    float position[3];
    float angles[3];
  };
  std::deque<Pose> linePoses;
  int64_t samplesSeen = 0;  // the board's samples that have a pose here
};

// Loads the firmware, starts the driver on the board's line and runs the board at the
// wall clock's pace, the hand as the record says, until the driver publishes that
// hand (its position and angles too) or 5 s have gone. Scenario time 0 is then. On
// failure returns false with the reason, the driver ended.
bool flexGloveLinkStart(FlexGloveLink& link, const std::string& firmwarePath, const FlexGloveDriver& driver,
                        const GloveRecord& record, std::string& error);

// Runs the board to the scenario time with the record's bends and buttons (changed
// between two of the firmware's samples), passes its lines on to the driver, each with
// the record's position and angles as its sample started. False, with the reason, when
// the emulated chip stopped or the driver ended.
bool flexGloveLinkRunTo(FlexGloveLink& link, const GloveRecord& record, int64_t micros, std::string& error);

// Ends the driver (SIGTERM, then SIGKILL) and closes the line and the socket.
void flexGloveLinkStop(FlexGloveLink& link);
