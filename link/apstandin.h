// A stand-in for ArduPilot's SITL on the JSON interface, for tests and the
// benchmark: sends servo packets from its own UDP socket and reads the
// replies as ArduPilot does.
#pragma once

#include <chrono>
#include <string>

#include "link/apjson.h"
#include "link/apudp.h"

namespace uav {

class ApStandIn {
public:
    // Sends to ip:port from a socket of its own on 127.0.0.1 (any port).
    ApStandIn(const std::string& ip, int port);
    // One packet (any bytes: the tests send bad ones too).
    bool sendRaw(const std::string& bytes);
    bool send(const ApServoPacket& p) { return sendRaw(encodeServoPacket(p)); }
    // The next datagram within `timeout`, as text; false when none came.
    bool receive(std::string& text, std::chrono::milliseconds timeout);
    // Sends `p` and waits for the reply; false when none came or it did not read.
    bool exchange(const ApServoPacket& p, ApFdm& out, std::chrono::milliseconds timeout);
    int localPort() const { return socket_.port(); }

private:
    UdpEndpoint socket_;
    UdpPeer to_;
    char buf_[2048];
};

}  // namespace uav
