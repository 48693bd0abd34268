// The headless runner flying the reference trainer in autopilot mode Return
// from a kilometre out: simulated seconds per wall second, reported as the
// counter "realtime_x". Each 20 ms of simulated time runs the control tick,
// the loop tick (altitude, heading, bank, pitch and speed loops, servo update)
// and two dynamics ticks.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "tools/runner.h"

using namespace uav;

namespace {

std::string trainerPath() {
    const char* src = std::getenv("UAVSIM_SOURCE_DIR");
    return std::string(src ? src : UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl";
}

void BM_RunnerReturnMode(benchmark::State& state) {
    RunOptions opt;
    opt.modelPath = trainerPath();
    opt.initial = {60, 0, 300, 1000};
    opt.mode = ApMode::Return;
    opt.seconds = 900;  // the way home and ten minutes circling
    double simulated = 0.0;
    for (auto _ : state) {
        const RunSummary sum = runFlight(opt, nullptr);
        simulated += sum.simSeconds;
        benchmark::DoNotOptimize(sum.final.posH);
    }
    state.counters["realtime_x"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunnerReturnMode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
