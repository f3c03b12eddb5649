#pragma once

// Test helper: a virtual world started on a scenario script, for tests that call the
// program's operations one by one instead of running the whole program.

#include <gtest/gtest.h>

#include <string_view>

#include "contacts/contact_packet.h"
#include "platform/serial.h"
#include "simulator/script.h"
#include "simulator/world.h"

struct VirtualWorld {
  Scenario scenario;

  // Compiles the script (a bad one fails the test) and starts the world on it, with the
  // contact port open and set to 9600 baud 8N1 as start-up leaves it.
  explicit VirtualWorld(std::string_view script) {
    ScriptError error;
    if (!compileScript(script, scenario, error)) ADD_FAILURE() << "script line " << error.line << ": " << error.message;
    worldStart(scenario, {});
    serialOpen(kContactPort, 1024, 1024);
    serialSetBaud(kContactPort, 9600);
    serialSetLine(kContactPort, 0, 0, 8);
  }
  VirtualWorld(const VirtualWorld&) = delete;
  VirtualWorld& operator=(const VirtualWorld&) = delete;

  // What the program has written to the console so far.
  const std::string& console() const { return world.transcript; }
};
