// A client of the autopilot link, as an external autopilot would write it:
// connect, check the greeting, then send one command frame and read one reply
// per control step. Blocking sockets with time limits; no GUI, no threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/errors.h"
#include "link/frames.h"

namespace uav {

// The connection itself failed (refused, unreachable, timed out): unlike a
// bad name or a bad greeting, worth trying again while the server starts.
class LinkConnectError : public SimError {
public:
    using SimError::SimError;
};

class HilClient {
public:
    // Connects to host:port (dotted IPv4 or a name) and reads the greeting.
    // Throws SimError naming what failed: resolution, the connection, or a
    // greeting that is missing or not "Welcome to AP server!" CR LF.
    HilClient(const std::string& host, int port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~HilClient();
    HilClient(const HilClient&) = delete;
    HilClient& operator=(const HilClient&) = delete;

    // One control step: sends the frame in one write and waits for its reply.
    // Throws SimError when the server closes, times out or sends a bad frame.
    LinkTelemetry exchange(const ServoCommand& cmd);

    // The two halves of `exchange`, for pipelining and for tests that send
    // arbitrary bytes (pieces of frames, garbage, several frames at once).
    void sendBytes(const void* data, std::size_t n);
    void sendCommand(const ServoCommand& cmd);
    LinkTelemetry readReply();
    // Whether the server has closed the connection (waits up to `wait`; any
    // bytes that arrive meanwhile are discarded).
    bool closedByServer(std::chrono::milliseconds wait);
    // Bytes ready to read now, without waiting.
    std::size_t available() const;

    int fd() const { return fd_; }
    // Before each blocking wait for a reply, poll for it without sleeping for
    // up to `spin` (0, the default: no spinning). Worth it at lockstep pace,
    // where the reply comes within tens of microseconds.
    void setSpin(std::chrono::microseconds spin) { spin_ = spin; }

private:
    void readExactly(std::uint8_t* into, std::size_t n);
    int fd_ = -1;
    std::chrono::milliseconds timeout_;
    std::chrono::microseconds spin_{0};
};

// Connects as HilClient does, trying again every 100 ms while the connection
// itself fails, for up to `retryFor` (a client started together with its
// server may otherwise come first and be refused). Throws the last
// LinkConnectError once the time is up, any other SimError at once.
std::unique_ptr<HilClient> connectRetrying(const std::string& host, int port, std::chrono::milliseconds retryFor);

}  // namespace uav
