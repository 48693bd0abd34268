// The runner serving the link, with the HIL client as the external autopilot.
// The runner binds 127.0.0.1 on a port the kernel picks and runs on a thread
// of the test; every flight is a few simulated seconds at most.

#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <sys/socket.h>

#include "link/hilclient.h"
#include "tests/testutil.h"
#include "tools/runnerlink.h"

using namespace uav;
using namespace std::chrono_literals;

namespace {

RunOptions linkFlight(double seconds, bool lockstep) {
    RunOptions o;
    o.modelPath = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl";
    o.initial = {58, 0, 100, 0};
    o.seconds = seconds;
    o.linkPort = 0;
    o.lockstep = lockstep;
    return o;
}

// Starts the flight on a thread; returns the port once it listens.
struct RunnerThread {
    explicit RunnerThread(const RunOptions& o) {
        std::promise<int> bound;
        portFuture = bound.get_future();
        result = std::async(std::launch::async, [o, p = std::move(bound)]() mutable {
            return runLinkFlight(o, nullptr, [&](int n) { p.set_value(n); }, nullptr);
        });
        if (portFuture.wait_for(5s) != std::future_status::ready) throw std::runtime_error("the runner did not listen");
        port = portFuture.get();
    }
    RunSummary finish() {
        if (result.wait_for(10s) != std::future_status::ready) throw std::runtime_error("the runner did not end");
        return result.get();
    }
    std::future<int> portFuture;
    std::future<RunSummary> result;
    int port = 0;
};

}  // namespace

TEST(RunnerLink, LockstepFlightEqualsTheSameSlidersFlownWithoutTheLink) {
    // Ailerons +20, elevator +10, rudder -10, throttle 20 (40 %) as pulse widths.
    const ServoCommand cmd{1600, 1550, 1550, 1400};
    RunOptions plain = linkFlight(1.0, false);
    plain.linkPort = -1;
    plain.sliders = slidersFromCommand(cmd);
    const RunSummary want = runFlight(plain, nullptr);

    RunnerThread runner(linkFlight(1.0, true));
    HilClient c("127.0.0.1", runner.port);
    LinkTelemetry last;
    for (int i = 0; i < 50; ++i) last = c.exchange(cmd);  // 50 control periods = 1 s
    EXPECT_TRUE(c.closedByServer(5s)) << "the flight ends after --seconds";
    const RunSummary got = runner.finish();
    EXPECT_EQ(got.ticks, 100);
    EXPECT_EQ(got.final.posX, want.final.posX);
    EXPECT_EQ(got.final.rollAngle, want.final.rollAngle);
    EXPECT_GT(want.final.rollAngle, 0.05) << "the ailerons did bank the model";
    const ReplyFrame expected = encodeReply(telemetryFromState(want.final));
    LinkTelemetry wantLast;
    decodeReply(expected.data(), expected.size(), wantLast);
    EXPECT_EQ(last.roll, wantLast.roll);
    EXPECT_EQ(last.altitude, wantLast.altitude);
}

TEST(RunnerLink, LockstepEndsWhenTheClientLeavesAndSkipsRejectedFrames) {
    RunnerThread runner(linkFlight(100.0, true));
    {
        HilClient c("127.0.0.1", runner.port);
        CommandFrame bad = encodeCommand({});
        bad[19] = 0;
        c.sendBytes(bad.data(), bad.size());  // dropped: no reply, no time passes
        for (int i = 0; i < 7; ++i) c.exchange({});
        CommandFrame two[2] = {encodeCommand({}), encodeCommand({})};
        c.sendBytes(two, sizeof two);  // pipelined: two periods, two replies
        c.readReply();
        c.readReply();
        EXPECT_EQ(c.available(), 0u);
    }
    const RunSummary s = runner.finish();
    EXPECT_EQ(s.ticks, 18) << "nine frames, two ticks each";
}

// The hex bytes of the README line that starts with `label` (after four
// blanks), and of the indented lines that continue it.
std::vector<std::uint8_t> readmeBytes(const std::string& label) {
    std::ifstream f(std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/README.md");
    std::vector<std::uint8_t> out;
    std::string line;
    bool in = false;
    while (std::getline(f, line)) {
        if (!in && line.rfind("    " + label + "  ", 0) == 0) {
            in = true;
            line = line.substr(4 + label.size());
        } else if (in && line.rfind("           ", 0) != 0) {
            break;
        } else if (!in) {
            continue;
        }
        std::istringstream hex(line);
        std::string byte;
        while (hex >> byte) out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
    }
    return out;
}

// The README's worked example, byte for byte: the runner with the trainer's
// defaults in lockstep answers its one frame with its one reply.
TEST(RunnerLink, TheReadmesWorkedExample) {
    const std::vector<std::uint8_t> frame = readmeBytes("frame"), reply = readmeBytes("reply");
    ASSERT_EQ(frame.size(), 20u) << "README: the example's frame";
    ASSERT_EQ(reply.size(), 36u) << "README: the example's reply";
    const CommandFrame f = encodeCommand({1600, 1450, 1500, 1300});
    EXPECT_EQ(std::vector<std::uint8_t>(f.begin(), f.end()), frame);

    RunOptions o;
    o.modelPath = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl";
    o.linkPort = 0;
    o.lockstep = true;
    RunnerThread runner(o);
    HilClient c("127.0.0.1", runner.port);
    c.sendBytes(frame.data(), frame.size());
    std::vector<std::uint8_t> got(36);
    std::size_t n = 0;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (n < got.size() && std::chrono::steady_clock::now() < until) {
        const ssize_t r = ::recv(c.fd(), got.data() + n, got.size() - n, MSG_DONTWAIT);
        if (r > 0) n += static_cast<std::size_t>(r);
        else std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(got, reply);
}

// A client that writes thousands of frames before it reads loses none: the
// only client's replies wait for it instead of closing the connection.
TEST(RunnerLink, LockstepWaitsForAClientThatWritesBeforeReading) {
    RunnerThread runner(linkFlight(1000.0, true));
    HilClient c("127.0.0.1", runner.port);
    constexpr int FRAMES = 15000;  // 540 kB of replies, more than both socket buffers hold
    std::thread writer([&] {
        std::vector<CommandFrame> burst(FRAMES, encodeCommand({1500, 1500, 1500, 1500}));
        c.sendBytes(burst.data(), burst.size() * sizeof(CommandFrame));
    });
    std::this_thread::sleep_for(300ms);  // the replies pile up unread meanwhile
    for (int i = 0; i < FRAMES; ++i) ASSERT_NO_THROW(c.readReply()) << "reply " << i;
    writer.join();
    ::shutdown(c.fd(), SHUT_WR);
    const RunSummary s = runner.finish();
    EXPECT_EQ(s.ticks, 2 * FRAMES);
}

TEST(RunnerLink, RealTimeFlightTakesCommandsFromSeveralClients) {
    const auto t0 = std::chrono::steady_clock::now();
    RunnerThread runner(linkFlight(0.5, false));
    HilClient a("127.0.0.1", runner.port), b("127.0.0.1", runner.port);
    a.exchange({1500, 1500, 1500, 1500});
    const LinkTelemetry t = b.exchange({1500, 1500, 1500, 1000});  // throttle slider 100: no thrust
    EXPECT_GT(t.altitude, 99.0);
    const RunSummary s = runner.finish();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(wall, 0.49) << "paced by the wall clock";
    EXPECT_EQ(s.final.thrustBody.x, 0.0) << "the last command closed the throttle";
    EXPECT_TRUE(a.closedByServer(2s));
}

TEST(RunnerLink, Options) {
    RunOptions o;
    ASSERT_TRUE(parseRunArgs({"m.mdl", "--link", "9099"}, o));
    EXPECT_EQ(o.linkAddress, "127.0.0.1");
    EXPECT_EQ(o.linkPort, 9099);
    o = RunOptions{};
    ASSERT_TRUE(parseRunArgs({"m.mdl", "--link", "0.0.0.0:0", "--lockstep"}, o));
    EXPECT_EQ(o.linkAddress, "0.0.0.0");
    EXPECT_TRUE(o.lockstep);
    RunOptions p;
    EXPECT_EQ(test::errorOf([&] { parseRunArgs({"m.mdl", "--link", "host:port"}, p); }),
              "option --link: 'port' is not a valid integer value");
    RunOptions q;
    EXPECT_EQ(test::errorOf([&] { parseRunArgs({"m.mdl", "--lockstep"}, q); }), "option --lockstep needs --link");
}
