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

}  // namespace
