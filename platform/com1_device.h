#pragma once

// The device the real program opens as COM1, for the contact controller: the one the
// environment names in SIGNGLOVE_COM1, else the one the build names (CMake option
// SIGNGLOVE_COM1, /dev/ttyS0 by default). The rig and the recorder put their line over
// the same device.

#include <cstdlib>
#include <string>

#ifndef SIGNGLOVE_COM1
#define SIGNGLOVE_COM1 "/dev/ttyS0"
#endif

// COM1's device; empty, with the reason in *error, when SIGNGLOVE_COM1 is set but empty.
inline std::string com1Device(std::string* error = nullptr) {
  const char* named = std::getenv("SIGNGLOVE_COM1");
  if (!named) return SIGNGLOVE_COM1;
  if (!*named && error) *error = "SIGNGLOVE_COM1 is set but empty: it names no device";
  return named;
}
