#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/trial.h"

// The conditions an evaluation runs under and the trials that make it up.

struct Grid {
  std::vector<Condition> cells;  // each cell once; seeds are left 0 here
  std::vector<uint64_t> seeds;   // every cell runs once for each
  std::vector<Family> families;  // the items taken: every item of these families
};

// The knob values of a grid built as every combination of them.
struct GridAxes {
  std::vector<int> noise = {0};
  std::vector<int> bendNoise = {0};
  std::vector<double> tempo = {1};
  std::vector<int> scanMs = {2};
  std::vector<int> refreshMs = {0};
};

// Every combination of the axes' values, noise varying slowest.
std::vector<Condition> gridCells(const GridAxes& axes);

// The named grids: "full" (the published figures: noise against tempo, then each other
// knob on its own from clean conditions, over five seeds) and "small" (a few cells,
// one seed). False for an unknown name.
bool presetGrid(std::string_view name, Grid& grid);

// Seeds 1 to count.
std::vector<uint64_t> seedRange(int count);

struct Trial {
  size_t cell;       // index into the grid's cells
  Condition condition;  // the cell's, with the seed
  size_t item;       // index into allItems()
};

// Every trial of the grid in the order they are written: cell by cell, seed by seed,
// item by item.
std::vector<Trial> gridTrials(const Grid& grid);

// The CSV's first line.
std::string csvHeader();

// The CSV line of a trial (without the newline).
std::string csvRow(size_t index, const Trial& trial, const Outcome& outcome);

// A tempo as the CSV and the tables write it: the shortest exact form (0.25, 1, 4).
std::string tempoText(double tempo);
