#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The program's console as the live view shows it: text and clears. The simulator
// reports both as such; the real program's are read off its terminal, where a clear is
// a form feed or the terminal's erase sequence.

// A piece of console output: some text, or a clear.
struct ConsolePiece {
  bool clear = false;
  std::string text;
};

// Reads terminal output in any pieces: a form feed, ESC [ 2 J, ESC [ 3 J and ESC c
// clear; other escape and control sequences (cursor moves, colours, titles) and carriage
// returns show nothing; a character split between two reads is held back until whole.
struct TerminalReader {
  enum class State { kText, kEscape, kControlSequence, kOperatingCommand, kCommandEscape } state = State::kText;
  std::string sequence;  // the control sequence read so far
  std::string held;      // the start of a character still to come whole
};

// The pieces the bytes make, appended to pieces (text runs merged).
void terminalRead(TerminalReader& reader, std::string_view bytes, std::vector<ConsolePiece>& pieces);

// The page on the console now and the words recognised so far, kept for viewers who
// come later; both bounded, so that hours of finger connections (which never clear)
// or of signing cost no more than minutes.
constexpr size_t kMostPageBytes = 32 * 1024;  // the page's last lines
constexpr size_t kMostWordsKept = 200;        // the running line's last words
constexpr size_t kLongestWord = 64;           // longer: not a word the program prints

struct ConsoleScreen {
  std::string page;  // since the last clear, its last kMostPageBytes from a line start
  enum class Page { kUnknown, kSigns, kOther } kind = Page::kUnknown;
  std::string pageStart;  // its first text, while it may still be the sign recognition banner
  std::string word;       // a word being printed
  std::deque<std::string> words;
};

// Adds a piece to the screen; the words of the sign table it completes on a sign
// recognition page (each is followed by a space) are appended to newWords.
void consoleScreenAdd(ConsoleScreen& screen, const ConsolePiece& piece, std::vector<std::string>& newWords);
