#include "link/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <system_error>

#include "core/errors.h"

namespace uav {

namespace {

std::string errnoText(int err) { return std::strerror(err); }

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// The calling thread to FIFO real-time scheduling at the lowest priority, or
// back to normal scheduling. False when the system refuses.
bool setRealtime(bool on) {
    sched_param p{};
    p.sched_priority = on ? sched_get_priority_min(SCHED_FIFO) : 0;
    return pthread_setschedparam(pthread_self(), on ? SCHED_FIFO : SCHED_OTHER, &p) == 0;
}

}  // namespace

void TelemetrySnapshot::publish(const LinkTelemetry& t) {
    {
        std::lock_guard lock(m_);
        t_ = t;
    }
    count_.fetch_add(1, std::memory_order_relaxed);
}

LinkTelemetry TelemetrySnapshot::read() const {
    std::lock_guard lock(m_);
    return t_;
}

bool CommandQueue::push(const ServoCommand& c) {
    std::lock_guard lock(m_);
    const bool wasEmpty = q_.empty();
    if (q_.size() >= CAPACITY) {
        q_.pop_front();
        ++dropped_;
    }
    q_.push_back(c);
    return wasEmpty;
}

void CommandQueue::drain(std::vector<ServoCommand>& out) {
    std::lock_guard lock(m_);
    out.insert(out.end(), q_.begin(), q_.end());
    q_.clear();
}

std::uint64_t CommandQueue::dropped() const {
    std::lock_guard lock(m_);
    return dropped_;
}

LinkServer::LinkServer(FrameHandler handler, LinkLimits limits, DropLog dropLog)
    : handler_(std::move(handler)), limits_(limits), dropLog_(std::move(dropLog)) {}

LinkServer::~LinkServer() { stop(); }

int openListener(const LinkBinding& b, int backlog, int& boundPort) {
    if (b.port < 0 || b.port > 65535) throw SimError("Port " + std::to_string(b.port) + " is out of range 0..65535");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(b.port));
    if (::inet_pton(AF_INET, b.ip.c_str(), &addr.sin_addr) != 1) throw SimError("'" + b.ip + "' is not an IPv4 address");
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw SimError("Could not create a socket: " + errnoText(errno));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const std::string where = b.ip + ":" + std::to_string(b.port);
    std::string failed;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        failed = "Could not bind socket to " + where + ": " + errnoText(errno);
    else if (::listen(fd, backlog) != 0)
        failed = "Could not listen on " + where + ": " + errnoText(errno);
    if (!failed.empty()) {
        ::close(fd);
        throw SimError(failed);
    }
    sockaddr_in got{};
    socklen_t len = sizeof got;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&got), &len);
    boundPort = ntohs(got.sin_port);
    return fd;
}

void tuneAcceptedSocket(int fd, int sendBufferBytes) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Twice the replies allowed to wait (the kernel doubles it again): room
    // for the kernel's per-packet bookkeeping, so a reply sendWhole lets
    // through always fits whole.
    const int buffer = 2 * sendBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
}

bool spinUntilReadable(int fd, std::chrono::microseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    pollfd p{fd, POLLIN, 0};
    do {
        if (::poll(&p, 1, 0) > 0) return true;
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

bool sendWhole(int fd, const void* data, std::size_t n, std::size_t maxQueued) {
    int queued = 0;  // bytes sent but not acknowledged, and bytes not sent yet
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || queued < 0 || static_cast<std::size_t>(queued) + n > maxQueued)
        return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;  // nothing of it went
    if (w < 0) return false;
    std::size_t sent = static_cast<std::size_t>(w);
    // The kernel took part only: finish the frame (briefly), never leave half.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (sent < n) {
        pollfd pf{fd, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (::poll(&pf, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
        w = ::send(fd, p + sent, n - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (w > 0) sent += static_cast<std::size_t>(w);
    }
    return true;
}

bool sendAll(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    while (sent < n) {
        const ssize_t w = ::send(fd, p + sent, n - sent, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        sent += static_cast<std::size_t>(w);
    }
    return true;
}

void endGracefully(int fd, std::chrono::milliseconds linger) {
    ::shutdown(fd, SHUT_WR);  // the end mark goes after the last whole reply
    const auto until = std::chrono::steady_clock::now() + linger;
    std::uint8_t buf[4096];
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, SIOCOUTQ, &queued) == 0 && queued == 0) return;  // every reply is with the peer
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 10)));
        if (n < 0 && errno != EINTR) return;
        if (n <= 0) continue;
        const ssize_t r = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return;
    }
}

std::string peerName(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) return "?";
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

void LinkServer::start(const std::vector<LinkBinding>& bindings) {
    stop();
    std::vector<int> fds, ports;
    auto fail = [&](const std::string& why) {
        for (int& fd : fds) closeFd(fd);
        throw SimError(why);
    };
    for (const LinkBinding& b : bindings) {
        int port = 0;
        try {
            fds.push_back(openListener(b, limits_.listenBacklog, port));
        } catch (const SimError& e) {
            fail(e.what());
        }
        ports.push_back(port);
    }
    if (fds.empty()) fail("No address to bind");
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) fail("Could not create a pipe: " + errnoText(errno));
    listenFds_ = std::move(fds);
    ports_ = std::move(ports);
    stopping_ = false;
    try {
        acceptor_ = std::thread([this] { acceptLoop(); });
    } catch (const std::system_error& e) {
        for (int& fd : listenFds_) closeFd(fd);
        listenFds_.clear();
        closeFd(wakePipe_[0]);
        closeFd(wakePipe_[1]);
        throw SimError(std::string("Could not start the server thread: ") + e.what());
    }
    listening_ = true;
}

void LinkServer::stop() {
    if (acceptor_.joinable()) {
        stopping_ = true;
        wake();
        acceptor_.join();
    }
    for (int& fd : listenFds_) closeFd(fd);
    listenFds_.clear();
    ports_.clear();
    // Wake every connection out of its read; each fd is closed only after its
    // thread is joined, so no number is reused under a running thread.
    {
        std::lock_guard lock(connMutex_);
        for (auto& c : conns_) ::shutdown(c->fd, SHUT_RDWR);
    }
    reapFinished(true);
    closeFd(wakePipe_[0]);
    closeFd(wakePipe_[1]);
    listening_ = false;
}

std::vector<int> LinkServer::boundPorts() const { return ports_; }

LinkCounters LinkServer::counters() const {
    LinkCounters c;
    c.accepted = accepted_;
    c.refused = refused_;
    c.evicted = evicted_;
    c.overflowed = overflowed_;
    c.frames = frames_;
    c.rejected = rejected_;
    c.realtime = realtime_;
    c.demoted = demoted_;
    std::lock_guard lock(connMutex_);
    for (const auto& k : conns_)
        if (!k->done && !k->evicted) ++c.open;
    return c;
}

void LinkServer::log(const std::string& line) const {
    if (!dropLog_) return;
    try {
        dropLog_(line);
    } catch (const std::exception&) {
        // A log that fails loses its line, never the connection.
    }
}

void LinkServer::wake() {
    const char b = 1;
    if (wakePipe_[1] >= 0) [[maybe_unused]] ssize_t w = ::write(wakePipe_[1], &b, 1);
}

void LinkServer::reapFinished(bool all) {
    std::vector<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(connMutex_);
        for (auto it = conns_.begin(); it != conns_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = conns_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
        closeFd(c->fd);
    }
}

void LinkServer::acceptLoop() {
    std::vector<pollfd> pfds;
    bool backOff = false;  // out of file descriptors: wait before accepting again
    while (!stopping_) {
        pfds.clear();
        pfds.push_back({wakePipe_[0], POLLIN, 0});
        if (!backOff)
            for (int fd : listenFds_) pfds.push_back({fd, POLLIN, 0});
        const int n = ::poll(pfds.data(), pfds.size(), backOff ? 100 : -1);
        backOff = false;
        if (n < 0 && errno != EINTR) break;
        if (pfds[0].revents) {
            char buf[64];
            while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
            }
            if (stopping_) break;
            reapFinished(false);
        }
        for (std::size_t i = 1; i < pfds.size(); ++i) {
            if (!(pfds[i].revents & POLLIN)) continue;
            const int fd = ::accept4(pfds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) backOff = true;
                continue;
            }
            reapFinished(false);
            admit(fd, peerName(fd));
        }
    }
}

namespace {
std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
std::string secondsText(std::int64_t ns) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", static_cast<double>(ns) / 1e9);
    return b;
}
}  // namespace

// On the acceptor thread: serves the newcomer if there is a place, or one can
// be freed from the client idle longest.
void LinkServer::admit(int fd, const std::string& peer) {
    std::string evictedLine, refusedLine;
    {
        std::lock_guard lock(connMutex_);
        std::size_t open = 0;
        Connection* idlest = nullptr;
        for (auto& k : conns_) {
            if (k->done || k->evicted) continue;
            ++open;
            if (!idlest || k->lastFrameNs.load() < idlest->lastFrameNs.load()) idlest = k.get();
        }
        if (open >= static_cast<std::size_t>(limits_.maxClients)) {
            const std::int64_t idleNs = idlest ? nowNs() - idlest->lastFrameNs.load() : 0;
            if (!idlest || idleNs < std::chrono::nanoseconds(limits_.evictIdleAfter).count()) {
                ::close(fd);
                ++refused_;
                refusedLine = "Client " + peer + " refused: " + std::to_string(open) +
                              " clients connected, none without a valid frame for " +
                              secondsText(std::chrono::nanoseconds(limits_.evictIdleAfter).count()) + " s";
            } else {
                // Its thread ends on the shutdown and is reaped like any other.
                idlest->evicted = true;
                ::shutdown(idlest->fd, SHUT_RDWR);
                ++evicted_;
                evictedLine = "Client " + idlest->peer + " dropped: no valid frame for " + secondsText(idleNs) +
                              " s, its place given to " + peer;
            }
        }
    }
    if (!refusedLine.empty()) return log(refusedLine);
    if (!evictedLine.empty()) log(evictedLine);
    tuneAcceptedSocket(fd, limits_.sendBufferBytes);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->peer = peer;
    c->lastFrameNs = nowNs();
    Connection* raw = c.get();
    std::lock_guard lock(connMutex_);
    try {
        c->thread = std::thread([this, raw] { serve(*raw); });
    } catch (const std::system_error&) {
        ::close(fd);
        ++refused_;
        log("Client " + peer + " refused: no thread to serve it");
        return;
    }
    conns_.push_back(std::move(c));
    ++accepted_;
}

void LinkServer::serve(Connection& c) {
    FrameScanner scanner;
    std::vector<ServoCommand> commands;
    std::uint8_t buf[4096];
    bool realtime = limits_.realtimeThreads && setRealtime(true);
    if (realtime) ++realtime_;
    auto windowStart = std::chrono::steady_clock::now();
    std::size_t windowBytes = 0;
    const std::size_t maxQueued = static_cast<std::size_t>(std::max(limits_.sendBufferBytes, 1024));
    std::string why;  // why the server dropped it; empty when the client left or the server stopped
    if (!sendWhole(c.fd, LINK_GREETING.data(), LINK_GREETING.size(), maxQueued)) {
        why = "the greeting could not be sent";
    } else {
        try {
            for (;;) {
                const ssize_t r = ::recv(c.fd, buf, sizeof buf, 0);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0 && !c.evicted && !stopping_) why = "read failed: " + errnoText(errno);
                if (r <= 0) break;  // closed by the peer, failed, or shut down by stop() or an eviction
                if (realtime) {
                    const auto now = std::chrono::steady_clock::now();
                    if (now - windowStart >= std::chrono::seconds(1)) {
                        windowStart = now;
                        windowBytes = 0;
                    }
                    windowBytes += static_cast<std::size_t>(r);
                    if (windowBytes > limits_.realtimeBytesPerSecond) {
                        setRealtime(false);
                        realtime = false;
                        ++demoted_;
                    }
                }
                commands.clear();
                const std::uint64_t rejectedBefore = scanner.rejected();
                scanner.feed(buf, static_cast<std::size_t>(r), commands);
                rejected_ += scanner.rejected() - rejectedBefore;
                if (!commands.empty()) c.lastFrameNs = nowNs();
                bool open = true;
                for (const ServoCommand& cmd : commands) {
                    const ReplyFrame reply = handler_(cmd);
                    if (!sendWhole(c.fd, reply.data(), reply.size(), maxQueued)) {
                        if (!c.evicted && !stopping_) {
                            ++overflowed_;
                            why = "its replies went unread (" + std::to_string(maxQueued) +
                                  " bytes waiting), the last one not sent";
                        }
                        open = false;
                        break;
                    }
                    ++frames_;
                }
                if (!open) break;
            }
        } catch (const std::exception& e) {
            // The handler failed: this connection ends, the others go on.
            why = std::string("the reply could not be built: ") + e.what();
        }
    }
    if (!why.empty()) log("Client " + c.peer + " dropped: " + why);
    // A client that stopped reading may still read what was sent: only whole
    // replies, then the end, and not a cut made by closing over unread bytes.
    if (!why.empty() && !stopping_ && !c.evicted) endGracefully(c.fd, std::chrono::seconds(5));
    ::shutdown(c.fd, SHUT_RDWR);
    c.done = true;
    wake();
}

std::vector<std::string> localIPv4Addresses() {
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if ((ntohl(in->sin_addr.s_addr) >> 24) == 127) continue;  // loopback: listed first by the window
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        std::string s(text);
        bool seen = false;
        for (const std::string& o : out) seen = seen || o == s;
        if (!seen) out.push_back(s);
    }
    ::freeifaddrs(list);
    return out;
}

std::vector<std::string> servicePortItems() {
    std::map<int, std::vector<std::string>> ports;
    ::setservent(0);
    while (const servent* se = ::getservent()) {
        std::vector<std::string>& names = ports[ntohs(static_cast<std::uint16_t>(se->s_port))];
        const std::string name = se->s_name ? se->s_name : "";
        bool seen = name.empty();
        for (const std::string& n : names) seen = seen || n == name;
        if (!seen) names.push_back(name);
    }
    ::endservent();
    std::vector<std::string> items;
    for (const auto& [port, names] : ports) {
        std::string item = std::to_string(port) + ": ";
        for (std::size_t i = 0; i < names.size(); ++i) item += (i ? "," : "") + names[i];
        items.push_back(item);
    }
    return items;
}

int parsePortText(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    if (b < e && text[b] == '+') ++b;
    long long v = 0;
    const auto r = std::from_chars(text.data() + b, text.data() + e, v);
    if (b == e || r.ec == std::errc::invalid_argument || r.ptr != text.data() + e)
        throw SimError("'" + text + "' is not a valid integer value");
    if (r.ec == std::errc::result_out_of_range || v < 0 || v > 65535)
        throw SimError("Port " + text.substr(b, e - b) + " is out of range 0..65535");
    return static_cast<int>(v);
}

}  // namespace uav
