#pragma once

// Files a tool finds relative to itself: other signglove executables, installed beside
// it, and the firmware images and calibration the build made, installed in
// ../share/signglove/firmware beside the executables (or left in the build tree).

#include <limits.h>
#include <unistd.h>

#include <string>

// The directory of the running executable, with a trailing '/'; empty when unknown.
inline std::string executableDirectory() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  const std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

// The executable `name` beside the running one (or `name` alone, for the PATH).
inline std::string besideThisExecutable(const char* name) {
  const std::string directory = executableDirectory();
  return directory.empty() ? name : directory + name;
}

// An installed copy of a file the build made at builtPath, when there is one beside the
// executable, else builtPath.
inline std::string firmwareFile(const std::string& builtPath) {
  const std::string installed =
      executableDirectory() + "../share/signglove/firmware/" + builtPath.substr(builtPath.rfind('/') + 1);
  return access(installed.c_str(), R_OK) == 0 ? installed : builtPath;
}
