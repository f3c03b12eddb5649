#include "view/console_screen.h"

#include <algorithm>

#include "recognition/sign_recogniser.h"
#include "simulator/seen_samples.h"

namespace {

constexpr char kEscape = '\x1b';
constexpr char kFormFeed = '\f';
constexpr char kBell = '\a';
// Longer sequences are not a terminal's: given up, so that a stray ESC hides little.
constexpr size_t kLongestControlSequence = 32;
constexpr size_t kLongestOperatingCommand = 512;
constexpr std::string_view kSignRecognitionBanner = "SIGN RECOGNITION program";

void addText(std::vector<ConsolePiece>& pieces, char c) {
  if (pieces.empty() || pieces.back().clear) pieces.push_back({});
  pieces.back().text += c;
}

void addClear(std::vector<ConsolePiece>& pieces) { pieces.push_back({true, {}}); }

// How many bytes the UTF-8 character a lead byte starts takes; 1 for anything else.
size_t characterLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Where a character that the bytes end in the middle of starts, or bytes.size().
size_t unfinishedCharacter(std::string_view bytes) {
  for (size_t back = 1; back <= std::min<size_t>(3, bytes.size()); ++back) {
    const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    return characterLength(byte) > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}

void readText(TerminalReader& reader, char c, std::vector<ConsolePiece>& pieces) {
  using State = TerminalReader::State;
  if (c == kEscape) {
    reader.state = State::kEscape;
  } else if (c == kFormFeed) {
    addClear(pieces);
  } else if (c == '\n' || c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
    if (c != '\x7f') addText(pieces, c);
  }  // carriage returns, bells, backspaces and the like show nothing of their own
}

void readByte(TerminalReader& reader, char c, std::vector<ConsolePiece>& pieces) {
  using State = TerminalReader::State;
  const auto byte = static_cast<unsigned char>(c);
  switch (reader.state) {
    case State::kText:
      return readText(reader, c, pieces);
    case State::kEscape:
      if (c == '[') {
        reader.state = State::kControlSequence;
        reader.sequence.clear();
      } else if (c == ']') {
        reader.state = State::kOperatingCommand;
        reader.sequence.clear();
      } else if (byte < 0x20 || byte > 0x2F) {  // else an intermediate byte: more to come
        reader.state = State::kText;
        if (c == 'c') addClear(pieces);  // the terminal's full reset
      }
      return;
    case State::kControlSequence:
      if (byte >= 0x40 && byte <= 0x7E) {
        reader.state = State::kText;
        if (c == 'J' && (reader.sequence == "2" || reader.sequence == "3")) addClear(pieces);
      } else if (byte < 0x20 || byte > 0x7E || reader.sequence.size() >= kLongestControlSequence) {
        reader.state = State::kText;  // not a sequence after all: the byte stands for itself
        readText(reader, c, pieces);
      } else {
        reader.sequence += c;
      }
      return;
    case State::kOperatingCommand:
      if (c == kBell || reader.sequence.size() >= kLongestOperatingCommand) reader.state = State::kText;
      else if (c == kEscape) reader.state = State::kCommandEscape;
      else reader.sequence += '.';  // only its length matters
      return;
    case State::kCommandEscape:  // the string terminator, ESC backslash
      reader.state = State::kText;
      return;
  }
}

}  // namespace

void terminalRead(TerminalReader& reader, std::string_view bytes, std::vector<ConsolePiece>& pieces) {
  std::string joined;
  if (!reader.held.empty()) {
    joined = reader.held + std::string(bytes);
    reader.held.clear();
    bytes = joined;
  }
  const size_t whole = unfinishedCharacter(bytes);
  reader.held = std::string(bytes.substr(whole));
  for (char c : bytes.substr(0, whole)) readByte(reader, c, pieces);
}

void consoleScreenAdd(ConsoleScreen& screen, const ConsolePiece& piece, std::vector<std::string>& newWords) {
  using Page = ConsoleScreen::Page;
  if (piece.clear) {
    screen.page.clear();
    screen.kind = Page::kUnknown;
    screen.pageStart.clear();
    screen.word.clear();
    return;
  }
  screen.page += piece.text;
  if (screen.page.size() > kMostPageBytes) {
    const size_t cut = screen.page.size() - kMostPageBytes;
    const size_t lineStart = screen.page.find('\n', cut);
    screen.page.erase(0, lineStart == std::string::npos ? cut : lineStart + 1);
  }
  std::string_view text = piece.text;
  if (screen.kind == Page::kUnknown) {
    const PageBanner banner = pageBannerRead(screen.pageStart, text, kSignRecognitionBanner);
    if (banner != PageBanner::kUndecided) screen.kind = banner == PageBanner::kShown ? Page::kSigns : Page::kOther;
  }
  if (screen.kind != Page::kSigns) return;
  for (char c : text) {
    if (c != ' ' && c != '\n') {
      if (screen.word.size() < kLongestWord) screen.word += c;
      continue;
    }
    // The program follows each word with a space; other text (a time-out's message) is no word.
    if (c == ' ' && isSignWord(screen.word)) {
      newWords.push_back(screen.word);
      screen.words.push_back(screen.word);
      if (screen.words.size() > kMostWordsKept) screen.words.pop_front();
    }
    screen.word.clear();
  }
}
