// The built-in autopilot: modes, the eight PID loops, and the two 20 ms ticks.
//
// controlTick (Timer5, always running): mode Off maps the sliders to the
// channels and applies them; the other modes turn the sliders into loop
// set-points. loopTick (Timer4, running while the loop timer is on): steps the
// loops, writes the channel commands and applies them.
#pragma once

#include "control/apsettings.h"
#include "control/autoreturn.h"
#include "control/channels.h"
#include "control/pid.h"
#include "control/relaytuning.h"
#include "core/aircraft.h"
#include "core/simstate.h"

namespace uav {

// RadioGroup1 "Режим АП".
enum class ApMode { Off = 0, Stabilise = 1, Return = 2, RateHold = 3 };

struct AutopilotLoops {
    // The main window gives the bank and pitch loops these gains before the
    // settings windows apply their defaults.
    PidLoop rollLoop{.kp = 40, .ki = 10, .kd = 5};       // rollAngle -> aileronIn
    PidLoop pitchLoop{.kp = 40, .ki = 10, .kd = 5};      // pitchAngle -> -elevatorIn
    PidLoop speedLoop;      // airspeed -airflowBody.x, m/s -> throttle (1 + out) / 2
    PidLoop altitudeLoop;   // posH, m -> pitch set-point
    PidLoop headingLoop;    // bearing error, rad, set-point 0 -> heading command
    PidLoop rollRateLoop;   // omegaBody.x -> aileronIn
    PidLoop yawRateLoop;    // omegaBody.y -> -rudderIn
    PidLoop pitchRateLoop;  // omegaBody.z -> -elevatorIn
};

// Everything the controls and the autopilot own. The application and the
// headless runner each hold exactly one.
struct Autopilot {
    ApMode mode = ApMode::Off;
    bool loopTimerOn = false;  // Timer4
    SliderPositions sliders;
    Channels channels;
    ServoState servos;
    AutopilotLoops loops;
    StabiliserSettings stabiliser;
    ReturnSettings returnSettings;
    ReturnState returnState;
    RelayTuning tuning;
};

// Start-up: the stabilisation window applies its texts (then tuning is off),
// then the auto-return window applies its texts.
void initAutopilot(Autopilot& ap, const StabiliserTexts& stab, const ReturnTexts& ret, char decimalSep,
                   const SimState& s);

// Mode change: sets the mode, then its engagement.
//   Off:       loop timer off; loop states stay.
//   Stabilise: bank/pitch integrals := the commands in force (aileronIn,
//              -elevatorIn), prevMeasured := the present angles; timer on.
//   Return:    the Stabilise engagement, then the return engagement: apply the
//              auto-return texts (may throw SimError: then the autopilot is
//              left exactly as it was, in its previous mode), altitude and heading loops reset
//              to the present state, profile start := present distance and
//              altitude, rudderIn := 0; timer on.
//   RateHold:  rate-loop integrals := aileronIn, -elevatorIn, -rudderIn,
//              prevMeasured := the present body rates; timer on.
// speedLoop is never re-initialised.
void engageMode(Autopilot& ap, ApMode mode, const SimState& s, const ReturnTexts& returnTexts,
                char decimalSep);

// The control tick at clock time `nowMs`. Mode Off: sliders to channels and
// applyCommands. Stabilise: bank and pitch set-points from the sliders (not
// while tuning), speed set-point from the throttle slider, rudderIn from its
// slider. Return: the return set-points. RateHold: rate set-points and the
// speed set-point. The caller then refreshes the output display
// (outputDisplayText).
void controlTick(Autopilot& ap, SimState& s, const Aircraft& ac, ClockMs nowMs);

// The loop tick at clock time `nowMs`; does nothing in mode Off. Stabilise:
// bank and pitch loops (not stepped while tuning: the relay writes their
// outputs) into aileronIn and -elevatorIn. Return: the return step, then the
// Stabilise step. RateHold: roll-, pitch- and yaw-rate loops. Then the speed
// loop into the throttle, then applyCommands.
void loopTick(Autopilot& ap, SimState& s, const Aircraft& ac, ClockMs nowMs);

}  // namespace uav
