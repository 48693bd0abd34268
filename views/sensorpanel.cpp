#include "views/sensorpanel.h"

#include <cmath>

namespace uav {

const std::array<const char*, SENSOR_ROW_COUNT> SENSOR_ROW_NAMES = {
    "Угол атаки, °",       "Угол скольжения, °",  "Угол тангажа, °",     "Угол крена, °",
    "Угол рысканья, °",    "Температура, °С",     "Давление, Па",        "Дифф. давление, Па",
    "Плотность, кг/м3",    "Угл. скор. Х, рад/с", "Угл. скор. Y, рад/с", "Угл. скор. Z, рад/с"};

std::array<double, SENSOR_ROW_COUNT> sensorValues(const SimState& s) {
    constexpr double RAD_TO_DEG = 180.0 / PI;
    // Air velocity relative to the aircraft's air mass, body axes, m/s.
    const Vec3 a = MatVec(s.earthToBody, VecSum({VecScale(s.wind, -1.0), s.velocity}));
    const double alpha = std::atan2(-a.y, a.x);
    const double beta = std::atan2(a.z, a.x);
    std::array<double, SENSOR_ROW_COUNT> v = {
        alpha * RAD_TO_DEG,
        beta * RAD_TO_DEG,
        s.pitchAngle * RAD_TO_DEG,
        s.rollAngle * RAD_TO_DEG,
        s.yawAngle * RAD_TO_DEG,
        s.airTemp - 273.15,
        s.airPressure,
        s.airDensity * s.airflowBody.x * s.airflowBody.x / 2.0,
        s.airDensity,
        s.omegaBody.x,
        s.omegaBody.y,
        s.omegaBody.z,
    };
    // atan2 of a still air mass gives -0 for a negative zero component: show "0".
    for (double& x : v) x += 0.0;
    return v;
}

int panelIntervalMs(int refreshesPerSecond) {
    if (refreshesPerSecond < 1) refreshesPerSecond = 1;  // the rate field's range is 1..100
    return static_cast<int>(roundHalfEven(1000.0 / refreshesPerSecond));
}

}  // namespace uav
