#include "simulator/narration.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <sstream>

#include "simulator/seen_samples.h"

namespace {

constexpr std::string_view kSigningPrefix = "signing: ";
constexpr std::string_view kSignRecognitionBanner = "SIGN RECOGNITION program\n\n";
constexpr std::string_view kCaptionPrefix = " virtual signer | ";
constexpr const char* kNoWord = "-";
// The closing lines fit an 80-column terminal; longer lists go on in further pairs.
constexpr size_t kFinishedLineWidth = 79;

struct Narration {
  const Scenario* scenario = nullptr;
  NarrationOptions options;
  size_t nextNote = 0;
  std::string caption;
  enum class Page { kUnknown, kSigns, kOther } page = Page::kUnknown;  // the current page's mode
  std::string pageStart;  // the current page's first text, until it shows whose page it is
  std::string signPages;  // every sign recognition page, each after a form feed
};

Narration narration;

// What gives the terminal back whole: every row scrolls again, the status line goes.
// Kept ready for an interrupted demo, whose signal handler may only write it.
char gResetTerminal[64] = "";

void resetOnSignal(int signal) {
  const ssize_t ignored = write(STDOUT_FILENO, gResetTerminal, std::strlen(gResetTerminal));
  (void)ignored;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

bool onTerminal() { return narration.options.terminal != nullptr; }

void put(const std::string& text) {
  std::fputs(text.c_str(), narration.options.terminal);
  std::fflush(narration.options.terminal);
}

// Draws the caption on the bottom row, outside the scrolling rows, and puts the
// cursor back where the program left it.
void drawStatusLine() {
  std::string text = std::string(kCaptionPrefix) + narration.caption;
  const auto width = static_cast<size_t>(std::max(narration.options.columns - 1, 1));
  if (text.size() > width) text.resize(width);
  text.resize(width, ' ');
  put("\x1b" "7\x1b[" + std::to_string(narration.options.rows) + ";1H\x1b[2K\x1b[7m" + text + "\x1b[0m\x1b" "8");
}

void show(const std::string& caption) {
  narration.caption = caption;
  if (onTerminal()) return drawStatusLine();
  if (!narration.options.lines) return;
  std::fprintf(narration.options.lines, "signglove-sim: virtual signer: %s\n", caption.c_str());
  std::fflush(narration.options.lines);
}

}  // namespace

const std::string& narrationSignPages() { return narration.signPages; }

void narrationStart(const Scenario& scenario, const NarrationOptions& options) {
  narration = Narration{};
  narration.scenario = &scenario;
  narration.options = options;
  if (options.terminal && (options.rows < 3 || options.columns < 10)) narration.options.terminal = nullptr;
  // A clear screen, every row but the last scrolling, the cursor at the top.
  if (!onTerminal()) return;
  std::snprintf(gResetTerminal, sizeof gResetTerminal, "\x1b" "7\x1b[r\x1b" "8\x1b" "7\x1b[%d;1H\x1b[2K\x1b" "8",
                narration.options.rows);
  put("\x1b[H\x1b[2J\x1b[1;" + std::to_string(narration.options.rows - 1) + "r\x1b[H");
  if (narration.options.terminal == stdout) {
    std::signal(SIGINT, resetOnSignal);
    std::signal(SIGTERM, resetOnSignal);
  }
}

namespace {

// Keeps the sign recognition pages, and only those, as they are printed.
void keepSignPages(const ObservedCall& call) {
  using Page = Narration::Page;
  if (call.kind == ObservedCall::kConsoleClear) {
    narration.pageStart.clear();
    narration.page = Page::kUnknown;
    return;
  }
  if (call.kind != ObservedCall::kConsoleWrite || !call.text) return;
  std::string_view text = *call.text;
  if (narration.page == Page::kUnknown) {
    const PageBanner banner = pageBannerRead(narration.pageStart, text, kSignRecognitionBanner);
    if (banner == PageBanner::kUndecided) return;
    narration.page = banner == PageBanner::kShown ? Page::kSigns : Page::kOther;
    if (narration.page == Page::kSigns) narration.signPages += "\f" + narration.pageStart;
  }
  if (narration.page == Page::kSigns) narration.signPages += text;
}

}  // namespace

void narrationObserve(const ObservedCall& call) {
  if (!narration.scenario) return;
  keepSignPages(call);
  const std::vector<Note>& notes = narration.scenario->notes;
  bool shown = false;
  for (; narration.nextNote < notes.size() && notes[narration.nextNote].atMicros <= world.nowMicros; ++narration.nextNote) {
    show(notes[narration.nextNote].text);
    shown = true;
  }
  if (!shown && call.kind == ObservedCall::kConsoleClear && onTerminal())
    drawStatusLine();  // the clear took the status line with it
}

void narrationFinish() {
  if (!narration.scenario) return;
  if (onTerminal()) put(gResetTerminal);
  if (narration.options.terminal == stdout) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
  }
  narration.scenario = nullptr;
}

std::vector<std::string> signedWords(const Scenario& scenario) {
  std::vector<std::string> words;
  for (const Note& note : scenario.notes)
    if (note.text.starts_with(kSigningPrefix)) {
      const std::string rest = note.text.substr(kSigningPrefix.size());
      words.push_back(rest.substr(0, rest.find(' ')));
    }
  return words;
}

std::vector<std::string> recognisedWords(std::string_view transcript) {
  std::vector<std::string> words;
  for (size_t at = transcript.find(kSignRecognitionBanner); at != std::string_view::npos;
       at = transcript.find(kSignRecognitionBanner, at)) {
    at += kSignRecognitionBanner.size();
    const size_t end = std::min(transcript.find('\f', at), transcript.size());
    std::istringstream text{std::string(transcript.substr(at, end - at))};
    for (std::string word; text >> word;) words.push_back(word);
  }
  return words;
}

std::string finishedLines(std::string_view what, const std::vector<std::string>& signedList,
                          const std::vector<std::string>& recognised) {
  const std::string topLabel = "  signed:    ", bottomLabel = "  recognised:";
  std::string lines = std::string(what) + "\n", top = topLabel, bottom = bottomLabel;
  const auto flush = [&] {
    while (top.back() == ' ') top.pop_back();
    while (bottom.back() == ' ') bottom.pop_back();
    lines += top + "\n" + bottom + "\n";
  };
  for (size_t index = 0; index < std::max(signedList.size(), recognised.size()); ++index) {
    const std::string left = index < signedList.size() ? signedList[index] : kNoWord;
    const std::string right = index < recognised.size() ? recognised[index] : kNoWord;
    const size_t width = std::max(left.size(), right.size());
    if (top.size() > topLabel.size() && top.size() + 1 + width > kFinishedLineWidth) {
      flush();
      top = topLabel;
      bottom = bottomLabel;
    }
    top += " " + left + std::string(width - left.size(), ' ');
    bottom += " " + right + std::string(width - right.size(), ' ');
  }
  flush();
  return lines;
}
