#pragma once

// A serial glove's text: lines of numbers separated by commas, spaces or tabs, as
// an Arduino-class board prints them ("12,40,33,8,0,1,0,0,0\r\n"). Bytes become lines
// here and lines become numbers; what they mean is the column map's business.

#include <cstddef>
#include <string>
#include <string_view>

// A line holds at most this many numbers, and this many bytes; longer ones are refused.
constexpr int kMostLineNumbers = 32;
constexpr size_t kLongestLine = 512;

// What became of a line.
enum class LineParse {
  kNumbers,         // numbers, now in the GloveLine
  kBlank,           // nothing but separators: ignored, as a glove's empty lines are
  kGarbage,         // anything that is not a number, an empty field, NaN or infinity
  kTooManyNumbers,  // more than kMostLineNumbers
};

struct GloveLine {
  int count = 0;
  double value[kMostLineNumbers] = {};
};

// One decimal number filling the whole token (an optional sign, digits with an optional
// fraction and exponent), finite; false for anything else.
bool parseGloveNumber(std::string_view token, double& value);

// Splits a line (without its end) into decimal numbers: an optional sign, digits with
// an optional fraction and exponent. One comma, with any spaces or tabs around it, or
// spaces and tabs alone, separate two numbers; a trailing comma is allowed.
LineParse parseGloveLine(std::string_view text, GloveLine& line);

// What a byte completed.
enum class LineEvent {
  kNone,     // nothing yet
  kLine,     // a whole line, in the assembler's `line`
  kPartial,  // the end of a line whose start was missed (the device was just opened)
  kTooLong,  // the end of a line longer than kLongestLine, dropped
};

// Gathers bytes into lines. A carriage return or a newline ends a line.
struct LineAssembler {
  std::string line;          // the line being gathered, or the one just completed
  bool started = false;      // a line end has been seen since the device was opened
  bool overflowed = false;   // the line being gathered has outgrown kLongestLine
  bool completed = false;    // `line` holds a completed line, cleared by the next byte
};

// Takes one byte from the device.
LineEvent lineAssemblerFeed(LineAssembler& assembler, char byte);

// The device was opened (again): the bytes before its next line end are a line's tail.
void lineAssemblerRestart(LineAssembler& assembler);
