#include "contacts/contact_packet.h"

#include <gtest/gtest.h>

#include <vector>

#include "control/recognition_context.h"
#include "simulator/timing.h"
#include "tests/virtual_world.h"

namespace {

constexpr char kTimedOut[] = "error in packet: routine TIMED OUT\n";

struct AcceptedReply {
  const char* name;
  const char* script;
  std::vector<int32_t> entries;  // what the packet holds afterwards
  const char* console;           // nothing, or the one time-out message
  int64_t notBeforeMicros;       // the accepted reply cannot have come earlier
};

const AcceptedReply kAcceptedReplies[] = {
    {"empty reply", "", {}, "", 0},
    {"touching groups in ascending order", "touch LP LR\ntouch RT RI", {0x0018, 0x3000}, "", 0},
    {"six entries fill the packet", "groups 1 2 4 8 16 32", {1, 2, 4, 8, 16, 32}, "", 0},
    // Noise that looks like a reply, header apart.
    {"noise before the header is skipped", "controller noise 0x1234 0x0005 0x4000 0x0005\ngroups 0x18", {0x18}, "", 0},
    {"bad checksum is retried silently", "controller corrupt 2\ngroups 0x18", {0x18}, "", 3 * samplePeriodMicros(1)},
    {"too many entries are retried until they fit", "groups 1 2 3 4 5 6 7\nwait 100\ngroups 0x18", {0x18}, "",
     100'000},
    {"silent controller, Enter, retry", "groups 0x18\ncontroller silent\nwait 1000\ncontroller normal\nenter", {0x18},
     kTimedOut, 1'000'000},
    {"lost byte, Enter, retry", "controller drop 1\ngroups 0x18\nwait 1000\nenter", {0x18}, kTimedOut, 1'000'000},
    {"deadline past the clock's wrap", "clock 4294967000\ngroups 0x18", {0x18}, "", 0},
    {"clock wraps during the reply", "clock 4294967294\ngroups 0x18", {0x18}, "", 0},
    {"clock wraps right after the request", "clock 4294967295\ngroups 0x18", {0x18}, "", 0},
};

TEST(ContactPacketTest, AcceptsOnlyAGoodReply) {
  for (const AcceptedReply& reply : kAcceptedReplies) {
    SCOPED_TRACE(reply.name);
    VirtualWorld sim(reply.script);
    RecognitionContext context;
    context.packet.count = 5;
    ASSERT_NO_THROW(readContactPacket(context));
    ASSERT_EQ(context.packet.count, static_cast<int32_t>(reply.entries.size()));
    for (size_t slot = 0; slot < reply.entries.size(); ++slot) EXPECT_EQ(context.packet.slots[slot], reply.entries[slot]);
    EXPECT_EQ(sim.console(), reply.console);
    EXPECT_GE(world.nowMicros, reply.notBeforeMicros);
  }
}

// Replies that must be refused however often they come: the program keeps asking
// until the simulation gives up on it, and says nothing meanwhile.
TEST(ContactPacketTest, RefusesABadReplyEveryTime) {
  const char* const scripts[] = {
      "groups 0xFFFF 0x0002",            // checksum right only modulo 65536
      "controller corrupt 1000000\ngroups 0x18",
      "groups 1 2 3 4 5 6 7",            // seven entries
      "groups 1 2 3 4 5 6 0",            // seven entries whose first six add up to the checksum
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    VirtualWorld sim(script);
    RecognitionContext context;
    EXPECT_THROW(readContactPacket(context), SimulationStopped);
    EXPECT_EQ(sim.console(), "");
    EXPECT_LE(context.packet.count, kPacketSlots);
  }
}

// With nobody to press Enter the program reports the time-out once, 500 ms after its
// request, and then waits for the key.
TEST(ContactPacketTest, TimeOutComesAfterHalfASecondAndWaitsForEnter) {
  const char* const scripts[] = {
      "controller silent",
      "clock 4294967000\ncontroller silent",
      "clock 4294967295\ncontroller silent",
      "controller drop 1\ngroups 0x18",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    VirtualWorld sim(script);
    RecognitionContext context;
    EXPECT_THROW(readContactPacket(context), SimulationStopped);
    EXPECT_EQ(sim.console(), kTimedOut);
    EXPECT_GE(world.nowMicros, 500'000);
    EXPECT_LT(world.nowMicros, 502'000);
  }
}

TEST(ContactPacketTest, TimeOutCanRepeatBeforeAReplyArrives) {
  VirtualWorld sim("controller silent\nwait 100\nenter\nwait 1500\nenter\ncontroller normal\ngroups 0x18");
  RecognitionContext context;
  readContactPacket(context);
  EXPECT_EQ(sim.console(), std::string(kTimedOut) + kTimedOut);
  EXPECT_EQ(context.packet.count, 1);
  EXPECT_GE(world.nowMicros, 1'600'000);
}

// Slots at and above the count keep what earlier replies, even refused ones, put there.
TEST(ContactPacketTest, SlotsAboveCountKeepEarlierEntries) {
  VirtualWorld sim("groups 0x18 0x3 0x100\nwait 50\ngroups 1 2 3 4 5 6 7\nwait 50\ngroups 0x5");
  RecognitionContext context;
  for (int32_t& slot : context.packet.slots) slot = 0x7777;

  readContactPacket(context);
  EXPECT_EQ(context.packet.count, 3);
  EXPECT_EQ(std::vector<int32_t>(context.packet.slots, context.packet.slots + kPacketSlots),
            (std::vector<int32_t>{0x18, 0x3, 0x100, 0x7777, 0x7777, 0x7777}));

  worldAdvanceTo(60'000);  // the controller now sends seven entries, then one
  readContactPacket(context);
  EXPECT_EQ(context.packet.count, 1);
  EXPECT_EQ(std::vector<int32_t>(context.packet.slots, context.packet.slots + kPacketSlots),
            (std::vector<int32_t>{0x5, 2, 3, 4, 5, 6}));
  EXPECT_EQ(sim.console(), "");
}

}  // namespace
