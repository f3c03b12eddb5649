#include "eval/report.h"

#include <algorithm>

namespace {

std::string percent(const Count& count) {
  if (count.trials == 0) return "-";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", 100.0 * count.correct / count.trials);
  return text;
}

const Family kAllFamilies[] = {Family::kHandshape, Family::kMovement, Family::kWord};

void printConditions(FILE* out, const Grid& grid, const Tally& tally) {
  std::fprintf(out, "Accuracy per condition (%% of trials recognised)\n\n");
  std::fprintf(out, "%5s %5s %5s %5s %7s | %10s %10s %10s | %6s\n", "noise", "bends", "tempo", "scan", "refresh",
               "handshapes", "movements", "words", "trials");
  for (size_t cell = 0; cell < grid.cells.size(); ++cell) {
    const Condition& c = grid.cells[cell];
    int trials = 0;
    for (int family = 0; family < kFamilies; ++family) trials += tally.cellFamily[cell * kFamilies + family].trials;
    if (trials == 0) continue;
    std::fprintf(out, "%5d %5d %5s %5d %7d | %10s %10s %10s | %6d\n", c.noise, c.bendNoise, tempoText(c.tempo).c_str(),
                 c.scanMs, c.refreshMs, percent(tally.cellFamily[cell * kFamilies + 0]).c_str(),
                 percent(tally.cellFamily[cell * kFamilies + 1]).c_str(),
                 percent(tally.cellFamily[cell * kFamilies + 2]).c_str(), trials);
  }
}

void printClasses(FILE* out, const Tally& tally) {
  std::fprintf(out, "\nAccuracy per class over every condition run (%%)\n");
  const std::vector<Item>& items = allItems();
  for (Family family : kAllFamilies) {
    std::string line = std::string(familyName(family)) + "s:";
    bool any = false;
    for (size_t index = 0; index < items.size(); ++index) {
      if (items[index].family != family || tally.item[index].trials == 0) continue;
      if (!any) std::fprintf(out, "\n");
      any = true;
      const std::string entry = " " + items[index].name + " " + percent(tally.item[index]);
      if (line.size() + entry.size() > 96) {
        std::fprintf(out, "%s\n", line.c_str());
        line = "   ";
      }
      line += entry;
    }
    if (any) std::fprintf(out, "%s\n", line.c_str());
  }
}

void printConfusion(FILE* out, Family family, const Tally& tally) {
  const std::map<std::string, int>& responses = tally.responses[static_cast<int>(family)];
  if (responses.empty()) return;
  const std::vector<std::string> rows = familyItems(family);
  std::vector<std::string> columns = rows;
  for (const auto& [key, count] : responses) {  // anything printed beyond the family's names
    const std::string response = key.substr(key.find('\t') + 1);
    if (response != kNothing && std::find(columns.begin(), columns.end(), response) == columns.end())
      columns.push_back(response);
  }
  columns.emplace_back(kNothing);

  size_t labelWidth = 0;
  for (const std::string& row : rows) labelWidth = std::max(labelWidth, row.size());
  int width = 3;
  for (const auto& [key, count] : responses) width = std::max(width, static_cast<int>(std::to_string(count).size()) + 1);

  std::fprintf(out, "\nConfusion: %ss (rows: signed; columns: printed, by number; - is nothing)\n\n", familyName(family));
  std::fprintf(out, "%*s", static_cast<int>(labelWidth) + 4, "");
  for (size_t column = 0; column < columns.size(); ++column) {
    const std::string heading = columns[column] == kNothing ? "-" : std::to_string(column + 1);
    std::fprintf(out, "%*s", width, heading.c_str());
  }
  std::fprintf(out, "\n");
  for (size_t row = 0; row < rows.size(); ++row) {
    std::fprintf(out, "%2zu %-*s ", row + 1, static_cast<int>(labelWidth), rows[row].c_str());
    for (const std::string& column : columns) {
      const auto found = responses.find(rows[row] + '\t' + column);
      std::fprintf(out, "%*s", width, found == responses.end() ? "." : std::to_string(found->second).c_str());
    }
    std::fprintf(out, "\n");
  }
  for (size_t column = rows.size(); column + 1 < columns.size(); ++column)
    std::fprintf(out, "%2zu %s (printed only)\n", column + 1, columns[column].c_str());
}

}  // namespace

Tally makeTally(const Grid& grid) {
  Tally tally;
  tally.cellFamily.resize(grid.cells.size() * kFamilies);
  tally.item.resize(allItems().size());
  return tally;
}

void tallyTrial(Tally& tally, const Trial& trial, bool correct, const std::string& response) {
  const Item& item = allItems()[trial.item];
  const int family = static_cast<int>(item.family);
  for (Count* count : {&tally.cellFamily[trial.cell * kFamilies + family], &tally.item[trial.item]}) {
    ++count->trials;
    count->correct += correct ? 1 : 0;
  }
  ++tally.responses[family][item.name + '\t' + response];
  ++tally.trials;
}

void printReport(FILE* out, const Grid& grid, const Tally& tally) {
  printConditions(out, grid, tally);
  printClasses(out, tally);
  for (Family family : kAllFamilies) printConfusion(out, family, tally);
}
