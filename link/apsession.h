// One ArduPilot flight over the JSON interface, without sockets: what each
// datagram means (a new frame, a resend, a restart, not ours), and the held
// start with its catapult launch. The runner and the window both drive a
// flight through these, each with its own socket and clock.
#pragma once

#include <cstdint>
#include <string>

#include "core/simstate.h"
#include "link/apjson.h"

namespace uav {

// What to do with one datagram.
enum class ApFrameAction {
    Step,     // a new frame: set the controls, advance one dynamics tick, answer
    Restart,  // ArduPilot started again (its frame count went back): start the flight again, then Step
    Repeat,   // the same frame again (ArduPilot resends after ~1 s without an answer): answer it again
    Ignore,   // not a servo packet, or from a second sender while the first is active
};

struct ApCounters {
    std::uint64_t datagrams = 0;
    std::uint64_t frames = 0;        // Step and Restart
    std::uint64_t repeats = 0;
    std::uint64_t restarts = 0;
    std::uint64_t wrongSize = 0;
    std::uint64_t wrongMagic = 0;
    std::uint64_t countJumps = 0;    // frame count more than one ahead of the last (frames lost on the way)
    std::uint64_t otherSender = 0;   // datagrams of a second sender while the first was active
    std::uint64_t nonFinite = 0;     // reply values that were not finite (sent as 0)
};

// A sender is the current one from its first servo packet until it has sent
// nothing for SENDER_ACTIVE_S; meanwhile another sender's datagrams are
// ignored (counted, and named once in `lastOtherSender`).
class ApSession {
public:
    static constexpr double SENDER_ACTIVE_S = 2.0;  // s of the caller's clock (wall time)

    // `sender` names the source ("127.0.0.1:34567"); `nowS` is the caller's
    // clock. On Step, Restart and Repeat `out` holds the decoded packet.
    ApFrameAction accept(const std::string& sender, const std::uint8_t* bytes, std::size_t n, double nowS,
                         ApServoPacket& out);
    const ApCounters& counters() const { return counters_; }
    ApCounters& counters() { return counters_; }
    const std::string& sender() const { return sender_; }
    // A second sender seen while the first was active: true once per new name.
    bool takeOtherSenderNotice(std::string& name);
    double lastFrameAtS() const { return lastAtS_; }
    bool hasSender() const { return !sender_.empty(); }

private:
    ApCounters counters_;
    std::string sender_;
    std::string lastOther_, noticedOther_;
    bool otherNoticePending_ = false;
    double lastAtS_ = -1e300;
    std::uint32_t lastCount_ = 0;
    bool haveCount_ = false;
};

// The held start and the catapult.
//
// uavsim has no ground, and ArduPlane needs 20-30 s after its start to align
// its estimator before it arms and takes off. So an ArduPilot flight starts
// held: the aircraft stays at the initial conditions' position and attitude,
// still (no velocity, no rates, the accelerometer reading gravity's reaction),
// the servos following ArduPilot's outputs, until ArduPilot's throttle output
// first exceeds RELEASE_THROTTLE_US. ArduPlane holds its throttle output at
// the minimum while disarmed, so this is the first throttle of an armed
// aircraft: a takeoff, or the pilot's throttle in MANUAL.
// Then a catapult stroke takes it along its nose, at the initial conditions'
// attitude, from rest to the initial conditions' speed in STROKE_S with a
// constant acceleration (speed / STROKE_S: 16 m/s over 1 s is 1.6 g, a
// bungee's pull), the accelerometer reading that acceleration plus gravity's
// reaction. At the end of the stroke the aircraft flies free with the
// initial conditions' velocity, from where the stroke left it.
enum class LaunchPhase { Held, Stroke, Free };
const char* launchPhaseText(LaunchPhase p);

struct ApLaunch {
    static constexpr int RELEASE_THROTTLE_US = 1250;  // us: 25 % throttle on a 1000..2000 us output
    static constexpr double STROKE_S = 1.0;

    LaunchPhase phase = LaunchPhase::Held;
    double releaseSpeedMs = 0.0;  // m/s along the nose at the end of the stroke
    double strokeElapsedS = 0.0;
    Vec3 accelEarth;              // m/s^2 of the last prepared tick (kinematic phases)
};

// A launch for a flight whose start `s` has just been set up (initial
// conditions applied): the speed to reach is that of the initial conditions.
// `s` is held from here on.
ApLaunch beginHeldLaunch(SimState& s);

// Before each dynamics tick: in Held, keeps the state still and stopped (the
// tick then refreshes airflow and forces without integrating) and starts the
// stroke when `throttleUs` exceeds the release level; in Stroke, moves the
// state one tick along the rail (velocity first, then position) and sets it
// free at the end; in Free, does nothing (the tick integrates as always).
void prepareLaunchTick(ApLaunch& l, SimState& s, int throttleUs);

// The accelerometer for the reply after the tick: kinematic while held or on
// the rail, the forces of the tick once free.
Vec3 launchSpecificForceBody(const ApLaunch& l, const SimState& s, const ModelParams& mp);

}  // namespace uav
