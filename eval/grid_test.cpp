#include "eval/grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "eval/report.h"

namespace {

TEST(GridTest, PresetsHoldCleanConditionsAndNoCellTwice) {
  for (const char* name : {"full", "small"}) {
    SCOPED_TRACE(name);
    Grid grid;
    ASSERT_TRUE(presetGrid(name, grid));
    std::set<std::tuple<int, int, double, int, int>> cells;
    for (const Condition& c : grid.cells) cells.insert({c.noise, c.bendNoise, c.tempo, c.scanMs, c.refreshMs});
    EXPECT_EQ(cells.size(), grid.cells.size());
    EXPECT_TRUE(cells.contains({0, 0, 1.0, 2, 0}));
    EXPECT_EQ(grid.families.size(), 3u);
    EXPECT_FALSE(grid.seeds.empty());
  }
  Grid grid;
  EXPECT_FALSE(presetGrid("huge", grid));
}

TEST(GridTest, FullGridSpansEveryKnob) {
  Grid grid;
  ASSERT_TRUE(presetGrid("full", grid));
  int most[5] = {}, tempoLow = 100, tempoHigh = 0;
  for (const Condition& c : grid.cells) {
    most[0] = std::max(most[0], c.noise);
    most[1] = std::max(most[1], c.bendNoise);
    most[2] = std::max(most[2], c.scanMs);
    most[3] = std::max(most[3], c.refreshMs);
    tempoLow = std::min(tempoLow, static_cast<int>(c.tempo * 100));
    tempoHigh = std::max(tempoHigh, static_cast<int>(c.tempo * 100));
  }
  EXPECT_EQ(most[0], 20);
  EXPECT_EQ(most[1], 3);
  EXPECT_EQ(most[2], 8);
  EXPECT_EQ(most[3], 20);
  EXPECT_EQ(tempoLow, 25);
  EXPECT_EQ(tempoHigh, 400);
}

TEST(GridTest, TrialsGoCellBySeedByItem) {
  Grid grid;
  grid.cells = gridCells({.noise = {0, 5}, .tempo = {1, 2}});
  ASSERT_EQ(grid.cells.size(), 4u);
  EXPECT_EQ(grid.cells[1].tempo, 2);  // the last axis varies fastest
  EXPECT_EQ(grid.cells[2].noise, 5);
  grid.seeds = seedRange(2);
  grid.families = {Family::kMovement};
  const std::vector<Trial> trials = gridTrials(grid);
  ASSERT_EQ(trials.size(), 4u * 2 * 7);
  EXPECT_EQ(trials[0].cell, 0u);
  EXPECT_EQ(trials[0].condition.seed, 1u);
  EXPECT_EQ(trials[7].condition.seed, 2u);
  EXPECT_EQ(trials[14].cell, 1u);
  EXPECT_EQ(trials[14].condition.tempo, 2);
  for (const Trial& trial : trials) EXPECT_EQ(allItems()[trial.item].family, Family::kMovement);
}

TEST(GridTest, WritesOneCsvLinePerTrial) {
  Grid grid;
  grid.cells = gridCells({.noise = {4}, .tempo = {0.25}});
  grid.seeds = {3};
  grid.families = {Family::kWord};
  const std::vector<Trial> trials = gridTrials(grid);
  Outcome outcome;
  outcome.printed = {"my", "I"};
  outcome.response = "my";
  EXPECT_EQ(csvRow(17, trials[4], outcome), "17,4,0,0.25,2,0,3,word,I,my;I,my,0");
  outcome.printed = {"say \"hi\", twice"};
  EXPECT_EQ(csvRow(0, trials[0], outcome), "0,4,0,0.25,2,0,3,word,welcome,\"say \"\"hi\"\", twice\",my,0");
  const std::string header = csvHeader();
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 11);
}

TEST(ReportTest, CountsAccuracyAndConfusion) {
  Grid grid;
  grid.cells = gridCells({.noise = {0, 20}});
  grid.seeds = {1};
  grid.families = {Family::kMovement};
  const std::vector<Trial> trials = gridTrials(grid);
  Tally tally = makeTally(grid);
  for (const Trial& trial : trials) {
    const std::string& name = allItems()[trial.item].name;
    const bool noisy = trial.condition.noise > 0;
    const bool correct = !noisy || name != "down";
    tallyTrial(tally, trial, correct, correct ? name : "towardBody");
  }
  EXPECT_EQ(tally.trials, 14);
  const int movement = static_cast<int>(Family::kMovement);
  EXPECT_EQ(tally.cellFamily[0 * kFamilies + movement].correct, 7);
  EXPECT_EQ(tally.cellFamily[1 * kFamilies + movement].correct, 6);
  EXPECT_EQ((tally.responses[movement].at("down\ttowardBody")), 1);
  EXPECT_EQ((tally.responses[movement].at("down\tdown")), 1);

  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  printReport(out, grid, tally);
  std::fclose(out);
  const std::string report(text, size);
  std::free(text);
  EXPECT_NE(report.find("   20     0     1     2       0 |          -       85.7          - |      7"), std::string::npos)
      << report;
  EXPECT_NE(report.find("\n  down              towardBody 1  (1 of 2 trials)\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("leftToRight  "), std::string::npos) << report;  // always right: not listed
}

}  // namespace
