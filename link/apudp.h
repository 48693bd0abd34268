// The UDP transport of the ArduPilot interface: one socket that receives
// servo packets and answers each to the address it came from, and a sender
// of RC input datagrams. It only moves bytes; what they mean is decided by
// link/apsession.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace uav {

struct UdpPeer {
    std::uint32_t addrBe = 0;  // IPv4, network order
    std::uint16_t portBe = 0;  // network order
    std::string text() const;  // "127.0.0.1:34567"
    bool operator==(const UdpPeer&) const = default;
};

class UdpEndpoint {
public:
    // Binds `ip`:`port` (port 0: any free one). Throws SimError naming the
    // address and the system's reason.
    UdpEndpoint(const std::string& ip, int port);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    int port() const { return port_; }
    int fd() const { return fd_; }
    // Waits up to `timeout` for a datagram (spinning the first `spin` of it,
    // see spinUntilReadable); returns its size (a datagram longer than `cap`
    // is cut to `cap` and reported as cap + 1, so it is never mistaken for a
    // whole one), or -1 when none came.
    long receive(std::uint8_t* buf, std::size_t cap, UdpPeer& from, std::chrono::milliseconds timeout,
                 std::chrono::microseconds spin = std::chrono::microseconds{0});
    // Without waiting: -1 when nothing is there.
    long receiveNow(std::uint8_t* buf, std::size_t cap, UdpPeer& from);
    // One datagram; false when the system refused it (the peer's port is
    // closed, a full buffer): the caller counts it and goes on.
    bool sendTo(const UdpPeer& to, const void* data, std::size_t n);

private:
    int fd_ = -1;
    int port_ = 0;
};

// A peer from a dotted IPv4 text and a port. Throws SimError.
UdpPeer udpPeer(const std::string& ip, int port);

}  // namespace uav
