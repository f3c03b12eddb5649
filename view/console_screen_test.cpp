#include "view/console_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The pieces as text: a clear is "|".
std::string shown(const std::vector<ConsolePiece>& pieces) {
  std::string text;
  for (const ConsolePiece& piece : pieces) text += piece.clear ? "|" : piece.text;
  return text;
}

// Reads the output in the given pieces, as a terminal's reads may split it anywhere.
std::string read(const std::vector<std::string>& reads) {
  TerminalReader reader;
  std::vector<ConsolePiece> pieces;
  for (const std::string& bytes : reads) terminalRead(reader, bytes, pieces);
  return shown(pieces);
}

TEST(TerminalReader, ClearsAndTextAsTheProgramPrintedThem) {
  const struct {
    const char* name;
    std::vector<std::string> reads;
    std::string expected;
  } cases[] = {
      {"lines through the terminal's carriage returns", {"point\r\n\r\nfist\r\n"}, "point\n\nfist\n"},
      {"the program's clear on a terminal", {"menu\x1b[H\x1b[2Jbanner"}, "menu|banner"},
      {"a form feed, as the simulator clears", {"a\fb"}, "a|b"},
      {"erase with the scrollback, and a reset", {"a\x1b[3Jb\x1b" "cc"}, "a|b|c"},
      {"an escape split between reads", {"a\x1b", "[", "2", "Jb"}, "a|b"},
      {"cursor moves and colours show nothing", {"\x1b[1;1H\x1b[0;31mred\x1b[0m\x1b[K"}, "red"},
      {"erase below the cursor is no clear", {"a\x1b[Jb"}, "ab"},
      {"a title, ended by a bell or by ST", {"\x1b]0;title\ax\x1b]2;t\x1b\\y"}, "xy"},
      {"a character split between reads waits", {"caf\xC3", "\xA9!"}, "caf\xC3\xA9!"},
      {"other controls show nothing", {"a\a\bb\x7f"}, "ab"},
      {"a stray escape sequence gives up, its text shows", {"\x1b[" + std::string(40, '1') + "x"},
       std::string(8, '1') + "x"},
      {"a control in a sequence stands for itself", {"\x1b[2\nJ"}, "\nJ"},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.reads), c.expected) << c.name;
}

struct Screen {
  ConsoleScreen screen;
  std::vector<std::string> words;
  void add(const std::string& text) { consoleScreenAdd(screen, {false, text}, words); }
  void clear() { consoleScreenAdd(screen, {true, {}}, words); }
};

TEST(ConsoleScreen, WordsAreTheSignTablesOnASignRecognitionPage) {
  Screen s;
  s.add("SIGN RECOGNITION program\n\n");
  for (const char* piece : {"welcome ", "t", "o ", "error in packet: routine TIMED OUT\n", "my ", "hope"})
    s.add(piece);
  EXPECT_EQ(s.words, (std::vector<std::string>{"welcome", "to", "my"}));  // hope's space is still to come
  s.add(" ");
  EXPECT_EQ(s.words.back(), "hope");

  s.clear();
  s.add("HANDSHAPE diagnostics program\n\nwelcome ");  // another page: not words
  EXPECT_EQ(s.words.size(), 4u);
  s.clear();
  s.add("\n SIGN RECOG");  // the banner in pieces
  s.add("NITION program\n\nI ");
  EXPECT_EQ(s.words.back(), "I");
  EXPECT_EQ(s.screen.page, "\n SIGN RECOGNITION program\n\nI ");
  EXPECT_EQ(s.screen.words.size(), 5u);
}

TEST(ConsoleScreen, KeepsTheLastLinesOfALongPageAndTheLastWords) {
  Screen s;
  for (int line = 0; line < 10'000; ++line) s.add("RT_RI_\n");  // finger connections, which never clears
  EXPECT_LE(s.screen.page.size(), kMostPageBytes);
  EXPECT_EQ(s.screen.page.substr(0, 7), "RT_RI_\n");
  s.clear();
  s.add("SIGN RECOGNITION program\n\n");
  for (size_t word = 0; word < kMostWordsKept + 10; ++word) s.add("to ");
  EXPECT_EQ(s.screen.words.size(), kMostWordsKept);
  EXPECT_EQ(s.words.size(), kMostWordsKept + 10);
}

}  // namespace
