// Starting a link flight and its client together: the client may come first
// (its connection refused until the runner listens) or not at all (the
// lockstep runner gives up after its --client-wait). Loopback only; every wait
// is below a second.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "link/hilclient.h"
#include "tests/testutil.h"
#include "tools/runnerlink.h"

using namespace uav;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

RunOptions lockstepFlight(int port, double clientWait) {
    RunOptions o;
    o.modelPath = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl";
    o.initial = {58, 0, 100, 0};
    o.seconds = 1;
    o.linkPort = port;
    o.lockstep = true;
    o.clientWait = clientWait;
    return o;
}

// A port of 127.0.0.1 nobody listens on (bound, read and released).
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(a.sin_port);
}

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

}  // namespace

TEST(LinkStart, ClientStartedBeforeTheRunnerConnectsOnceItListens) {
    const int port = freePort();
    auto client = std::async(std::launch::async, [port] { return connectRetrying("127.0.0.1", port, 5000ms); });
    std::this_thread::sleep_for(300ms);  // refused meanwhile, and tried again
    auto runner = std::async(std::launch::async, [port] {
        return runLinkFlight(lockstepFlight(port, 5), nullptr, nullptr);
    });
    ASSERT_EQ(client.wait_for(5s), std::future_status::ready);
    std::unique_ptr<HilClient> c = client.get();
    const LinkTelemetry t = c->exchange(ServoCommand{1500, 1500, 1500, 1400});
    EXPECT_NEAR(t.altitude, 100, 1) << "a reply of the flight that started at 100 m";
    c.reset();  // leaving ends the lockstep flight
    ASSERT_EQ(runner.wait_for(5s), std::future_status::ready);
    EXPECT_NEAR(runner.get().simSeconds, 0.02, 1e-9) << "one control period, one frame";
}

TEST(LinkStart, ClientGivesUpAfterItsWaitAndOnlyOnARefusedConnection) {
    const int port = freePort();
    auto t0 = Clock::now();
    const std::string refused = test::errorOf([&] { connectRetrying("127.0.0.1", port, 400ms); });
    EXPECT_EQ(refused, "cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
    EXPECT_GE(secondsSince(t0), 0.3) << "tried again for the time given";
    EXPECT_LT(secondsSince(t0), 2.0);

    t0 = Clock::now();
    EXPECT_THROW(connectRetrying("127.0.0.1", port, 0ms), LinkConnectError);
    EXPECT_LT(secondsSince(t0), 0.1) << "no wait: one attempt";

    // A name that does not resolve is not worth waiting for.
    t0 = Clock::now();
    EXPECT_NE(test::errorOf([&] { connectRetrying("no-such-host.invalid", port, 3000ms); }).find("cannot resolve"),
              std::string::npos);
    EXPECT_LT(secondsSince(t0), 2.0);
}

TEST(LinkStart, LockstepRunnerWithoutAClientEndsAfterItsWaitNamingIt) {
    int bound = -1;
    const auto t0 = Clock::now();
    try {
        runLinkFlight(lockstepFlight(0, 0.3), nullptr, [&](int p) { bound = p; });
        ADD_FAILURE() << "the flight ran without a client";
    } catch (const NoLinkClient& e) {
        EXPECT_EQ(std::string(e.what()),
                  "no client connected to 127.0.0.1:" + std::to_string(bound) + " within 0.3 s (--client-wait)");
    }
    EXPECT_GE(secondsSince(t0), 0.29);
    EXPECT_LT(secondsSince(t0), 3.0);

    RunOptions o;
    ASSERT_TRUE(parseRunArgs({"m.mdl", "--link", "0", "--lockstep", "--client-wait", "2.5"}, o));
    EXPECT_EQ(o.clientWait, 2.5);
    RunOptions p;
    EXPECT_EQ(RunOptions{}.clientWait, 30.0) << "the documented default";
    EXPECT_EQ(test::errorOf([&] { parseRunArgs({"m.mdl", "--link", "0", "--lockstep", "--client-wait", "0"}, p); }),
              "option --client-wait: 0 is outside 0.001 .. 86400");
}
