// The control timers driven by simulated time, for runs without windows (the
// headless runner, closed-loop tests, benchmarks): deterministic, and as fast
// as the machine allows.
#pragma once

#include "control/autopilot.h"
#include "control/relaytuning.h"
#include "core/dynamics.h"

namespace uav {

struct HeadlessControl {
    explicit HeadlessControl(Autopilot& ap) : hook(ap) {}
    long ticks = 0;  // dynamics ticks so far; the clock is ticks x dt
    RelayTuneHook hook;
};

// Simulated clock, s.
double headlessTime(const HeadlessControl& hc, const SimState& s);

// One dynamics tick with the 20 ms control timers on every second one. Order,
// with t = ticks x dt the simulated clock before the tick:
//   1. on even ticks: controlTick(t), then loopTick(t) while the loop timer is on;
//   2. dynamicsTick; after an integrating tick the relay step (while tuning is
//      on) reads the clock t + dt;
//   3. ticks += 1.
// The servo rate limit and the relay thus see exactly 0.02 s per control period.
TickResult headlessTick(HeadlessControl& hc, Autopilot& ap, SimState& s, const Aircraft& ac);

}  // namespace uav
