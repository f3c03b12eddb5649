#include "drivers/calibration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "drivers/line_parser.h"

namespace {

constexpr size_t kLargestCalibrationFile = 64 * 1024;
constexpr mode_t kCalibrationMode = 0644;

// The file's words on one line, comment and blanks gone.
std::vector<std::string_view> wordsOf(std::string_view line) {
  if (const size_t comment = line.find('#'); comment != std::string_view::npos) line = line.substr(0, comment);
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(" \t\r", at);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

bool readingOf(std::string_view word, double& value) {
  return parseGloveNumber(word, value) && gloveReadingUsable(value);
}

// The reason a line is not a finger's calibration, or empty when it is one.
std::string parseLine(const std::vector<std::string_view>& words, Calibration& calibration) {
  const int field = gloveFieldNamed(words[0]);
  if (field < kFieldThumb || field > kFieldLittle)
    return "'" + std::string(words[0].substr(0, 40)) + "' is not a finger: thumb, index, middle, ring or little";
  if (words.size() != 3) return "expected FINGER RAW_STRAIGHT RAW_BENT, e.g. 'index 512 830'";
  FingerCalibration& finger = calibration.finger[field - kFieldThumb];
  if (finger.given) return std::string(words[0]) + " is calibrated twice";
  double straight = 0, bent = 0;
  if (!readingOf(words[1], straight) || !readingOf(words[2], bent))
    return "the raw readings must be numbers within " + std::to_string(static_cast<long>(kLargestReading));
  if (straight == bent) return "the straight and the bent readings are the same: the finger's bend cannot be read";
  finger = {true, straight, bent};
  return "";
}

}  // namespace

double calibratedBend(const FingerCalibration& finger, double raw) {
  if (!finger.given) return raw;
  return (raw - finger.rawStraight) * kBendFullyBent / (finger.rawBent - finger.rawStraight);
}

bool calibrationParse(std::string_view text, const std::string& name, Calibration& calibration, std::string& error) {
  calibration = Calibration{};
  int number = 0;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    ++number;
    const std::vector<std::string_view> words = wordsOf(text.substr(at, end - at));
    at = end + 1;
    if (words.empty()) continue;
    if (std::string reason = parseLine(words, calibration); !reason.empty()) {
      error = name + ":" + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  return true;
}

bool calibrationLoad(const std::string& path, Calibration& calibration, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string text;
  int readError = fd < 0 ? errno : 0;
  // Bounded, so that a device or an endless pipe named by mistake cannot hold the driver.
  char chunk[4096];
  while (fd >= 0 && !readError && text.size() <= kLargestCalibrationFile) {
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) readError = errno;
    if (count <= 0) break;
    text.append(chunk, static_cast<size_t>(count));
  }
  if (fd >= 0) close(fd);
  if (readError) {
    error = path + ": " + std::strerror(readError);
    return false;
  }
  if (text.size() > kLargestCalibrationFile) {
    error = path + ": not a calibration file: longer than " + std::to_string(kLargestCalibrationFile) + " bytes";
    return false;
  }
  return calibrationParse(text, path, calibration, error);
}

std::string calibrationText(const Calibration& calibration, const std::string& comment) {
  std::string text;
  std::istringstream lines(comment);
  for (std::string line; std::getline(lines, line);) text += "# " + line + "\n";
  text += "# FINGER RAW_STRAIGHT RAW_BENT\n";
  for (int finger = 0; finger < kFingers; ++finger) {
    const FingerCalibration& given = calibration.finger[finger];
    if (!given.given) continue;
    char line[128];
    std::snprintf(line, sizeof line, "%-7s %.6g %.6g\n", std::string(gloveFieldName(kFieldThumb + finger)).c_str(),
                  given.rawStraight, given.rawBent);
    text += line;
  }
  return text;
}

bool calibrationSave(const std::string& path, const std::string& text, std::string& error) {
  const size_t slash = path.rfind('/');
  std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".calibration-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = "cannot write in the folder of " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = write(fd, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    written += static_cast<size_t>(count);
  }
  const int writeError = written == text.size() ? 0 : errno ? errno : EIO;
  // mkstemp made it its owner's alone; a calibration is no secret.
  const bool readable = fchmod(fd, kCalibrationMode) == 0;
  const bool closed = close(fd) == 0;
  if (writeError || !readable || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(writeError ? writeError : errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}
