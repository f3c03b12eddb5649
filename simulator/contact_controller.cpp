#include "simulator/contact_controller.h"

#include <algorithm>

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

std::vector<uint8_t> controllerReply(ContactController& controller) {
  if (!controller.rawReplies.empty()) {
    std::vector<uint8_t> raw = std::move(controller.rawReplies.front());
    controller.rawReplies.pop_front();
    return raw;
  }
  std::vector<uint8_t> bytes;
  for (uint16_t word : controller.noiseWords) appendWord(bytes, word);
  controller.noiseWords.clear();

  appendWord(bytes, kHeaderWord);
  uint16_t checksum = 0;  // a 16-bit word on the wire: the sum wraps
  for (uint16_t entry : controllerEntries(controller)) {
    appendWord(bytes, entry);
    checksum = static_cast<uint16_t>(checksum + entry);
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
  return bytes;
}
