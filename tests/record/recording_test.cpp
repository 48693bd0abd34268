// The recording format: what is written reads back the same, and a damaged,
// cut or foreign file is refused at the first bad block.
#include <cmath>
#include <cstring>
#include <sstream>

#include "record/plotring.h"
#include "record/recorder.h"
#include "record/recording.h"
#include "record/replay.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {

RecordingStart sampleStart() {
    RecordingStart s;
    s.clockMs = 123456;
    s.flightTick = 98765;
    s.state.posH = 101.25;
    s.state.velocity = {14, -0.5, 2};
    s.state.orient.m[0][1] = 0.125;
    s.state.elemForceBody[7] = {1, 2, 3};
    s.state.servoPos[3] = -0.3;
    s.state.running = true;
    s.state.fault = SimFault::BadInertia;
    s.aircraft.elements[5].active = true;
    s.aircraft.elements[5].servoSpeed = 2.5;
    s.aircraft.mix.c[MIX_ELE][2] = -1;
    s.aircraft.params.thrustVec = {9, 0.1, 0};
    s.autopilot.mode = ApMode::Return;
    s.autopilot.loopTimerOn = true;
    s.autopilot.servos.servoTimeMs = 99;
    s.autopilot.loops.headingLoop.integral = 0.75;
    s.autopilot.returnSettings.headingByAilerons = false;
    s.autopilot.tuning.rollCrossings = 7;
    s.autopilot.tuning.startTimeMs = 5;
    s.sliders = {10, -20, 30, -100};
    s.gustsOn = true;
    s.gustMax = 7;
    s.gustPeriod = 3;
    s.randomState = SeededUniform(42).saveState();
    s.modelTexts = defaultModelTexts(TextDefaults::StartUp);
    s.modelTexts.scalars[3] = "Масса 2,5";  // any bytes, Cyrillic included
    s.modelDecimalSep = ',';
    s.stabiliserTexts = defaultStabiliserTexts(',');
    s.returnTexts = defaultReturnTexts('.');
    s.returnTexts.headingGroupIndex = 1;
    s.settingsDecimalSep = ',';
    return s;
}

// One event of every kind, in a sequence whose stamps are consistent.
std::vector<Event> everyKind() {
    auto ret = std::make_shared<ReturnTexts>(defaultReturnTexts(','));
    ret->text[RT_ALTITUDE] = "200";
    auto model = std::make_shared<ModelTexts>(defaultModelTexts(TextDefaults::ModelFile));
    model->params[2][4] = "0,3";
    auto stab = std::make_shared<StabiliserTexts>(defaultStabiliserTexts(','));
    std::vector<EventData> d = {ev::ControlTick{1000},
                                ev::LoopTick{1001},
                                ev::DynamicsTick{true, 1002},
                                ev::Slider{3, -57},
                                ev::Mode{ApMode::Return, ret, ','},
                                ev::ModelApply{model, ','},
                                ev::StabiliserApply{stab, ','},
                                ev::ReturnApply{ret, '.'},
                                ev::Initial{{50, 10, 300, -1200}},
                                ev::Run{false},
                                ev::DynamicsTick{false, 1012},
                                ev::Wind{5, -2.5},
                                ev::Gust{10, 3.25, -1.5},
                                ev::TuningStart{},
                                ev::TuningStop{2000},
                                ev::End{}};
    std::vector<Event> out;
    std::int64_t ticks = 0;
    for (auto& e : d) {
        out.push_back({ticks, e});
        if (std::holds_alternative<ev::DynamicsTick>(e)) ++ticks;
    }
    return out;
}

// Header, start block, then the events split over blocks of `perBlock`.
std::string fileOf(const RecordingStart& st, const std::vector<Event>& events, std::size_t perBlock,
                   std::vector<std::size_t>* boundaries = nullptr) {
    std::string f = encodeHeader();
    if (boundaries) boundaries->push_back(f.size());
    f += encodeStartBlock(st);
    if (boundaries) boundaries->push_back(f.size());
    std::uint32_t index = 1;
    for (std::size_t i = 0; i < events.size(); i += perBlock) {
        const std::vector<Event> part(events.begin() + static_cast<long>(i),
                                      events.begin() + static_cast<long>(std::min(events.size(), i + perBlock)));
        f += encodeEventBlock(index++, part);
        if (boundaries) boundaries->push_back(f.size());
    }
    return f;
}

int csvLines(const std::string& csv) { return static_cast<int>(std::count(csv.begin(), csv.end(), '\n')); }

std::vector<Event> readAll(RecordingReader& r) {
    std::vector<Event> all;
    for (;;) {
        auto b = r.nextBlock();
        if (b.empty()) break;
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

}  // namespace

// The check sum is the CRC-32 of zlib and PNG (reflected 0x04C11DB7, both
// inversions): its standard check value, the empty text, and a sum carried
// over two pieces.
TEST(RecordingFormat, CheckSumIsTheStandardCrc32) {
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32(""), 0u);
    EXPECT_EQ(crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(crc32("6789", crc32("12345")), 0xCBF43926u);
}

TEST(RecordingFormat, EveryEventKindAndTheWholeStartReadBackAsWritten) {
    const RecordingStart st = sampleStart();
    const std::vector<Event> events = everyKind();
    std::vector<bool> kinds(std::variant_size_v<EventData>);
    for (const Event& e : events) kinds[e.data.index()] = true;
    ASSERT_EQ(std::count(kinds.begin(), kinds.end(), true), static_cast<long>(kinds.size()));  // every kind
    const std::string file = fileOf(st, events, 4);
    RecordingReader r(file);
    EXPECT_EQ(r.writtenBy(), programVersion());
    const RecordingStart back = r.start();

    expectSameState(back.state, st.state);
    EXPECT_EQ(back.clockMs, st.clockMs);
    EXPECT_EQ(back.flightTick, st.flightTick);
    EXPECT_EQ(back.aircraft.elements[5].servoSpeed, 2.5);
    EXPECT_TRUE(back.aircraft.elements[5].active);
    EXPECT_EQ(back.aircraft.mix.c[MIX_ELE][2], -1);
    EXPECT_EQ(back.aircraft.params.thrustVec, st.aircraft.params.thrustVec);
    EXPECT_EQ(back.autopilot.mode, ApMode::Return);
    EXPECT_EQ(back.autopilot.servos.servoTimeMs, std::optional<ClockMs>(99));
    EXPECT_EQ(back.autopilot.loops.headingLoop.integral, 0.75);
    EXPECT_FALSE(back.autopilot.returnSettings.headingByAilerons);
    EXPECT_EQ(back.autopilot.tuning.rollCrossings, 7);
    EXPECT_EQ(back.autopilot.tuning.startTimeMs, 5);
    EXPECT_EQ(back.sliders.rudder, -20);
    EXPECT_EQ(back.gustMax, 7);
    EXPECT_EQ(back.gustPeriod, 3);
    EXPECT_EQ(back.randomState, st.randomState);
    EXPECT_EQ(back.modelTexts.scalars, st.modelTexts.scalars);
    EXPECT_EQ(back.modelTexts.params, st.modelTexts.params);
    EXPECT_EQ(back.modelDecimalSep, ',');
    EXPECT_EQ(back.stabiliserTexts.text, st.stabiliserTexts.text);
    EXPECT_EQ(back.returnTexts.headingGroupIndex, 1);

    const std::vector<Event> got = readAll(r);
    EXPECT_TRUE(r.finished());
    ASSERT_EQ(got.size(), events.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].tick, events[i].tick) << i;
        EXPECT_EQ(got[i].data.index(), events[i].data.index()) << i;
    }
    // The values of a few kinds, one field each, byte-exact.
    EXPECT_EQ(std::get<ev::Slider>(got[3].data).position, -57);
    EXPECT_EQ(std::get<ev::Mode>(got[4].data).returnTexts->text[RT_ALTITUDE], "200");
    EXPECT_EQ(std::get<ev::ModelApply>(got[5].data).texts->params[2][4], "0,3");
    EXPECT_EQ(std::get<ev::ReturnApply>(got[7].data).decimalSep, '.');
    EXPECT_EQ(std::get<ev::Initial>(got[8].data).ic.distanceM, -1200);
    EXPECT_EQ(std::get<ev::Gust>(got[12].data).east, -1.5);
    EXPECT_EQ(std::get<ev::TuningStop>(got[14].data).clockMs, 2000);
    EXPECT_FALSE(std::get<ev::DynamicsTick>(got[10].data).running);
}

TEST(RecordingFormat, CutAtEveryBlockBoundaryAndInsideBlocksReadsOnlyWholeBlocks) {
    std::vector<std::size_t> bounds;
    const std::vector<Event> events = everyKind();
    const std::string file = fileOf(sampleStart(), events, 3, &bounds);
    // bounds: after the header, after the start block, after each event block.
    for (std::size_t k = 1; k < bounds.size(); ++k) {
        for (std::size_t cut : {bounds[k], bounds[k] - 1, bounds[k - 1] + 5}) {
            if (cut == file.size()) continue;
            RecordingReader r(std::string_view(file).substr(0, cut));
            if (cut < bounds[1]) {
                EXPECT_THROW(r.start(), RecordingError) << cut;
                continue;
            }
            r.start();
            std::size_t whole = 0;
            long failedBlock = -1;
            try {
                for (;;) {
                    auto b = r.nextBlock();
                    if (b.empty()) break;
                    whole += b.size();
                }
            } catch (const RecordingError& e) {
                failedBlock = e.block;
                EXPECT_NE(std::string(e.what()).find("recording block " + std::to_string(e.block)), std::string::npos);
            }
            // Blocks wholly before the cut are read; a cut inside a block names it.
            const std::size_t blocksBefore = static_cast<std::size_t>(
                std::upper_bound(bounds.begin() + 2, bounds.end(), cut) - (bounds.begin() + 2));
            EXPECT_EQ(whole, std::min(events.size(), 3 * blocksBefore)) << cut;
            EXPECT_EQ(failedBlock, cut == bounds[k] ? -1 : static_cast<long>(blocksBefore + 1)) << cut;
            EXPECT_FALSE(r.finished());
        }
    }
}

TEST(RecordingFormat, DamageIsFoundAndNamed) {
    std::vector<std::size_t> bounds;
    const std::string good = fileOf(sampleStart(), everyKind(), 5, &bounds);
    struct Row { std::string why; std::function<void(std::string&)> damage; long block; const char* says; };
    const Row rows[] = {
        {"flipped bit in block 2's check sum", [&](std::string& f) { f[bounds[3] - 2] ^= 0x10; }, 2, "check sum"},
        {"flipped bit in block 1's data", [&](std::string& f) { f[bounds[1] + 20] ^= 0x01; }, 1, "check sum"},
        {"flipped bit in the start block's check sum", [&](std::string& f) { f[bounds[1] - 1] = static_cast<char>(f[bounds[1] - 1] ^ 0x40); }, 0,
         "check sum"},
        {"block 3 numbered as 2", [&](std::string& f) { f.replace(bounds[3] + 4, 4, std::string("\2\0\0\0", 4)); },
         3, "out of order"},
        {"a huge length in block 1",
         [&](std::string& f) { f.replace(bounds[1] + 8, 4, std::string("\xff\xff\xff\x7f", 4)); }, 1, "bytes"},
        {"rubbish after the end", [&](std::string& f) { f += "UBLK"; }, 5, "after the recording's end"},
    };
    for (const Row& row : rows) {
        std::string f = good;
        row.damage(f);
        long failed = -2;
        std::string message;
        try {
            RecordingReader r(f);
            r.start();
            readAll(r);
        } catch (const RecordingError& e) {
            failed = e.block;
            message = e.what();
        }
        EXPECT_EQ(failed, row.block) << row.why;
        EXPECT_NE(message.find(row.says), std::string::npos) << row.why << ": " << message;
    }
}

TEST(RecordingFormat, ForeignFilesAndOtherVersionsAreNamed) {
    try {
        RecordingReader r(std::string_view("[Model]\r\nM=2\r\n"));
        ADD_FAILURE() << "a model file was read as a recording";
    } catch (const RecordingError& e) {
        EXPECT_EQ(e.block, -1);
        EXPECT_NE(std::string(e.what()).find("not a uavsim recording"), std::string::npos);
    }
    std::string f = encodeHeader() + encodeStartBlock(sampleStart());
    f[8] = 7;  // format version 7, the header's check sum left as it was
    try {
        RecordingReader r(f);
        ADD_FAILURE() << "another version was read";
    } catch (const RecordingError& e) {
        EXPECT_NE(std::string(e.what()).find("format version 7 (written by " + programVersion() + ")"),
                  std::string::npos)
            << e.what();
    }
    std::string h = encodeHeader();
    h[h.size() - 1] ^= 1;
    try {
        RecordingReader r(h);
        ADD_FAILURE() << "a bad header check sum was accepted";
    } catch (const RecordingError& e) {
        EXPECT_NE(std::string(e.what()).find("header's check sum"), std::string::npos);
    }
}

TEST(RecordingFormat, BadValuesInsideAWholeBlockAreRefused) {
    struct Row { const char* why; EventData e; const char* says; };
    const Row rows[] = {
        {"slider 4 does not exist", ev::Slider{4, 0}, "slider 4"},
        {"position beyond the slider", ev::Slider{0, 101}, "position 101"},
        {"NaN wind", ev::Wind{std::nan(""), 0}, "not a number"},
        {"a clock before the program started", ev::ControlTick{-20}, "clock"},
        {"initial speed beyond the field", ev::Initial{{1e300, 0, 0, 0}}, "ranges"},
    };
    for (const Row& row : rows) {
        const std::string f = encodeHeader() + encodeStartBlock(sampleStart()) + encodeEventBlock(1, {{0, row.e}});
        RecordingReader r(f);
        r.start();
        try {
            r.nextBlock();
            ADD_FAILURE() << row.why;
        } catch (const RecordingError& e) {
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << row.why << ": " << e.what();
        }
    }
    // A start the program cannot have held.
    RecordingStart bad = sampleStart();
    bad.state.omegaBody.y = INFINITY;
    const std::string badBytes = encodeHeader() + encodeStartBlock(bad);
    RecordingReader badStart(badBytes);
    EXPECT_THROW(badStart.start(), RecordingError);
    // A stamp that does not count the ticks before it.
    const std::string f = encodeHeader() + encodeStartBlock(sampleStart()) +
                          encodeEventBlock(1, {{0, ev::DynamicsTick{}}, {0, ev::ControlTick{}}});
    RecordingReader r(f);
    r.start();
    EXPECT_THROW(r.nextBlock(), RecordingError);
}

TEST(Telemetry, TimeColumnIsTheTickCountWithTwoDecimals) {
    struct Row {
        std::int64_t tick;
        const char* text;
        const char* why;
    };
    const Row rows[] = {
        {0, "0.00", "the first row of a flight"},
        {1, "0.01", "one tick"},
        {70, "0.70", "70 x 0.01 is 0.7000000000000001 in floating point"},
        {100, "1.00", "whole seconds keep their decimals"},
        {1005, "10.05", "a leading zero in the hundredths"},
        {8640000, "86400.00", "a day of flight"},
        {123456789012, "1234567890.12", "beyond 32-bit tick counts"},
        {-7, "-0.07", "a negative count keeps its sign"},
    };
    for (const Row& r : rows) EXPECT_EQ(tickTimeText(r.tick, 0.01), r.text) << r.why;
    // Every row of a long flight: two decimals, and the text reads back to the tick.
    for (std::int64_t tick = 0; tick < 400000; tick += 7) {
        const std::string t = tickTimeText(tick, 0.01);
        ASSERT_EQ(t.size() - t.find('.'), 3u) << t;
        ASSERT_EQ(std::llround(std::strtod(t.c_str(), nullptr) * 100), tick) << t;
    }
    // A written row: the time text, then the columns as before.
    SimState s;
    s.posX = 0.1;
    std::ostringstream row;
    writeTelemetryRow(row, 70, s);
    EXPECT_EQ(row.str().rfind("0.70,0.1,", 0), 0u) << row.str();
}

TEST(TelemetryRing, HoldsTheLastSamplesAfterTenThousandTicks) {
    TelemetryRing ring(1200);  // 12 s of ticks
    double v[PLOT_QUANTITY_COUNT];
    for (int tick = 1; tick <= 10000; ++tick) {
        for (int q = 0; q < PLOT_QUANTITY_COUNT; ++q) v[q] = tick * 100.0 + q;
        ring.push(tick, v);
    }
    ASSERT_EQ(ring.size(), 1200u);
    EXPECT_DOUBLE_EQ(ring.time(0), 88.01);  // tick 8801, the oldest kept
    EXPECT_DOUBLE_EQ(ring.time(1199), 100.0);
    EXPECT_EQ(ring.value(0, 0), 880100.0);
    EXPECT_EQ(ring.value(1199, PLOT_QUANTITY_COUNT - 1), 1000000.0 + PLOT_QUANTITY_COUNT - 1);
    EXPECT_EQ(ring.value(600, 5), 9401 * 100.0 + 5);
    // The window of the last 10 s starts at tick 9000.
    EXPECT_EQ(ring.firstAtOrAfter(90.0 - 1e-9), 199u);
    EXPECT_EQ(ring.firstAtOrAfter(1000.0), 1200u);
    EXPECT_EQ(ring.firstAtOrAfter(0.0), 0u);

    // From a state: the quantities are the CSV's, the loops follow.
    SimState s;
    s.posH = 42;
    s.rollAngle = PI / 6;
    Autopilot ap;
    ap.loops.rollLoop.setpoint = PI / 4;
    ap.loops.rollLoop.measured = PI / 6;
    ring.push(10001, s, ap);
    const auto& names = plotQuantityNames();
    auto at = [&](const std::string& n) {
        return ring.value(ring.size() - 1, static_cast<int>(std::find(names.begin(), names.end(), n) - names.begin()));
    };
    EXPECT_EQ(at("posH_m"), 42);
    EXPECT_NEAR(at("roll_deg"), 30, 1e-12);
    EXPECT_NEAR(at("rollLoop.setpoint_deg"), 45, 1e-12);
    EXPECT_NEAR(at("rollLoop.error_deg"), 15, 1e-12);
}

TEST(FlightRecorder, EachSecondIsOnDiskAsItEnds) {
    TempDir dir;
    const std::string path = dir / "f.uavrec";
    SimState s;
    {
        FlightRecorder rec(path, sampleStart());
        for (int i = 0; i < 250; ++i) {
            if (i % 2 == 0) rec.add(ev::ControlTick{i * 10});
            s.posH = i;
            rec.dynamicsTick(true, i * 10 + 10, s);
        }
        // What a crash now would leave: the start and two whole seconds.
        const std::string onDisk = fileBytes(path);
        RecordingReader r(onDisk);
        r.start();
        EXPECT_EQ(readAll(r).size(), 300u);  // 2 x (100 ticks + 50 control ticks)
        EXPECT_FALSE(r.finished());
        EXPECT_EQ(csvLines(fileBytes(path + ".csv")), 1 + 20);
        rec.finish();
    }
    const std::string finished = fileBytes(path);
    RecordingReader r(finished);
    r.start();
    EXPECT_EQ(readAll(r).size(), 250u + 125u + 1u);
    EXPECT_TRUE(r.finished());
    const std::string csv = fileBytes(path + ".csv");
    EXPECT_EQ(csvLines(csv), 1 + 25);
    // t on the flight's clock (the start's tick 98765, then 250 ticks), posX, posH, posZ.
    EXPECT_EQ(csv.substr(csv.rfind('\n', csv.size() - 2) + 1, 15), "990.15,0,249,0,");

    // Where nothing can be written the recorder says so.
    EXPECT_NE(errorOf([&] { FlightRecorder(dir / "no/such/dir.uavrec", sampleStart()); }).find("cannot write"),
              std::string::npos);
}
