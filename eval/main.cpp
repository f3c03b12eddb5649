// signglove-eval: how well the recogniser holds up. Runs every handshape, movement and
// word through the program in the simulator under a grid of noise, tempo and timing
// conditions, writes one CSV line per trial and prints accuracy and confusion tables.

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/command_line.h"
#include "eval/grid.h"
#include "eval/report.h"
#include "eval/workers.h"

namespace {

constexpr int kExitInterrupted = 130;
// The trial list is held whole (some 60 bytes a trial); a grid larger than this would
// take days to run anyway.
constexpr long double kMostTrials = 1'000'000;
// What a trial of the full grid costs on the machine its figures were taken on, for
// telling a user beforehand what the full grid will take.
constexpr long double kTrialCpuSeconds = 0.0015;

int defaultJobs() {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<int>(cores) : 1;
}

// NaN passes every range check, as it compares false with both ends: refused here first.
const CLI::Validator kFinite(
    [](std::string& text) {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      return end != text.c_str() && !std::isfinite(value) ? "not a finite number: " + text : std::string();
    },
    "FINITE");

// The number of trials a grid would have, worked out without building it: the preset's
// cells, or every combination of the axes given, by seeds and items.
long double trialCount(const Grid& preset, const GridAxes& axes, bool custom, int seeds) {
  long double items = 0;
  for (const Item& item : allItems())
    for (Family family : preset.families) items += item.family == family ? 1 : 0;
  const long double cells = custom ? static_cast<long double>(axes.noise.size()) * axes.bendNoise.size() *
                                         axes.tempo.size() * axes.scanMs.size() * axes.refreshMs.size()
                                   : static_cast<long double>(preset.cells.size());
  const long double seedCount = seeds > 0 ? seeds : custom ? 1 : static_cast<long double>(preset.seeds.size());
  return cells * seedCount * items;
}

// Every write to the CSV and the report is checked: a full disk is an error.
bool written(FILE* file, const std::string& path) {
  if (std::fflush(file) == 0 && !std::ferror(file)) return true;
  std::fprintf(stderr, "signglove-eval: cannot write %s: %s\n", path.c_str(), std::strerror(errno ? errno : EIO));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Measures how often signglove names what the virtual signer signed, under a grid of conditions.",
               "signglove-eval"};
  app.footer(
      "\nRuns every handshape, movement and word the virtual signer knows through signglove in the simulator,\n"
      "under a grid of conditions. Writes one CSV line per trial, then prints accuracy per condition and per\n"
      "class and, per family, what was taken for what. Giving any of --noise, --bend-noise, --tempo, --scan,\n"
      "--refresh runs every combination of the values given instead of a preset grid (the knobs not given\n"
      "stay clean: 0, 0, 1, 2, 0).\n\n"
      "Exit status: 0; 1 when a worker fails or a write fails; 2 for a bad command line; 130 when interrupted.");
  std::string gridName = "small", csvPath = "eval.csv";
  int jobs = defaultJobs(), seeds = 0;
  std::vector<std::string> families;
  GridAxes axes;
  bool quiet = false;
  addVersionFlag(app);
  app.add_option("--grid", gridName, "preset grid: small (a quick look, the default) or full (the published figures)")
      ->check(CLI::IsMember({"full", "small"}))
      ->capture_default_str();
  app.add_option("--csv", csvPath, "where the trials go, one line each (-: standard output, and the tables go to standard error)")->capture_default_str();
  app.add_option("-j,--jobs", jobs, "worker processes (default: one per core)")->check(CLI::Range(1, 256));
  app.add_option("--seeds", seeds, "run every cell with seeds 1 to N (default: the grid's own)")
      ->check(CLI::Range(1, 1000));
  app.add_option("--family", families, "only these families: handshape, movement, word")
      ->check(CLI::IsMember({"handshape", "movement", "word"}))
      ->delimiter(',');
  app.add_option("--noise", axes.noise, "position and angle jitter values, e.g. 0,5,10")
      ->check(CLI::Range(0, 1000))
      ->delimiter(',');
  app.add_option("--bend-noise", axes.bendNoise, "bend jitter values")->check(CLI::Range(0, 255))->delimiter(',');
  app.add_option("--tempo", axes.tempo, "signer tempo factors (2: twice as long)")
      ->check(kFinite)
      ->check(CLI::Range(0.01, 100.0))
      ->delimiter(',');
  app.add_option("--scan", axes.scanMs, "controller scan times in ms")->check(CLI::Range(0, 10000))->delimiter(',');
  app.add_option("--refresh", axes.refreshMs, "glove record refresh periods in ms (0: every poll)")
      ->check(CLI::Range(0, 10000))
      ->delimiter(',');
  app.add_flag("-q,--quiet", quiet, "no progress bar (it is shown only on a terminal anyway)");
  if (const int status = parseCommandLine(app, argc, argv); status >= 0) return status;

  Grid grid;
  presetGrid(gridName, grid);
  const bool customGrid = app.count("--noise") + app.count("--bend-noise") + app.count("--tempo") +
                              app.count("--scan") + app.count("--refresh") >
                          0;
  if (!families.empty()) {
    grid.families.clear();
    for (const std::string& name : families)
      grid.families.push_back(name == "handshape" ? Family::kHandshape
                              : name == "movement"  ? Family::kMovement
                                                    : Family::kWord);
  }
  // Refused before anything is built, so that a grid too large is never half allocated.
  if (const long double count = trialCount(grid, axes, customGrid, seeds); count > kMostTrials) {
    std::fprintf(stderr, "signglove-eval: the grid would have %.0Lf trials; at most %.0Lf fit in one run\n", count,
                 kMostTrials);
    return kExitUsage;
  }
  if (app.count("--grid") == 0 && !customGrid) {
    Grid full;
    presetGrid("full", full);
    full.families = grid.families;
    const long double fullTrials = trialCount(full, axes, false, seeds);
    std::fprintf(stderr,
                 "signglove-eval: running the small grid; --grid full runs %.0Lf trials, about %.0Lf s of CPU "
                 "(%.0Lf s on %d workers)\n",
                 fullTrials, fullTrials * kTrialCpuSeconds, fullTrials * kTrialCpuSeconds / jobs, jobs);
  }
  if (customGrid) {
    grid.cells = gridCells(axes);
    if (seeds == 0) seeds = 1;
  }
  if (seeds > 0) grid.seeds = seedRange(seeds);

  FILE* csv = csvPath == "-" ? stdout : std::fopen(csvPath.c_str(), "w");
  if (!csv) {
    std::fprintf(stderr, "signglove-eval: cannot write %s: %s\n", csvPath.c_str(), std::strerror(errno));
    return 1;
  }
  const std::vector<Trial> trials = gridTrials(grid);
  std::fprintf(csv, "%s\n", csvHeader().c_str());
  std::fprintf(stderr, "signglove-eval: %zu trials (%zu conditions, %zu seeds) on %d workers\n", trials.size(),
               grid.cells.size(), grid.seeds.size(), jobs);

  Tally tally = makeTally(grid);
  RunOptions options;
  options.jobs = jobs;
  options.csv = csv;
  options.progress = !quiet && isatty(STDERR_FILENO) == 1;
  const RunResult result = runTrials(trials, options, tally);
  const std::string csvName = csv == stdout ? "standard output" : csvPath;
  if (result.writeError) {
    std::fprintf(stderr, "signglove-eval: cannot write %s: %s; stopped after %zu trials\n", csvName.c_str(),
                 std::strerror(result.writeError), result.done);
    return 1;
  }
  if (!written(csv, csvName)) return 1;
  if (csv != stdout && std::fclose(csv) != 0) {
    std::fprintf(stderr, "signglove-eval: cannot write %s: %s\n", csvName.c_str(), std::strerror(errno));
    return 1;
  }
  printReport(csv == stdout ? stderr : stdout, grid, tally);
  if (csv != stdout && !written(stdout, "standard output")) return 1;
  if (result.failed) {
    std::fprintf(stderr, "signglove-eval: a worker failed; %zu of %zu trials written\n", result.done, trials.size());
    return 1;
  }
  if (result.interrupted) {
    std::fprintf(stderr, "signglove-eval: interrupted; the first %zu of %zu trials are in %s\n", result.done,
                 trials.size(), csvPath.c_str());
    return kExitInterrupted;
  }
  return 0;
}
