// How fast the simulator runs the whole program: virtual seconds per wall second on
// the demo and on a long sign-recognition session (clean, and with the glove jittering
// by 10, as most of the evaluation's trials do), with idle polling skipped and, for
// comparison, polled call by call; and the platform calls made per virtual second.

#include <benchmark/benchmark.h>

#include <string>

#include "simulator/demo.h"
#include "simulator/script.h"
#include "simulator/simulation.h"

namespace {

void runScript(benchmark::State& state, const std::string& script) {
  Scenario scenario;
  ScriptError error;
  if (!compileScript(script, scenario, error)) return state.SkipWithError(error.message.c_str());
  WorldOptions options;
  options.skipIdlePolling = state.range(0) != 0;
  double virtualSeconds = 0, calls = 0;
  for (auto _ : state) {
    const SimulationResult result = runSimulation(scenario, options);
    if (result.exitStatus != 0) return state.SkipWithError("the program did not end by itself");
    virtualSeconds += static_cast<double>(result.endMicros) / 1e6;
    calls += static_cast<double>(result.observation.calls);
  }
  state.SetLabel(options.skipIdlePolling ? "idle polling skipped" : "every poll made");
  state.counters["virtual_s_per_wall_s"] = benchmark::Counter(virtualSeconds, benchmark::Counter::kIsRate);
  state.counters["calls_per_virtual_s"] = calls / virtualSeconds;
}

void BM_Demo(benchmark::State& state) { runScript(state, kDemoScript); }
BENCHMARK(BM_Demo)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LongSession(benchmark::State& state) { runScript(state, longSessionScript()); }
BENCHMARK(BM_LongSession)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_LongSessionNoise10(benchmark::State& state) { runScript(state, "noise 10\n" + longSessionScript()); }
BENCHMARK(BM_LongSessionNoise10)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
