// One discrete PID controller, stepped by the 20 ms loop timer.
#pragma once

namespace uav {

inline constexpr int LOOP_TIMER_INTERVAL_MS = 20;  // Timer4 and Timer5
// Nominal step of the loops, s: the timer interval, not the measured time
// between ticks.
inline constexpr double CONTROL_PERIOD = LOOP_TIMER_INTERVAL_MS / 1000.0;

struct PidLoop {
    double measured = 0.0;      // process value, written by the caller before each step
    double output = 0.0;        // -1..1 after a step
    double setpoint = 0.0;
    double kp = 0.0;
    double ki = 0.0;
    double kd = 0.0;
    double integral = 0.0;      // integral term, already multiplied by ki
    double prevMeasured = 0.0;  // process value of the previous step
};

// One update with step T (seconds); nothing happens unless T > 0.
//   e = setpoint - measured
//   u = kp e + (ki e T + integral) + kd (prevMeasured - measured) / T
// The derivative acts on the measurement, so a set-point jump gives no kick.
// The new integral is kept only while |u| < 1 (no wind-up in saturation);
// output = u limited to -1..1; prevMeasured = measured.
void pidStep(PidLoop& loop, double T = CONTROL_PERIOD);

}  // namespace uav
