#include "drivers/driver_run.h"

#include <poll.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <iterator>
#include <string>

#include "drivers/status_line.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

void stop(int) { stopping = 1; }

// Why a line was not used.
enum class Skip { kNone, kBlank, kPartial, kTooLong, kGarbage, kTooManyNumbers, kTooFew, kTooMany, kOutOfRange, kKinds };

const char* const kSkipReasons[] = {
    "", "", "the tail of a line sent before the device was opened", "too long", "not numbers",
    "too many numbers", "fewer numbers than columns", "more numbers than columns", "a number out of range",
};
static_assert(std::size(kSkipReasons) == static_cast<size_t>(Skip::kKinds));

Skip takeLine(DriverSources& sources, LineEvent event, std::string_view text, GloveRecord& record) {
  if (event == LineEvent::kPartial) return Skip::kPartial;
  if (event == LineEvent::kTooLong) return Skip::kTooLong;
  GloveLine line;
  switch (parseGloveLine(text, line)) {
    case LineParse::kBlank: return Skip::kBlank;
    case LineParse::kGarbage: return Skip::kGarbage;
    case LineParse::kTooManyNumbers: return Skip::kTooManyNumbers;
    case LineParse::kNumbers: break;
  }
  switch (columnMapApply(sources.columns, sources.calibration, line, record)) {
    case LineRefusal::kTooFew: return Skip::kTooFew;
    case LineRefusal::kTooMany: return Skip::kTooMany;
    case LineRefusal::kOutOfRange: return Skip::kOutOfRange;
    case LineRefusal::kNone: break;
  }
  return Skip::kNone;
}

// A device's bytes as they may be shown on a terminal: no control sequences, bounded.
std::string shown(std::string_view text) {
  constexpr size_t kShownBytes = 60;
  std::string safe;
  for (char c : text.substr(0, kShownBytes)) safe += c >= ' ' && c <= '~' ? c : '?';
  return text.size() > kShownBytes ? safe + "..." : safe;
}

struct Run {
  explicit Run(DriverSources& from) : sources(from) {}
  DriverSources& sources;
  GloveRecord record = {};
  DriverCounts counts;
  StatusLine status;
  bool arrived = false;  // something was taken since the last publication
  bool said[static_cast<size_t>(Skip::kKinds)] = {};
};

// Each kind of skipped line is described once: a glove that prints a banner or the
// wrong number of columns shows up, a steady fault does not flood the terminal, and
// the tail of a line met on opening the device is expected.
void noteSkipped(Run& run, Skip skip, std::string_view text) {
  ++run.counts.skipped;
  bool& said = run.said[static_cast<size_t>(skip)];
  if (skip == Skip::kPartial || said) return;
  said = true;
  statusLineBreak(run.status);
  std::fprintf(stderr, "signglove-glove: %s: skipped a line (%s): '%s'; such lines are counted from now on\n",
               run.sources.serial->device.c_str(), kSkipReasons[static_cast<size_t>(skip)], shown(text).c_str());
}

void readSerial(Run& run) {
  gloveSerialRead(*run.sources.serial, [&run](LineEvent event, std::string_view text) {
    const Skip skip = takeLine(run.sources, event, text, run.record);
    if (skip == Skip::kBlank) return;
    if (skip != Skip::kNone) return noteSkipped(run, skip, text);
    ++run.counts.used;
    run.arrived = true;
  });
}

}  // namespace

int driverCreateRecord(GloveRecordWriter& writer, gid_t readerGroup) {
  std::string error;
  const std::string name = gloveSharedObjectName(&error);
  if (name.empty()) {
    std::fprintf(stderr, "signglove-glove: %s\n", error.c_str());
    return kDriverExitUsage;
  }
  if (!gloveWriterCreate(writer, name, readerGroup)) {
    std::fprintf(stderr, "signglove-glove: cannot create the glove record %s\n", writer.error.c_str());
    return kDriverExitFailed;
  }
  return 0;
}

void driverCatchSignals() {
  struct sigaction action {};
  action.sa_handler = stop;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool driverStopping() { return stopping != 0; }

int runDriver(DriverSources& sources, gid_t readerGroup) {
  GloveRecordWriter writer;
  if (const int failed = driverCreateRecord(writer, readerGroup); failed != 0) return failed;
  driverCatchSignals();
  Run run(sources);
  statusLineStart(run.status);
  gloveWriterPublish(writer, run.record);
  int64_t publishedNanos = gloveMonotonicNanos();
  while (!driverStopping()) {
    pollfd watched[2] = {};
    nfds_t count = 0;
    const int serialFd = sources.serial ? gloveSerialDescriptor(*sources.serial) : -1;
    if (serialFd >= 0) watched[count++] = {serialFd, POLLIN, 0};
    if (sources.osc) watched[count++] = {sources.osc->fd, POLLIN, 0};
    poll(watched, count, static_cast<int>(kHeartbeatMillis));
    // A lost device is looked for on every turn; a present one read when it has bytes.
    if (sources.serial && (serialFd < 0 || watched[0].revents)) readSerial(run);
#ifdef SIGNGLOVE_WITH_OSC
    if (sources.osc && watched[count - 1].revents) {
      // OSC gives the fields the columns do not.
      const GloveFieldSet oscFields = sources.serial ? kAllGloveFields & ~sources.columns.fields : kAllGloveFields;
      const int64_t before = run.counts.used;
      oscReceiverDrain(*sources.osc, oscFields, run.record, run.counts);
      run.arrived = run.arrived || run.counts.used != before;
    }
#endif
    const int64_t now = gloveMonotonicNanos();
    if (run.arrived || now - publishedNanos >= kHeartbeatMillis * 1'000'000) {
      gloveWriterPublish(writer, run.record);
      publishedNanos = now;
      run.arrived = false;
    }
    statusLineTick(run.status, run.record, run.counts, now);
  }
  statusLineBreak(run.status);
  gloveWriterClose(writer);
  return 0;
}
