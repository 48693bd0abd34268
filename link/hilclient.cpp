#include "link/hilclient.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "core/errors.h"
#include "link/server.h"

namespace uav {

HilClient::HilClient(const std::string& host, int port, std::chrono::milliseconds timeout) : timeout_(timeout) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res); rc != 0)
        throw SimError("cannot resolve '" + host + "': " + ::gai_strerror(rc));
    int err = 0;
    for (const addrinfo* a = res; a && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            err = errno;
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            fd_ = fd;
        } else {
            err = errno;
            ::close(fd);
        }
    }
    ::freeaddrinfo(res);
    if (fd_ < 0) throw LinkConnectError("cannot connect to " + host + ":" + service + ": " + std::strerror(err));
    // Small request-reply frames: without this each frame waits for the
    // previous one's delayed acknowledgement.
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::uint8_t greeting[LINK_GREETING.size()];
    try {
        readExactly(greeting, sizeof greeting);
    } catch (const SimError& e) {
        ::close(fd_);
        throw SimError(std::string("no greeting from the server: ") + e.what());
    }
    if (std::memcmp(greeting, LINK_GREETING.data(), sizeof greeting) != 0) {
        ::close(fd_);
        throw SimError("the server's greeting is not \"Welcome to AP server!\"");
    }
}

HilClient::~HilClient() {
    if (fd_ >= 0) ::close(fd_);
}

void HilClient::sendBytes(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        const ssize_t w = ::send(fd_, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw SimError(std::string("sending to the server failed: ") + std::strerror(errno));
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

void HilClient::sendCommand(const ServoCommand& cmd) {
    const CommandFrame f = encodeCommand(cmd);
    sendBytes(f.data(), f.size());
}

void HilClient::readExactly(std::uint8_t* into, std::size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    while (n > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (spin_.count() > 0) spinUntilReadable(fd_, spin_);
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) throw SimError("no answer from the server in time");
        const ssize_t r = ::recv(fd_, into, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) throw SimError("the server closed the connection");
        if (r < 0) throw SimError(std::string("reading from the server failed: ") + std::strerror(errno));
        into += r;
        n -= static_cast<std::size_t>(r);
    }
}

LinkTelemetry HilClient::readReply() {
    ReplyFrame f;
    readExactly(f.data(), f.size());
    LinkTelemetry t;
    if (!decodeReply(f.data(), f.size(), t)) throw SimError("the server sent a malformed reply frame");
    return t;
}

LinkTelemetry HilClient::exchange(const ServoCommand& cmd) {
    sendCommand(cmd);
    return readReply();
}

bool HilClient::closedByServer(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::uint8_t buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
        if (r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN)) return true;
    }
}

std::size_t HilClient::available() const {
    int n = 0;
    ::ioctl(fd_, FIONREAD, &n);
    return static_cast<std::size_t>(n);
}

std::unique_ptr<HilClient> connectRetrying(const std::string& host, int port, std::chrono::milliseconds retryFor) {
    constexpr std::chrono::milliseconds RETRY_EVERY{100};
    const auto deadline = std::chrono::steady_clock::now() + retryFor;
    for (;;) {
        try {
            return std::make_unique<HilClient>(host, port);
        } catch (const LinkConnectError&) {
            if (std::chrono::steady_clock::now() + RETRY_EVERY > deadline) throw;
        }
        std::this_thread::sleep_for(RETRY_EVERY);
    }
}

}  // namespace uav
