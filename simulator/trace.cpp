#include "simulator/trace.h"

#include <cstdio>
#include <string>
#include <vector>

#include "contacts/contact_packet.h"
#include "sampling/sample_window.h"

namespace {

constexpr const char* kHeader =
    "ms,kind,x,y,z,orient3,orient2,orient1,slot0,slot1,slot2,slot3,slot4,slot5,thumb,index,middle,ring,little,"
    "groups,window,still,text\n";
// The one mode whose cycles take no windows, known by its banner.
constexpr std::string_view kFingerConnectionsBanner = "Finger connections diagnostic program";

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

  // The contact packet as the program holds it, rebuilt from the bytes it takes.
  std::vector<uint8_t> replyBytes;  // taken since the last request byte
  bool replyPending = false;        // a request has been sent since the last glove read
  ContactPacket packet;

  bool windowsOff = false;
  bool atPageStart = false;  // the console was just cleared: the next text is a banner
  int windows = 0;
  int samplesInWindow = 0;
  SampleWindow window;
  std::vector<Row> pending;  // rows of the window being taken, and what came between
};

Trace trace;

// Reads a reply as the program does, word by word: up to the header, groups up to the
// terminator, then the checksum. Running out of bytes is the program's time-out.
// Slots are written as the program writes them, so rejected replies leave the same
// traces in the packet. True when the program accepted the reply.
bool readReply(const std::vector<uint8_t>& bytes, ContactPacket& packet) {
  size_t next = 0;
  const auto word = [&](uint16_t& value) {
    if (next + 2 > bytes.size()) return false;
    value = static_cast<uint16_t>(bytes[next] << 8 | bytes[next + 1]);
    next += 2;
    return true;
  };
  uint16_t value = 0;
  while (value != kHeaderWord)
    if (!word(value)) return false;
  bool overflowed = false;
  packet.count = 0;
  while (value != kTerminatorWord) {
    if (!word(value)) return false;
    if (value == kTerminatorWord) continue;
    if (packet.count < kPacketSlots)
      packet.slots[packet.count++] = value;
    else
      overflowed = true;
  }
  uint16_t checksum = 0;
  if (!word(checksum)) return false;
  int32_t sum = 0;
  for (int slot = 0; slot < packet.count; ++slot) sum += packet.slots[slot];
  return sum == checksum && !overflowed;
}

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
  if (trace.samplesInWindow == 0) flush();
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
  if (!readReply(trace.replyBytes, trace.packet)) return;
  Row row;
  row.atMicros = world.nowMicros;
  row.kind = "sample";
  row.isSample = true;
  // The channels as the program stores them (its angles in reverse record order).
  const float glove[] = {record.x, record.y, record.z, record.orient[2], record.orient[1], record.orient[0]};
  for (int channel = kChannelX; channel <= kChannelOrient1; ++channel) row.channel[channel] = glove[channel];
  for (int slot = 0; slot < kPacketSlots; ++slot)
    row.channel[kChannelSlot0 + slot] = static_cast<float>(trace.packet.slots[slot]);
  for (int finger = 0; finger < 5; ++finger) row.channel[kChannelThumb + finger] = static_cast<float>(record.bend[finger]);
  row.groups = trace.packet.count;
  if (trace.windowsOff) return add(std::move(row));

  if (trace.samplesInWindow == 0) ++trace.windows;
  for (int channel = 0; channel < kChannels; ++channel)
    trace.window.channel[channel][trace.samplesInWindow] = row.channel[channel];
  row.window = trace.windows;
  ++trace.samplesInWindow;
  trace.pending.push_back(std::move(row));
  if (trace.samplesInWindow < kWindowSamples) return;
  const std::string still = windowIsStill(trace.window) ? "1" : "0";
  for (Row& pendingRow : trace.pending)
    if (pendingRow.window == trace.windows) pendingRow.still = still;
  trace.samplesInWindow = 0;
  flush();
}

void consoleText(const std::string& text) {
  const size_t start = text.find_first_not_of(" \n");
  if (start == std::string::npos) return;
  const size_t end = text.find_last_not_of(" \n");
  const std::string_view shown = std::string_view(text).substr(start, end - start + 1);
  if (trace.atPageStart) trace.windowsOff = shown == kFingerConnectionsBanner;
  trace.atPageStart = false;
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
      if (call.byte != kRequestByte) break;
      // The reply before this one is over: the program wrote its slots already.
      if (trace.replyPending) readReply(trace.replyBytes, trace.packet);
      trace.replyBytes.clear();
      trace.replyPending = true;
      break;
    case ObservedCall::kByteTaken:
      trace.replyBytes.push_back(static_cast<uint8_t>(call.byte));
      break;
    case ObservedCall::kGloveRead:
      if (trace.replyPending) sample(*call.record);
      trace.replyPending = false;
      break;
    case ObservedCall::kConsoleWrite:
      consoleText(*call.text);
      break;
    case ObservedCall::kConsoleClear: {
      Row row;
      row.atMicros = world.nowMicros;
      row.kind = "clear";
      add(std::move(row));
      trace.atPageStart = true;
      trace.windowsOff = false;
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
