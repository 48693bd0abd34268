#include "control/relaytuning.h"

#include <cmath>

#include "control/autopilot.h"
#include "core/errors.h"
#include "model/numtext.h"

namespace uav {

namespace {

// One axis of the relay: count a crossing, sum the error, switch the output.
void relayAxis(double angle, PidLoop& loop, double base, int& sign, int& crossings, double& errorSum) {
    const double e = angle - loop.setpoint;  // rad
    if (sign * e < 0.0) {
        ++crossings;
        sign = e > 0.0 ? 1 : -1;
    }
    errorSum += std::fabs(e);
    loop.output = angle > loop.setpoint ? base - RELAY_AMPLITUDE : base + RELAY_AMPLITUDE;
}

double divide(double num, double den) {
    if (den == 0.0) throw divisionByZero();
    return num / den;
}

// Gains for one axis, written P, I, D in this order into the three texts.
void proposeAxis(double t, int crossings, double errorSum, double pFactor, double iFactor, double dFactor,
                 std::string& pText, std::string& iText, std::string& dText, char sep) {
    const double tu = divide(2.0 * t, crossings);                    // s, oscillation period
    const double a = divide(PI * errorSum, 2.0 * crossings);         // rad, oscillation amplitude
    const double k = PI * a / 0.16;                                  // 4 x relay amplitude = 0.16
    pText = formatGeneral(pFactor * k, sep);
    iText = formatGeneral(divide(iFactor * k, tu), sep);
    dText = formatGeneral(divide(dFactor * tu, k), sep);
}

}  // namespace

void startTuning(RelayTuning& rt) {
    rt.on = true;
    rt.phase = 0;
}

void relayTuneStep(RelayTuning& rt, const SimState& s, PidLoop& pitchLoop, PidLoop& rollLoop, ClockMs nowMs) {
    if (rt.phase == 0) {
        rt.phase = 1;
        rt.startTimeMs = nowMs;
        rt.pitchCrossings = 0;
        rt.pitchBase = pitchLoop.output;
        rt.pitchSign = 1;
        rt.pitchErrorSum = 0.0;
        rt.rollCrossings = 0;
        rt.rollBase = rollLoop.output;
        rt.rollSign = 1;
        rt.rollErrorSum = 0.0;
    } else if (rt.phase == 1) {
        relayAxis(s.pitchAngle, pitchLoop, rt.pitchBase, rt.pitchSign, rt.pitchCrossings, rt.pitchErrorSum);
        relayAxis(s.rollAngle, rollLoop, rt.rollBase, rt.rollSign, rt.rollCrossings, rt.rollErrorSum);
    }
}

std::string relayCaption(const RelayTuning& rt) {
    return std::to_string(rt.pitchCrossings) + "  " + std::to_string(rt.rollCrossings);
}

void stopTuning(RelayTuning& rt, ClockMs nowMs, StabiliserTexts& texts, char decimalSep) {
    rt.on = false;
    const double t = secondsBetween(rt.startTimeMs, nowMs);  // s
    proposeAxis(t, rt.pitchCrossings, rt.pitchErrorSum, 50.0, 3.7, 1.8, texts.text[ST_PITCH_KP],
                texts.text[ST_PITCH_KI], texts.text[ST_PITCH_KD], decimalSep);
    proposeAxis(t, rt.rollCrossings, rt.rollErrorSum, 100.0, 10.0, 3.0, texts.text[ST_ROLL_KP],
                texts.text[ST_ROLL_KI], texts.text[ST_ROLL_KD], decimalSep);
}

void RelayTuneHook::afterIntegration(SimState& s) {
    if (!ap_.tuning.on) return;
    relayTuneStep(ap_.tuning, s, ap_.loops.pitchLoop, ap_.loops.rollLoop, nowMs);
    caption = relayCaption(ap_.tuning);
    captionChanged = true;
}

}  // namespace uav
