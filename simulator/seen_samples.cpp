#include "simulator/seen_samples.h"

#include <algorithm>

namespace {

// The one mode whose cycles take no windows, known by its banner.
constexpr std::string_view kFingerConnectionsBanner = "Finger connections diagnostic program";
constexpr std::string_view kBlank = " \r\n";
// Bytes kept of what comes after a request: far more than the program takes before it
// times out (480 bytes in 500 ms at 9600 baud); a flood beyond is not a reply.
constexpr size_t kMostReplyBytesSeen = 4096;

}  // namespace

bool readSeenReply(const std::vector<uint8_t>& bytes, ContactPacket& packet) {
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

void seenByteSent(SeenSamples& seen, int byte) {
  if (byte != kRequestByte) return;
  // The reply before this one is over: the program wrote its slots already.
  if (seen.replyPending) readSeenReply(seen.replyBytes, seen.packet);
  seen.replyBytes.clear();
  seen.replyPending = true;
}

void seenByteTaken(SeenSamples& seen, int byte) {
  // More than a reply holds is noise the program empties before its next request.
  if (seen.replyBytes.size() < kMostReplyBytesSeen) seen.replyBytes.push_back(static_cast<uint8_t>(byte));
}

bool seenReplyAccepted(const SeenSamples& seen) {
  ContactPacket scratch = seen.packet;
  return seen.replyPending && readSeenReply(seen.replyBytes, scratch);
}

bool seenGloveRead(SeenSamples& seen, const GloveRecord& record, SeenSample& sample) {
  const bool pending = seen.replyPending;
  seen.replyPending = false;
  if (!pending || !readSeenReply(seen.replyBytes, seen.packet)) return false;
  sample = SeenSample{};
  // The channels as the program stores them (its angles in reverse record order).
  const float glove[] = {record.x, record.y, record.z, record.orient[2], record.orient[1], record.orient[0]};
  std::copy(std::begin(glove), std::end(glove), sample.channel + kChannelX);
  for (int slot = 0; slot < kPacketSlots; ++slot)
    sample.channel[kChannelSlot0 + slot] = static_cast<float>(seen.packet.slots[slot]);
  for (int finger = 0; finger < 5; ++finger)
    sample.channel[kChannelThumb + finger] = static_cast<float>(record.bend[finger]);
  sample.groups = seen.packet.count;
  if (seen.windowsOff) return true;

  if (seen.samplesInWindow == 0) ++seen.windows;
  for (int channel = 0; channel < kChannels; ++channel)
    seen.window.channel[channel][seen.samplesInWindow] = sample.channel[channel];
  sample.window = seen.windows;
  sample.indexInWindow = seen.samplesInWindow++;
  if (seen.samplesInWindow == kWindowSamples) {
    sample.windowDone = true;
    sample.still = windowIsStill(seen.window) == 1;
    seen.samplesInWindow = 0;
  }
  return true;
}

PageBanner pageBannerRead(std::string& start, std::string_view& text, std::string_view banner) {
  if (start.empty()) text.remove_prefix(std::min(text.find_first_not_of(kBlank), text.size()));
  const size_t taken = std::min(text.size(), banner.size() - std::min(start.size(), banner.size()));
  start.append(text.substr(0, taken));
  text.remove_prefix(taken);
  if (!banner.starts_with(start)) return PageBanner::kOther;
  return start.size() == banner.size() ? PageBanner::kShown : PageBanner::kUndecided;
}

void seenConsoleText(SeenSamples& seen, std::string_view text) {
  if (!seen.atPageStart) return;
  const PageBanner banner = pageBannerRead(seen.pageStart, text, kFingerConnectionsBanner);
  if (banner == PageBanner::kUndecided) return;
  seen.atPageStart = false;
  seen.windowsOff = banner == PageBanner::kShown;
  seen.pageStart.clear();
}

void seenConsoleClear(SeenSamples& seen) {
  seen.atPageStart = true;
  seen.pageStart.clear();
  seen.windowsOff = false;
}
