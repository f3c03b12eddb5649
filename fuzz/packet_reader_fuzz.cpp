// Fuzzes the contact packet reader with an arbitrary line: any bytes, split into what
// arrives after each request, read on a clock whose start and pace come from the input
// (so deadlines, and the clock's 32-bit wrap, fall anywhere). Checked on every attempt:
// - an accepted packet holds 0 to 6 groups, exactly the entries of the frame the reader
//   took, whose plain sum is its checksum, and the reader took nothing after it;
// - the finger-connections lines name exactly each group's pads;
// - a valid frame that arrived in time is never refused or timed out.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "contacts/contact_groups.h"
#include "contacts/contact_packet.h"
#include "control/recognition_context.h"
#include "fuzz/fuzz_line.h"

namespace {

constexpr char kTimedOut[] = "error in packet: routine TIMED OUT\n";

// The pads in the order a group names them, written out here apart from the program's
// own table.
struct Pad {
  uint16_t bit;
  const char* label;
};
constexpr Pad kPadsInOrder[] = {{0x2000, "LP_"}, {0x1000, "LR_"}, {0x0800, "LM_"}, {0x0400, "LI_"},
                                {0x0200, "LT_"}, {0x0100, "LPm_"}, {0x0020, "RPm_"}, {0x0010, "RT_"},
                                {0x0008, "RI_"}, {0x0004, "RM_"}, {0x0002, "RR_"}, {0x0001, "RP_"}};

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

// The first frame in what the reader took, read word by word from its first byte: the
// header, the entries up to the terminator, the checksum.
struct Frame {
  bool complete = false;
  std::vector<uint16_t> entries;
  uint16_t checksum = 0;
  size_t lastByte = 0;  // index of the checksum's second byte
  bool valid() const {
    uint32_t sum = 0;
    for (uint16_t entry : entries) sum += entry;
    return complete && entries.size() <= kPacketSlots && sum == checksum;
  }
};

Frame firstFrame(const std::vector<TakenByte>& taken) {
  Frame frame;
  const size_t words = taken.size() / 2;
  const auto word = [&](size_t index) {
    return static_cast<uint16_t>(taken[2 * index].value << 8 | taken[2 * index + 1].value);
  };
  size_t index = 0;
  while (index < words && word(index) != kHeaderWord) ++index;
  for (++index; index < words && word(index) != kTerminatorWord; ++index) frame.entries.push_back(word(index));
  if (index + 1 >= words) return frame;
  frame.complete = true;
  frame.checksum = word(index + 1);
  frame.lastByte = 2 * (index + 1) + 1;
  return frame;
}

bool arrivedInTime(const Frame& frame, const std::vector<TakenByte>& taken) {
  return frame.complete && taken[frame.lastByte].inTime;
}

void checkAccepted(const RecognitionContext& context) {
  const ContactPacket& packet = context.packet;
  if (packet.count < 0 || packet.count > kPacketSlots) broken("count outside 0 to 6");
  const Frame frame = firstFrame(fuzzLine.taken);
  if (!frame.valid()) broken("accepted a packet that is not the first valid frame taken");
  if (!arrivedInTime(frame, fuzzLine.taken)) broken("accepted a frame that came too late");
  if (frame.lastByte + 1 != fuzzLine.taken.size()) broken("took bytes after the accepted frame");
  if (static_cast<size_t>(packet.count) != frame.entries.size()) broken("count differs from the frame");
  int64_t sum = 0;
  for (int slot = 0; slot < packet.count; ++slot) {
    if (packet.slots[slot] != frame.entries[slot]) broken("slot differs from the frame's entry");
    sum += packet.slots[slot];
  }
  if (sum != frame.checksum) broken("plain sum differs from the checksum");
}

void checkPrinted(const RecognitionContext& context, const std::string& printed) {
  std::string expected;
  for (int slot = 0; slot < context.packet.count; ++slot) {
    for (const Pad& pad : kPadsInOrder)
      if (context.packet.slots[slot] & pad.bit) expected += pad.label;
    expected += '\n';
  }
  if (printed != expected) broken("printed lines do not name the groups' pads");
}

// What the reader printed while it read must be time-out messages and nothing else.
void checkTimeOutMessages(const std::string& console) {
  const std::string message = kTimedOut;
  for (size_t at = 0; at < console.size(); at += message.size())
    if (console.compare(at, message.size(), message) != 0) broken("unexpected text while reading a packet");
}

}  // namespace

// The previous attempt failed: it must not have had a valid frame in time.
void fuzzLineAttemptFailed() {
  const Frame frame = firstFrame(fuzzLine.taken);
  if (frame.valid() && arrivedInTime(frame, fuzzLine.taken)) broken("refused a valid frame that came in time");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzLineStart(data, size);
  const auto context = std::make_unique<RecognitionContext>();
  try {
    for (;;) {
      readContactPacket(*context);
      checkTimeOutMessages(fuzzLine.console);
      checkAccepted(*context);
      fuzzLine.requestSent = false;
      fuzzLine.console.clear();
      printConnections(*context);
      checkPrinted(*context, fuzzLine.console);
      fuzzLine.console.clear();
    }
  } catch (const InputUsedUp&) {
  }
  checkTimeOutMessages(fuzzLine.console);
  return 0;
}
