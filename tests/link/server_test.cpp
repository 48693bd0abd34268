// The TCP server against real clients on 127.0.0.1 (port chosen by the
// kernel). Every wait is bounded; the server stops with the test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <poll.h>
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
// reply can be matched to its frame; it keeps the lines of its drop log.
struct EchoServer {
    EchoServer(LinkLimits limits = {})
        : server([this](const ServoCommand& c) {
              std::lock_guard lock(m);
              seen.push_back(c);
              return encodeReply({double(c.ail), double(c.elev), double(c.rud), double(c.thr), 0, 0, 0, 0});
          }, limits, [this](const std::string& line) {
              std::lock_guard lock(m);
              log.push_back(line);
          }) {
        server.start({{"127.0.0.1", 0}});
        port = server.boundPorts().at(0);
    }
    std::vector<ServoCommand> commands() {
        std::lock_guard lock(m);
        return seen;
    }
    std::vector<std::string> logLines() {
        std::lock_guard lock(m);
        return log;
    }
    bool logged(const std::string& text) {
        for (const std::string& l : logLines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    std::mutex m;
    std::vector<ServoCommand> seen;
    std::vector<std::string> log;
    LinkServer server;
    int port = 0;
};

// "127.0.0.1:<port>" of the client's own end, as the server names it.
std::string localName(const HilClient& c) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(c.fd(), reinterpret_cast<sockaddr*>(&a), &len);
    return "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

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

// When every place is taken, a newcomer takes the place of the client that has
// gone longest without a valid frame, once that is the idle time; a working
// client is never dropped for it, and each refusal and drop is logged.
TEST(LinkServer, AnIdleCrowdCannotLockOutANewClient) {
    LinkLimits limits;
    limits.maxClients = 3;
    limits.evictIdleAfter = 400ms;
    EchoServer es(limits);
    HilClient working("127.0.0.1", es.port);
    HilClient idle1("127.0.0.1", es.port);
    working.exchange({1, 1, 1, 1});
    HilClient idle2("127.0.0.1", es.port);
    // Full, and nobody idle long enough yet: refused as before, and logged.
    EXPECT_THROW(HilClient("127.0.0.1", es.port, 2s), SimError);
    EXPECT_TRUE(eventually([&] { return es.logged("refused: 3 clients connected, none without a valid frame for 0.4 s"); }));

    // The working client keeps sending; the idle ones go past the idle time.
    for (int i = 0; i < 10; ++i) {
        working.exchange({i, i, i, i});
        std::this_thread::sleep_for(50ms);
    }
    HilClient newcomer("127.0.0.1", es.port);  // takes idle1's place: idle longest
    EXPECT_EQ(newcomer.exchange({7, 7, 7, 7}).roll, 7.0);
    EXPECT_TRUE(idle1.closedByServer(2s));
    EXPECT_TRUE(eventually([&] {
        return es.logged("Client " + localName(idle1) + " dropped: no valid frame for ") &&
               es.logged("s, its place given to " + localName(newcomer));
    }));
    HilClient second("127.0.0.1", es.port);  // then idle2's
    EXPECT_TRUE(idle2.closedByServer(2s));
    EXPECT_EQ(second.exchange({8, 8, 8, 8}).roll, 8.0);
    EXPECT_EQ(working.exchange({9, 9, 9, 9}).roll, 9.0) << "the working client stays";
    EXPECT_EQ(es.server.counters().evicted, 2u);
    EXPECT_EQ(es.server.counters().open, 3);

    // All three working now: a newcomer is refused, nobody is dropped.
    newcomer.exchange({1, 1, 1, 1});
    second.exchange({1, 1, 1, 1});
    working.exchange({1, 1, 1, 1});
    EXPECT_THROW(HilClient("127.0.0.1", es.port, 2s), SimError);
    EXPECT_EQ(es.server.counters().evicted, 2u);
}

// A client that writes thousands of frames before it reads is dropped once
// its unread replies pass the bound, and then reads whole replies only: the
// greeting, n x 36 bytes, the end. The log says why.
TEST(LinkServer, ADroppedClientNeverGetsPartOfAReply) {
    EchoServer es;
    HilClient deaf("127.0.0.1", es.port);
    const std::string name = localName(deaf);
    std::vector<CommandFrame> burst(30000, encodeCommand({2, 2, 2, 2}));
    try {
        deaf.sendBytes(burst.data(), burst.size() * sizeof(CommandFrame));
    } catch (const SimError&) {  // the server closed it before the last frame
    }
    ASSERT_TRUE(eventually([&] { return es.server.counters().overflowed == 1; }));
    const std::size_t total = 23 + test::bytesUntilQuiet(deaf.fd());  // the greeting, checked by the client
    EXPECT_GT(total, 23u + 36u * 1000u);
    EXPECT_EQ((total - 23) % 36, 0u) << total << " bytes";
    EXPECT_TRUE(es.logged("Client " + name + " dropped: its replies went unread"));
}
