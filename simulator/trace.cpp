#include "simulator/trace.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "sampling/sample_window.h"
#include "simulator/seen_samples.h"

namespace {

constexpr const char* kHeader =
    "ms,kind,x,y,z,orient3,orient2,orient1,slot0,slot1,slot2,slot3,slot4,slot5,thumb,index,middle,ring,little,"
    "groups,window,still,text\n";

struct Row {
  int64_t atMicros = 0;
  std::string kind;
  bool isSample = false;
  float channel[kChannels] = {};
  int groups = 0;  // slots the latest reply filled; the others hold what earlier replies left
  int window = 0;  // 0: none
  std::string still;
  std::string text;
};

struct Trace {
  const Scenario* scenario = nullptr;
  std::ostream* out = nullptr;
  size_t nextNote = 0;
  SeenSamples seen;
  std::vector<Row> pending;  // rows of the window being taken, and what came between
};

Trace trace;

std::string number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string csvText(std::string_view text) {
  std::string field = "\"";
  for (char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + "\"";
}

void writeRow(const Row& row) {
  std::ostream& out = *trace.out;
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.3f", static_cast<double>(row.atMicros) / 1000.0);
  out << ms << ',' << row.kind;
  for (int channel = 0; channel < kChannels; ++channel) out << ',' << (row.isSample ? number(row.channel[channel]) : "");
  out << ',' << (row.isSample ? std::to_string(row.groups) : "");
  out << ',' << (row.window > 0 ? std::to_string(row.window) : "") << ',' << row.still << ','
      << (row.text.empty() ? "" : csvText(row.text)) << '\n';
}

void flush() {
  for (const Row& row : trace.pending) writeRow(row);
  trace.pending.clear();
}

// Rows wait while a window is being taken, since its stillness is known only at its end.
void add(Row row) {
  trace.pending.push_back(std::move(row));
  if (trace.seen.samplesInWindow == 0) flush();
}

void notesUntil(int64_t micros) {
  const std::vector<Note>& notes = trace.scenario->notes;
  for (; trace.nextNote < notes.size() && notes[trace.nextNote].atMicros <= micros; ++trace.nextNote) {
    Row row;
    row.atMicros = notes[trace.nextNote].atMicros;
    row.kind = "signer";
    row.text = notes[trace.nextNote].text;
    add(std::move(row));
  }
}

void sample(const GloveRecord& record) {
  SeenSample seen;
  if (!seenGloveRead(trace.seen, record, seen)) return;
  Row row;
  row.atMicros = world.nowMicros;
  row.kind = "sample";
  row.isSample = true;
  std::copy(std::begin(seen.channel), std::end(seen.channel), row.channel);
  row.groups = seen.groups;
  row.window = seen.window;
  if (seen.window == 0) return add(std::move(row));
  trace.pending.push_back(std::move(row));
  if (!seen.windowDone) return;
  for (Row& pendingRow : trace.pending)
    if (pendingRow.window == seen.window) pendingRow.still = seen.still ? "1" : "0";
  flush();
}

void consoleText(const std::string& text) {
  const size_t start = text.find_first_not_of(" \n");
  if (start == std::string::npos) return;
  const size_t end = text.find_last_not_of(" \n");
  const std::string_view shown = std::string_view(text).substr(start, end - start + 1);
  seenConsoleText(trace.seen, shown);
  Row row;
  row.atMicros = world.nowMicros;
  row.kind = "console";
  for (char c : shown) row.text += c == '\n' ? std::string("\\n") : std::string(1, c);
  add(std::move(row));
}

}  // namespace

void traceStart(const Scenario& scenario, std::ostream& out) {
  trace = Trace{};
  trace.scenario = &scenario;
  trace.out = &out;
  out << kHeader;
}

void traceObserve(const ObservedCall& call) {
  if (!trace.out) return;
  notesUntil(world.nowMicros);
  switch (call.kind) {
    case ObservedCall::kByteSent:
      seenByteSent(trace.seen, call.byte);
      break;
    case ObservedCall::kByteTaken:
      seenByteTaken(trace.seen, call.byte);
      break;
    case ObservedCall::kGloveRead:
      sample(*call.record);
      break;
    case ObservedCall::kConsoleWrite:
      consoleText(*call.text);
      break;
    case ObservedCall::kConsoleClear: {
      Row row;
      row.atMicros = world.nowMicros;
      row.kind = "clear";
      add(std::move(row));
      seenConsoleClear(trace.seen);
      break;
    }
  }
}

bool traceFinish() {
  if (!trace.out) return true;
  notesUntil(world.nowMicros);
  flush();
  trace.out->flush();
  const bool written = !trace.out->fail();
  trace.out = nullptr;
  return written;
}
