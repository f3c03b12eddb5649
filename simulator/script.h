#pragma once

#include <string>
#include <string_view>

#include "simulator/scenario.h"

struct ScriptError {
  int line = 0;
  std::string message;
};

// Compiles a scenario script, one action a line. False, with the first error and its
// line, when the script is bad; nothing is compiled then.
bool compileScript(std::string_view text, Scenario& scenario, ScriptError& error);
