#include "drivers/status_line.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr int64_t kRedrawNanos = 250'000'000;
constexpr double kNanosPerSecond = 1e9;

}  // namespace

std::string statusText(double perSecond, const GloveRecord& record, const DriverCounts& counts) {
  char buttons[5] = "----";
  for (int button = 0; button < 4; ++button)
    if (record.buttons[button]) buttons[button] = static_cast<char>('A' + button);
  char text[200];
  std::snprintf(text, sizeof text,
                "%5.0f/s  position %.0f %.0f %.0f  angles %.0f %.0f %.0f  bends %u %u %u %u %u  buttons %s  "
                "skipped %lld",
                perSecond, record.x, record.y, record.z, record.orient[0], record.orient[1], record.orient[2],
                record.bend[0], record.bend[1], record.bend[2], record.bend[3], record.bend[4], buttons,
                static_cast<long long>(counts.skipped));
  return text;
}

void statusLineStart(StatusLine& status) {
  status = StatusLine{};
  status.shown = isatty(STDERR_FILENO) == 1;
}

void statusLineTick(StatusLine& status, const GloveRecord& record, const DriverCounts& counts, int64_t nowNanos) {
  if (!status.shown || nowNanos - status.lastDrawNanos < kRedrawNanos) return;
  const double seconds = static_cast<double>(nowNanos - status.lastDrawNanos) / kNanosPerSecond;
  const double rate = status.lastDrawNanos == 0 ? 0 : static_cast<double>(counts.used - status.usedAtLastDraw) / seconds;
  std::fprintf(stderr, "\r%s\033[K", statusText(rate, record, counts).c_str());
  std::fflush(stderr);
  status.drawn = true;
  status.lastDrawNanos = nowNanos;
  status.usedAtLastDraw = counts.used;
}

void statusLineBreak(StatusLine& status) {
  if (!status.drawn) return;
  std::fputc('\n', stderr);
  status.drawn = false;
}
