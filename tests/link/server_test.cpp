// The TCP server against real clients on 127.0.0.1 (port chosen by the
// kernel). Every wait is bounded; the server stops with the test.

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <thread>

#include "link/hilclient.h"
#include "link/server.h"
#include "tests/testutil.h"

using namespace uav;
using namespace std::chrono_literals;

namespace {

std::size_t entriesIn(const char* dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}
std::size_t threadCount() { return entriesIn("/proc/self/task"); }
std::size_t openFdCount() { return entriesIn("/proc/self/fd"); }

// Polls `cond` until it holds or two seconds pass.
bool eventually(const std::function<bool()>& cond) {
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A server whose reply echoes the command in the first four fields, so a
// reply can be matched to its frame.
struct EchoServer {
    EchoServer(LinkLimits limits = {})
        : server([this](const ServoCommand& c) {
              std::lock_guard lock(m);
              seen.push_back(c);
              return encodeReply({double(c.ail), double(c.elev), double(c.rud), double(c.thr), 0, 0, 0, 0});
          }, limits) {
        server.start({{"127.0.0.1", 0}});
        port = server.boundPorts().at(0);
    }
    std::vector<ServoCommand> commands() {
        std::lock_guard lock(m);
        return seen;
    }
    std::mutex m;
    std::vector<ServoCommand> seen;
    LinkServer server;
    int port = 0;
};

}  // namespace

TEST(LinkServer, GreetsThenAnswersEachFrameEvenInOneBytePieces) {
    EchoServer es;
    HilClient c("127.0.0.1", es.port);  // checks the greeting
    EXPECT_EQ(c.exchange({1500, 1500, 1500, 1500}).roll, 1500.0);

    // One byte per send (no Nagle: one segment each), then two frames in one write.
    const CommandFrame f = encodeCommand({1000, 1100, 1200, 1300});
    for (std::uint8_t b : f) {
        c.sendBytes(&b, 1);
        std::this_thread::sleep_for(100us);
    }
    EXPECT_EQ(c.readReply().groundSpeed, 1300.0);
    CommandFrame two[2] = {encodeCommand({1, 2, 3, 4}), encodeCommand({5, 6, 7, 8})};
    c.sendBytes(two, sizeof two);
    EXPECT_EQ(c.readReply().roll, 1.0);
    EXPECT_EQ(c.readReply().roll, 5.0);

    // Garbage and a frame with a wrong end mark get no reply.
    CommandFrame bad = encodeCommand({9, 9, 9, 9});
    bad[19] = 0;
    const std::uint8_t junk[] = {0x01, 0xAA, 0x02};
    c.sendBytes(junk, sizeof junk);
    c.sendBytes(bad.data(), bad.size());
    EXPECT_EQ(c.exchange({7, 7, 7, 7}).roll, 7.0);
    EXPECT_EQ(c.available(), 0u);
    EXPECT_EQ(es.commands().size(), 5u);
    EXPECT_EQ(es.server.counters().rejected, 2u);
}

TEST(LinkServer, BadClientsDoNotHoldUpOthers) {
    EchoServer es;
    HilClient good("127.0.0.1", es.port);

    // Disconnects half way through a frame.
    {
        HilClient half("127.0.0.1", es.port);
        const CommandFrame f = encodeCommand({1, 1, 1, 1});
        half.sendBytes(f.data(), 11);
    }
    // Never reads: its replies fill the bounded buffer and the server closes it.
    HilClient deaf("127.0.0.1", es.port);
    std::vector<CommandFrame> burst(2000, encodeCommand({2, 2, 2, 2}));
    std::thread flood([&] {
        try {
            for (int i = 0; i < 50; ++i) deaf.sendBytes(burst.data(), burst.size() * sizeof(CommandFrame));
        } catch (const SimError&) {  // the server closed it
        }
    });
    // 10 MB of garbage from another client, answered by nothing.
    HilClient noisy("127.0.0.1", es.port);
    std::thread garbage([&] {
        std::vector<std::uint8_t> junk(1 << 20, 0x55);
        for (int i = 0; i < 10; ++i) noisy.sendBytes(junk.data(), junk.size());
    });
    for (int i = 0; i < 200; ++i) ASSERT_EQ(good.exchange({1500, 1500, 1500, i}).airspeed, 0.0);
    garbage.join();
    flood.join();
    EXPECT_TRUE(eventually([&] { return es.server.counters().overflowed == 1; }));
    // Where real-time scheduling is granted, the garbage flood loses it (the
    // deaf client may be closed before it has sent enough to lose it too).
    const LinkCounters k = es.server.counters();
    if (k.realtime > 0) {
        EXPECT_GE(k.demoted, 1u);
    }
    EXPECT_EQ(noisy.available(), 0u);
    EXPECT_EQ(good.exchange({1, 2, 3, 4}).yaw, 3.0);
}

TEST(LinkServer, ConnectDisconnectCyclesLeaveNoThreadOrSocket) {
    EchoServer es;
    // Settle: the acceptor thread exists before the baseline is taken.
    { HilClient warm("127.0.0.1", es.port); }
    ASSERT_TRUE(eventually([&] { return es.server.counters().open == 0; }));
    std::this_thread::sleep_for(20ms);
    const std::size_t threads = threadCount(), fds = openFdCount();
    for (int i = 0; i < 1000; ++i) {
        HilClient c("127.0.0.1", es.port);
        if (i % 2) c.exchange({i, i, i, i});
    }
    EXPECT_TRUE(eventually([&] { return threadCount() == threads && openFdCount() == fds; }))
        << threadCount() << " threads (" << threads << " before), " << openFdCount() << " fds (" << fds << ")";
    EXPECT_EQ(es.server.counters().accepted, 1001u);
}

TEST(LinkServer, StopClosesClientsAndRestartsOnNewBindings) {
    LinkLimits limits;
    limits.maxClients = 2;
    EchoServer es(limits);
    HilClient a("127.0.0.1", es.port), b("127.0.0.1", es.port);
    // A third client is refused while two are open.
    EXPECT_THROW(HilClient("127.0.0.1", es.port, 2s), SimError);

    // Starting while running restarts: old clients closed, the new binding serves.
    es.server.start({{"127.0.0.1", 0}});
    EXPECT_TRUE(es.server.listening());
    EXPECT_TRUE(a.closedByServer(2s));
    EXPECT_TRUE(b.closedByServer(2s));
    HilClient c("127.0.0.1", es.server.boundPorts().at(0));
    EXPECT_EQ(c.exchange({3, 3, 3, 3}).roll, 3.0);

    es.server.stop();
    EXPECT_FALSE(es.server.listening());
    EXPECT_TRUE(c.closedByServer(2s));
    EXPECT_EQ(es.server.counters().open, 0);
}

TEST(LinkServer, StartFailuresNameTheReasonAndLeaveNothingListening) {
    EchoServer es;
    LinkServer other([](const ServoCommand&) { return ReplyFrame{}; });
    EXPECT_EQ(test::errorOf([&] { other.start({{"127.0.0.1", es.port}}); }),
              "Could not bind socket to 127.0.0.1:" + std::to_string(es.port) + ": Address already in use");
    EXPECT_FALSE(other.listening());
    // The first of two bindings succeeded; it must be released again.
    EXPECT_EQ(test::errorOf([&] { other.start({{"127.0.0.1", 0}, {"192.0.2.1", 0}}); }),
              "Could not bind socket to 192.0.2.1:0: Cannot assign requested address");
    EXPECT_EQ(test::errorOf([&] { other.start({{"localhost", 9099}}); }), "'localhost' is not an IPv4 address");
    EXPECT_FALSE(other.listening());

    EXPECT_EQ(parsePortText(" 9099 "), 9099);
    EXPECT_EQ(test::errorOf([] { parsePortText("Any"); }), "'Any' is not a valid integer value");
    EXPECT_EQ(test::errorOf([] { parsePortText("70000"); }), "Port 70000 is out of range 0..65535");
}
