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

// Only what went wrong: for each signed item that was not always named right, what was
// printed instead and how often. A full matrix of 37 handshapes is nearly all empty.
void printConfusion(FILE* out, Family family, const Tally& tally) {
  const std::map<std::string, int>& responses = tally.responses[static_cast<int>(family)];
  if (responses.empty()) return;
  const std::vector<std::string> rows = familyItems(family);
  size_t labelWidth = 0;
  for (const std::string& row : rows) labelWidth = std::max(labelWidth, row.size());

  std::fprintf(out, "\nConfusions: %ss (signed: what was printed instead, trials; - is nothing)\n\n",
               familyName(family));
  bool any = false;
  for (const std::string& row : rows) {
    std::vector<std::pair<int, std::string>> wrong;  // (trials, printed), most first
    int trials = 0, missed = 0;
    for (auto found = responses.lower_bound(row + '\t'); found != responses.end() && found->first.starts_with(row + '\t');
         ++found) {
      const std::string printed = found->first.substr(row.size() + 1);
      trials += found->second;
      if (printed == row) continue;
      missed += found->second;
      wrong.emplace_back(found->second, printed == kNothing ? "-" : printed);
    }
    if (wrong.empty()) continue;
    std::stable_sort(wrong.begin(), wrong.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string line;
    for (const auto& [count, printed] : wrong) line += (line.empty() ? "" : ", ") + printed + " " + std::to_string(count);
    std::fprintf(out, "  %-*s  %s  (%d of %d trials)\n", static_cast<int>(labelWidth), row.c_str(), line.c_str(), missed,
                 trials);
    any = true;
  }
  if (!any) std::fprintf(out, "  none: every %s was named right\n", familyName(family));
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
