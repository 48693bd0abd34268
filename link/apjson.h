// ArduPilot's SITL "JSON" physics interface: the servo packet codec, the reply
// writer, the one conversion from uavsim's state to ArduPilot's frames, and the
// channel map. Plain functions over bytes and records, no sockets (see
// link/apudp.h), so each part is tested and fuzzed alone.
//
// ArduPilot's frames, used in every field named ...Ned / ...Frd below:
//   NED earth: x north, y east, z down, metres from home.
//   FRD body:  x forward, y right wing, z down.
//   Euler angles: roll positive right wing down, pitch positive nose up, yaw
//   clockwise from north (east positive), applied yaw, then pitch, then roll.
// uavsim's frames (core/vecmath.h): earth X north, Y up, Z east; body x
// forward, y up, z right wing. So NED = (X, Z, -Y) and FRD = (x, z, -y).
//
// Servo packet, ArduPilot to the physics, little-endian:
//   uint16 magic 18458, uint16 frame_rate (Hz), uint32 frame_count,
//   uint16 pwm[16] (us): 40 bytes; magic 29569 with pwm[32]: 72 bytes.
// Reply, the physics to ArduPilot: one JSON object as text between two "\n".
// ArduPilot's reader finds every key with strstr and reads the value right
// after the key's closing quote and colon (vectors with "[%f, %f, %f]"), so
// the writer puts nothing between the colon and the value, writes numbers
// with a point whatever the locale and never NaN or infinity, and orders the
// keys so that no key contains the name of a key ArduPilot looks up later
// before that key's own place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/aircraft.h"
#include "core/simstate.h"
#include "link/frames.h"

namespace uav {

inline constexpr std::uint16_t AP_MAGIC_16 = 18458;
inline constexpr std::uint16_t AP_MAGIC_32 = 29569;
inline constexpr std::size_t AP_PACKET_16_BYTES = 40;
inline constexpr std::size_t AP_PACKET_32_BYTES = 72;
inline constexpr int AP_DEFAULT_PORT = 9002;     // the physics listens here (+10 per ArduPilot instance)
inline constexpr int AP_RC_DEFAULT_PORT = 5501;  // ArduPilot's SITL RC input (+10 per instance)

struct ApServoPacket {
    std::uint16_t frameRateHz = 0;  // ArduPilot's physics rate; this interface steps 10 ms whatever it says
    std::uint32_t frameCount = 0;
    int channels = 16;              // 16 or 32
    std::array<std::uint16_t, 32> pwmUs{};  // outputs 1..channels at [0..channels-1]; the rest 0
};

enum class ApPacketFault { None, WrongSize, WrongMagic };
const char* apPacketFaultText(ApPacketFault f);

// Decodes one datagram. A size of 40 with magic 18458 or 72 with magic 29569
// is a servo packet; anything else is not (the fault says why).
std::optional<ApServoPacket> decodeServoPacket(const std::uint8_t* bytes, std::size_t n,
                                               ApPacketFault* fault = nullptr);
// The datagram ArduPilot would send (16 or 32 channels as `p.channels` says).
std::string encodeServoPacket(const ApServoPacket& p);

// What ArduPilot reads back each frame, every field in ArduPilot's frames.
struct ApFdm {
    double timestampS = 0.0;  // s of physics time since the flight started
    Vec3 gyroFrd;             // rad/s, body rates
    Vec3 accelFrd;            // m/s^2, specific force (level at rest: (0, 0, -9.8))
    Vec3 posNed;              // m from home
    Vec3 velNed;              // m/s
    Vec3 eulerRad;            // roll, pitch, yaw (yaw clockwise from north, -pi..pi)
    double airspeedMs = 0.0;  // along the nose, as a pitot reads it; never negative
};

struct ApReply {
    std::string text;          // "\n{...}\n"
    int nonFiniteReplaced = 0; // values that were NaN or infinite, written as 0
};

// Keys in this order: timestamp, imu {gyro, accel_body}, position, velocity,
// attitude, airspeed. Numbers in the shortest form that reads back exactly
// (as float for the vectors ArduPilot reads as float).
ApReply writeFdmReply(const ApFdm& f);

// Reads a reply as ArduPilot's reader does (each key found with strstr, the
// value read right after its quote and colon, vectors with sscanf
// "[%f, %f, %f]"): for the stand-in client and the tests. False when a key
// ArduPilot requires is missing or a vector does not read.
bool readFdmReplyAsArduPilot(const std::string& text, ApFdm& out);

// Frame conversions.
inline Vec3 earthToNed(const Vec3& e) { return {e.x, e.z, -e.y}; }
inline Vec3 bodyToFrd(const Vec3& b) { return {b.x, b.z, -b.y}; }
// Roll, pitch, yaw of `orient` (rows: body axes in earth coordinates) in
// ArduPilot's convention. Pitch is the true elevation of the nose (asin),
// not the window's arctan of its vertical component.
Vec3 apEulerFromOrient(const Mat3& orient);

// The accelerometer: aerodynamic and thrust forces of the last tick over the
// mass, body frame (uavsim's axes). Gravity does not act on an accelerometer.
Vec3 specificForceBody(const SimState& s, const ModelParams& mp);
// The accelerometer of an aircraft moved with earth acceleration `accelEarth`
// (m/s^2) by something other than its own forces (a hand, a catapult):
// accelEarth minus gravity, in body axes.
Vec3 kinematicSpecificForceBody(const Mat3& orient, const Vec3& accelEarth);

// One reply's worth of the state. `specificForceBody` is one of the two above.
ApFdm fdmFromState(const SimState& s, const Vec3& specificForceBodyMs2, double timestampS);

// Which ArduPilot servo output drives each of uavsim's four channels, and
// whether it is reversed (mirrored about 1500 us). Default: ArduPlane's outputs,
// 1 aileron, 2 elevator, 3 throttle, 4 rudder, none reversed.
struct ApChannel {
    int output = 1;         // 1..32
    bool reversed = false;
    bool operator==(const ApChannel&) const = default;
};
struct ApChannelMap {
    ApChannel aileron{1, false};
    ApChannel elevator{2, false};
    ApChannel throttle{3, false};
    ApChannel rudder{4, false};
    bool operator==(const ApChannelMap&) const = default;
};
// "A,E,T,R": the outputs of aileron, elevator, throttle and rudder, each
// optionally preceded by '-' for reversed: "1,-2,3,4". Throws SimError naming
// the text.
ApChannelMap parseChannelMap(const std::string& text);
std::string channelMapText(const ApChannelMap& m);

// The link command for a servo packet: each channel's pulse width, reversed
// where the map says. An output of 0 us (ArduPilot sends 0 for an output it
// does not drive) or beyond the packet's channels keeps `previous`'s pulse.
// The pulses then go through the link's pulse-to-slider rule
// (slidersFromCommand), which holds 65535 us and the like to the slider's end.
ServoCommand commandFromServos(const ApServoPacket& p, const ApChannelMap& m, const ServoCommand& previous);
// The throttle output's pulse width, us (0 when the output is not in the packet).
int throttlePulseUs(const ApServoPacket& p, const ApChannelMap& m);

// RC input for ArduPilot's SITL (its UDP RC port, 5501 + 10 per instance):
// 8 little-endian uint16 pulse widths. Channels 1-4 from slider positions,
// in ArduPilot's sense: 1 aileron (longer: right), 2 elevator (longer: pitch
// up, as the MANUAL check shows), 3 throttle (1000 idle .. 2000 full), 4 rudder
// (longer: right); channel 8 the flight mode switch (plane.parm's FLTMODE_CH),
// channels 5-7 centred.
inline constexpr int AP_MODE_SWITCH_CHANNEL = 8;
inline constexpr int AP_MODE_SWITCH_POSITIONS = 6;
// The middle of ArduPilot's band for switch position 1..6 (FLTMODE1..6):
// 1165, 1295, 1425, 1555, 1685, 1815 us. Positions outside are held to 1..6.
int modeSwitchPulseUs(int position);
std::array<std::uint16_t, 8> rcFromSliders(const SliderPositions& p, int modeSwitchPosition);
std::string encodeRcInput(const std::array<std::uint16_t, 8>& pulsesUs);

}  // namespace uav
