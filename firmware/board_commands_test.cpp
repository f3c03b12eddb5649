#include "firmware/board_commands.h"

#include <gtest/gtest.h>

namespace {

using Groups = std::vector<ContactMask>;

TEST(BoardCommandsTest, MovesThePadsAsEachLineSays) {
  struct Case {
    const char* line;
    bool accepted;
    Groups touching;  // after the line, starting from {0x0018}
    bool quit;
  };
  const Case cases[] = {
      {"touch RM RR", true, {0x0018, 0x0006}, false},
      {"  touch LPm RPm   # palms  ", true, {0x0018, 0x0120}, false},
      {"untouch", true, {}, false},
      {"quit", true, {0x0018}, true},
      {"", true, {0x0018}, false},
      {"# a comment", true, {0x0018}, false},
      {"touch RT XX", false, {0x0018}, false},
      {"touch rt", false, {0x0018}, false},  // names are as the labels spell them
      {"touch", false, {0x0018}, false},
      {"groups 0x0018", false, {0x0018}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Groups touching = {0x0018};
    bool quit = false;
    std::string error;
    EXPECT_EQ(boardCommand(c.line, touching, quit, error), c.accepted);
    EXPECT_EQ(error.empty(), c.accepted);
    EXPECT_EQ(touching, c.touching);
    EXPECT_EQ(quit, c.quit);
  }
}

TEST(BoardCommandsTest, MovesTheGlovesFingersAndButtonsAsEachLineSays) {
  struct Case {
    const char* line;
    bool accepted;
    GloveHand hand;  // after the line, starting from bends 1 2 3 4 5 and B pressed
  };
  const GloveHand start = {{1, 2, 3, 4, 5}, {0, 1, 0, 0}};
  const Case cases[] = {
      {"bends 60 1 60 60 60", true, {{60, 1, 60, 60, 60}, {0, 1, 0, 0}}},
      {"press A D  # two at once", true, {{1, 2, 3, 4, 5}, {1, 1, 0, 1}}},
      {"release B", true, {{1, 2, 3, 4, 5}, {0, 0, 0, 0}}},
      {"press all", true, {{1, 2, 3, 4, 5}, {1, 1, 1, 1}}},
      {"", true, start},
      {"bends 1 2 3 4", false, start},
      {"bends 1 2 3 4 256", false, start},
      {"bends 1 2 3 4 5 6", false, start},
      {"bends 1 x 3 4 5", false, start},
      {"press E", false, start},
      {"press A E", false, start},  // nothing changes for a line that fails
      {"release", false, start},
      {"touch RT RI", false, start},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    GloveHand hand = start;
    bool quit = false;
    std::string error;
    EXPECT_EQ(gloveBoardCommand(c.line, hand, quit, error), c.accepted);
    EXPECT_EQ(error.empty(), c.accepted);
    EXPECT_TRUE(hand == c.hand);
    EXPECT_FALSE(quit);
  }
}

}  // namespace
