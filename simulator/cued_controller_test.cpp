// A cued controller in the virtual world: it answers when the script cues it, so that a
// replay keeps a recorded session's pace.

#include <gtest/gtest.h>

#include <string>

#include "contacts/contact_packet.h"
#include "simulator/script.h"
#include "simulator/timing.h"
#include "simulator/world.h"

namespace {

constexpr int64_t kNoByte = -1;

// Sends one request at requestMicros and says when the reply's first byte is there.
int64_t firstByteAfterRequest(const std::string& script, int64_t requestMicros) {
  Scenario scenario;
  ScriptError error;
  EXPECT_TRUE(compileScript(script, scenario, error)) << error.line << ": " << error.message;
  worldStart(scenario, {});
  worldAdvanceTo(requestMicros);
  worldSendByte(kRequestByte);
  for (int64_t at = requestMicros; at < requestMicros + 100'000; at += 1) {
    worldAdvanceTo(at);
    if (worldTakeByte() >= 0) return at;
  }
  return kNoByte;
}

TEST(CuedControllerTest, RepliesOnCueAndOnlyThen) {
  const int64_t arrives = 10'000 + lineMicros(1);  // the request sent at 10 ms reaches the controller
  struct Case {
    const char* name;
    const char* script;
    int64_t firstByte;
  };
  const Case cases[] = {
      {"by itself, after its scan", "wait 1", arrives + kControllerScanMicros + lineMicros(1)},
      {"cued later: then", "controller cued\nwait 20\nanswer", 20'000 + lineMicros(1)},
      {"cued before the request came: as it comes", "controller cued\nwait 5\nanswer", arrives + lineMicros(1)},
      {"never cued: never", "controller cued\nwait 50", kNoByte},
      {"a cue before the cued mode counts for nothing", "answer\nwait 1\ncontroller cued\nwait 50", kNoByte},
      {"normal again: by itself", "controller cued\ncontroller normal\nwait 1",
       arrives + kControllerScanMicros + lineMicros(1)},
      {"cued and silent: never", "controller cued\ncontroller silent\nwait 20\nanswer", kNoByte},
  };
  for (const Case& c : cases) EXPECT_EQ(firstByteAfterRequest(c.script, 10'000), c.firstByte) << c.name;
}

TEST(CuedControllerTest, EachCueAnswersOneRequest) {
  Scenario scenario;
  ScriptError error;
  ASSERT_TRUE(compileScript("controller cued\ngroups 0x0018\nwait 5\nanswer\nwait 1\nanswer\nwait 100", scenario, error));
  worldStart(scenario, {});
  int replies = 0;
  for (int request = 0; request < 3; ++request) {
    worldSendByte(kRequestByte);
    worldAdvance(30'000);
    if (worldTakeByte() >= 0) ++replies;
    while (worldTakeByte() >= 0) {
    }
  }
  EXPECT_EQ(replies, 2);
}

}  // namespace
