#include "contacts/contact_packet.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "control/recognition_context.h"
#include "platform/serial.h"
#include "simulator/simulation.h"
#include "simulator/timing.h"
#include "tests/fault_runs.h"
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
    {"only refused frames, Enter, retry", "controller corrupt 1000000\ngroups 0x18\nwait 700\nenter\ncontroller corrupt 0",
     {0x18}, kTimedOut, 700'000},
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

// Replies that must be refused however often they come: the program says nothing while
// it retries, but a line that gives nothing else is reported as a time-out once no reply
// has been accepted for 500 ms, and then waits for Enter like one.
TEST(ContactPacketTest, ALineThatOnlyGivesRefusedFramesIsReportedAsATimeOut) {
  const char* const scripts[] = {
      "groups 0xFFFF 0x0002",            // checksum right only modulo 65536
      "controller corrupt 1000000\ngroups 0x18",
      "groups 1 2 3 4 5 6 7",            // seven entries
      "groups 1 2 3 4 5 6 0",            // seven entries whose first six add up to the checksum
      "clock 4294967000\ncontroller corrupt 1000000",  // across the clock's wrap
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    VirtualWorld sim(script);
    RecognitionContext context;
    EXPECT_THROW(readContactPacket(context), SimulationStopped);
    EXPECT_EQ(sim.console(), kTimedOut);
    EXPECT_GE(world.nowMicros, 500'000);
    EXPECT_LT(world.nowMicros, 560'000) << "by the end of the first attempt begun after the time-out";
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

// A reply to an earlier request, whole or in part, waiting in the queue or still on
// the line behind what is waiting, is never taken for the answer to the next request
// and never puts it out of step: the program's request gets its own reply. (A reply
// not yet begun when the request goes out cannot be told from the answer.)
TEST(ContactPacketTest, LeftoversOfAnEarlierReplyAreNotTakenForTheAnswer) {
  struct Case {
    const char* name;
    int64_t readAtMicros;  // the program reads from then on; the stale reply is complete by 12 ms
    int bytesTaken;        // bytes of the stale reply taken before that, as a failed read would
  };
  const Case cases[] = {
      {"whole reply waiting", 20'000, 0},
      {"one byte of the header taken", 20'000, 1},
      {"header taken", 20'000, 2},
      {"all but the last byte taken", 20'000, 7},
      {"reply still arriving, an odd number arrived", 7'000, 0},
      {"reply still arriving, an even number arrived", 8'000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The stale reply carries 0x18 (eight bytes, from 3 ms on); from then on the
    // controller answers 0x03.
    VirtualWorld sim("groups 0x18\nwait 3\ngroups 0x03");
    ASSERT_EQ(serialSendByte(kContactPort, kRequestByte), 0);
    worldAdvanceTo(c.bytesTaken > 0 ? 20'000 : c.readAtMicros);
    for (int taken = 0; taken < c.bytesTaken; ++taken) ASSERT_GE(serialTakeByte(kContactPort), 0);
    worldAdvanceTo(c.readAtMicros);

    RecognitionContext context;
    readContactPacket(context);
    EXPECT_EQ(context.packet.count, 1);
    EXPECT_EQ(context.packet.slots[0], 0x03);
    EXPECT_EQ(sim.console(), "");
  }
}

// The finger-connections mode against a controller that sends a long burst of zero
// words before one reply, so that the 500 ms deadline falls inside the burst and may
// fall between the two bytes of a word. Whatever the burst's timing, and whether the
// Enters come after the burst or while it is still arriving, the mode prints only the
// true groups, keeps printing them, and C still leaves it.
struct BurstRun {
  std::string script;
  SimulationResult result;
};

constexpr int kBurstWords = 300;  // 625 ms of bytes: longer than the deadline

BurstRun runBurst(const std::vector<std::string>& touches, int burstAfterMs, int entersAfterMs) {
  std::ostringstream script;
  script << "calibrate\nwait 300\ntap A\ntap A\n";
  for (const std::string& touch : touches) script << "touch " << touch << "\n";
  script << "wait " << burstAfterMs << "\ncontroller noise";
  for (int word = 0; word < kBurstWords; ++word) script << " 0x0000";
  script << "\nwait " << entersAfterMs << "\nenter\nenter\nenter\nwait 1000\n"
         << "press C\nwait 100\nrelease C\npress B C\nwait 100\nrelease all\n";
  BurstRun run{script.str(), {}};
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(run.script, scenario, error)) << error.line << ": " << error.message;
  run.result = runSimulation(scenario);
  return run;
}

TEST(ContactPacketTest, LongNoiseBurstAcrossTheDeadlineNeverPutsTheLinkOutOfStep) {
  struct Pattern {
    std::vector<std::string> touches;
    std::set<std::string> groups;  // the lines the mode may print
  };
  const Pattern patterns[] = {
      // Read one byte out of step, these replies form another valid frame.
      {{"RT RI", "LT LI"}, {"RT_RI_", "LI_LT_"}},
      // Read out of step, these fail their checksum, yet a header is always found.
      {{"RM LR RR", "LI LP", "RPm RI"}, {"LR_RM_RR_", "LP_LI_", "RPm_RI_"}},
  };
  constexpr int kEntersAfterTheBurstMs = 2000;
  constexpr int kEntersDuringTheBurstMs = 600;
  constexpr int kCyclesAfterTheEnters = 20;  // a second at two or three groups a cycle
  for (const Pattern& pattern : patterns) {
    for (int enters : {kEntersAfterTheBurstMs, kEntersDuringTheBurstMs}) {
      // 1 ms steps against 1.04 ms bytes: the deadline falls on every part of a word.
      for (int burstAfterMs = 300; burstAfterMs < 330; ++burstAfterMs) {
        const BurstRun run = runBurst(pattern.touches, burstAfterMs, enters);
        SCOPED_TRACE(run.script);
        ASSERT_EQ(run.result.exitStatus, 0) << run.result.stopReason;
        const std::vector<std::string> lines = fingerConnectionLines(run.result.transcript);
        size_t afterTimeOut = 0;
        for (size_t index = 0; index < lines.size(); ++index) {
          if (lines[index] + "\n" == kTimedOut) {
            afterTimeOut = index + 1;
            continue;
          }
          ASSERT_TRUE(pattern.groups.count(lines[index])) << "line " << index << ": " << lines[index];
        }
        EXPECT_GT(afterTimeOut, 0u) << "the burst should run into the deadline";
        EXPECT_GE(lines.size() - afterTimeOut, kCyclesAfterTheEnters * pattern.groups.size());
      }
    }
  }
}

}  // namespace
