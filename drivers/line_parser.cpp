#include "drivers/line_parser.h"

#include <charconv>
#include <cmath>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

size_t skipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  return at;
}

bool isNumberByte(char c) { return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'; }

}  // namespace

// from_chars alone would take "inf", "nan" and hexadecimal floats; only plain decimal
// bytes reach it here.
bool parseGloveNumber(std::string_view token, double& value) {
  for (char c : token)
    if (!isNumberByte(c)) return false;
  if (token.starts_with('+')) {
    token.remove_prefix(1);
    if (token.starts_with('-')) return false;
  }
  if (token.empty()) return false;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size() && std::isfinite(value);
}

LineParse parseGloveLine(std::string_view text, GloveLine& line) {
  line.count = 0;
  size_t at = skipBlanks(text, 0);
  if (at == text.size()) return LineParse::kBlank;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && !isBlank(text[end]) && text[end] != ',') ++end;
    double value = 0;
    if (!parseGloveNumber(text.substr(at, end - at), value)) return LineParse::kGarbage;
    if (line.count == kMostLineNumbers) return LineParse::kTooManyNumbers;
    line.value[line.count++] = value;
    at = skipBlanks(text, end);
    if (at < text.size() && text[at] == ',') at = skipBlanks(text, at + 1);
  }
  // A comma followed by nothing but blanks is a trailing comma; two commas were refused
  // above as an empty number.
  return LineParse::kNumbers;
}

LineEvent lineAssemblerFeed(LineAssembler& assembler, char byte) {
  if (assembler.completed) {
    assembler.line.clear();
    assembler.completed = false;
  }
  if (byte != '\n' && byte != '\r') {
    if (assembler.line.size() < kLongestLine)
      assembler.line.push_back(byte);
    else
      assembler.overflowed = true;
    return LineEvent::kNone;
  }
  const bool wasStarted = assembler.started, overflowed = assembler.overflowed;
  const bool empty = assembler.line.empty() && !overflowed;
  assembler.started = true;
  assembler.overflowed = false;
  assembler.completed = true;
  if (empty) return LineEvent::kNone;  // the second end of "\r\n", or an empty line
  if (!wasStarted) return LineEvent::kPartial;
  if (overflowed) return LineEvent::kTooLong;
  return LineEvent::kLine;
}

void lineAssemblerRestart(LineAssembler& assembler) { assembler = LineAssembler{}; }
