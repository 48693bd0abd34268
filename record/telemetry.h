// Telemetry: the quantities a flight writes as CSV (the runner, the window's
// recorder and the replay all write the same columns through these functions,
// so their rows can be compared byte for byte) and that the live plots show.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/simstate.h"

namespace uav {

struct Autopilot;

// The CSV columns after the time column t_s: position, velocity, attitude,
// airspeed, airflow, body rates, thrust, servo positions, element forces.
inline constexpr int TELEMETRY_COUNT = 4 + 3 + 3 + 1 + 3 + 3 + 3 + ELEMENT_COUNT + 3 * ELEMENT_COUNT;
// The autopilot's quantities the plots add: each loop's set-point and error
// (set-point - measured), angles in degrees like the attitude columns.
inline constexpr int LOOP_COUNT = 8;
inline constexpr int PLOT_QUANTITY_COUNT = TELEMETRY_COUNT + 2 * LOOP_COUNT;

// Column names with their units ("posH_m", "roll_deg", "servo3", "F2y_N"),
// then "rollLoop.setpoint_deg", "rollLoop.error_deg", ...
const std::array<std::string, PLOT_QUANTITY_COUNT>& plotQuantityNames();

// The CSV columns of a state, in header order.
void telemetryValues(const SimState& s, double* out);
// The set-points and errors of the autopilot's loops, in name order.
void loopValues(const Autopilot& ap, double* out);

// "t_s,posX_m,...,F7z_N\n".
void writeTelemetryHeader(std::ostream& out);
// The time column: `tick` dynamics ticks of `dt` seconds as a number of
// hundredths printed with exactly two decimals ("0.70", "1234.05"), never
// the product's floating-point tail ("0.7000000000000001").
std::string tickTimeText(std::int64_t tick, double dt);
// One row after dynamics tick `tick` (time tick x dt, as tickTimeText), then
// the columns, each in the shortest form that reads back to the same double.
void writeTelemetryRow(std::ostream& out, std::int64_t tick, const SimState& s);
// The same row from the columns telemetryValues gave (TELEMETRY_COUNT values),
// after tick `tick` of `dt` seconds.
void writeTelemetryRow(std::ostream& out, std::int64_t tick, double dt, const double* values);

// Telemetry of a recorded flight: a row every CSV_TICKS dynamics ticks of the
// recording, timed by the flight's clock (the window's dynamics ticks since
// it started, as the plots are).
inline constexpr int CSV_TICKS = 10;
// After the recording's dynamics tick `tick` (1 for its first) of a flight
// whose clock stood at `startTick` when the recording began: writes the row,
// timed startTick + tick, when one is due.
void telemetryAfterTick(std::ostream& out, std::int64_t tick, std::int64_t startTick, const SimState& s);

}  // namespace uav
