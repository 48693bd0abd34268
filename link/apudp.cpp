#include "link/apudp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "link/server.h"

namespace uav {

std::string UdpPeer::text() const {
    char ip[INET_ADDRSTRLEN] = "?";
    in_addr a{};
    a.s_addr = addrBe;
    ::inet_ntop(AF_INET, &a, ip, sizeof ip);
    return std::string(ip) + ':' + std::to_string(ntohs(portBe));
}

UdpPeer udpPeer(const std::string& ip, int port) {
    in_addr a{};
    if (::inet_pton(AF_INET, ip.c_str(), &a) != 1) throw SimError("'" + ip + "' is not an IPv4 address");
    if (port < 0 || port > 65535) throw SimError("Port " + std::to_string(port) + " is out of range 0..65535");
    return {a.s_addr, htons(static_cast<std::uint16_t>(port))};
}

UdpEndpoint::UdpEndpoint(const std::string& ip, int port) {
    const UdpPeer where = udpPeer(ip, port);
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw SimError(std::string("cannot open a UDP socket: ") + std::strerror(errno));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = where.addrBe;
    sa.sin_port = where.portBe;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int e = errno;
        ::close(fd_);
        throw SimError("cannot listen on UDP " + ip + ':' + std::to_string(port) + ": " + std::strerror(e));
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
}

UdpEndpoint::~UdpEndpoint() {
    if (fd_ >= 0) ::close(fd_);
}

long UdpEndpoint::receiveNow(std::uint8_t* buf, std::size_t cap, UdpPeer& from) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    for (;;) {
        // MSG_TRUNC: the datagram's real length, so an oversized one is seen as such.
        const ssize_t r = ::recvfrom(fd_, buf, cap, MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        from = {sa.sin_addr.s_addr, sa.sin_port};
        return static_cast<std::size_t>(r) > cap ? static_cast<long>(cap) + 1 : static_cast<long>(r);
    }
}

long UdpEndpoint::receive(std::uint8_t* buf, std::size_t cap, UdpPeer& from, std::chrono::milliseconds timeout,
                          std::chrono::microseconds spin) {
    const long n = receiveNow(buf, cap, from);
    if (n >= 0) return n;
    if (spin.count() > 0 && spinUntilReadable(fd_, spin)) return receiveNow(buf, cap, from);
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (r <= 0) return -1;
    return receiveNow(buf, cap, from);
}

bool UdpEndpoint::sendTo(const UdpPeer& to, const void* data, std::size_t n) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = to.addrBe;
    sa.sin_port = to.portBe;
    const ssize_t w =
        ::sendto(fd_, data, n, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return w == static_cast<ssize_t>(n);
}

}  // namespace uav
