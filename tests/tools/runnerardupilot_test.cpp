// The runner as ArduPilot's physics, driven by the stand-in client over UDP on
// loopback: lockstep steps, resends, bad datagrams, a second sender, a restart,
// the release from the held start, and the ends of a run.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <limits>
#include <sstream>
#include <thread>

#include "link/apstandin.h"
#include "tools/runnerardupilot.h"

namespace uav {
namespace {

using namespace std::chrono_literals;

std::string modelPath() {
    const char* src = std::getenv("UAVSIM_SOURCE_DIR");
    return std::string(src ? src : ".") + "/models/trainer.mdl";
}

struct ApRun {
    RunOptions opt;
    std::ostringstream csv, log;
    RunSummary sum;
    ArduPilotRunReport report;
    std::thread thread;
    int port = -1;

    explicit ApRun(double seconds, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {modelPath(), "--ardupilot", "0", "--altitude", "50", "--speed", "58",
                                         "--angle", "5", "--seconds", std::to_string(seconds), "--every", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        parseRunArgs(args, opt);
        std::promise<int> bound;
        std::future<int> f = bound.get_future();
        thread = std::thread([this, &bound] {
            Flight flight = startRun(opt);
            sum = flyArduPilotRun(opt, flight, &csv, [&](int p) { bound.set_value(p); }, &report, &log);
        });
        port = f.get();
    }
    void join() {
        if (thread.joinable()) thread.join();
    }
    ~ApRun() { join(); }
};

ApServoPacket packet(std::uint32_t count, int throttleUs = 1000) {
    ApServoPacket p;
    p.frameRateHz = 1200;
    p.frameCount = count;
    p.pwmUs.fill(1500);
    p.pwmUs[2] = static_cast<std::uint16_t>(throttleUs);
    return p;
}

TEST(RunnerArduPilot, StepsResendsRestartsAndReleases) {
    ApRun run(30.0);
    ApStandIn ap("127.0.0.1", run.port);
    ApFdm f;
    ASSERT_TRUE(ap.exchange(packet(0), f, 2000ms));
    EXPECT_DOUBLE_EQ(f.timestampS, 0.01);
    // Held: at the start's position, still, the accelerometer reading about g.
    EXPECT_DOUBLE_EQ(f.posNed.z, -50.0);
    EXPECT_EQ(f.velNed.x, 0.0);
    EXPECT_NEAR(VecNorm(f.accelFrd), GRAVITY_G, 1e-4);
    EXPECT_NEAR(f.eulerRad.y, 5 * DEG_TO_RAD, 1e-6);

    // The same frame again: answered, not stepped.
    std::string first, again;
    ASSERT_TRUE(ap.send(packet(1)) && ap.receive(first, 2000ms));
    ASSERT_TRUE(ap.send(packet(1)) && ap.receive(again, 2000ms));
    EXPECT_EQ(first, again);
    // Not servo packets: no answer.
    ASSERT_TRUE(ap.sendRaw(std::string(39, '\0')));
    ASSERT_TRUE(ap.sendRaw(std::string(40, '\x55')));
    std::string none;
    EXPECT_FALSE(ap.receive(none, 200ms));
    // A second sender while this one is active: ignored.
    ApStandIn intruder("127.0.0.1", run.port);
    ASSERT_TRUE(intruder.send(packet(500)));
    EXPECT_FALSE(intruder.receive(none, 200ms));

    // Full throttle: the catapult, then free flight at the start's speed.
    std::uint32_t n = 2;
    for (; n < 2 + 150; ++n) ASSERT_TRUE(ap.exchange(packet(n, 2000), f, 2000ms)) << n;
    EXPECT_NEAR(f.timestampS, 1.52, 1e-9);
    const double speed = std::hypot(f.velNed.x, f.velNed.y, f.velNed.z);
    EXPECT_GT(speed, 14.0);
    EXPECT_GT(f.posNed.x, 12.0);  // the stroke's 8 m, then half a second at about 16 m/s
    EXPECT_LT(f.posNed.x, 20.0);
    EXPECT_GT(f.airspeedMs, 14.0);

    // ArduPilot started again: the flight too, from its start and its clock.
    ASSERT_TRUE(ap.exchange(packet(0), f, 2000ms));
    EXPECT_DOUBLE_EQ(f.timestampS, 0.01);
    EXPECT_EQ(f.posNed.x, 0.0);
    EXPECT_EQ(f.posNed.z, -50.0);
    EXPECT_EQ(f.velNed.x, 0.0);
    run.join();  // ends 5 s after the last packet
    EXPECT_EQ(run.report.endReason, "ArduPilot sent nothing for 5 s");
    const ApCounters& c = run.report.counters;
    EXPECT_EQ(c.frames, 153u);  // 0, 1, 2..151 and the restart's 0
    EXPECT_EQ(c.repeats, 1u);
    EXPECT_EQ(c.restarts, 1u);
    EXPECT_EQ(c.wrongSize, 1u);
    EXPECT_EQ(c.wrongMagic, 1u);
    EXPECT_EQ(c.otherSender, 1u);
    EXPECT_NE(run.log.str().find("ignoring ArduPilot packets from 127.0.0.1:" + std::to_string(intruder.localPort())),
              std::string::npos)
        << run.log.str();
    EXPECT_NE(run.log.str().find("started again"), std::string::npos);
    EXPECT_EQ(run.sum.ticks, static_cast<std::int64_t>(c.frames));
}

TEST(RunnerArduPilot, SameFramesGiveTheSameRepliesAndCsv) {
    std::vector<std::string> replies[2];
    std::string csvs[2];
    for (int k = 0; k < 2; ++k) {
        ApRun run(2.0);  // 200 ticks: held, 1 s on the catapult, then free
        ApStandIn ap("127.0.0.1", run.port);
        for (std::uint32_t n = 0; n < 200; ++n) {
            ApServoPacket p = packet(n, n < 10 ? 1000 : 1800);
            p.pwmUs[0] = static_cast<std::uint16_t>(1500 + 2 * n);  // aileron moving right
            std::string r;
            ASSERT_TRUE(ap.send(p) && ap.receive(r, 2000ms)) << n;
            replies[k].push_back(r);
        }
        run.join();
        EXPECT_EQ(run.report.endReason, "--seconds of simulated time flown");
        csvs[k] = run.csv.str();
    }
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ(csvs[0], csvs[1]);
    ApFdm last;
    ASSERT_TRUE(readFdmReplyAsArduPilot(replies[0].back(), last));
    EXPECT_GT(last.gyroFrd.x, 0.0);  // right aileron rolls right
}

TEST(RunnerArduPilot, FreeStartFliesFromTheInitialConditions) {
    ApRun run(0.05, {"--ap-start", "free", "--ap-channels", "1,2,3,-4"});
    EXPECT_TRUE(run.opt.apChannels.rudder.reversed);
    ApStandIn ap("127.0.0.1", run.port);
    ApFdm f;
    ASSERT_TRUE(ap.exchange(packet(0), f, 2000ms));
    EXPECT_GT(f.velNed.x, 15.0);  // moving from the first tick, no throttle needed
    EXPECT_NE(f.accelFrd.x, 0.0);
    for (std::uint32_t n = 1; n < 5; ++n) ASSERT_TRUE(ap.exchange(packet(n), f, 2000ms));
    run.join();  // five ticks: --seconds 0.05
    EXPECT_EQ(run.sum.ticks, 5);
}

TEST(RunnerArduPilot, ShapedStateMustStayFinite) {
    RunOptions opt;
    parseRunArgs({modelPath(), "--altitude", "50"}, opt);
    Flight flight = startRun(opt);
    flight.shapeState([](SimState& s) { s.velocity = {}; });
    EXPECT_EQ(flight.state().velocity, Vec3{});
    EXPECT_THROW(flight.shapeState([](SimState& s) { s.posH = std::numeric_limits<double>::quiet_NaN(); }), SimError);
    EXPECT_EQ(flight.state().posH, 50.0);  // kept as it was
    EXPECT_TRUE(flight.tick());
}

TEST(RunnerArduPilot, OptionsRefuseWhatCannotWork) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"m.mdl", "--ardupilot", "70000"}, {"m.mdl", "--ardupilot", "localhost:9002"},
          {"m.mdl", "--ardupilot", "9002", "--link", "9099"}, {"m.mdl", "--ap-channels", "1,2,3"},
          {"m.mdl", "--ap-start", "thrown"}}) {
        RunOptions o;
        EXPECT_THROW(parseRunArgs(bad, o), SimError) << bad[1] << ' ' << bad[2];
    }
    RunOptions o;
    parseRunArgs({"m.mdl", "--ardupilot", "0.0.0.0:9012"}, o);
    EXPECT_EQ(o.apAddress, "0.0.0.0");
    EXPECT_EQ(o.apPort, 9012);
}

}  // namespace
}  // namespace uav
