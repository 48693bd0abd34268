// The replay re-flies a recording through the functions the program flies
// with: a recording of the headless runner's inputs gives the runner's own
// telemetry, byte for byte, and a damaged recording stops before the damage.
#include "control/headless.h"
#include "record/replay.h"
#include "record/telemetry.h"
#include "tests/testutil.h"
#include "tools/replaycmd.h"
#include "tools/runner.h"

using namespace uav;
using namespace uav::test;

namespace {

RunOptions stabiliseInGusts() {
    RunOptions o;
    o.modelPath = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl";
    o.initial = {50, 5, 120, 0};
    o.mode = ApMode::Stabilise;
    o.sliders = {30, 0, -10, 0};
    o.gustMax = 6;
    o.gustPeriod = 0.5;
    o.seed = 77;
    o.seconds = 12;
    return o;
}

// What the window would have recorded flying the runner's flight: the
// runner's start, then per tick the gust, the 20 ms timers and the dynamics
// tick, with the clock readings the runner uses.
std::string recordingOf(const RunOptions& o, std::vector<std::size_t>* blockEnds = nullptr) {
    const Flight flight = startRun(o);
    RecordingStart st;
    st.state = flight.state();
    st.state.running = true;
    st.aircraft = flight.aircraft();
    st.autopilot = flight.autopilot();
    st.sliders = o.sliders;
    st.randomState = SeededUniform(o.seed).saveState();
    st.stabiliserTexts = flight.stabiliserTexts();
    st.returnTexts = flight.returnTexts();

    std::string file = encodeHeader() + encodeStartBlock(st);
    SeededUniform gusts(o.seed);
    const auto ticks = static_cast<std::int64_t>(std::llround(o.seconds / 0.01));
    const std::int64_t gustTicks = std::llround(o.gustPeriod / 0.01);
    std::vector<Event> block;
    std::uint32_t index = 1;
    for (std::int64_t i = 0; i < ticks; ++i) {
        if (i > 0 && i % gustTicks == 0) {
            const Gust g = nextGust(o.gustMax, gusts);
            block.push_back({i, ev::Gust{o.gustMax, g.wind.x, g.wind.z}});
        }
        if (i % 2 == 0) {
            block.push_back({i, ev::ControlTick{i * TICK_MS}});
            block.push_back({i, ev::LoopTick{i * TICK_MS}});
        }
        block.push_back({i, ev::DynamicsTick{true, (i + 1) * TICK_MS}});
        if ((i + 1) % TICKS_PER_BLOCK == 0) {
            if (i + 1 == ticks) block.push_back({i + 1, ev::End{}});
            file += encodeEventBlock(index++, block);
            if (blockEnds) blockEnds->push_back(file.size());
            block.clear();
        }
    }
    return file;
}

std::string runnerCsv(const RunOptions& o) {
    std::ostringstream out;
    runFlight(o, &out);
    return out.str();
}

}  // namespace

TEST(Replay, ReFliesTheRunnersFlightByteForByte) {
    const RunOptions o = stabiliseInGusts();
    const std::string want = runnerCsv(o);
    std::ostringstream got;
    const ReplaySummary sum = replayRecording(recordingOf(o), &got);
    EXPECT_EQ(sum.problem, "");
    EXPECT_TRUE(sum.finished);
    EXPECT_EQ(sum.ticks, 1200);
    EXPECT_EQ(sum.blocks, 13);
    ASSERT_EQ(got.str().size(), want.size());
    EXPECT_TRUE(got.str() == want);
}

TEST(Replay, StopsBeforeACorruptBlockAndWritesNothingOfIt) {
    const RunOptions o = stabiliseInGusts();
    std::vector<std::size_t> ends;
    std::string file = recordingOf(o, &ends);
    file[ends[4] + 30] ^= 0x04;  // inside block 6 (blocks 1..5 end at ends[0..4])
    std::ostringstream got;
    const ReplaySummary sum = replayRecording(file, &got);
    EXPECT_EQ(sum.ticks, 500);
    EXPECT_FALSE(sum.finished);
    EXPECT_NE(sum.problem.find("recording block 6: the block's check sum is wrong"), std::string::npos) << sum.problem;
    // The telemetry is the whole flight's up to 5.00 s and not a row more.
    const std::string all = runnerCsv(o);
    std::size_t cut = 0;
    for (int line = 0; line < 1 + 50; ++line) cut = all.find('\n', cut) + 1;
    EXPECT_TRUE(got.str() == all.substr(0, cut));

    // A file cut short after block 3 replays three seconds and says why.
    std::ostringstream part;
    const ReplaySummary cutSum = replayRecording(std::string_view(file).substr(0, ends[2]), &part);
    EXPECT_EQ(cutSum.ticks, 300);
    EXPECT_NE(cutSum.problem.find("without its end mark"), std::string::npos) << cutSum.problem;
}

TEST(Replay, AGustTheGeneratorWouldNotDrawIsADivergence) {
    const RunOptions o = stabiliseInGusts();
    RecordingStart st;
    st.randomState = SeededUniform(o.seed).saveState();
    const std::string file = encodeHeader() + encodeStartBlock(st) +
                             encodeEventBlock(1, {{0, ev::DynamicsTick{false, 10}}}) +
                             encodeEventBlock(2, {{1, ev::Gust{6, 1.0, 2.0}}, {1, ev::End{}}});
    const ReplaySummary sum = replayRecording(file, nullptr);
    EXPECT_EQ(sum.ticks, 1);
    EXPECT_NE(sum.problem.find("recording block 2: the replay diverged at tick 1"), std::string::npos) << sum.problem;
}

TEST(ReplayCommand, WritesOnlyItsCsvAndSaysWhatStoppedIt) {
    TempDir dir;
    const RunOptions o = stabiliseInGusts();
    std::vector<std::size_t> ends;
    const std::string rec = recordingOf(o, &ends);
    putFile(dir / "good.uavrec", rec);
    putFile(dir / "cut.uavrec", rec.substr(0, ends[3] + 7));
    putFile(dir / "out.csv", "keep me\n");
    std::ostringstream out, err;
    auto run = [&](std::vector<std::string> args) {
        err.str("");
        return replayCommand(args, out, err);
    };

    // A model file is no recording: nothing replayed, the CSV left as it was.
    EXPECT_EQ(run({"--replay", std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl", "--csv",
                   dir / "out.csv"}),
              2);
    EXPECT_NE(err.str().find("not a uavsim recording"), std::string::npos) << err.str();
    EXPECT_EQ(fileBytes(dir / "out.csv"), "keep me\n");
    // Nor is the recording its own CSV file.
    EXPECT_EQ(run({"--replay", dir / "good.uavrec", "--csv", dir / "good.uavrec"}), 2);
    EXPECT_EQ(fileBytes(dir / "good.uavrec"), rec);

    EXPECT_EQ(run({"--replay", dir / "good.uavrec", "--csv", dir / "out.csv", "--quiet"}), 0);
    EXPECT_TRUE(fileBytes(dir / "out.csv") == runnerCsv(o));
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(run({"--replay", dir / "cut.uavrec", "--csv", dir / "out.csv", "--quiet"}), 4);
    EXPECT_NE(err.str().find("recording block 5: the file ends inside the block"), std::string::npos)
        << err.str();
    EXPECT_EQ(run({"--replay", dir / "good.uavrec", "--every", "5"}), 2);
    EXPECT_NE(err.str().find("--every"), std::string::npos);
}
