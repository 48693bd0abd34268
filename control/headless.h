// The control timers driven by simulated time, for runs without windows (the
// headless runner, closed-loop tests, benchmarks): deterministic, and as fast
// as the machine allows.
#pragma once

#include "control/autopilot.h"
#include "control/relaytuning.h"
#include "core/dynamics.h"

namespace uav {

// Milliseconds of simulated time per dynamics tick (dt = 0.01 s).
inline constexpr ClockMs TICK_MS = 10;

struct HeadlessControl {
    explicit HeadlessControl(Autopilot& ap) : hook(ap) {}
    long ticks = 0;  // dynamics ticks so far; the clock is ticks x TICK_MS
    RelayTuneHook hook;
};

// Simulated clock, whole milliseconds.
ClockMs headlessClockMs(const HeadlessControl& hc);

// One dynamics tick with the 20 ms control timers on every second one. Order,
// with T = ticks x TICK_MS the simulated clock before the tick:
//   1. on even ticks: controlTick(T), then loopTick(T) while the loop timer is on;
//   2. dynamicsTick; after an integrating tick the relay step (while tuning is
//      on) reads the clock T + TICK_MS;
//   3. ticks += 1.
// The clock counts whole milliseconds and the servo rate limit and the relay
// turn only differences into seconds, so every control period is 0.02 s.
TickResult headlessTick(HeadlessControl& hc, Autopilot& ap, SimState& s, const Aircraft& ac);

}  // namespace uav
