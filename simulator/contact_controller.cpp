#include "simulator/contact_controller.h"

#include <algorithm>
#include <array>

#include "contacts/contact_packet.h"

namespace {

void appendWord(std::vector<uint8_t>& bytes, uint16_t word) {
  bytes.push_back(static_cast<uint8_t>(word >> 8));
  bytes.push_back(static_cast<uint8_t>(word & 0xFF));
}

}  // namespace

void controllerTouch(ContactController& controller, ContactMask pads) {
  controller.explicitWords = false;
  ContactMask group = pads;
  std::vector<ContactMask> apart;
  for (ContactMask existing : controller.touching) {
    if (existing & group)
      group |= existing;
    else
      apart.push_back(existing);
  }
  apart.push_back(group);
  controller.touching = std::move(apart);
}

void controllerUntouch(ContactController& controller) {
  controller.explicitWords = false;
  controller.touching.clear();
}

void controllerSetWords(ContactController& controller, std::vector<uint16_t> words) {
  controller.explicitWords = true;
  controller.words = std::move(words);
  controller.touching.clear();
}

std::vector<uint16_t> controllerEntries(const ContactController& controller) {
  if (controller.explicitWords) return controller.words;
  std::vector<uint16_t> entries(controller.touching.begin(), controller.touching.end());
  std::sort(entries.begin(), entries.end());
  return entries;
}

void controllerQueueReply(ContactController& controller, std::vector<uint8_t> bytes) {
  controller.rawReplies.push_back(std::move(bytes));
}

void controllerWriteReply(ContactController& controller, std::vector<uint8_t>& bytes) {
  if (!controller.rawReplies.empty()) {
    bytes = std::move(controller.rawReplies.front());
    controller.rawReplies.pop_front();
    return;
  }
  bytes.clear();
  for (uint16_t word : controller.noiseWords) appendWord(bytes, word);
  controller.noiseWords.clear();

  appendWord(bytes, kHeaderWord);
  uint16_t checksum = 0;  // a 16-bit word on the wire: the sum wraps
  const auto appendEntry = [&](uint16_t entry) {
    appendWord(bytes, entry);
    checksum = static_cast<uint16_t>(checksum + entry);
  };
  std::array<ContactMask, 16> groups;  // disjoint groups of 16 pads: sorted here without the heap
  if (controller.explicitWords) {
    for (uint16_t entry : controller.words) appendEntry(entry);
  } else if (controller.touching.size() > groups.size()) {  // empty groups touched: not a real pad set
    for (uint16_t entry : controllerEntries(controller)) appendEntry(entry);
  } else {
    const size_t count = controller.touching.size();
    std::copy_n(controller.touching.begin(), count, groups.begin());
    std::sort(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(count));
    for (size_t index = 0; index < count; ++index) appendEntry(groups[index]);
  }
  appendWord(bytes, kTerminatorWord);
  if (controller.corruptReplies > 0) {
    --controller.corruptReplies;
    checksum = static_cast<uint16_t>(checksum + 1);
  }
  appendWord(bytes, checksum);

  if (controller.dropReplies > 0) {
    --controller.dropReplies;
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
  }
}

std::vector<uint8_t> controllerReply(ContactController& controller) {
  std::vector<uint8_t> bytes;
  controllerWriteReply(controller, bytes);
  return bytes;
}
