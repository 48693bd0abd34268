// Reading a model through the INI store: the trainer after N filler lines
// (blank lines, or key lines of a section no one reads). The time per byte
// must stay flat as the file grows to the 16 MiB limit.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "model/inifile.h"
#include "model/modeltext.h"

using namespace uav;

namespace {

std::string trainerBytes() {
    const char* src = std::getenv("UAVSIM_SOURCE_DIR");
    std::ifstream in(std::string(src ? src : UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void readPadded(benchmark::State& state, const std::string& filler) {
    std::string bytes;
    const auto lines = static_cast<std::size_t>(state.range(0));
    bytes.reserve(lines * filler.size() + 8192);
    bytes += "[Pad]\n";
    for (std::size_t i = 0; i < lines; ++i) bytes += filler;
    bytes += trainerBytes();
    for (auto _ : state) {
        const IniFile f = IniFile::fromBytes(bytes);
        const ModelTexts t = loadModelTexts(f, TextDefaults::ModelFile);
        benchmark::DoNotOptimize(t.scalars[0].data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_ReadModelAfterBlankLines(benchmark::State& state) { readPadded(state, "\n"); }
void BM_ReadModelAfterKeyLines(benchmark::State& state) { readPadded(state, "a=\n"); }

}  // namespace

BENCHMARK(BM_ReadModelAfterBlankLines)->RangeMultiplier(16)->Range(1 << 8, 1 << 24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadModelAfterKeyLines)->RangeMultiplier(16)->Range(1 << 8, 1 << 22)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
