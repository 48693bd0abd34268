#include "control/pid.h"

#include <cmath>

namespace uav {

void pidStep(PidLoop& loop, double T) {
    if (!(T > 0.0)) return;
    const double e = loop.setpoint - loop.measured;
    const double p = loop.kp * e;
    const double i = loop.ki * e * T + loop.integral;
    const double d = (loop.prevMeasured - loop.measured) * loop.kd / T;
    const double u = p + i + d;
    if (std::fabs(u) < 1.0) loop.integral = i;
    loop.output = u > 1.0 ? 1.0 : (u < -1.0 ? -1.0 : u);
    loop.prevMeasured = loop.measured;
}

}  // namespace uav
