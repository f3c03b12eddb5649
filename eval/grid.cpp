#include "eval/grid.h"

#include <cstdio>

namespace {

constexpr int kFullGridSeeds = 5;

std::vector<Family> everyFamily() { return {Family::kHandshape, Family::kMovement, Family::kWord}; }

// Quoted when it holds a comma, a quote or a line break, as CSV readers expect.
std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

void append(std::vector<Condition>& cells, const std::vector<Condition>& more) {
  for (const Condition& cell : more) {
    bool known = false;
    for (const Condition& existing : cells)
      known = known || (existing.noise == cell.noise && existing.bendNoise == cell.bendNoise &&
                        existing.tempo == cell.tempo && existing.scanMs == cell.scanMs &&
                        existing.refreshMs == cell.refreshMs);
    if (!known) cells.push_back(cell);
  }
}

}  // namespace

std::vector<Condition> gridCells(const GridAxes& axes) {
  std::vector<Condition> cells;
  for (int noise : axes.noise)
    for (int bendNoise : axes.bendNoise)
      for (double tempo : axes.tempo)
        for (int scanMs : axes.scanMs)
          for (int refreshMs : axes.refreshMs) cells.push_back({noise, bendNoise, tempo, scanMs, refreshMs, 0});
  return cells;
}

std::vector<uint64_t> seedRange(int count) {
  std::vector<uint64_t> seeds;
  for (int seed = 1; seed <= count; ++seed) seeds.push_back(static_cast<uint64_t>(seed));
  return seeds;
}

bool presetGrid(std::string_view name, Grid& grid) {
  grid = Grid{};
  grid.families = everyFamily();
  if (name == "full") {
    append(grid.cells, gridCells({.noise = {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}, .tempo = {0.25, 0.5, 1, 2, 4}}));
    append(grid.cells, gridCells({.bendNoise = {1, 2, 3}}));
    append(grid.cells, gridCells({.tempo = {0.75, 1.5, 3}}));
    append(grid.cells, gridCells({.scanMs = {0, 1, 4, 6, 8}}));
    append(grid.cells, gridCells({.refreshMs = {1, 2, 5, 10, 15, 20}}));
    grid.seeds = seedRange(kFullGridSeeds);
    return true;
  }
  if (name == "small") {
    append(grid.cells, gridCells({}));  // clean: everything must be recognised
    append(grid.cells, gridCells({.noise = {20}}));
    append(grid.cells, gridCells({.bendNoise = {3}}));
    append(grid.cells, gridCells({.tempo = {0.25}}));
    append(grid.cells, gridCells({.refreshMs = {20}}));
    grid.seeds = seedRange(1);
    return true;
  }
  return false;
}

std::vector<Trial> gridTrials(const Grid& grid) {
  std::vector<Trial> trials;
  const std::vector<Item>& items = allItems();
  for (size_t cell = 0; cell < grid.cells.size(); ++cell)
    for (uint64_t seed : grid.seeds)
      for (size_t item = 0; item < items.size(); ++item) {
        bool wanted = false;
        for (Family family : grid.families) wanted = wanted || items[item].family == family;
        if (!wanted) continue;
        Condition condition = grid.cells[cell];
        condition.seed = seed;
        trials.push_back({cell, condition, item});
      }
  return trials;
}

std::string tempoText(double tempo) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", tempo);
  return text;
}

std::string csvHeader() { return "trial,noise,bend_noise,tempo,scan_ms,refresh_ms,seed,family,item,printed,response,correct"; }

std::string csvRow(size_t index, const Trial& trial, const Outcome& outcome) {
  const Condition& c = trial.condition;
  const Item& item = allItems()[trial.item];
  std::string printed;
  for (const std::string& name : outcome.printed) printed += (printed.empty() ? "" : ";") + name;
  return std::to_string(index) + ',' + std::to_string(c.noise) + ',' + std::to_string(c.bendNoise) + ',' +
         tempoText(c.tempo) + ',' + std::to_string(c.scanMs) + ',' + std::to_string(c.refreshMs) + ',' +
         std::to_string(c.seed) + ',' + familyName(item.family) + ',' + csvField(item.name) + ',' +
         csvField(printed) + ',' + csvField(outcome.response) + ',' + (outcome.correct ? '1' : '0');
}
