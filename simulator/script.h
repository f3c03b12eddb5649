#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

struct ScriptError {
  int line = 0;
  std::string message;
};

// Compiles a scenario script, one action a line. False, with the first error and its
// line, when the script is bad; nothing is compiled then. Lines that compile but ask
// for more than the virtual signer is built for are added to warnings, when given.
bool compileScript(std::string_view text, Scenario& scenario, ScriptError& error,
                   std::vector<ScriptError>* warnings = nullptr);

// The valid names closest to a mistyped one, best first (at most three; none when
// nothing is close): a different case, a prefix, a part of a name, or a typo or two.
std::vector<std::string_view> nearestNames(std::string_view typed, const std::vector<std::string_view>& names);

// Reads a script file whole ("-": standard input). False, with errno set, when it cannot
// be read: missing, unreadable, or a directory.
bool readScriptFile(const std::string& path, std::string& text);
