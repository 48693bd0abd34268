// The step-wise flight: the same flight as the runner's, the window's
// engagement rules for the mode, all-or-nothing settings, the options checked
// with the caller's names, the model as a file or as its bytes, the fault latch.
#include <cmath>
#include <regex>
#include <sstream>

#include "flight/flight.h"
#include "record/telemetry.h"
#include "tests/testutil.h"
#include "tools/runner.h"

using namespace uav;
using namespace uav::test;

namespace {

std::string trainer() { return std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl"; }

RunOptions gustyStabilise() {
    RunOptions o;
    o.modelPath = trainer();
    o.initial = {58, 0, 100, 0};
    o.sliders = {30, -5, 10, 0};
    o.gustMax = 4;
    o.gustPeriod = 0.73;  // not a whole number of control periods
    o.seed = 11;
    o.mode = ApMode::Stabilise;
    o.engageAt = 1.01;  // an odd tick: between the two ticks of a control period
    o.tuneStart = 3;
    o.tuneStop = 9.5;
    o.seconds = 10.03;
    return o;
}

std::string runnerCsv(const RunOptions& o) {
    std::ostringstream out;
    runFlight(o, &out);
    return out.str();
}

}  // namespace

// Flown tick by tick with the runner's schedule, the flight's kept telemetry
// is the runner's CSV byte for byte, at any row interval.
TEST(Flight, KeptTelemetryIsTheRunnersCsv) {
    RunOptions o = gustyStabilise();
    FlightOptions fo = o;
    fo.mode = ApMode::Off;  // engaged on schedule below
    Flight f(fo);
    f.keepTelemetry();
    EXPECT_EQ(f.run(101), 101);
    f.setMode(ApMode::Stabilise);
    EXPECT_TRUE(f.step()) << "one tick, up to the control period's end";
    EXPECT_EQ(f.ticks(), 102);
    while (f.ticks() < 300) ASSERT_TRUE(f.step());
    f.startTuning();
    EXPECT_EQ(f.run(650), 650);
    const TuningProposal p = f.stopTuning();
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(p[0].first, "rollLoop.kp");
    EXPECT_EQ(p[5].first, "pitchLoop.kd");
    EXPECT_FALSE(f.tuning());
    EXPECT_EQ(f.run(53), 53);
    EXPECT_EQ(f.ticks(), 1003);
    for (int every : {10, 7, 1}) {
        o.csvEvery = every;
        std::ostringstream csv;
        f.writeCsv(csv, every);
        EXPECT_EQ(csv.str(), runnerCsv(o)) << "every " << every;
    }
    // The runner prints the same proposal.
    o.csvEvery = 10;
    const RunSummary sum = runFlight(o, nullptr);
    std::string text;
    for (const auto& [name, value] : p) text += (text.empty() ? "" : " ") + name + "=" + value;
    EXPECT_EQ(sum.tuningResult, text);
    EXPECT_EQ(sum.tuningCaption, f.tuningCaption());
}

// The mode selector of the window: a Return engagement reads the auto-return
// texts as typed; a bad one throws and leaves everything as it was.
TEST(Flight, AFailedEngagementLeavesThePreviousModeUntouched) {
    FlightOptions fo = gustyStabilise();
    Flight f(fo), twin(fo);
    f.run(150);
    twin.run(150);
    f.setSettingTexts({{"returnAltitude", "high"}});
    const std::string message = errorOf([&] { f.setMode(ApMode::Return); });
    EXPECT_NE(message.find("'high' is not a valid floating point value"), std::string::npos) << message;
    EXPECT_EQ(f.mode(), ApMode::Stabilise);
    f.run(200);
    twin.run(200);
    expectSameState(f.state(), twin.state());
    EXPECT_EQ(f.autopilot().loops.rollLoop.integral, twin.autopilot().loops.rollLoop.integral);
    // Corrected, the engagement goes through and the return climbs to it.
    f.setSettingTexts({{"returnAltitude", "160"}});
    f.setMode(ApMode::Return);
    EXPECT_EQ(f.mode(), ApMode::Return);
    EXPECT_EQ(f.autopilot().returnSettings.returnAltitude, 160.0);
    // An unknown name changes no text.
    EXPECT_NE(errorOf([&] { f.setSettingTexts({{"rollLoop.kp", "3"}, {"nosuch", "1"}}); }).find("nosuch"),
              std::string::npos);
    EXPECT_EQ(f.stabiliserTexts().text[ST_ROLL_KP], twin.stabiliserTexts().text[ST_ROLL_KP]);
}

TEST(Flight, SettingsApplyAllOrNothing) {
    Flight f(gustyStabilise());
    const double kp = f.autopilot().loops.rollLoop.kp;
    f.setSettingTexts({{"rollLoop.kp", "12.5"}, {"speedMin", "slow"}});
    EXPECT_EQ(errorOf([&] { f.applySettings(); }), "autopilot settings: 'slow' is not a valid floating point value");
    EXPECT_EQ(f.autopilot().loops.rollLoop.kp, kp) << "the text before the bad one is not applied either";
    f.setSettingTexts({{"speedMin", "20"}});
    f.applySettings();
    EXPECT_EQ(f.autopilot().loops.rollLoop.kp, 12.5);
    EXPECT_NEAR(f.autopilot().stabiliser.speedMin, 20 / 3.6, 1e-12) << "km/h in the text, m/s inside";
}

TEST(Flight, OptionsAreCheckedWithTheCallersNames) {
    const FlightOptionNames py{"decimal_sep", "speed_kmh", "angle_deg", "altitude_m", "distance_m",
                               "wind_north", "wind_east", "gust_max", "gust_period", "ailerons",
                               "elevator", "rudder", "throttle", "settings"};
    struct Row { std::function<void(FlightOptions&)> set; const char* runner; const char* python; };
    const Row rows[] = {
        {[](FlightOptions& o) { o.initial.speedKmh = 120; }, "option --speed: 120 is outside 0 .. 100",
         "speed_kmh: 120 is outside 0 .. 100"},
        {[](FlightOptions& o) { o.initial.altitudeM = NAN; }, "option --altitude: 'nan' is not a number",
         "altitude_m: 'nan' is not a number"},
        {[](FlightOptions& o) { o.windEast = -INFINITY; }, "option --wind-east: '-inf' is not a number",
         "wind_east: '-inf' is not a number"},
        {[](FlightOptions& o) { o.gustPeriod = 0; }, "option --gust-period: 0 is outside 0.01 .. 1000",
         "gust_period: 0 is outside 0.01 .. 1000"},
        {[](FlightOptions& o) { o.sliders.throttle = -101; }, "option --throttle: -101 is outside -100 .. 100",
         "throttle: -101 is outside -100 .. 100"},
        {[](FlightOptions& o) { o.decimalSep = ';'; }, "option --decimal-sep: ';' is not . or ,",
         "decimal_sep: ';' is not . or ,"},
        {[](FlightOptions& o) { o.settings = {{"rollLoop.kq", "1"}}; }, "option --set: ", "settings: "},
    };
    for (const Row& r : rows) {
        FlightOptions o;
        o.modelPath = trainer();
        r.set(o);
        EXPECT_EQ(errorOf([&] { Flight f(o); }).rfind(r.runner, 0), 0u) << r.runner;
        EXPECT_EQ(errorOf([&] { Flight f(o, py); }).rfind(r.python, 0), 0u) << r.python;
    }
    EXPECT_EQ(errorOf([] { checkedSlider("ailerons", 10.5); }), "ailerons: slider positions are whole numbers");
}

TEST(Flight, ModelFromItsBytesFliesAsTheFile) {
    FlightOptions file;
    file.modelPath = trainer();
    FlightOptions bytes;
    bytes.modelBytes = fileBytes(trainer());
    Flight a(file), b(bytes);
    a.run(300);
    b.run(300);
    expectSameState(a.state(), b.state());
    EXPECT_EQ(b.startWarning(), "");

    bytes.modelBytes = "[Other]\nkey=1\n";
    const Flight c(bytes);
    EXPECT_NE(c.startWarning().find("holds no model"), std::string::npos) << c.startWarning();
    bytes.modelBytes = std::regex_replace(fileBytes(trainer()), std::regex("\nM=[^\r\n]*"), "\nM=two");
    EXPECT_EQ(errorOf([&] { Flight f(bytes); }).rfind("model text: ", 0), 0u);
    bytes.modelPath = "mine.mdl";
    EXPECT_EQ(errorOf([&] { Flight f(bytes); }).rfind("mine.mdl: ", 0), 0u);
}

// A motion that overflows after a few ticks: the flight stops at the last
// valid state, keeps it as its last telemetry row and flies no further.
TEST(Flight, AFaultLatchesAtTheLastValidState) {
    FlightOptions o;
    o.modelBytes = std::regex_replace(fileBytes(trainer()), std::regex("\nTV=[^\r\n]*"), "\nTV=1e3");
    Flight f(o);
    f.keepTelemetry();
    const std::int64_t flown = f.run(200);
    ASSERT_LT(flown, 200);
    ASSERT_GT(flown, 1);
    EXPECT_EQ(f.fault(), SimFault::NonFinite);
    const SimState last = f.state();
    EXPECT_FALSE(f.tick());
    EXPECT_FALSE(f.step());
    EXPECT_EQ(f.ticks(), flown);
    expectSameState(f.state(), last);
    double v[TELEMETRY_COUNT];
    telemetryValues(last, v);
    for (int i = 0; i < TELEMETRY_COUNT; ++i) {
        ASSERT_TRUE(std::isfinite(v[i]));
        EXPECT_EQ(f.loggedRow(f.loggedRows() - 1)[i], v[i]);
    }
    const std::vector<std::int64_t> ticks = f.csvTicks(1000);
    ASSERT_EQ(ticks.size(), 1u) << "no regular row: the fault gives one";
    EXPECT_EQ(ticks[0], flown);
}

// Telemetry kept every few ticks gives the same CSV rows as every tick kept,
// at every multiple of its interval, a fault's last valid state included,
// and refuses an interval it cannot give.
TEST(Flight, TelemetryKeptEveryFewTicksGivesTheSameRows) {
    FlightOptions fo = gustyStabilise();
    Flight all(fo), some(fo);
    all.keepTelemetry();
    some.keepTelemetry(7);
    EXPECT_EQ(all.run(1000), 1000);
    EXPECT_EQ(some.run(1000), 1000);
    EXPECT_EQ(some.loggedRows(), 1 + 1000 / 7);
    EXPECT_EQ(some.loggedTick(some.loggedRows() - 1), 994);
    EXPECT_EQ(some.loggedRowOfTick(994), some.loggedRows() - 1);
    EXPECT_EQ(some.loggedRowOfTick(995), -1);
    for (int every : {7, 21, 700}) {
        std::ostringstream a, b;
        all.writeCsv(a, every);
        some.writeCsv(b, every);
        EXPECT_EQ(a.str(), b.str()) << "every " << every;
    }
    EXPECT_NE(errorOf([&] { some.csvTicks(10); }).find("every: 10 is not a multiple of the 7 ticks"),
              std::string::npos);

    FlightOptions bad;
    bad.modelBytes = std::regex_replace(fileBytes(trainer()), std::regex("\nTV=[^\r\n]*"), "\nTV=1e3");
    Flight faultAll(bad), faultSome(bad);
    faultAll.keepTelemetry();
    faultSome.keepTelemetry(7);
    const std::int64_t flown = faultAll.run(200);
    ASSERT_EQ(faultSome.run(200), flown);
    ASSERT_NE(flown % 7, 0) << "the last valid state is not a kept row";
    std::ostringstream a, b;
    faultAll.writeCsv(a, 7);
    faultSome.writeCsv(b, 7);
    EXPECT_EQ(a.str(), b.str());
    EXPECT_NE(errorOf([] { Flight(FlightOptions{}).keepTelemetry(0); }), "");
}
