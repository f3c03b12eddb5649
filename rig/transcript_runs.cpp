#include "rig/transcript_runs.h"

#include <vector>

namespace {

// The longest block of lines one cycle prints: six groups.
constexpr size_t kLongestBlock = 6;
const char* const kRepeatingBanners[] = {"Finger connections diagnostic program\n\n",
                                         "HANDSHAPE diagnostics program\n\n"};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end + 1 - start));
    start = end + 1;
  }
  return lines;
}

bool sameBlock(const std::vector<std::string>& lines, size_t a, size_t b, size_t length) {
  if (b + length > lines.size()) return false;
  for (size_t offset = 0; offset < length; ++offset)
    if (lines[a + offset] != lines[b + offset]) return false;
  return true;
}

// One pass: at each line, the shortest block that repeats right after it is kept once.
bool collapseOnce(std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  bool changed = false;
  size_t index = 0;
  while (index < lines.size()) {
    size_t length = 1;
    while (length <= kLongestBlock && !sameBlock(lines, index, index + length, length)) ++length;
    if (length > kLongestBlock) {
      kept.push_back(lines[index++]);
      continue;
    }
    kept.insert(kept.end(), lines.begin() + static_cast<std::ptrdiff_t>(index),
                lines.begin() + static_cast<std::ptrdiff_t>(index + length));
    size_t next = index + length;
    while (sameBlock(lines, index, next, length)) next += length;
    index = next;
    changed = true;
  }
  lines = std::move(kept);
  return changed;
}

}  // namespace

std::string keepEachRunOnce(const std::string& transcript) {
  std::string result;
  size_t start = 0;
  while (start <= transcript.size()) {
    const size_t clear = transcript.find('\f', start);
    const size_t end = clear == std::string::npos ? transcript.size() : clear;
    std::string page = transcript.substr(start, end - start);
    for (const char* banner : kRepeatingBanners) {
      if (page.rfind(banner, 0) != 0) continue;
      std::vector<std::string> lines = splitLines(page.substr(std::string(banner).size()));
      while (collapseOnce(lines)) {
      }
      page = banner;
      for (const std::string& line : lines) page += line;
    }
    result += page;
    if (clear == std::string::npos) break;
    result += '\f';
    start = clear + 1;
  }
  return result;
}
