#include "contacts/contact_groups.h"

#include <cstring>
#include <string_view>

#include "control/recognition_context.h"
#include "platform/console.h"

namespace {

constexpr size_t labelsLength() {
  size_t length = 0;
  for (const PadLabel& pad : kPadLabels) length += std::string_view(pad.label).size();
  return length;
}

// Room for every label at once, so that no group is ever cut short.
constexpr size_t kGroupTextSize = labelsLength() + 1;

}  // namespace

int hasContactGroup(const RecognitionContext& context, ContactMask mask) {
  const ContactPacket& packet = context.packet;
  for (int slot = 0; slot < packet.count; ++slot)
    if ((packet.slots[slot] & mask) == mask) return 1;
  return 0;
}

void printConnections(const RecognitionContext& context) {
  const ContactPacket& packet = context.packet;
  for (int slot = 0; slot < packet.count; ++slot) {
    char text[kGroupTextSize] = "";
    for (const PadLabel& pad : kPadLabels)
      if (packet.slots[slot] & pad.bit) std::strcat(text, pad.label);
    consolePrint("%s\n", text);
  }
}

void runFingerConnectionsCycle(RecognitionContext& context) {
  pollGlove(context);
  readContactPacket(context);
  printConnections(context);
}
