// The runner tool against careless and hostile use: the CSV never costs a
// file, a fault ends the telemetry at the last valid state.
#include <cmath>
#include <random>
#include <regex>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/testutil.h"
#include "control/headless.h"
#include "model/apply.h"
#include "model/inifile.h"
#include "tools/runner.h"

using namespace uav;
using namespace uav::test;

namespace {

std::string trainer() { return std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl"; }

struct ToolRun {
    int status;
    std::string err;
};

// Runs uavsim-run with the arguments (each single-quoted for the shell),
// after the shell commands in `prefix`.
ToolRun runTool(const TempDir& dir, const std::vector<std::string>& args, const std::string& prefix = {}) {
    std::string cmd = prefix + "'" UAVSIM_RUN_EXE "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " --quiet 2>'" + dir / "stderr.txt" + "'";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, fileBytes(dir / "stderr.txt")};
}

// The trainer with one line replaced, e.g. "TV=" -> "TV=1e308".
std::string trainerWith(const std::string& key, const std::string& value) {
    const std::string bytes = fileBytes(trainer());
    return std::regex_replace(bytes, std::regex("\n" + key + "=[^\r\n]*"), "\n" + key + "=" + value);
}

bool allFinite(const std::string& csv) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            if (!std::isfinite(std::strtod(cell.c_str(), nullptr))) return false;
    }
    return true;
}

std::string lastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of('\n');
    return text.substr(text.rfind('\n', end) + 1, end - text.rfind('\n', end));
}

}  // namespace

TEST(RunnerCsv, NeverReplacesTheModelNorEmptiesACsvOnARefusedRun) {
    const TempDir dir;
    const std::string model = dir / "v.mdl", csv = dir / "old.csv";
    putFile(model, fileBytes(trainer()));
    const std::string original = fileBytes(model);
    ::symlink(model.c_str(), (dir / "sym.csv").c_str());
    ::link(model.c_str(), (dir / "hard.csv").c_str());
    for (const std::string& target : std::vector<std::string>{model, dir / "sym.csv", dir / "hard.csv", dir / "../" + dir.path.filename().string() + "/v.mdl"}) {
        const ToolRun r = runTool(dir, {model, "--csv", target, "--seconds", "1"});
        EXPECT_EQ(r.status, 2) << target;
        EXPECT_NE(r.err.find("is the model file '" + model + "'"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(target), std::string::npos) << r.err;
        EXPECT_EQ(fileBytes(model), original) << target;
    }
    // A run refused for a missing model, a bad model text or a bad setting
    // leaves an existing CSV alone.
    putFile(csv, "keep me\n");
    putFile(dir / "bad.mdl", trainerWith("M", "two"));
    const std::vector<std::vector<std::string>> refused = {
        {dir / "missing.mdl", "--csv", csv},
        {dir / "bad.mdl", "--csv", csv},
        {model, "--csv", csv, "--set", "homeRadius=far"},
        {model, "--csv", csv, "--speed", "101"},
    };
    for (const auto& args : refused) {
        EXPECT_EQ(runTool(dir, args).status, 2) << args[0];
        EXPECT_EQ(fileBytes(csv), "keep me\n") << args[0];
    }
    // The system's reason for a CSV that cannot be written; limits as typed.
    ToolRun r = runTool(dir, {model, "--csv", dir / "no/such/dir.csv"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    r = runTool(dir, {model, "--csv", dir.path.string()});
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
    r = runTool(dir, {model, "--speed", "101"});
    EXPECT_NE(r.err.find("101 is outside 0 .. 100"), std::string::npos) << r.err;
    r = runTool(dir, {model, "--gust-period", "0"});
    EXPECT_NE(r.err.find("0 is outside 0.01 .. 1000"), std::string::npos) << r.err;
    // A full disk part-way (a file-size limit, its signal ignored): the reason, status 2.
    r = runTool(dir, {model, "--csv", dir / "full.csv", "--seconds", "60", "--every", "1"},
                "trap '' XFSZ; ulimit -f 64; ");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("writing the CSV telemetry failed: File too large"), std::string::npos) << r.err;
    // A good run writes the CSV with status 0.
    r = runTool(dir, {model, "--csv", csv, "--seconds", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fileBytes(csv).rfind("t_s,", 0), 0u);
}

TEST(RunnerCsv, AFaultStopsTheRunAtTheLastValidState) {
    const TempDir dir;
    struct Row { const char *key, *value; int status; const char* why; };
    const Row rows[] = {
        {"TV", "1e308", 2, "thrust TV x M x g overflows: the apply refuses the model"},
        {"M", "1e-300", 3, "the first step's acceleration overflows"},
        {"M", "1e300", 3, "the thrust and slipstream overflow the forces"},
        {"TV", "1e3", 3, "finite for a few ticks, then the motion overflows"},
    };
    for (const Row& row : rows) {
        putFile(dir / "m.mdl", trainerWith(row.key, row.value));
        std::remove((dir / "m.csv").c_str());
        const ToolRun r = runTool(dir, {dir / "m.mdl", "--csv", dir / "m.csv", "--every", "3", "--seconds", "2"});
        EXPECT_EQ(r.status, row.status) << row.why << r.err;
        const std::string csv = fileBytes(dir / "m.csv");
        EXPECT_TRUE(allFinite(csv)) << row.why;
        if (row.status == 2) {
            EXPECT_NE(r.err.find("Floating point overflow"), std::string::npos) << r.err;
            EXPECT_EQ(csv, "") << "no CSV for a refused model";
        }
    }
    // In process: the last row is the state of the tick before the fault.
    putFile(dir / "m.mdl", trainerWith("TV", "1e3"));
    RunOptions o;
    o.modelPath = dir / "m.mdl";
    o.seconds = 2;
    o.csvEvery = 1;
    std::ostringstream every;
    const RunSummary s = runFlight(o, &every);
    ASSERT_EQ(s.fault, SimFault::NonFinite);
    ASSERT_GT(s.ticks, 1) << "the model flies a few ticks first";
    EXPECT_EQ(s.faultTime, static_cast<double>(s.ticks) * 0.01);
    o.csvEvery = 1000;  // no regular row at all: the fault writes one
    std::ostringstream sparse;
    runFlight(o, &sparse);
    EXPECT_EQ(lastLine(sparse.str()), lastLine(every.str()));
    // The fault row's time is the tick before the fault, with two decimals.
    const std::string faultRow = lastLine(every.str());
    const std::string time = faultRow.substr(0, faultRow.find(','));
    EXPECT_EQ(time.size() - time.find('.'), 3u) << time;
    EXPECT_EQ(std::llround(std::strtod(time.c_str(), nullptr) * 100), s.ticks) << time;
}

// Property: random finite texts between 1e-300 and 1e300 in every field;
// whatever the apply accepts flies 10 s with only finite numbers in the state,
// with the surfaces on the sliders or on the stabiliser.
TEST(RunnerCsv, RandomExtremeModelsNeverPutNonFiniteNumbersIntoTheState) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> exponent(-300.0, 300.0), mantissa(1.0, 10.0), unit(0.0, 1.0);
    auto text = [&] {
        char buf[64];
        const double v = (unit(rng) < 0.5 ? -1 : 1) * mantissa(rng) * std::pow(10.0, std::floor(exponent(rng)));
        std::snprintf(buf, sizeof buf, "%.17g", unit(rng) < 0.8 ? v : std::fabs(v));
        return std::string(buf);
    };
    int accepted = 0;
    for (int model = 0; model < 2000; ++model) {
        ModelTexts t = defaultModelTexts(TextDefaults::ModelFile);
        for (auto& s : t.scalars) s = text();
        for (int i = 0; i < ELEMENT_COUNT; ++i) {
            t.active[i] = unit(rng) < 0.7;
            for (int j = 0; j < PARAM_COUNT; ++j) t.params[i][j] = j == P_NAME ? "x" : text();
        }
        for (auto& row : t.mix)
            for (auto& c : row) c = text();
        SimState s;
        setStartValues(s);
        Aircraft ac;
        ModelOutlines outlines;
        try {
            applyModel(t, '.', s, ac, outlines, nullptr);
        } catch (const SimError&) {
            continue;  // refused with a message: nothing to fly
        }
        ++accepted;
        applyInitialConditions(s, {30, 15, 100, 0});
        Autopilot ap;
        initAutopilot(ap, defaultStabiliserTexts('.'), defaultReturnTexts('.'), '.', s);
        ap.sliders = {static_cast<int>(unit(rng) * 200) - 100, 0, 50, -100};
        // Every other model under the stabiliser, its loops driving the surfaces.
        if (model % 2) engageMode(ap, ApMode::Stabilise, s, defaultReturnTexts('.'), '.');
        HeadlessControl hc(ap);
        s.running = true;
        int ticks = 0;
        for (; ticks < 1000; ++ticks) {
            headlessTick(hc, ap, s, ac);
            if (!stateFinite(s)) break;
        }
        EXPECT_EQ(ticks, 1000) << "model " << model << " went non-finite";
    }
    EXPECT_GT(accepted, 50) << "the generator must produce models the apply accepts";
}

// The trainer as other editors save it flies the same, byte for byte.
TEST(RunnerCsv, TrainerSavedByOtherEditorsFliesTheSame) {
    const std::string original = fileBytes(trainer());
    auto without = [](std::string s, char c) {
        s.erase(std::remove(s.begin(), s.end(), c), s.end());
        return s;
    };
    const TempDir dir;
    // The mark right before the first section (the comment above it dropped).
    putFile(dir / "bom.mdl", "\xEF\xBB\xBF" + cp1251ToUtf8(original.substr(original.find("\n[") + 1)));
    putFile(dir / "cr.mdl", without(original, '\n'));
    putFile(dir / "lf.mdl", without(original, '\r'));
    RunOptions o;
    o.modelPath = trainer();
    o.seconds = 5;
    o.csvEvery = 1;
    std::ostringstream reference;
    runFlight(o, &reference);
    for (const char* name : {"bom.mdl", "cr.mdl", "lf.mdl"}) {
        o.modelPath = dir / name;
        std::ostringstream csv;
        runFlight(o, &csv);
        EXPECT_TRUE(csv.str() == reference.str()) << name;
    }
}
