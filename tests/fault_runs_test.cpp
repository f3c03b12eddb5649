// Randomized fault runs over the simulator: a few hundred seeds on every test run.
// tests/fault_runs_main.cpp runs as many as wanted by hand.

#include "tests/fault_runs.h"

#include <gtest/gtest.h>

namespace {

// Under the sanitizers a run costs some twenty times as much: fewer seeds there.
#if defined(__SANITIZE_ADDRESS__)
constexpr uint64_t kSeeds = 20;
#else
constexpr uint64_t kSeeds = 200;
#endif

TEST(FaultRuns, EndByThemselvesPrintOnlyWhatWasSentAndEndWithTheFinalPattern) {
  int runs = 0;
  for (uint64_t seed = 1; seed <= kSeeds; ++seed) {
    const FaultRun run = makeFaultRun(seed);
    const FaultRunVerdict verdict = checkFaultRun(run);
    ++runs;
    ASSERT_FALSE(verdict.hung) << verdict.stopReason << "\n" << run.script;
    ASSERT_EQ(verdict.wrongLines, 0) << "first: '" << verdict.firstWrongLine << "'\n" << run.script;
    ASSERT_TRUE(verdict.endsWithFinalPattern) << run.script;
  }
  EXPECT_EQ(runs, static_cast<int>(kSeeds));
}

TEST(FaultRuns, TheSameSeedGivesTheSameScenario) {
  EXPECT_EQ(makeFaultRun(42).script, makeFaultRun(42).script);
  EXPECT_NE(makeFaultRun(42).script, makeFaultRun(43).script);
}

}  // namespace
