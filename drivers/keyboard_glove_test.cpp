#include "drivers/keyboard_glove.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int> keysOf(const std::string& bytes) {
  KeyDecoder decoder;
  std::vector<int> keys;
  for (char byte : bytes)
    if (const int key = keyDecoderFeed(decoder, static_cast<unsigned char>(byte)); key != kKeyNone) keys.push_back(key);
  return keys;
}

TEST(KeyboardGlove, DecodesWhatATerminalSendsForEachKey) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<int> keys;
  };
  const Case cases[] = {
      {"plain bytes", "a]1\r", {'a', ']', '1', '\r'}},
      {"arrows, both forms", "\x1b[A\x1b[B\x1bOC\x1bOD", {kKeyUp, kKeyDown, kKeyRight, kKeyLeft}},
      {"pages", "\x1b[5~\x1b[6~", {kKeyPageUp, kKeyPageDown}},
      {"an unknown sequence is dropped", "\x1b[Zq", {'q'}},
      {"an unknown long one too", "\x1b[1;5Aa", {'a'}},
      {"Alt and a key", "\x1bxy", {'y'}},
      {"split across reads", std::string("\x1b") + "[" + "A", {kKeyUp}},
  };
  for (const Case& c : cases) EXPECT_EQ(keysOf(c.bytes), c.keys) << c.name;
}

TEST(KeyboardGlove, EachKeyDoesItsCommand) {
  struct Case {
    int key;
    KeyAction action;
    int index;
    unsigned buttons;
    float nudge[3];
  };
  const Case cases[] = {
      {'\r', KeyAction::kHold, 2, 0, {}},
      {' ', KeyAction::kHold, 2, 0, {}},
      {']', KeyAction::kPick, 3, 0, {}},
      {'1', KeyAction::kMove, 0, 0, {}},
      {'7', KeyAction::kMove, 6, 0, {}},
      {'8', KeyAction::kNone, 0, 0, {}},
      {'r', KeyAction::kRest, 0, 0, {}},
      {'k', KeyAction::kCalibrate, 0, 0, {}},
      {'B', KeyAction::kTap, 0, 0x2, {}},
      {'D', KeyAction::kTap, 0, 0x8, {}},
      {kKeyLeft, KeyAction::kNudge, 0, 0, {-25, 0, 0}},
      {kKeyUp, KeyAction::kNudge, 0, 0, {0, 25, 0}},
      {kKeyPageDown, KeyAction::kNudge, 0, 0, {0, 0, -25}},
      {'q', KeyAction::kQuit, 0, 0, {}},
      {0x03, KeyAction::kQuit, 0, 0, {}},
      {'x', KeyAction::kNone, 0, 0, {}},
  };
  for (const Case& c : cases) {
    KeyboardGlove glove{5, 2, 0};
    const KeyCommand command = keyboardGlovePress(glove, c.key);
    EXPECT_EQ(command.action, c.action) << c.key;
    EXPECT_EQ(command.index, c.index) << c.key;
    EXPECT_EQ(command.buttons, c.buttons) << c.key;
    for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(command.nudge[axis], c.nudge[axis]) << c.key;
  }
}

TEST(KeyboardGlove, PicksWrapAroundAndButtonsToggle) {
  KeyboardGlove glove{3, 0, 0};
  std::vector<int> picks;
  for (int key : {'[', '[', ']', ']', ']'}) picks.push_back(keyboardGlovePress(glove, key).index);
  EXPECT_EQ(picks, (std::vector<int>{2, 1, 2, 0, 1}));
  std::vector<unsigned> held;
  for (int key : {'b', 'c', 'b', 'a', 'c', 'a'}) held.push_back(keyboardGlovePress(glove, key).buttons);
  EXPECT_EQ(held, (std::vector<unsigned>{0x2, 0x6, 0x4, 0x5, 0x1, 0x0}));  // B and C together end the program
}

}  // namespace
