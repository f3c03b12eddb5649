#include "contacts/contact_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/recognition_context.h"
#include "glove/glove_link.h"
#include "tests/virtual_world.h"

namespace {

// Puts entries into the packet; the slots above them hold a stale group that must be ignored.
void setPacket(RecognitionContext& context, const std::vector<int32_t>& entries, int32_t stale) {
  for (int32_t& slot : context.packet.slots) slot = stale;
  context.packet.count = static_cast<int32_t>(entries.size());
  for (size_t slot = 0; slot < entries.size(); ++slot) context.packet.slots[slot] = entries[slot];
}

TEST(ContactGroupsTest, HasContactGroupNeedsEveryPadInOneEntry) {
  struct Case {
    std::vector<int32_t> entries;
    ContactMask mask;
    int expected;
  };
  const Case cases[] = {
      {{0x001C}, 0x0014, 1},          // thumb, index and middle hold thumb and middle
      {{0x0010, 0x0004}, 0x0014, 0},  // the same pads in two groups
      {{0x0003, 0x001C}, 0x0014, 1},  // found in a later entry
      {{0x001C}, 0x001C, 1},
      {{0x0018}, 0x001C, 0},
      {{0x3F3F}, 0x0011, 1},
      {{}, 0x0014, 0},        // only the stale slots hold it
      {{0x0001}, 0x0014, 0},  // likewise
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mask 0x" << std::hex << c.mask << ", " << c.entries.size() << " entries");
    RecognitionContext context;
    setPacket(context, c.entries, 0x001C);
    EXPECT_EQ(hasContactGroup(context, c.mask), c.expected);
  }
}

TEST(ContactGroupsTest, PrintConnectionsWritesOneLinePerGroup) {
  struct Case {
    std::vector<int32_t> entries;
    const char* printed;
  };
  const Case cases[] = {
      {{0x0018}, "RT_RI_\n"},
      {{0x001F}, "RT_RI_RM_RR_RP_\n"},
      {{0x3F3F}, "LP_LR_LM_LI_LT_LPm_RPm_RT_RI_RM_RR_RP_\n"},  // all twelve pads: 38 characters
      {{0xFFFF}, "LP_LR_LM_LI_LT_LPm_RPm_RT_RI_RM_RR_RP_\n"},
      {{0x2020, 0x0101}, "LP_RPm_\nLPm_RP_\n"},
      {{0xC0C0}, "\n"},  // header, terminator and unused bits name no pad
      {{0x0018, 0x0000, 0x0300}, "RT_RI_\n\nLT_LPm_\n"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printed);
    VirtualWorld sim("");
    RecognitionContext context;
    setPacket(context, c.entries, 0x0018);
    printConnections(context);
    EXPECT_EQ(sim.console(), c.printed);
  }
}

TEST(ContactGroupsTest, FingerConnectionsCyclePrintsEachReply) {
  VirtualWorld sim("press C\ntouch RT RI\ntouch LP LR\nwait 100\nuntouch\ntouch RM RR RP");
  RecognitionContext context;
  runFingerConnectionsCycle(context);
  EXPECT_EQ(sim.console(), "RT_RI_\nLP_LR_\n");
  EXPECT_EQ(buttonDown(context, kButtonC), 1);  // the mode sees C through this cycle's poll

  worldAdvanceTo(200'000);
  runFingerConnectionsCycle(context);
  EXPECT_EQ(sim.console(), "RT_RI_\nLP_LR_\nRM_RR_RP_\n");
}

}  // namespace
