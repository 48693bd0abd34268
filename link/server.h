// The autopilot link's TCP server (POSIX sockets and threads, no GUI): binds
// to chosen IPv4 addresses, accepts any number of clients up to a bound, and
// serves each connection on its own thread: the greeting, then the frame
// scanner, and one reply per valid frame, built by the owner's handler.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/frames.h"

namespace uav {

// The latest telemetry, published by the simulation thread after every
// dynamics tick and read by connection threads: each read is one whole tick.
class TelemetrySnapshot {
public:
    void publish(const LinkTelemetry& t);
    LinkTelemetry read() const;
    std::uint64_t published() const { return count_.load(std::memory_order_relaxed); }

private:
    mutable std::mutex m_;
    LinkTelemetry t_;
    std::atomic<std::uint64_t> count_{0};
};

// Commands on their way from connection threads to the simulation thread, in
// arrival order. Bounded: when the simulation thread falls this far behind the
// oldest command goes (a later one overwrites the same sliders anyway).
class CommandQueue {
public:
    static constexpr std::size_t CAPACITY = 65536;
    // True when the queue was empty, so the caller wakes the consumer once.
    bool push(const ServoCommand& c);
    // Moves every waiting command, oldest first, to the end of `out`.
    void drain(std::vector<ServoCommand>& out);
    std::uint64_t dropped() const;

private:
    mutable std::mutex m_;
    std::deque<ServoCommand> q_;
    std::uint64_t dropped_ = 0;
};

struct LinkBinding {
    std::string ip;  // dotted IPv4
    int port = 0;    // 0: any free port (see LinkServer::boundPorts)
};

struct LinkLimits {
    // When this many clients are connected, a newcomer takes the place of the
    // one that has gone longest without a valid frame, if that is at least
    // `evictIdleAfter`; otherwise the newcomer is closed at once. So idle
    // connections cannot hold the server, and no working client is dropped.
    int maxClients = 64;
    std::chrono::milliseconds evictIdleAfter{10000};
    // Replies a client has not read yet may wait in the socket's send queue
    // up to this many bytes (beyond what the client's own receive buffer
    // holds); a reply that would not fit is not sent at all and the
    // connection closes, so a client that never reads costs bounded memory
    // and never gets part of a reply.
    int sendBufferBytes = 64 * 1024;
    int listenBacklog = 64;
    // Connection threads ask for real-time scheduling (FIFO, lowest
    // priority): a woken thread then answers at once instead of waiting a
    // scheduler slice (several ms) behind busy threads such as the 3D view's
    // software rasteriser. Granted to root or under an rtprio limit; where
    // refused the thread runs as any other. A connection that receives more
    // than `realtimeBytesPerSecond` in one second (a flood: a 400 Hz control
    // loop sends 8 kB/s) returns to normal scheduling for good.
    bool realtimeThreads = true;
    std::size_t realtimeBytesPerSecond = 100 * 1024;
};

struct LinkCounters {
    std::uint64_t accepted = 0;      // connections served
    std::uint64_t refused = 0;       // closed at once: too many clients, or no thread
    std::uint64_t evicted = 0;       // closed to make room, after going the idle time without a valid frame
    std::uint64_t overflowed = 0;    // closed because their replies went unread
    std::uint64_t frames = 0;        // valid frames answered
    std::uint64_t rejected = 0;      // frames dropped by the scanner
    std::uint64_t realtime = 0;      // connections served with real-time scheduling
    std::uint64_t demoted = 0;       // of those, returned to normal scheduling by a flood
    int open = 0;                    // connections open now
};

class LinkServer {
public:
    // Runs on a connection thread for each valid frame, in the order of that
    // connection's frames; returns the reply. Must be thread-safe: several
    // connections call it at once. An exception closes that connection.
    using FrameHandler = std::function<ReplyFrame(const ServoCommand&)>;
    // Told, on the server's threads, each time a client is refused or dropped
    // and why, in one line naming the client ("Client 127.0.0.1:40312
    // dropped: ..."). Must be thread-safe.
    using DropLog = std::function<void(const std::string&)>;

    explicit LinkServer(FrameHandler handler, LinkLimits limits = {}, DropLog dropLog = {});
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // Binds and listens on every binding; on any failure nothing listens and
    // SimError carries the reason. A running server is stopped first.
    void start(const std::vector<LinkBinding>& bindings);
    // Stops listening and closes every connection; returns when every
    // connection thread has ended. Harmless when stopped.
    void stop();
    bool listening() const { return listening_.load(); }
    // The ports actually bound, in binding order (resolves port 0).
    std::vector<int> boundPorts() const;
    LinkCounters counters() const;

private:
    struct Connection {
        int fd = -1;
        std::string peer;  // "address:port"
        std::thread thread;
        std::atomic<bool> done{false};
        std::atomic<bool> evicted{false};
        // steady-clock nanoseconds of the last valid frame (of the accept at first)
        std::atomic<std::int64_t> lastFrameNs{0};
    };
    void acceptLoop();
    void admit(int fd, const std::string& peer);
    void serve(Connection& c);
    void log(const std::string& line) const;
    void reapFinished(bool all);
    void wake();

    FrameHandler handler_;
    LinkLimits limits_;
    DropLog dropLog_;
    std::vector<int> listenFds_;
    std::vector<int> ports_;
    int wakePipe_[2] = {-1, -1};
    std::thread acceptor_;
    std::atomic<bool> listening_{false};
    std::atomic<bool> stopping_{false};
    mutable std::mutex connMutex_;
    std::vector<std::unique_ptr<Connection>> conns_;
    std::atomic<std::uint64_t> accepted_{0}, refused_{0}, evicted_{0}, overflowed_{0}, frames_{0}, rejected_{0},
        realtime_{0}, demoted_{0};
};

// A listening socket on one binding; `boundPort` gets the port bound (for
// port 0). Throws SimError naming the address and the reason.
int openListener(const LinkBinding& b, int backlog, int& boundPort);
// An accepted connection: no Nagle (a small reply must not wait for the
// previous one's acknowledgement) and a send buffer with room for
// `sendBufferBytes` of waiting replies and the kernel's bookkeeping.
void tuneAcceptedSocket(int fd, int sendBufferBytes);
// Sends all of `data` or nothing, without waiting: nothing (false) when more
// than `maxQueued` bytes would then wait unsent or unacknowledged (the peer is
// not reading) or the socket failed. Should the kernel take only part after
// all, the rest follows within a second, so the peer never sees part of a
// frame unless the socket fails outright.
bool sendWhole(int fd, const void* data, std::size_t n, std::size_t maxQueued);
// Sends all of `data`, waiting as long as the peer needs to read (or until
// the socket fails or is shut down): for a single client that must never lose
// a reply. False when the socket failed.
bool sendAll(int fd, const void* data, std::size_t n);
// Ends a connection the server gives up on without cutting what it sent:
// sends the end of stream after the replies queued, then reads and discards
// the peer's bytes (closing over unread bytes would reset the connection and
// lose the replies not yet delivered, perhaps inside one) until every reply
// is delivered, the peer closes, or `linger` passes. The caller closes `fd`.
void endGracefully(int fd, std::chrono::milliseconds linger);
// The peer's "address:port" of a connected socket ("?" if unknown).
std::string peerName(int fd);
// Polls `fd` for bytes without sleeping, for at most `limit`; true when bytes
// are there. In a request-reply exchange the answer usually comes within tens
// of microseconds, and waking a blocked thread on an idle core of a virtual
// machine costs as much again, so a peer that spins briefly before its
// blocking read doubles a lockstep link's frame rate.
bool spinUntilReadable(int fd, std::chrono::microseconds limit);

// The machine's IPv4 addresses, loopback left out, in interface order.
std::vector<std::string> localIPv4Addresses();

// The services database's ports, ascending, each with the comma-separated
// names of the services on it ("80: http,www").
std::vector<std::string> servicePortItems();

// A port text parsed as a decimal integer (blanks and a sign allowed).
// Throws SimError "'<text>' is not a valid integer value"; a number outside
// 0..65535 is refused with "Port <n> is out of range 0..65535".
int parsePortText(const std::string& text);

}  // namespace uav
