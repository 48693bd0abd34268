// Relay auto-tuning of the bank and pitch loops. While it runs, a relay of
// amplitude RELAY_AMPLITUDE around the outputs at its start replaces the two
// PID loops; the sign changes of the attitude error and the summed error give
// the oscillation's period and size, from which new gains are proposed.
#pragma once

#include <string>

#include "control/apsettings.h"
#include "control/channels.h"
#include "control/pid.h"
#include "core/dynamics.h"
#include "core/simstate.h"

namespace uav {

struct Autopilot;

inline constexpr double RELAY_AMPLITUDE = 0.04;  // output units

struct RelayTuning {
    bool on = false;
    int phase = 0;             // 0: initialise at the next relay step; 1: relay running
    ClockMs startTimeMs = 0;   // clock time of the initialising step
    double pitchBase = 0.0;    // loop outputs when the relay started
    double rollBase = 0.0;
    int pitchSign = 1;         // sign of the error at the last counted crossing
    int rollSign = 1;
    int pitchCrossings = 0;    // counted sign changes of the error
    int rollCrossings = 0;
    double pitchErrorSum = 0.0;  // rad, sum of |error| over the relay steps
    double rollErrorSum = 0.0;   // rad
};

// "Start AT": marks the experiment for initialisation at the next relay step.
void startTuning(RelayTuning& rt);

// One relay step (after an integrating dynamics tick, while on). Phase 0
// initialises (counters, sums, bases, signs +1, startTimeMs = nowMs) and enters
// phase 1. Phase 1, pitch then roll: e = angle - setpoint; a sign change of e
// against the last counted sign is a crossing; |e| is summed; the output is
// base - RELAY_AMPLITUDE when the angle is above the set-point, else base +
// RELAY_AMPLITUDE.
void relayTuneStep(RelayTuning& rt, const SimState& s, PidLoop& pitchLoop, PidLoop& rollLoop, ClockMs nowMs);

// The main window caption set by every relay step: "12  14" (pitch crossings,
// two spaces, roll crossings).
std::string relayCaption(const RelayTuning& rt);

// "Stpop AT": tuning off, then the gain proposal written into the
// stabilisation window's texts (general format, the given separator), pitch
// first: with t = secondsBetween(startTimeMs, nowMs), Tu = 2t / crossings,
// A = pi x errorSum / (2 crossings), K = pi A / 0.16,
//   pitch: Edit6 = 50 K, Edit7 = 3.7 K / Tu, Edit8 = 1.8 Tu / K;
//   roll:  Edit2 = 100 K, Edit3 = 10 K / Tu, Edit4 = 3 Tu / K.
// A zero divisor (no crossing, no error, no elapsed time) throws SimError
// "Floating point division by zero" at that point; the texts written before
// it stay.
void stopTuning(RelayTuning& rt, ClockMs nowMs, StabiliserTexts& texts, char decimalSep);

// Step 14 of the dynamics tick: runs relayTuneStep on the autopilot's pitch and
// roll loops while tuning is on. The owner sets `nowMs` (the clock) before
// each tick; after a step the caption to show is in `caption`.
class RelayTuneHook : public TickHook {
public:
    explicit RelayTuneHook(Autopilot& ap) : ap_(ap) {}
    void afterIntegration(SimState& s) override;

    ClockMs nowMs = 0;
    std::string caption;
    bool captionChanged = false;  // set by a step; the owner clears it

private:
    Autopilot& ap_;
};

}  // namespace uav
