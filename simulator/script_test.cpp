#include "simulator/script.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ScriptTest, ReportsTheFirstBadLine) {
  struct Case {
    const char* script;
    int line;
    const char* message;  // part of the message
  };
  const Case cases[] = {
      {"wait 10\nfrobnicate 3", 2, "unknown action 'frobnicate'"},
      {"# only a comment\n\n  wait 1 2", 3, "'wait' takes 1 argument, not 2"},
      {"bends 1 2 3 4", 1, "'bends' takes 5 arguments, not 4"},
      {"touch RT", 1, "'touch' takes at least 2 arguments, not 1"},
      {"calibrate now", 1, "'calibrate' takes 0 arguments, not 1"},
      {"bends 0 0 256 0 0", 1, "'256' is not a bend"},
      {"wait -1", 1, "'-1' is not a number of milliseconds"},
      {"wait 86400001", 1, "'86400001' is not a number of milliseconds"},
      {"groups 0x18 0x10000", 1, "'0x10000' is not a word"},
      {"groups 65536", 1, "'65536' is not a word"},
      {"groups 0x", 1, "'0x' is not a word"},
      {"clock 4294967296", 1, "'4294967296' is not a clock reading"},
      {"position 1 2 x", 1, "'x' is not a number"},
      {"angles 1 inf 3", 1, "'inf' is not a number"},
      {"press E", 1, "unknown button 'E'"},
      {"press all", 1, "unknown button 'all'"},
      {"touch RT XX", 1, "unknown pad 'XX'"},
      {"touch RT_ RI", 1, "unknown pad 'RT_'"},
      {"hold small", 1, "no handshape the program names 'small' can be held"},
      {"hold rest", 1, "'rest'"},
      {"move sideways", 1, "unknown movement 'sideways'"},
      {"move down 0", 1, "'0' is not a number of milliseconds"},
      {"sign goodbye", 1, "no sign for 'goodbye'"},
      {"controller loud", 1, "unknown controller mode 'loud'"},
      {"controller corrupt", 1, "'controller corrupt' takes a number of replies"},
      {"controller silent 2", 1, "'controller silent' takes nothing more"},
      {"controller noise", 1, "'controller noise' takes at least one word"},
      {"reply 0x00 256", 1, "'256' is not a byte"},
      {"reply 0x100", 1, "'0x100' is not a byte"},
      {"reply -1", 1, "'-1' is not a byte"},
      {"reply 0x", 1, "'0x' is not a byte"},
      {"noise 1001", 1, "'1001' is not a noise amount"},
      {"serial works", 1, "did you mean 'serial fails'?"},
      {"wait 5\nclock 100", 2, "'clock' is a start-up condition and must come before the first wait"},
      {"tap A\nserial fails", 2, "'serial' is a start-up condition"},
      {"press A\ncalibrate\nglove absent", 3, "'glove' is a start-up condition"},
      {"rest\nclock 5", 2, "'clock' is a start-up condition"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Scenario scenario;
    scenario.clockStartMs = 7;
    ScriptError error;
    EXPECT_FALSE(compileScript(c.script, scenario, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    EXPECT_EQ(scenario.clockStartMs, 7u);  // nothing compiled
  }
}

TEST(ScriptTest, CompilesStartUpConditionsAndTimedEvents) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript(
      "clock 4294967295 # last millisecond\nserial fails\nglove absent\n\ngroups 0x18 24 0XFFFF 0\nwait 10\n"
      "\tcontroller noise 0x4000\nrelease all\nwait 5",
      scenario, error))
      << error.line << ": " << error.message;
  EXPECT_EQ(scenario.clockStartMs, 4294967295u);
  EXPECT_TRUE(scenario.serialFails);
  EXPECT_TRUE(scenario.gloveAbsent);
  EXPECT_EQ(scenario.endMicros, 15'000);
  ASSERT_EQ(scenario.events.size(), 3u);
  EXPECT_EQ(scenario.events[0].kind, EventKind::kGroups);
  EXPECT_EQ(scenario.events[0].atMicros, 0);
  EXPECT_EQ(scenario.events[0].words, (std::vector<uint16_t>{0x18, 24, 0xFFFF, 0}));
  EXPECT_EQ(scenario.events[1].kind, EventKind::kControllerNoise);
  EXPECT_EQ(scenario.events[1].atMicros, 10'000);
  EXPECT_EQ(scenario.events[2].kind, EventKind::kRelease);
  EXPECT_EQ(scenario.events[2].buttons, 0xFu);
}

TEST(ScriptTest, ReplyQueuesItsBytesExactly) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("reply 0 0x40 0XfF 255\nwait 3\nreply", scenario, error)) << error.message;
  ASSERT_EQ(scenario.events.size(), 2u);
  EXPECT_EQ(scenario.events[0].kind, EventKind::kReply);
  EXPECT_EQ(scenario.events[0].bytes, (std::vector<uint8_t>{0, 0x40, 0xFF, 0xFF}));
  EXPECT_EQ(scenario.events[1].atMicros, 3'000);
  EXPECT_TRUE(scenario.events[1].bytes.empty());  // one request left unanswered
}

TEST(ScriptTest, TouchNamesPadsWithoutTheUnderscore) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("touch LP LR LM LI LT LPm RPm RT RI RM RR RP", scenario, error)) << error.message;
  ASSERT_EQ(scenario.events.size(), 1u);
  EXPECT_EQ(scenario.events[0].mask, 0x3F3F);
}

}  // namespace
