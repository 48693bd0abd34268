// Auto-return home: the altitude and heading loops on top of the stabiliser.
// Home is the origin of the earth frame (X north, Y up, Z east).
#pragma once

#include "control/pid.h"
#include "core/simstate.h"

namespace uav {

// Settings of the auto-return window, in internal units.
struct ReturnSettings {
    double returnAltitude = 0.0;    // m
    double criticalAltitude = 0.0;  // m
    double returnMaxRoll = 0.0;     // rad, bank at a full heading command
    double returnMaxPitch = 0.0;    // rad, pitch at a full altitude command
    double returnSpeed = 0.0;       // m/s
    double homeRadius = 0.0;        // m, no heading command inside
    bool headingByAilerons = true;  // steer by bank; otherwise by rudder, wings level
};

struct ReturnState {
    bool altitudeCaptured = false;      // set-point is returnAltitude itself, not the profile
    bool belowCritical = false;         // below criticalAltitude at the last settings apply
    double profileStartDistance = 0.0;  // m from home
    double profileStartAltitude = 0.0;  // m
    double altitudeCommand = 0.0;       // -1..1, last altitude loop output
    double headingCommand = 0.0;        // -1..1, last heading command
};

// Angle from the ground track to the direction home, rad, in [-pi, pi]. Both
// directions are measured from east toward north: a = atan2(posX, posZ) + pi,
// b = atan2(velocity.x, velocity.z), e = a - b wrapped. Positive: home lies to
// the left of the track.
double bearingError(const SimState& s);

// Altitude set-point along the way home, m. Below the critical altitude (one
// second ahead) the return altitude; the first call above it after starting
// below restarts the profile from the critical altitude at the present
// distance. Otherwise a straight blend from the start altitude at the start
// distance to the return altitude at home, holding the start altitude farther
// out. Sets altitudeCaptured once the return altitude is reached or crossed or
// the home radius entered (still returning the profile value on that call).
double altitudeProfile(const SimState& s, const ReturnSettings& rs, ReturnState& st);

// Return set-points of the control tick: the altitude loop's set-point (the
// return altitude once captured, else the profile) and the return speed.
void returnSetpoints(const SimState& s, const ReturnSettings& rs, ReturnState& st, PidLoop& altitudeLoop,
                     PidLoop& speedLoop);

// Return step of the loop tick, before the bank and pitch loops: steps the
// altitude loop (pitch set-point = command x returnMaxPitch) and the heading
// loop; outside the home radius its output is the heading command, inside it
// is 0. By ailerons: bank set-point = command x returnMaxRoll. By rudder:
// wings level and rudderIn = command.
void returnStep(const SimState& s, const ReturnSettings& rs, ReturnState& st, PidLoop& altitudeLoop,
                PidLoop& headingLoop, PidLoop& rollLoop, PidLoop& pitchLoop, double& rudderIn);

}  // namespace uav
