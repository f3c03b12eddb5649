#include "firmware/controller_line.h"

#include "contacts/contact_packet.h"

namespace {

bool holdsWhole(const ControllerLine& line) { return !line.pending.empty() && line.pending.front().drop; }

// The reply is whole: its faults are applied and what was held goes out.
void finishReply(ControllerLine& line, std::vector<uint8_t>& toHost) {
  if (holdsWhole(line)) {
    std::vector<uint8_t>& bytes = line.reply;
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    toHost.insert(toHost.end(), bytes.begin(), bytes.end());
  }
  if (!line.pending.empty()) line.pending.pop_front();
  line.reply.clear();
  line.replyStart = 0;
  line.entriesDone = false;
  line.checksumBytes = 0;
}

}  // namespace

bool controllerLineFromHost(ControllerLine& line, ContactController& faults, uint8_t byte,
                            std::vector<uint8_t>& toHost) {
  if (faults.silent) return false;
  if (byte != kRequestByte) return true;
  ReplyFaults taken;
  if (faults.corruptReplies > 0) {
    --faults.corruptReplies;
    taken.corrupt = true;
  }
  if (faults.dropReplies > 0) {
    --faults.dropReplies;
    taken.drop = true;
  }
  for (uint16_t word : faults.noiseWords) {
    taken.noise.push_back(static_cast<uint8_t>(word >> 8));
    taken.noise.push_back(static_cast<uint8_t>(word & 0xFF));
  }
  faults.noiseWords.clear();
  if (line.pending.empty()) {
    // The first reply in line: its noise goes out now, or into the held reply.
    if (taken.drop)
      line.reply = taken.noise;
    else
      toHost.insert(toHost.end(), taken.noise.begin(), taken.noise.end());
    line.replyStart = line.reply.size();
    taken.noise.clear();
  }
  line.pending.push_back(std::move(taken));
  return true;
}

bool controllerLineFromController(ControllerLine& line, uint8_t byte, std::vector<uint8_t>& toHost) {
  line.reply.push_back(byte);
  const size_t offset = line.reply.size() - line.replyStart;  // of this byte, from 1
  bool last = false;
  if (line.entriesDone) {
    ++line.checksumBytes;
    last = line.checksumBytes == 2;
  } else if (offset % 2 == 0 && offset >= 4 && line.reply[line.reply.size() - 2] == (kTerminatorWord >> 8) &&
             byte == (kTerminatorWord & 0xFF)) {
    line.entriesDone = true;
  }
  const bool corrupt = !line.pending.empty() && line.pending.front().corrupt;
  if (!holdsWhole(line)) {
    // Bytes go out as they come, but for the checksum's high byte, held until its low
    // byte shows whether the corrupted sum carries into it.
    if (corrupt && line.entriesDone && line.checksumBytes == 1) return false;
    if (corrupt && last) {
      const uint16_t sum = static_cast<uint16_t>(((line.reply[line.reply.size() - 2] << 8) | byte) + 1);
      toHost.push_back(static_cast<uint8_t>(sum >> 8));
      toHost.push_back(static_cast<uint8_t>(sum & 0xFF));
    } else {
      toHost.push_back(byte);
    }
  } else if (corrupt && last) {
    const size_t at = line.reply.size() - 2;
    const uint16_t sum = static_cast<uint16_t>(((line.reply[at] << 8) | line.reply[at + 1]) + 1);
    line.reply[at] = static_cast<uint8_t>(sum >> 8);
    line.reply[at + 1] = static_cast<uint8_t>(sum & 0xFF);
  }
  if (!last) return false;
  finishReply(line, toHost);
  // The next reply's noise, if its request is already in.
  if (!line.pending.empty()) {
    ReplyFaults& next = line.pending.front();
    if (next.drop)
      line.reply = next.noise;
    else
      toHost.insert(toHost.end(), next.noise.begin(), next.noise.end());
    line.replyStart = line.reply.size();
    next.noise.clear();
  }
  return true;
}
