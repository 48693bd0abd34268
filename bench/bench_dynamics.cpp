// Cost of the simulation itself: one dynamics tick with eight active
// elements, and the headless runner with and without CSV telemetry.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "core/dynamics.h"
#include "model/apply.h"
#include "model/modeltext.h"
#include "tools/runner.h"

using namespace uav;

namespace {

std::string trainerPath() {
    const char* src = std::getenv("UAVSIM_SOURCE_DIR");
    return std::string(src ? src : UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl";
}

// The trainer with elements 4..7 made copies of 0..3, so all eight are active.
void eightElementTrainer(SimState& s, Aircraft& ac) {
    setStartValues(s);
    ModelTexts t = loadModelFile(trainerPath());
    for (int i = 4; i < ELEMENT_COUNT; ++i) {
        t.active[i] = true;
        t.params[i] = t.params[i - 4];
    }
    ModelOutlines o;
    applyModel(t, '.', s, ac, o, nullptr);
    applyInitialConditions(s, {58, 0, 100, 0});
    s.thrustBody = VecScale(ac.params.thrustVec, 0.4);
    s.running = true;
}

void BM_DynamicsTick8Elements(benchmark::State& state) {
    SimState s;
    Aircraft ac;
    eightElementTrainer(s, ac);
    const SimState start = s;
    std::int64_t n = 0;
    for (auto _ : state) {
        dynamicsTick(s, ac);
        benchmark::DoNotOptimize(s.posH);
        if (++n % 100000 == 0) s = start;  // keep the flight in a sane envelope
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DynamicsTick8Elements);

// Simulated seconds per wall second, reported as the counter "realtime_x".
void runnerBench(benchmark::State& state, double seconds, bool withCsv) {
    RunOptions opt;
    opt.modelPath = trainerPath();
    opt.initial = {58, 0, 100, 0};
    opt.sliders.throttle = 20;
    opt.seconds = seconds;
    opt.csvEvery = 10;
    double simulated = 0.0;
    for (auto _ : state) {
        std::ostringstream csv;
        const RunSummary sum = runFlight(opt, withCsv ? &csv : nullptr);
        simulated += sum.simSeconds;
        benchmark::DoNotOptimize(csv.tellp());
    }
    state.counters["realtime_x"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}

void BM_RunnerOneHourNoCsv(benchmark::State& state) { runnerBench(state, 3600, false); }
BENCHMARK(BM_RunnerOneHourNoCsv)->Unit(benchmark::kMillisecond);

void BM_RunnerCsvEvery10(benchmark::State& state) { runnerBench(state, 600, true); }
BENCHMARK(BM_RunnerCsvEvery10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
