#pragma once

// The whole program: start-up, calibration, the menu, shut-down. Takes no arguments
// and always returns exit status 0.
int signgloveMain();
