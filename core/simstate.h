// The one simulation state record and the standard atmosphere.
// Frames and units: see core/vecmath.h. Angles rad, speeds m/s, forces N,
// pressure kPa, temperature K, density kg/m^3.
#pragma once

#include <array>

#include "core/aircraft.h"
#include "core/vecmath.h"

namespace uav {

// Why the integration refused to advance (latched until the state or model is
// set again: initial conditions or a model apply).
enum class SimFault {
    None = 0,
    BadMass,     // mass not a positive finite number
    BadInertia,  // a moment of inertia not a positive finite number
    NonFinite,   // a tick produced NaN or infinity; the state was kept as before it
};
const char* simFaultText(SimFault f);
// The main window's notice of a fault, in Russian (UTF-8), with how to go on.
const char* simFaultNotice(SimFault f);

struct SimState {
    Mat3 orient = MatIdentity();  // rows = body axes in earth coordinates
    Mat3 earthToBody = MatIdentity();
    Mat3 bodyToEarth = MatIdentity();
    Vec3 velocity{10, 0, 0};  // m/s, earth
    Vec3 omegaEarth;          // rad/s, earth (the integrated rotational state)
    Vec3 omegaBody;           // rad/s, body
    Vec3 airflowBody;         // m/s, body: air relative to the aircraft at the CG

    double posH = 0.0;  // m, altitude (earth Y)
    double posX = 0.0;  // m, north
    double posZ = 0.0;  // m, east
    double posD = 0.0;  // m, horizontal distance from home

    double rollAngle = 0.0;   // rad, positive right wing down
    double pitchAngle = 0.0;  // rad, arctan of the nose's vertical component
    double yawAngle = 0.0;    // rad, 0 north, positive toward west

    std::array<Vec3, ELEMENT_COUNT> elemAirflow{};     // m/s, body
    std::array<Vec3, ELEMENT_COUNT> elemForceBody{};   // N, body
    std::array<Vec3, ELEMENT_COUNT> elemForceEarth{};  // N, earth
    std::array<Vec3, ELEMENT_COUNT> elemCP{};          // m, body

    Vec3 thrustBody;                                  // N, body
    std::array<double, ELEMENT_COUNT> servoPos{};     // dimensionless
    Vec3 wind;                                        // m/s, earth (air mass velocity)

    double airTemp = 288.15;         // K
    double airPressure = 101.325;    // kPa
    double airDensity = 1.2;         // kg/m^3, 1.2 until the first tick
    double groundTemp = 288.15;      // K
    double groundPressure = 101.325; // kPa
    double dt = 0.01;                // s
    bool running = false;

    SimFault fault = SimFault::None;

    // Constant directions, earth frame.
    static constexpr Vec3 axisNorth{1, 0, 0};
    static constexpr Vec3 axisSouth{-1, 0, 0};
    static constexpr Vec3 axisWest{0, 0, -1};
    static constexpr Vec3 axisEast{0, 0, 1};
    static constexpr Vec3 axisDown{0, -1, 0};
    static constexpr Vec3 zeroVec{0, 0, 0};
};

// The four fields of the "Начальные условия" group, in window units.
struct InitialConditions {
    double speedKmh = 30.0;    // "Скорость", 0..100 km/h
    double angleDeg = 15.0;    // "Угол", 0..90 deg, nose-up pitch
    double altitudeM = 2.0;    // "Высота", 0..15000 m
    double distanceM = 0.0;    // "Дист.", -100000..100000 m north of home
};

// Start values of the state, set once when the program starts.
void setStartValues(SimState& s);

// Sets attitude, velocity, position and rates from the fields. Leaves running,
// wind, element arrays, control inputs and servo positions alone. Also sets
// posD from the new position (so the distance and an auto-return engaged
// before the start see the new position) and clears a latched fault.
void applyInitialConditions(SimState& s, const InitialConditions& ic);

// Standard atmosphere at the current posH.
void updateAtmosphere(SimState& s);

}  // namespace uav
