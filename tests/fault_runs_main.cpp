// signglove_fault_runs [RUNS [FIRST_SEED]]: runs that many randomized fault runs (default
// 100000 from seed 1) and reports how many ended by themselves, printed a line no
// valid frame of the controller's names, or did not end with the final pattern; the
// first few failing seeds are listed, and the script of the first is printed.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fault_runs.h"

int main(int argc, char** argv) {
  const uint64_t runs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  uint64_t hangs = 0, runsWithWrongLines = 0, wrongLines = 0, lines = 0, missedFinal = 0;
  std::vector<uint64_t> failing;
  std::string firstScript;
  for (uint64_t seed = first; seed < first + runs; ++seed) {
    const FaultRun run = makeFaultRun(seed);
    const FaultRunVerdict verdict = checkFaultRun(run);
    hangs += verdict.hung;
    runsWithWrongLines += verdict.wrongLines > 0;
    wrongLines += static_cast<uint64_t>(verdict.wrongLines);
    lines += static_cast<uint64_t>(verdict.lines);
    missedFinal += !verdict.endsWithFinalPattern;
    if (!verdict.passed()) {
      if (failing.empty()) firstScript = run.script;
      if (failing.size() < 20) failing.push_back(seed);
    }
  }
  std::printf("runs %llu (seeds %llu to %llu)\nhangs %llu\nruns with wrong lines %llu (%llu wrong of %llu lines)\n"
              "runs not ending with the final pattern %llu\n",
              static_cast<unsigned long long>(runs), static_cast<unsigned long long>(first),
              static_cast<unsigned long long>(first + runs - 1), static_cast<unsigned long long>(hangs),
              static_cast<unsigned long long>(runsWithWrongLines), static_cast<unsigned long long>(wrongLines),
              static_cast<unsigned long long>(lines), static_cast<unsigned long long>(missedFinal));
  if (!failing.empty()) {
    std::printf("failing seeds:");
    for (uint64_t seed : failing) std::printf(" %llu", static_cast<unsigned long long>(seed));
    std::printf("\nfirst failing script:\n%s", firstScript.c_str());
  }
  return failing.empty() ? 0 : 1;
}
