#pragma once

// Test support: signglove-rig run as a child process on a script, its output captured.

#include <filesystem>
#include <string>
#include <vector>

struct RigRun {
  int exitStatus = -1;  // the rig's own, or 128 + the signal that ended it
  std::string out, err;
};

// The whole of a file, or empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// Runs the rig at rigPath with options, then the script, standard input empty; waits for it.
RigRun runRig(const char* rigPath, const std::vector<std::string>& options, const std::filesystem::path& script);
