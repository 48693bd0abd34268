// The autopilot link's wire format and its frame scanner: plain functions over
// bytes, no sockets, so they are tested and fuzzed alone.
//
// Command frame, client to server, 20 bytes:
//   AA EE 11, then aileron, elevator, rudder and throttle pulse widths (signed
//   32-bit little-endian integers, microseconds), then CC.
// Reply frame, server to client, 36 bytes:
//   AA EE 21, then roll, pitch, yaw (rad), ground speed, airspeed (m/s),
//   altitude, distance north, distance east (m) as little-endian IEEE-754
//   singles, then CC.
// Greeting: "Welcome to AP server!" CR LF once per connection, before any reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "control/channels.h"
#include "core/simstate.h"

namespace uav {

inline constexpr std::uint8_t FRAME_START = 0xAA;
inline constexpr std::uint8_t FRAME_SECOND = 0xEE;
inline constexpr std::uint8_t COMMAND_LENGTH_BYTE = 0x11;  // 17 bytes follow
inline constexpr std::uint8_t REPLY_LENGTH_BYTE = 0x21;    // 33 bytes follow
inline constexpr std::uint8_t FRAME_END = 0xCC;
inline constexpr std::size_t COMMAND_FRAME_SIZE = 20;
inline constexpr std::size_t REPLY_FRAME_SIZE = 36;
inline constexpr std::string_view LINK_GREETING = "Welcome to AP server!\r\n";
inline constexpr int LINK_DEFAULT_PORT = 9099;

using CommandFrame = std::array<std::uint8_t, COMMAND_FRAME_SIZE>;
using ReplyFrame = std::array<std::uint8_t, REPLY_FRAME_SIZE>;

// The four servo pulse widths of one command frame, microseconds.
struct ServoCommand {
    std::int32_t ail = 1500;
    std::int32_t elev = 1500;
    std::int32_t rud = 1500;
    std::int32_t thr = 1500;
    bool operator==(const ServoCommand&) const = default;
};

// The eight values a reply carries, taken from the state between two
// dynamics ticks.
struct LinkTelemetry {
    double roll = 0.0, pitch = 0.0, yaw = 0.0;  // rad
    double groundSpeed = 0.0;                   // m/s, |velocity|
    double airspeed = 0.0;                      // m/s, |airflowBody|
    double altitude = 0.0;                      // m, posH
    double north = 0.0;                         // m, posX
    double east = 0.0;                          // m, posZ
};

LinkTelemetry telemetryFromState(const SimState& s);

CommandFrame encodeCommand(const ServoCommand& c);
// Each double goes out as a single; a value a single cannot hold (beyond its
// range, infinite or NaN) goes out as 0.
ReplyFrame encodeReply(const LinkTelemetry& t);
// Decodes a whole reply frame (header, length and end mark checked); the
// values come back as the singles that were sent. False for anything else.
bool decodeReply(const std::uint8_t* bytes, std::size_t n, LinkTelemetry& out);

// Slider positions for a command, as a user would set them: aileron
// (ail - 1500) / 5, rudder (1500 - rud) / 5, elevator (elev - 1500) / 5,
// throttle (1500 - thr) / 5, each rounded to the nearest integer (halves to
// even) and held to the sliders' -100..100. 1000..2000 us span the range;
// rudder and throttle run inverted.
SliderPositions slidersFromCommand(const ServoCommand& c);

// The command display: "элер, мс = " ail CR "РВ, мс = " elev CR
// "рудер, мс = " rud CR "газ, мс = " thr (UTF-8, CR between lines).
std::string commandText(const ServoCommand& c);

// Finds command frames in a byte stream that may arrive in any pieces. It
// reads as the server's blocking read loop would, one pass per frame attempt:
//   1. one byte; not AA: the pass ends (the scan advances one byte);
//   2. one byte; not EE: the pass ends;
//   3. one byte; not 11: the pass ends;
//   4. seventeen bytes; the last not CC: the pass ends.
// Bytes of a pass that ended are never looked at again: a stray AA in front
// of a frame costs that frame, a wrong end mark drops the whole frame.
class FrameScanner {
public:
    // Scans `n` bytes; appends each complete valid frame's command to `out`.
    // Returns the number of commands appended.
    std::size_t feed(const std::uint8_t* bytes, std::size_t n, std::vector<ServoCommand>& out);
    // Bytes of the pass in progress (0 between frames).
    std::size_t pending() const { return have_; }
    // Frames rejected so far (a wrong second, third or end byte).
    std::uint64_t rejected() const { return rejected_; }

private:
    CommandFrame frame_{};
    std::size_t have_ = 0;
    std::uint64_t rejected_ = 0;
};

}  // namespace uav
