#include "core/simstate.h"

#include <cmath>

namespace uav {

const char* simFaultText(SimFault f) {
    switch (f) {
        case SimFault::None: return "no fault";
        case SimFault::BadMass: return "the mass is not a positive number";
        case SimFault::BadInertia: return "a moment of inertia is not a positive number";
        case SimFault::NonFinite: return "the motion became non-finite (NaN or infinity)";
    }
    return "unknown fault";
}

const char* simFaultNotice(SimFault f) {
    switch (f) {
        case SimFault::None: return "";
        case SimFault::BadMass:
            return "Расчёт остановлен: масса не положительна. "
                   "Установите начальные значения или примените модель.";
        case SimFault::BadInertia:
            return "Расчёт остановлен: момент инерции не положителен. "
                   "Установите начальные значения или примените модель.";
        case SimFault::NonFinite:
            return "Расчёт остановлен: переполнение при расчёте движения. "
                   "Установите начальные значения или примените модель.";
    }
    return "";
}

void setStartValues(SimState& s) {
    s = SimState{};
    s.running = false;
    s.dt = 0.01;
    s.airDensity = 1.2;
    s.groundTemp = 288.15;
    s.groundPressure = 101.325;
    s.velocity = {10, 0, 0};
    s.omegaEarth = {};
    s.omegaBody = {};
    s.orient = MatIdentity();
    s.wind = {};
}

void applyInitialConditions(SimState& s, const InitialConditions& ic) {
    const double th = ic.angleDeg * PI / 180.0;
    const double c = std::cos(th), sn = std::sin(th);
    s.orient = Mat3{{{c, sn, 0}, {-sn, c, 0}, {0, 0, 1}}};
    s.velocity = VecScale(s.orient.row(0), ic.speedKmh / KMH_PER_MS);
    s.posH = ic.altitudeM;
    s.posX = ic.distanceM;
    s.posZ = 0.0;
    s.posD = std::sqrt(s.posX * s.posX + s.posZ * s.posZ);
    s.omegaEarth = {};
    s.omegaBody = {};
    s.fault = SimFault::None;
}

void updateAtmosphere(SimState& s) {
    s.airTemp = s.groundTemp - 0.0065 * s.posH;
    s.airPressure = s.groundPressure * std::pow(s.airTemp / s.groundTemp, 5.2615);
    s.airDensity = 3.4898 * s.airPressure / s.airTemp;
}

}  // namespace uav
