#pragma once

// The guided calibration of a flex glove (`signglove-glove calibrate`): the hand open,
// a fist, then each finger bent alone, each step ended with Enter, with the raw
// readings shown live as bars. From them, per finger, the straight and the bent
// reading of a calibration file (drivers/calibration.h).

#include <string>
#include <vector>

#include "drivers/calibration.h"
#include "drivers/column_map.h"

enum CalibrationStep { kStepOpen, kStepFist, kStepFirstFinger, kCalibrationSteps = kStepFirstFinger + kFingers };

// What the signer is asked to do at a step.
std::string calibrationStepPrompt(int step);

// The raw reading of each finger at each step (the mean over the step's last moments).
struct CalibrationReadings {
  double raw[kCalibrationSteps][kFingers] = {};
};

// For each finger in `fingers` (bit per finger, thumb bit 0): straight is the open
// hand's reading, bent the fist's or the finger's alone, whichever lies farther from
// straight (a sensor may read less as it bends). False, with the reason in error, when
// a finger's reading hardly changed (less than a tenth of the finger that changed
// most); a finger bent alone that moved another finger's column more adds a warning.
bool calibrationFromReadings(const CalibrationReadings& readings, unsigned fingers, Calibration& calibration,
                             std::string& error, std::vector<std::string>& warnings);

struct CalibrateOptions {
  std::string device;
  int baud = 0;
  ColumnMap columns;
  std::string out;
};

// Runs the steps on the terminal (Enter on standard input ends each; bars on standard
// output when it is a terminal) and writes the file: the exit status.
int runGuidedCalibration(const CalibrateOptions& options);
