#pragma once

// A flex glove's calibration: for each finger the raw number its column reads with the
// finger straight and fully bent. The file, as `calibrate --out` writes it and
// `--calibration` reads it, is text: `#` starts a comment, blank lines are ignored, and
// each other line is `FINGER RAW_STRAIGHT RAW_BENT` (FINGER one of thumb index middle
// ring little). RAW_STRAIGHT above RAW_BENT is a sensor that reads less as it bends.

#include <string>
#include <string_view>

#include "drivers/glove_fields.h"

struct FingerCalibration {
  bool given = false;  // a finger not given is read in program units
  double rawStraight = 0, rawBent = 0;
};

struct Calibration {
  FingerCalibration finger[kFingers];  // thumb first
};

// A raw reading on the bend scale: rawStraight gives 0, rawBent 63, linear between and
// beyond (gloveFieldSet clamps it to 0..255). The reading itself when the finger is not given.
double calibratedBend(const FingerCalibration& finger, double raw);

// Reads a calibration's text; false with "NAME:LINE: reason" in error for the first
// line that does not parse.
bool calibrationParse(std::string_view text, const std::string& name, Calibration& calibration, std::string& error);

// Reads a calibration file; false with the reason (FILE:LINE for a bad line) in error.
bool calibrationLoad(const std::string& path, Calibration& calibration, std::string& error);

// The file's text for a calibration, after the comment lines given (without their '#').
std::string calibrationText(const Calibration& calibration, const std::string& comment);

// Writes the text to path whole or not at all (a temporary file in its folder, renamed
// over it); false with the reason in error.
bool calibrationSave(const std::string& path, const std::string& text, std::string& error);
