#pragma once

// What each number of a serial glove's line is: a list of column names, in order,
// from `thumb index middle ring little x y z a1 a2 a3 A B C D -` (`-` skips a column).

#include <string>
#include <string_view>

#include "drivers/calibration.h"
#include "drivers/glove_fields.h"
#include "drivers/line_parser.h"

constexpr const char* kDefaultColumns = "thumb,index,middle,ring,little,A,B,C,D";
constexpr int kSkippedColumn = -1;

struct ColumnMap {
  int count = 0;
  int field[kMostLineNumbers] = {};  // a GloveField, or kSkippedColumn
  GloveFieldSet fields = 0;          // the fields the columns give
};

// Reads a comma-separated list of column names; false with the reason in error for an
// unknown name, a field named twice, an empty name or too many columns.
bool columnMapParse(std::string_view list, ColumnMap& map, std::string& error);

// Why a line of numbers was not used.
enum class LineRefusal { kNone, kTooFew, kTooMany, kOutOfRange };

// Sets the record's fields from a line's numbers, bends through the calibration. A line
// must have one number per column, each finite and within kLargestReading; otherwise
// the record is left as it was and the refusal says why.
LineRefusal columnMapApply(const ColumnMap& map, const Calibration& calibration, const GloveLine& line,
                           GloveRecord& record);
