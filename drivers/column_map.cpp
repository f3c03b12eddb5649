#include "drivers/column_map.h"

#include <algorithm>

namespace {

constexpr std::string_view kColumnNames = "thumb index middle ring little x y z a1 a2 a3 A B C D -";

bool refused(std::string& error, std::string reason) {
  error = std::move(reason);
  return false;
}

}  // namespace

bool columnMapParse(std::string_view list, ColumnMap& map, std::string& error) {
  map = ColumnMap{};
  size_t at = 0;
  for (;;) {
    const size_t end = std::min(list.find(',', at), list.size());
    const std::string_view name = list.substr(at, end - at);
    if (name.empty()) return refused(error, "an empty column name in '" + std::string(list.substr(0, 200)) + "'");
    const int field = name == "-" ? kSkippedColumn : gloveFieldNamed(name);
    if (name != "-" && field < 0)
      return refused(error, "unknown column '" + std::string(name.substr(0, 40)) + "': the names are " +
                                std::string(kColumnNames) + " (- skips a column)");
    if (field >= 0 && (map.fields & gloveFieldBit(field)))
      return refused(error, "column '" + std::string(name) + "' is named twice");
    if (map.count == kMostLineNumbers)
      return refused(error, "more than " + std::to_string(kMostLineNumbers) + " columns");
    map.field[map.count++] = field;
    if (field >= 0) map.fields |= gloveFieldBit(field);
    if (end == list.size()) return true;
    at = end + 1;
  }
}

LineRefusal columnMapApply(const ColumnMap& map, const Calibration& calibration, const GloveLine& line,
                           GloveRecord& record) {
  if (line.count < map.count) return LineRefusal::kTooFew;
  if (line.count > map.count) return LineRefusal::kTooMany;
  for (int column = 0; column < map.count; ++column)
    if (!gloveReadingUsable(line.value[column])) return LineRefusal::kOutOfRange;
  for (int column = 0; column < map.count; ++column) {
    const int field = map.field[column];
    if (field == kSkippedColumn) continue;
    const bool bend = field >= kFieldThumb && field <= kFieldLittle;
    const double value = bend ? calibratedBend(calibration.finger[field - kFieldThumb], line.value[column])
                              : line.value[column];
    gloveFieldSet(record, field, value);
  }
  return LineRefusal::kNone;
}
