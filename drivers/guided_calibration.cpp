#include "drivers/guided_calibration.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "drivers/driver_run.h"
#include "drivers/glove_serial.h"
#include "drivers/line_parser.h"
#include "platform/glove_record_writer.h"

namespace {

// A step's reading is the mean of what came in over its last quarter of a second.
constexpr int64_t kAveragedNanos = 250'000'000;
constexpr int64_t kRedrawNanos = 100'000'000;
constexpr int kPollMillis = 50;
// A finger whose reading changed by less than this share of the largest change is not read.
constexpr double kSmallestChangeShare = 0.1;
constexpr int kBarWidth = 40;

struct Reading {
  int64_t atNanos;
  double raw[kFingers];
};

std::string fingerName(int finger) { return std::string(gloveFieldName(kFieldThumb + finger)); }

// The fingers the columns give, bit per finger.
unsigned fingersOf(const ColumnMap& columns) {
  unsigned fingers = 0;
  for (int finger = 0; finger < kFingers; ++finger)
    if (columns.fields & gloveFieldBit(kFieldThumb + finger)) fingers |= 1u << finger;
  return fingers;
}

// A line's raw finger readings; false when the line is not one of the glove's.
bool rawReadings(const ColumnMap& columns, std::string_view text, double raw[kFingers]) {
  GloveLine line;
  if (parseGloveLine(text, line) != LineParse::kNumbers || line.count != columns.count) return false;
  for (int column = 0; column < columns.count; ++column) {
    if (!gloveReadingUsable(line.value[column])) return false;
    const int field = columns.field[column];
    if (field >= kFieldThumb && field <= kFieldLittle) raw[field - kFieldThumb] = line.value[column];
  }
  return true;
}

struct Session {
  explicit Session(const CalibrateOptions& given) : options(given) {}
  const CalibrateOptions& options;
  GloveSerial serial;
  unsigned fingers = 0;
  std::deque<Reading> recent;  // this step's, for the last kAveragedNanos
  double lowest[kFingers], highest[kFingers];
  bool seen = false;  // lowest and highest hold a reading
  bool terminal = false;
  bool barsDrawn = false;
  int64_t drawnNanos = 0;
};

void take(Session& session, const double raw[kFingers]) {
  const int64_t now = gloveMonotonicNanos();
  Reading reading{now, {}};
  std::copy(raw, raw + kFingers, reading.raw);
  session.recent.push_back(reading);
  while (now - session.recent.front().atNanos > kAveragedNanos) session.recent.pop_front();
  for (int finger = 0; finger < kFingers; ++finger) {
    session.lowest[finger] = session.seen ? std::min(session.lowest[finger], raw[finger]) : raw[finger];
    session.highest[finger] = session.seen ? std::max(session.highest[finger], raw[finger]) : raw[finger];
  }
  session.seen = true;
}

// One bar a finger, between the lowest and the highest reading seen so far, drawn over
// the last ones.
void drawBars(Session& session) {
  if (!session.terminal || session.recent.empty()) return;
  const int lines = __builtin_popcount(session.fingers);
  if (session.barsDrawn) std::printf("\033[%dA", lines);
  const Reading& last = session.recent.back();
  for (int finger = 0; finger < kFingers; ++finger) {
    if (!(session.fingers & (1u << finger))) continue;
    const double span = session.highest[finger] - session.lowest[finger];
    const int filled = span > 0 ? static_cast<int>(std::lround((last.raw[finger] - session.lowest[finger]) / span * kBarWidth)) : 0;
    std::printf("\r  %-6s %10.6g |%s%s|\033[K\n", fingerName(finger).c_str(), last.raw[finger],
                std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kBarWidth - filled), ' ').c_str());
  }
  std::fflush(stdout);
  session.barsDrawn = true;
}

void readSerial(Session& session) {
  gloveSerialRead(session.serial, [&session](LineEvent event, std::string_view text) {
    double raw[kFingers] = {};
    if (event == LineEvent::kLine && rawReadings(session.options.columns, text, raw)) take(session, raw);
  });
}

enum class StepEnd { kTaken, kAbandoned };

// Waits for Enter with readings in hand, and takes their mean as the step's readings.
StepEnd runStep(Session& session, double readings[kFingers]) {
  session.recent.clear();
  session.barsDrawn = false;
  for (;;) {
    if (driverStopping()) return StepEnd::kAbandoned;
    const int serialFd = gloveSerialDescriptor(session.serial);
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {serialFd, POLLIN, 0}};
    poll(watched, serialFd >= 0 ? 2 : 1, kPollMillis);
    // Everything the glove sent before Enter counts: the line first.
    if (serialFd < 0 || watched[1].revents) readSerial(session);
    const int64_t now = gloveMonotonicNanos();
    if (now - session.drawnNanos >= kRedrawNanos) {
      drawBars(session);
      session.drawnNanos = now;
    }
    if (!watched[0].revents) continue;
    char typed[256];
    const ssize_t count = read(STDIN_FILENO, typed, sizeof typed);
    if (count <= 0) return StepEnd::kAbandoned;
    if (std::find(typed, typed + count, '\n') == typed + count) continue;
    while (!session.recent.empty() && now - session.recent.front().atNanos > kAveragedNanos) session.recent.pop_front();
    if (session.recent.empty()) {
      std::printf("No readings from %s in the last quarter of a second: is the glove sending lines of %d numbers? "
                  "Press Enter again when it is.\n",
                  session.options.device.c_str(), session.options.columns.count);
      std::fflush(stdout);
      session.barsDrawn = false;
      continue;
    }
    for (int finger = 0; finger < kFingers; ++finger) {
      double sum = 0;
      for (const Reading& reading : session.recent) sum += reading.raw[finger];
      readings[finger] = sum / static_cast<double>(session.recent.size());
    }
    return StepEnd::kTaken;
  }
}

std::string summaryOf(const Calibration& calibration) {
  std::string text;
  for (int finger = 0; finger < kFingers; ++finger) {
    const FingerCalibration& given = calibration.finger[finger];
    if (!given.given) continue;
    char line[160];
    std::snprintf(line, sizeof line, "  %-6s straight %.6g, bent %.6g%s\n", fingerName(finger).c_str(),
                  given.rawStraight, given.rawBent, given.rawStraight > given.rawBent ? " (reads less as it bends)" : "");
    text += line;
  }
  return text;
}

}  // namespace

std::string calibrationStepPrompt(int step) {
  if (step == kStepOpen) return "Hold your hand open, every finger straight, and press Enter.";
  if (step == kStepFist) return "Make a fist, every finger fully bent, and press Enter.";
  const int finger = step - kStepFirstFinger;
  return "Bend only the " + fingerName(finger) + (finger == 0 ? "" : " finger") +
         " as far as it goes, the others straight, and press Enter.";
}

bool calibrationFromReadings(const CalibrationReadings& readings, unsigned fingers, Calibration& calibration,
                             std::string& error, std::vector<std::string>& warnings) {
  calibration = Calibration{};
  double change[kFingers] = {};
  double largest = 0;
  for (int finger = 0; finger < kFingers; ++finger) {
    if (!(fingers & (1u << finger))) continue;
    const double straight = readings.raw[kStepOpen][finger];
    const double fist = readings.raw[kStepFist][finger], alone = readings.raw[kStepFirstFinger + finger][finger];
    const double bent = std::fabs(alone - straight) > std::fabs(fist - straight) ? alone : fist;
    calibration.finger[finger] = {true, straight, bent};
    change[finger] = std::fabs(bent - straight);
    largest = std::max(largest, change[finger]);
    const double own = std::fabs(alone - straight);
    for (int other = 0; other < kFingers; ++other) {
      const double moved = std::fabs(readings.raw[kStepFirstFinger + finger][other] - readings.raw[kStepOpen][other]);
      if (other != finger && (fingers & (1u << other)) && moved > own)
        warnings.push_back("bending the " + fingerName(finger) + " alone moved the " + fingerName(other) +
                           " column more than its own: are the columns in the glove's order?");
    }
  }
  std::string still;
  for (int finger = 0; finger < kFingers; ++finger)
    if ((fingers & (1u << finger)) && (change[finger] == 0 || change[finger] < kSmallestChangeShare * largest))
      still += (still.empty() ? "" : ", ") + fingerName(finger);
  if (still.empty()) return true;
  error = "the reading hardly changed for: " + still + " (is the sensor connected, and in the column named?)";
  return false;
}

int runGuidedCalibration(const CalibrateOptions& options) {
  Session session(options);
  session.fingers = fingersOf(options.columns);
  if (session.fingers == 0) {
    std::fprintf(stderr, "signglove-glove: calibrate: the columns name no finger\n");
    return kDriverExitUsage;
  }
  session.terminal = isatty(STDOUT_FILENO) == 1;
  if (!gloveSerialOpen(session.serial, options.device, options.baud)) return kDriverExitFailed;
  driverCatchSignals();

  std::vector<int> steps = {kStepOpen, kStepFist};
  for (int finger = 0; finger < kFingers; ++finger)
    if (session.fingers & (1u << finger)) steps.push_back(kStepFirstFinger + finger);
  CalibrationReadings readings;
  for (size_t index = 0; index < steps.size(); ++index) {
    std::printf("Step %zu of %zu: %s\n", index + 1, steps.size(), calibrationStepPrompt(steps[index]).c_str());
    std::fflush(stdout);
    if (runStep(session, readings.raw[steps[index]]) == StepEnd::kAbandoned) {
      gloveSerialClose(session.serial);
      std::fprintf(stderr, "signglove-glove: calibration abandoned; %s not written\n", options.out.c_str());
      return kDriverExitFailed;
    }
  }
  gloveSerialClose(session.serial);

  Calibration calibration;
  std::string error;
  std::vector<std::string> warnings;
  const bool read = calibrationFromReadings(readings, session.fingers, calibration, error, warnings);
  for (const std::string& warning : warnings) std::fprintf(stderr, "signglove-glove: warning: %s\n", warning.c_str());
  if (!read) {
    std::fprintf(stderr, "signglove-glove: %s; %s not written\n", error.c_str(), options.out.c_str());
    return kDriverExitFailed;
  }
  std::string columns;
  for (int column = 0; column < options.columns.count; ++column) {
    const int field = options.columns.field[column];
    columns += (column ? "," : "") + (field == kSkippedColumn ? std::string("-") : std::string(gloveFieldName(field)));
  }
  const std::string text = calibrationText(
      calibration, "signglove-glove calibrate " + options.device + " --columns " + columns + "\n" +
                       "raw readings: RAW_STRAIGHT gives bend 0, RAW_BENT gives " + std::to_string(kBendFullyBent));
  if (!calibrationSave(options.out, text, error)) {
    std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
    return kDriverExitFailed;
  }
  std::printf("Wrote %s:\n%s", options.out.c_str(), summaryOf(calibration).c_str());
  return 0;
}
