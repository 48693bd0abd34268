#include <algorithm>
#include <cmath>

#include "tests/testutil.h"
#include "model/modeltext.h"
#include "tools/runner.h"

using namespace uav;
using namespace uav::test;

namespace {

std::string trainer() { return std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl"; }

RunOptions cruise(double seconds) {
    RunOptions o;
    o.modelPath = trainer();
    o.initial = {58, 0, 100, 0};
    o.sliders.throttle = 20;  // 40 % throttle
    o.seconds = seconds;
    return o;
}

std::string csvOf(const RunOptions& o) {
    std::ostringstream out;
    runFlight(o, &out);
    return out.str();
}

}  // namespace

TEST(RunnerOptions, BadInputNamesWhatIsWrong) {
    struct Row { std::vector<std::string> args; const char* mustContain; };
    const Row rows[] = {
        {{"m.mdl", "--speed", "fast"}, "--speed"},
        {{"m.mdl", "--speed", "101"}, "outside"},
        {{"m.mdl", "--ailerons", "12.5"}, "whole"},
        {{"m.mdl", "--seed", "-1"}, "--seed"},
        {{"m.mdl", "--throttle"}, "needs a value"},
        {{"m.mdl", "--decimal-sep", ";"}, "--decimal-sep"},
        {{"m.mdl", "--frobnicate"}, "--frobnicate"},
        {{"a.mdl", "b.mdl"}, "more than one"},
        {{"--seconds", "5"}, "no model file"},
        {{"m.mdl", "--mode", "loiter"}, "--mode"},
        {{"m.mdl", "--set", "returnAltitude"}, "NAME=VALUE"},
        {{"m.mdl", "--set", "altitude=5"}, "unknown autopilot setting 'altitude'"},
        {{"m.mdl", "--tune-stop", "4"}, "--tune-start"},
        {{"m.mdl", "--tune-start", "4", "--tune-stop", "3"}, "before the start"},
    };
    for (const Row& r : rows) {
        RunOptions fresh;
        const std::string message = errorOf([&] { parseRunArgs(r.args, fresh); });
        EXPECT_NE(message.find(r.mustContain), std::string::npos) << message;
    }
    RunOptions o;
    EXPECT_FALSE(parseRunArgs({"--help"}, o));
    ASSERT_TRUE(parseRunArgs({"x.mdl", "--decimal-sep", ",", "--mode", "return", "--set", "stab.Edit2=12.5",
                              "--seed", "18446744073709551615"}, o));
    EXPECT_EQ(o.decimalSep, ',');
    EXPECT_EQ(o.mode, ApMode::Return);
    EXPECT_EQ(o.settings.at(0), (std::pair<std::string, std::string>{"stab.Edit2", "12.5"}));
    EXPECT_EQ(o.seed, 18446744073709551615ull);  // the largest seed
    // A missing model file; the trainer (written with decimal points) read with a comma.
    RunOptions missing = cruise(1), comma = cruise(1);
    missing.modelPath = "/nonexistent/model.mdl";
    EXPECT_THROW(runFlight(missing, nullptr), SimError);
    comma.decimalSep = ',';
    const std::string message = errorOf([&] { runFlight(comma, nullptr); });
    EXPECT_NE(message.find("is not a valid floating point value"), std::string::npos) << message;
}

// A file with none of the model's keys flies as the all-default model, with a
// warning naming it; a real model gives none.
TEST(RunnerModelFile, FileWithoutModelIsFlownWithAWarning) {
    const TempDir dir;
    putFile(dir / "notes.ini", "[Window]\r\nWidth=800\r\n");
    RunOptions o = cruise(0.1);
    std::ostringstream warnings;
    runFlight(o, nullptr, &warnings);
    EXPECT_EQ(warnings.str(), "");
    o.modelPath = dir / "notes.ini";
    const RunSummary s = runFlight(o, nullptr, &warnings);
    EXPECT_EQ(warnings.str(), "uavsim-run: " + noModelWarning(o.modelPath) + "\n");
    EXPECT_EQ(s.fault, SimFault::None);
    EXPECT_TRUE(std::isfinite(s.final.posH));
}

// Open loop, surfaces centred: at 40 % throttle the trainer cruises level or
// climbs gently for a minute; at idle it glides down at a trainer's rate.
TEST(ReferenceTrainer, CruisesLevelAndGlidesAtPlausibleRates) {
    const RunSummary c = runFlight(cruise(60), nullptr);
    EXPECT_EQ(c.fault, SimFault::None);
    EXPECT_GT(c.minAltitude, 95);
    EXPECT_LT(c.maxAltitude, 140);
    EXPECT_NEAR(-c.final.airflowBody.x, 16, 2);  // m/s
    EXPECT_LT(std::fabs(c.final.rollAngle), 0.01);

    RunOptions idle = cruise(40);
    idle.sliders.throttle = 100;
    const RunSummary g = runFlight(idle, nullptr);
    const double sink = -g.final.velocity.y, speed = -g.final.airflowBody.x;  // m/s
    EXPECT_GT(sink, 1.0);
    EXPECT_LT(sink, 5.0);
    EXPECT_GT(speed / sink, 3);  // glide ratio of a draggy trainer, 1:3 .. 1:10
    EXPECT_LT(speed / sink, 10);
}

TEST(ReferenceTrainer, CsvRowsAreCompleteAndRunsAreRepeatable) {
    RunOptions o = cruise(2);
    o.csvEvery = 10;
    std::ostringstream a;
    const RunSummary s = runFlight(o, &a);
    EXPECT_EQ(a.str(), csvOf(o));
    std::istringstream in(a.str());
    int rows = -1;  // after the header
    for (std::string line; std::getline(in, line); ++rows)
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 21 + 8 + 24 - 1) << "row " << rows;
    EXPECT_EQ(rows, 20);
    EXPECT_EQ(s.csvRows, 20);
}

TEST(ReferenceTrainer, RussianWindowsCopyFliesTheSameWithADecimalComma) {
    // The same model as a Russian Windows system writes it: decimal commas,
    // Windows-1251 names, CR LF.
    std::string bytes = fileBytes(trainer());
    std::replace(bytes.begin(), bytes.end(), '.', ',');
    const TempDir dir;
    putFile(dir / "trainer.mdl", bytes);
    RunOptions point = cruise(3), comma = cruise(3);
    comma.modelPath = dir / "trainer.mdl";
    comma.decimalSep = ',';
    EXPECT_EQ(csvOf(point), csvOf(comma));
}

TEST(ReferenceTrainer, AutopilotSettingsAndTuningFromTheRunner) {
    // Relay tuning in level flight under the stabiliser.
    RunOptions o = cruise(30);
    o.mode = ApMode::Stabilise;
    o.tuneStart = 10;
    o.tuneStop = 25;
    const RunSummary s = runFlight(o, nullptr);
    EXPECT_TRUE(s.autopilotError.empty()) << s.autopilotError;
    EXPECT_NE(s.tuningResult.find("rollLoop.kp="), std::string::npos) << s.tuningResult;
    EXPECT_NE(s.tuningResult.find("pitchLoop.kd="), std::string::npos) << s.tuningResult;
    o.settings = {{"homeRadius", "weit"}};  // a bad text stops the run before it starts
    EXPECT_THROW(runFlight(o, nullptr), SimError);
}

TEST(ReferenceTrainer, GustsAreReproducibleBySeed) {
    RunOptions o = cruise(3);
    o.csvEvery = 5;
    const std::string calm = csvOf(o);
    o.gustMax = 8;
    o.gustPeriod = 1;
    o.seed = 42;
    const std::string a = csvOf(o), b = csvOf(o);
    EXPECT_EQ(a, b) << "the same seed gives a byte-identical CSV";
    EXPECT_NE(a, calm);
    // Up to the first gust (one period in) the flight is the calm one.
    EXPECT_EQ(a.substr(0, a.find("\n1.05")), calm.substr(0, calm.find("\n1.05")));
    o.seed = 43;
    EXPECT_NE(csvOf(o), a);
}
