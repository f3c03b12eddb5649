// The board on a player's line: the firmware follows the scenario's clock, its pads
// and the line's faults follow the scenario's controller.

#include "firmware/board_link.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kRequest = 0x53;
constexpr int64_t kReplyWindowMicros = 40000;  // a reply of up to six groups, with noise

class BoardLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(boardLinkStart(link, SIGNGLOVE_FIRMWARE_ELF, error)) << error;
  }

  // One request at the scenario's time now; what reaches the host before the next
  // window, and how many times a reply ended.
  Bytes request(int& repliesEnded) {
    Bytes toHost;
    boardLinkFromHost(link, controller, &kRequest, 1, toHost);
    repliesEnded = 0;
    bool stopped = false;
    for (int64_t end = now + kReplyWindowMicros; now < end;) {
      now += 250;
      if (boardLinkRunTo(link, controller, now, toHost, stopped)) ++repliesEnded;
      EXPECT_FALSE(stopped);
    }
    return toHost;
  }

  BoardLink link;
  ContactController controller;
  int64_t now = 0;
};

TEST_F(BoardLinkTest, RepliesAsTheScenariosControllerWould) {
  struct Case {
    const char* name;
    std::vector<ContactMask> touches;
    int corrupt, drop;
    std::vector<uint16_t> noise;
  };
  const Case cases[] = {
      {"nothing touches", {}, 0, 0, {}},
      {"two groups", {0x0018, 0x2001}, 0, 0, {}},
      {"touches that merge", {0x0018, 0x0006, 0x000C}, 0, 0, {}},
      {"corrupted", {0x0018}, 1, 0, {}},
      {"dropped", {0x0018, 0x0300}, 0, 1, {}},
      {"noise", {0x3F3F}, 0, 0, {0x1234, 0x0040}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    controllerUntouch(controller);
    for (ContactMask pads : c.touches) controllerTouch(controller, pads);
    controller.corruptReplies = c.corrupt;
    controller.dropReplies = c.drop;
    controller.noiseWords = c.noise;
    ContactController simulated = controller;
    int ended = 0;
    EXPECT_EQ(request(ended), controllerReply(simulated));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(controller.corruptReplies, 0);  // used up, as the simulator's controller does
    EXPECT_EQ(controller.dropReplies, 0);
    EXPECT_TRUE(controller.noiseWords.empty());
  }
}

TEST_F(BoardLinkTest, ASilentControllerNeverAnswers) {
  controllerTouch(controller, 0x0018);
  controller.silent = true;
  int ended = 0;
  EXPECT_TRUE(request(ended).empty());
  EXPECT_EQ(ended, 0);
  controller.silent = false;
  ContactController simulated = controller;
  EXPECT_EQ(request(ended), controllerReply(simulated));
}

TEST_F(BoardLinkTest, MeasuresTheLinesShortestSamplePeriod) {
  // One group: the request, the scan and an eight-byte reply, at 11 bit times a byte
  // on the emulated line (1.144 ms).
  controllerTouch(controller, 0x0018);
  int ended = 0;
  for (int sample = 0; sample < 3; ++sample) request(ended);
  EXPECT_GT(boardLinkMeanReplyMicros(link), 9 * 1144);
  EXPECT_LT(boardLinkMeanReplyMicros(link), 9 * 1144 + 1000);
}

TEST(ScriptFitsTheBoardTest, RefusesGroupsAndNothingElse) {
  struct Case {
    const char* script;
    int errorLine;  // 0: it fits
  };
  const Case cases[] = {
      {"touch RT RI\nwait 40\nuntouch\ncontroller corrupt 1\n", 0},
      {"touch RT RI\nwait 40\ngroups 0x0018\n", 3},
      {"wait 40\n  groups\twith tabs\n", 2},
      {"# groups only in a comment\nwait 40 # groups\n", 0},
      {"groupsies 1\n", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    ScriptError error;
    EXPECT_EQ(scriptFitsTheBoard(c.script, error), c.errorLine == 0);
    EXPECT_EQ(error.line, c.errorLine);
  }
}

}  // namespace
