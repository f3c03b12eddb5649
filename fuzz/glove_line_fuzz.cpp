// Fuzzes a serial glove's text (signglove-glove serial): any bytes from the device go
// through the line assembler, and every line it completes through the line parser.
// Checked against a reading written out here apart from them: the bytes split at every
// carriage return and newline, the first piece the tail of a line met on opening, and
// each line split at its commas first, then at blanks, every word read by strtod.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/line_parser.h"

namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

struct Expected {
  LineEvent event;
  std::string line;
};

// What the assembler must report for these bytes.
std::vector<Expected> expectedEvents(const std::string& bytes) {
  std::vector<Expected> events;
  size_t start = 0;
  bool first = true;
  for (size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] != '\r' && bytes[at] != '\n') continue;
    const std::string piece = bytes.substr(start, at - start);
    start = at + 1;
    const bool wasFirst = first;
    first = false;
    if (piece.empty()) continue;
    if (wasFirst) events.push_back({LineEvent::kPartial, piece.substr(0, kLongestLine)});
    else if (piece.size() > kLongestLine) events.push_back({LineEvent::kTooLong, ""});
    else events.push_back({LineEvent::kLine, piece});
  }
  return events;
}

enum class Reading { kSure, kUnsure };  // unsure: a number strtod finds too small to hold

// The parse the line must get: numbers in order, or the first fault met in order.
Reading expectedParse(const std::string& line, LineParse& result, std::vector<double>& numbers) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t comma = line.find(','); comma != std::string::npos; comma = line.find(',', start)) {
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(line.substr(start));
  for (size_t index = 0; index < fields.size(); ++index) {
    std::vector<std::string> words;
    std::string word;
    for (char c : fields[index] + " ") {
      if (c != ' ' && c != '\t') word += c;
      else if (!word.empty()) words.push_back(word), word.clear();
    }
    const bool last = index + 1 == fields.size();
    if (words.empty() && fields.size() == 1) return result = LineParse::kBlank, Reading::kSure;
    if (words.empty() && !(last && index > 0)) return result = LineParse::kGarbage, Reading::kSure;
    for (const std::string& candidate : words) {
      if (candidate.find_first_not_of("0123456789.eE+-") != std::string::npos)
        return result = LineParse::kGarbage, Reading::kSure;
      char* end = nullptr;
      errno = 0;
      const double value = std::strtod(candidate.c_str(), &end);
      if (end != candidate.c_str() + candidate.size() || std::isinf(value))
        return result = LineParse::kGarbage, Reading::kSure;
      if (errno == ERANGE) return Reading::kUnsure;
      if (numbers.size() == kMostLineNumbers) return result = LineParse::kTooManyNumbers, Reading::kSure;
      numbers.push_back(value);
    }
  }
  result = LineParse::kNumbers;
  return Reading::kSure;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<Expected> expected = expectedEvents(bytes);
  LineAssembler assembler;
  size_t seen = 0;
  for (char byte : bytes) {
    const LineEvent event = lineAssemblerFeed(assembler, byte);
    if (event == LineEvent::kNone) continue;
    if (seen == expected.size() || event != expected[seen].event) broken("the assembler's events");
    if (event != LineEvent::kTooLong && assembler.line != expected[seen].line) broken("the assembler's line");
    ++seen;
    if (event != LineEvent::kLine) continue;

    GloveLine line;
    const LineParse result = parseGloveLine(assembler.line, line);
    if (line.count < 0 || line.count > kMostLineNumbers) broken("the count");
    for (int index = 0; index < line.count; ++index)
      if (!std::isfinite(line.value[index])) broken("a number not finite");
    LineParse reference = LineParse::kBlank;
    std::vector<double> numbers;
    if (expectedParse(assembler.line, reference, numbers) == Reading::kUnsure) continue;
    if (result != reference) broken("the parse's verdict");
    if (result == LineParse::kNumbers &&
        (line.count != static_cast<int>(numbers.size()) ||
         std::memcmp(line.value, numbers.data(), numbers.size() * sizeof(double)) != 0))
      broken("the numbers");
  }
  if (seen != expected.size()) broken("an event missing");
  return 0;
}
