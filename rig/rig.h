#pragma once

// signglove-rig's player: a scenario played against the wall clock for a real program,
// which finds the virtual glove in shared memory (published by the player, or by a
// driver reading the emulated flex glove) and the emulated contact controller on a
// pseudo-terminal bound over its COM1 device.

#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"
#include "simulator/script.h"

constexpr int kRigExitCannotSetUp = 1;
constexpr int kRigExitBadScript = 2;
constexpr int kRigExitStopped = 3;

struct RigOptions {
  std::vector<std::string> command;  // the program and its arguments
  std::string device;                // the program's COM1 device, bound over in its namespace
  bool timing = false;               // report CPU, wall time and request pace on stderr
  std::string firmware;              // the controller's firmware: its emulated board answers instead
  // The flex glove's firmware: the glove reaches the program through its emulated board
  // and this driver with this calibration file, instead of being published straight.
  std::string gloveFirmware;
  std::string gloveDriver;
  std::string gloveCalibration;
};

// False, with the line, when the script asks for what cannot happen in real time (the
// program reads the host's own clock, so `clock` cannot set it).
bool playableInRealTime(std::string_view script, ScriptError& error);

// Sets up the program's private devices, runs it and plays the scenario until it ends.
// Returns its exit status, kRigExitStopped when it had to be ended, or
// kRigExitCannotSetUp (the reason on stderr).
int runRig(const Scenario& scenario, const RigOptions& options);
