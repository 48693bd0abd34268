#include "link/apstandin.h"

#include <cstdint>

namespace uav {

ApStandIn::ApStandIn(const std::string& ip, int port) : socket_("127.0.0.1", 0), to_(udpPeer(ip, port)) {}

bool ApStandIn::sendRaw(const std::string& bytes) { return socket_.sendTo(to_, bytes.data(), bytes.size()); }

bool ApStandIn::receive(std::string& text, std::chrono::milliseconds timeout) {
    UdpPeer from;
    const long n = socket_.receive(reinterpret_cast<std::uint8_t*>(buf_), sizeof buf_ - 1, from, timeout,
                                   std::chrono::microseconds{200});
    if (n < 0) return false;
    text.assign(buf_, static_cast<std::size_t>(n));
    return true;
}

bool ApStandIn::exchange(const ApServoPacket& p, ApFdm& out, std::chrono::milliseconds timeout) {
    std::string text;
    return send(p) && receive(text, timeout) && readFdmReplyAsArduPilot(text, out);
}

}  // namespace uav
