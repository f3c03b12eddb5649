#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "eval/grid.h"

// What the trials came to: accuracy per condition, per class, and what each class was
// taken for.

struct Count {
  int trials = 0;
  int correct = 0;
};

struct Tally {
  std::vector<Count> cellFamily;                     // [cell * kFamilies + family]
  std::vector<Count> item;                           // [item in allItems()]
  std::map<std::string, int> responses[kFamilies];   // [family][item name + '\t' + response]
  int trials = 0;
};

// An empty tally for the grid.
Tally makeTally(const Grid& grid);

// Counts one finished trial.
void tallyTrial(Tally& tally, const Trial& trial, bool correct, const std::string& response);

// Writes the tables: accuracy per condition and family, per class, and a confusion
// matrix per family (rows: what was signed; columns: what was printed, "nothing" last).
void printReport(FILE* out, const Grid& grid, const Tally& tally);
