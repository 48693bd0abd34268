#include "tools/runnerlink.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "core/errors.h"
#include "link/server.h"

namespace uav {

namespace {

// Paced by the wall clock; the threaded server answers from the snapshot.
class RealTimeDriver final : public TickDriver {
public:
    RealTimeDriver(const RunOptions& opt, const std::function<void(int)>& listening)
        : binding_{opt.linkAddress, opt.linkPort},
          listening_(listening),
          server_([this](const ServoCommand& c) {
              queue_.push(c);
              return encodeReply(snapshot_.read());
          }, LinkLimits{}, [this](const std::string& line) {
              std::lock_guard lock(dropsMutex_);
              drops_.push_back(line);
          }) {}
    bool beforeTick(std::int64_t i, Flight& flight) override {
        using namespace std::chrono;
        const SimState& s = flight.state();
        if (i == 0) {
            // Listen once the flight has started, so the first reply already
            // carries its state.
            snapshot_.publish(telemetryFromState(s));
            server_.start({binding_});
            if (listening_) listening_(server_.boundPorts().at(0));
            start_ = steady_clock::now();
        }
        std::this_thread::sleep_until(start_ + duration_cast<steady_clock::duration>(duration<double>(
                                                   static_cast<double>(i) * s.dt)));
        commands_.clear();
        queue_.drain(commands_);
        if (!commands_.empty()) flight.setSliders(slidersFromCommand(commands_.back()));  // the last one wins
        return true;
    }
    void afterTick(std::int64_t, const SimState& s) override { snapshot_.publish(telemetryFromState(s)); }
    LinkRunReport report() const {
        std::lock_guard lock(dropsMutex_);
        return {server_.counters().frames, server_.counters().accepted, drops_};
    }

private:
    mutable std::mutex dropsMutex_;
    std::vector<std::string> drops_;
    LinkBinding binding_;
    std::function<void(int)> listening_;
    TelemetrySnapshot snapshot_;
    CommandQueue queue_;
    std::vector<ServoCommand> commands_;
    std::chrono::steady_clock::time_point start_;
    LinkServer server_;  // last: stopped first, before what its handler uses goes
};

// One client, served on the simulation's own thread: no hand-over between
// threads, so a frame costs two dynamics ticks and two system calls. The next
// frame is awaited by spinning briefly first (see spinUntilReadable).
constexpr std::chrono::microseconds LOCKSTEP_SPIN{200};

class LockstepDriver final : public TickDriver {
public:
    LockstepDriver(const RunOptions& opt, const std::function<void(int)>& listening) : clientWait_(opt.clientWait) {
        int port = 0;
        listenFd_ = openListener({opt.linkAddress, opt.linkPort}, 1, port);
        where_ = opt.linkAddress + ":" + std::to_string(port);
        if (listening) listening(port);
    }
    ~LockstepDriver() override {
        // The run is over: the client gets every reply whole before the end.
        if (clientFd_ >= 0) endGracefully(clientFd_, std::chrono::seconds(2));
        if (clientFd_ >= 0) ::close(clientFd_);
        ::close(listenFd_);
    }
    bool beforeTick(std::int64_t i, Flight& flight) override {
        if (i % 2 != 0) return true;  // the second tick of a control period
        if (clientFd_ < 0 && !accept()) return false;
        while (pending_.empty()) {
            if (gone_) return false;
            spinUntilReadable(clientFd_, LOCKSTEP_SPIN);
            const ssize_t r = ::recv(clientFd_, buf_, sizeof buf_, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) why_ = std::string("read failed: ") + std::strerror(errno);
            if (r <= 0) return false;  // the client left: the flight ends here
            scanned_.clear();
            scanner_.feed(buf_, static_cast<std::size_t>(r), scanned_);
            pending_.insert(pending_.end(), scanned_.begin(), scanned_.end());
        }
        flight.setSliders(slidersFromCommand(pending_.front()));
        pending_.pop_front();
        replyDue_ = true;
        return true;
    }
    void afterTick(std::int64_t i, const SimState& s) override {
        if (i % 2 == 1) reply(s);
    }
    void end(const SimState& s) override { reply(s); }  // a run of an odd number of ticks
    LinkRunReport report() const {
        LinkRunReport r{answered_, clientFd_ >= 0 ? 1u : 0u, {}};
        if (!why_.empty()) r.drops.push_back("Client " + peer_ + " dropped: " + why_);
        return r;
    }

private:
    // The first client, awaited for clientWait_ seconds of wall clock.
    bool accept() {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(clientWait_));
        for (;;) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            pollfd p{listenFd_, POLLIN, 0};
            const int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000))) : 0;
            if (ready < 0 && errno != EINTR) throw SimError(std::string("poll failed: ") + std::strerror(errno));
            if (ready <= 0) {
                if (steady_clock::now() < deadline) continue;
                char secs[32];
                std::snprintf(secs, sizeof secs, "%g", clientWait_);
                throw NoLinkClient("no client connected to " + where_ + " within " + secs + " s (--client-wait)");
            }
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0) break;
            if (errno != EINTR && errno != ECONNABORTED) throw SimError(std::string("accept failed: ") + std::strerror(errno));
        }
        tuneAcceptedSocket(clientFd_, LinkLimits{}.sendBufferBytes);
        peer_ = peerName(clientFd_);
        if (!sendAll(clientFd_, LINK_GREETING.data(), LINK_GREETING.size())) failed("the greeting");
        return !gone_;
    }
    // The only client waits for its reply however long it takes to read:
    // dropping it would end the run.
    void reply(const SimState& s) {
        if (!replyDue_) return;
        replyDue_ = false;
        const ReplyFrame f = encodeReply(telemetryFromState(s));
        if (sendAll(clientFd_, f.data(), f.size()))
            ++answered_;
        else
            failed("reply " + std::to_string(answered_ + 1));
    }
    void failed(const std::string& what) {
        gone_ = true;
        why_ = "sending " + what + " failed: " + std::strerror(errno);
    }

    double clientWait_;  // s
    std::string where_;  // ADDR:PORT, for the message
    int listenFd_ = -1, clientFd_ = -1;
    bool gone_ = false, replyDue_ = false;
    std::string peer_, why_;  // the client, and why it was lost (empty: it closed the connection)
    std::uint64_t answered_ = 0;
    FrameScanner scanner_;
    std::uint8_t buf_[4096];
    std::vector<ServoCommand> scanned_;
    std::deque<ServoCommand> pending_;
};

}  // namespace

void parseLinkAddress(const std::string& text, RunOptions& opt) {
    const std::size_t colon = text.rfind(':');
    const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (colon != std::string::npos) opt.linkAddress = text.substr(0, colon);
    try {
        opt.linkPort = parsePortText(port);
    } catch (const SimError& e) {
        throw SimError(std::string("option --link: ") + e.what());
    }
    if (opt.linkAddress.empty()) throw SimError("option --link: no address before ':'");
}

RunSummary runLinkFlight(const RunOptions& opt, std::ostream* csv, const std::function<void(int)>& listening,
                         LinkRunReport* report, std::ostream* warnings) {
    Flight flight = startRun(opt, warnings);
    return flyStartedLinkRun(opt, flight, csv, listening, report);
}

RunSummary flyStartedLinkRun(const RunOptions& opt, Flight& flight, std::ostream* csv,
                             const std::function<void(int)>& listening, LinkRunReport* report) {
    if (opt.lockstep) {
        LockstepDriver d(opt, listening);
        RunSummary sum = flyStartedRun(opt, flight, csv, &d);
        if (report) *report = d.report();
        return sum;
    }
    RealTimeDriver d(opt, listening);
    RunSummary sum = flyStartedRun(opt, flight, csv, &d);
    if (report) *report = d.report();
    return sum;
}

}  // namespace uav
