#include "control/autopilot.h"

#include <utility>

namespace uav {

void initAutopilot(Autopilot& ap, const StabiliserTexts& stab, const ReturnTexts& ret, char decimalSep,
                   const SimState& s) {
    applyStabiliserTexts(stab, decimalSep, ap.stabiliser, ap.loops);
    ap.tuning.on = false;
    applyReturnTexts(ret, decimalSep, s, ap.returnSettings, ap.returnState, ap.loops);
}

namespace {

// Integrals take the commands in force, so that with zero error the first
// outputs reproduce them and the surfaces do not jump.
void engageStabilise(Autopilot& ap, const SimState& s) {
    ap.loops.rollLoop.integral = ap.channels.aileronIn;
    ap.loops.rollLoop.prevMeasured = s.rollAngle;
    ap.loops.pitchLoop.integral = -ap.channels.elevatorIn;
    ap.loops.pitchLoop.prevMeasured = s.pitchAngle;
}

void engageReturn(Autopilot& ap, const SimState& s, const ReturnTexts& texts, char decimalSep) {
    applyReturnTexts(texts, decimalSep, s, ap.returnSettings, ap.returnState, ap.loops);
    ap.loops.altitudeLoop.integral = 0.0;
    ap.loops.altitudeLoop.prevMeasured = s.posH;
    ap.returnState.profileStartDistance = s.posD;
    ap.returnState.profileStartAltitude = s.posH;
    ap.loops.headingLoop.integral = 0.0;
    ap.loops.headingLoop.prevMeasured = bearingError(s);
    ap.channels.rudderIn = 0.0;
}

void engageRateHold(Autopilot& ap, const SimState& s) {
    AutopilotLoops& l = ap.loops;
    l.rollRateLoop.integral = ap.channels.aileronIn;
    l.rollRateLoop.prevMeasured = s.omegaBody.x;
    l.pitchRateLoop.integral = -ap.channels.elevatorIn;
    l.pitchRateLoop.prevMeasured = s.omegaBody.z;
    l.yawRateLoop.integral = -ap.channels.rudderIn;
    l.yawRateLoop.prevMeasured = s.omegaBody.y;
}

// Speed set-point from the throttle slider: top end speedMax, bottom speedMin.
double speedSetpoint(const StabiliserSettings& st, int throttleSlider) {
    return (st.speedMax - st.speedMin) * (100 - throttleSlider) / 200.0 + st.speedMin;
}

void stabiliseStep(Autopilot& ap, const SimState& s) {
    PidLoop& roll = ap.loops.rollLoop;
    PidLoop& pitch = ap.loops.pitchLoop;
    roll.measured = s.rollAngle;
    if (!ap.tuning.on) pidStep(roll);
    ap.channels.aileronIn = roll.output;
    pitch.measured = s.pitchAngle;
    if (!ap.tuning.on) pidStep(pitch);
    ap.channels.elevatorIn = -pitch.output;
}

}  // namespace

void engageMode(Autopilot& ap, ApMode mode, const SimState& s, const ReturnTexts& returnTexts,
                char decimalSep) {
    // The engagement works on a copy: one that stops on a bad text leaves the
    // autopilot in the mode it was in, with everything as it was.
    Autopilot next = ap;
    next.mode = mode;
    switch (mode) {
        case ApMode::Off:
            next.loopTimerOn = false;
            break;
        case ApMode::Stabilise:
            engageStabilise(next, s);
            next.loopTimerOn = true;
            break;
        case ApMode::Return:
            engageStabilise(next, s);
            engageReturn(next, s, returnTexts, decimalSep);
            next.loopTimerOn = true;
            break;
        case ApMode::RateHold:
            engageRateHold(next, s);
            next.loopTimerOn = true;
            break;
    }
    ap = std::move(next);
}

void controlTick(Autopilot& ap, SimState& s, const Aircraft& ac, ClockMs nowMs) {
    const SliderPositions& p = ap.sliders;
    const StabiliserSettings& st = ap.stabiliser;
    AutopilotLoops& l = ap.loops;
    switch (ap.mode) {
        case ApMode::Off:
            slidersToChannels(p, ap.channels);
            applyCommands(s, ac, ap.channels, ap.servos, nowMs);
            break;
        case ApMode::Stabilise:
            if (!ap.tuning.on) {
                l.rollLoop.setpoint = p.ailerons * st.rollMaxAngle / 100.0;
                l.pitchLoop.setpoint = p.elevator * st.pitchMaxAngle / 100.0;
            }
            l.speedLoop.setpoint = speedSetpoint(st, p.throttle);
            ap.channels.rudderIn = p.rudder / 100.0;
            break;
        case ApMode::Return:
            returnSetpoints(s, ap.returnSettings, ap.returnState, l.altitudeLoop, l.speedLoop);
            break;
        case ApMode::RateHold:
            l.rollRateLoop.setpoint = p.ailerons * st.rollRateMax / 100.0;
            l.yawRateLoop.setpoint = -st.yawRateMax * p.rudder / 100.0;
            l.pitchRateLoop.setpoint = p.elevator * st.pitchRateMax / 100.0;
            l.speedLoop.setpoint = speedSetpoint(st, p.throttle);
            break;
    }
}

void loopTick(Autopilot& ap, SimState& s, const Aircraft& ac, ClockMs nowMs) {
    AutopilotLoops& l = ap.loops;
    switch (ap.mode) {
        case ApMode::Off:
            return;
        case ApMode::Stabilise:
            stabiliseStep(ap, s);
            break;
        case ApMode::Return:
            returnStep(s, ap.returnSettings, ap.returnState, l.altitudeLoop, l.headingLoop, l.rollLoop,
                       l.pitchLoop, ap.channels.rudderIn);
            stabiliseStep(ap, s);
            break;
        case ApMode::RateHold:
            l.rollRateLoop.measured = s.omegaBody.x;
            pidStep(l.rollRateLoop);
            ap.channels.aileronIn = l.rollRateLoop.output;
            l.pitchRateLoop.measured = s.omegaBody.z;
            pidStep(l.pitchRateLoop);
            ap.channels.elevatorIn = -l.pitchRateLoop.output;
            l.yawRateLoop.measured = s.omegaBody.y;
            pidStep(l.yawRateLoop);
            ap.channels.rudderIn = -l.yawRateLoop.output;
            break;
    }
    l.speedLoop.measured = -s.airflowBody.x;
    pidStep(l.speedLoop);
    ap.channels.throttle = (1.0 + l.speedLoop.output) / 2.0;
    applyCommands(s, ac, ap.channels, ap.servos, nowMs);
}

}  // namespace uav
