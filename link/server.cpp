#include "link/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstring>
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

LinkServer::LinkServer(FrameHandler handler, LinkLimits limits) : handler_(std::move(handler)), limits_(limits) {}

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
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBufferBytes, sizeof sendBufferBytes);
}

bool spinUntilReadable(int fd, std::chrono::microseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    pollfd p{fd, POLLIN, 0};
    do {
        if (::poll(&p, 1, 0) > 0) return true;
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

bool sendWhole(int fd, const void* data, std::size_t n) {
    const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    return w == static_cast<ssize_t>(n);
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
    c.overflowed = overflowed_;
    c.frames = frames_;
    c.rejected = rejected_;
    c.realtime = realtime_;
    c.demoted = demoted_;
    std::lock_guard lock(connMutex_);
    for (const auto& k : conns_)
        if (!k->done) ++c.open;
    return c;
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
            {
                std::lock_guard lock(connMutex_);
                if (conns_.size() >= static_cast<std::size_t>(limits_.maxClients)) {
                    ::close(fd);
                    ++refused_;
                    continue;
                }
            }
            tuneAcceptedSocket(fd, limits_.sendBufferBytes);
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            Connection* raw = c.get();
            std::lock_guard lock(connMutex_);
            try {
                c->thread = std::thread([this, raw] { serve(*raw); });
            } catch (const std::system_error&) {
                ::close(fd);
                ++refused_;
                continue;
            }
            conns_.push_back(std::move(c));
            ++accepted_;
        }
    }
}

void LinkServer::serve(Connection& c) {
    FrameScanner scanner;
    std::vector<ServoCommand> commands;
    std::uint8_t buf[4096];
    bool realtime = limits_.realtimeThreads && setRealtime(true);
    if (realtime) ++realtime_;
    auto windowStart = std::chrono::steady_clock::now();
    std::size_t windowBytes = 0;
    if (sendWhole(c.fd, LINK_GREETING.data(), LINK_GREETING.size())) {
        try {
            for (;;) {
                const ssize_t r = ::recv(c.fd, buf, sizeof buf, 0);
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) break;  // closed by the peer, failed, or shut down by stop()
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
                bool open = true;
                for (const ServoCommand& cmd : commands) {
                    const ReplyFrame reply = handler_(cmd);
                    if (!sendWhole(c.fd, reply.data(), reply.size())) {
                        ++overflowed_;
                        open = false;
                        break;
                    }
                    ++frames_;
                }
                if (!open) break;
            }
        } catch (const std::exception&) {
            // The handler failed: this connection ends, the others go on.
        }
    }
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
