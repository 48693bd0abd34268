// The sensor parameter panel "Параметры": the twelve quantities the on-board
// sensors of the aircraft would measure, computed from the simulation state.
#pragma once

#include <array>
#include <string>

#include "core/simstate.h"

namespace uav {

inline constexpr int SENSOR_ROW_COUNT = 12;

// Row names as shown, in row order.
extern const std::array<const char*, SENSOR_ROW_COUNT> SENSOR_ROW_NAMES;

// One refresh. With a = earthToBody * (velocity + (-1) * wind), the air
// velocity in body axes (m/s): angle of attack atan2(-a.y, a.x) and sideslip
// atan2(a.z, a.x), pitch, roll and yaw (all degrees), air temperature (deg C),
// pressure (kPa, as the state keeps it), the pitot pressure
// density * airflowBody.x^2 / 2 (Pa, forward component only), density (kg/m^3)
// and the three body rates (rad/s). A negative zero is shown as zero.
std::array<double, SENSOR_ROW_COUNT> sensorValues(const SimState& s);

// The panel timer's interval for a refresh rate (1/s): 1000 / rate ms,
// rounded to the nearest integer, halves to even (16/s gives 62 ms).
int panelIntervalMs(int refreshesPerSecond);

}  // namespace uav
