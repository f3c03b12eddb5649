#include "drivers/line_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ParseCase {
  const char* text;
  LineParse result;
  std::vector<double> numbers;
};

const ParseCase kParseCases[] = {
    {"12,40,33,8,0,1,0,0,0", LineParse::kNumbers, {12, 40, 33, 8, 0, 1, 0, 0, 0}},
    {"  12 \t 40  33", LineParse::kNumbers, {12, 40, 33}},
    {"12 , 40,\t33,", LineParse::kNumbers, {12, 40, 33}},  // a trailing comma, as a print loop leaves it
    {"-3.5,+2,1e3,.5,-0", LineParse::kNumbers, {-3.5, 2, 1000, 0.5, 0}},
    {"7", LineParse::kNumbers, {7}},
    {"", LineParse::kBlank, {}},
    {" \t ", LineParse::kBlank, {}},
    {"12,,40", LineParse::kGarbage, {}},
    {",12", LineParse::kGarbage, {}},
    {"12,40,", LineParse::kNumbers, {12, 40}},
    {"12,40,,", LineParse::kGarbage, {}},
    {"Ready", LineParse::kGarbage, {}},
    {"12;40", LineParse::kGarbage, {}},
    {"12,4O", LineParse::kGarbage, {}},
    {"nan,1", LineParse::kGarbage, {}},
    {"inf", LineParse::kGarbage, {}},
    {"0x10", LineParse::kGarbage, {}},
    {"1e999", LineParse::kGarbage, {}},  // infinite once read
    {"+-1", LineParse::kGarbage, {}},
    {"1-2", LineParse::kGarbage, {}},
    {"1e", LineParse::kGarbage, {}},
    {"-", LineParse::kGarbage, {}},
};

TEST(GloveLineParser, ReadsNumbersAndRefusesEverythingElse) {
  for (const ParseCase& c : kParseCases) {
    GloveLine line;
    EXPECT_EQ(parseGloveLine(c.text, line), c.result) << "'" << c.text << "'";
    if (c.result != LineParse::kNumbers) continue;
    EXPECT_EQ(std::vector<double>(line.value, line.value + line.count), c.numbers) << "'" << c.text << "'";
  }
  GloveLine line;
  EXPECT_EQ(parseGloveLine(std::string("1\0" "2", 3), line), LineParse::kGarbage);
}

TEST(GloveLineParser, RefusesMoreNumbersThanALineHolds) {
  std::string text;
  for (int index = 0; index < kMostLineNumbers; ++index) text += "1,";
  GloveLine line;
  EXPECT_EQ(parseGloveLine(text, line), LineParse::kNumbers);
  EXPECT_EQ(line.count, kMostLineNumbers);
  EXPECT_EQ(parseGloveLine(text + "1", line), LineParse::kTooManyNumbers);
}

// Feeds bytes and lists each event with the line it completed.
std::vector<std::string> eventsOf(LineAssembler& assembler, const std::string& bytes) {
  std::vector<std::string> events;
  for (char byte : bytes) {
    switch (lineAssemblerFeed(assembler, byte)) {
      case LineEvent::kNone: break;
      case LineEvent::kLine: events.push_back("line " + assembler.line); break;
      case LineEvent::kPartial: events.push_back("partial " + assembler.line); break;
      case LineEvent::kTooLong: events.push_back("too long"); break;
    }
  }
  return events;
}

TEST(GloveLineAssembler, SkipsTheTailMetOnOpeningAndLinesTooLong) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> events;
  };
  const std::string longLine(kLongestLine + 1, '1');
  const Case cases[] = {
      {"opened mid-line", "3,4\r\n1,2\r\n5,6\n", {"partial 3,4", "line 1,2", "line 5,6"}},
      {"opened between lines", "\n1,2\r\n", {"line 1,2"}},
      {"carriage returns alone end lines", "x\r1\r2\r", {"partial x", "line 1", "line 2"}},
      {"a line not ended yet waits", "\n1,2", {}},
      {"too long, then whole again", "\n" + longLine + "\n7\n", {"too long", "line 7"}},
      {"exactly as long as allowed", "\n" + longLine.substr(1) + "\n", {"line " + longLine.substr(1)}},
  };
  for (const Case& c : cases) {
    LineAssembler assembler;
    EXPECT_EQ(eventsOf(assembler, c.bytes), c.events) << c.name;
  }
  LineAssembler assembler;
  eventsOf(assembler, "\n1,");
  lineAssemblerRestart(assembler);  // the device came back: what follows is a tail again
  EXPECT_EQ(eventsOf(assembler, "2\n3\n"), (std::vector<std::string>{"partial 2", "line 3"}));
}

}  // namespace
