// The one simulation state record and the standard atmosphere.
// Frames and units: see core/vecmath.h. Angles rad, speeds m/s, forces N,
// pressure kPa, temperature K, density kg/m^3.
#pragma once

#include <array>
#include <cstddef>

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

// Every field of SimState, in declaration order: the one list that the tick's
// finiteness check, the recording (whose state block is written in this
// order) and the tests' comparison walk. `f(name, member)` gets each field's
// name and member pointer. A field added to SimState goes here as well; the
// static_assert below and the one beside the recording's format version
// refuse to build until it does.
template <class F>
constexpr void forEachSimStateMember(F&& f) {
    f("orient", &SimState::orient);
    f("earthToBody", &SimState::earthToBody);
    f("bodyToEarth", &SimState::bodyToEarth);
    f("velocity", &SimState::velocity);
    f("omegaEarth", &SimState::omegaEarth);
    f("omegaBody", &SimState::omegaBody);
    f("airflowBody", &SimState::airflowBody);
    f("posH", &SimState::posH);
    f("posX", &SimState::posX);
    f("posZ", &SimState::posZ);
    f("posD", &SimState::posD);
    f("rollAngle", &SimState::rollAngle);
    f("pitchAngle", &SimState::pitchAngle);
    f("yawAngle", &SimState::yawAngle);
    f("elemAirflow", &SimState::elemAirflow);
    f("elemForceBody", &SimState::elemForceBody);
    f("elemForceEarth", &SimState::elemForceEarth);
    f("elemCP", &SimState::elemCP);
    f("thrustBody", &SimState::thrustBody);
    f("servoPos", &SimState::servoPos);
    f("wind", &SimState::wind);
    f("airTemp", &SimState::airTemp);
    f("airPressure", &SimState::airPressure);
    f("airDensity", &SimState::airDensity);
    f("groundTemp", &SimState::groundTemp);
    f("groundPressure", &SimState::groundPressure);
    f("dt", &SimState::dt);
    f("running", &SimState::running);
    f("fault", &SimState::fault);
}

// Each field of `s` (const or not) in the same order, as `f(name, field)`.
template <class S, class F>
constexpr void forEachSimStateField(S& s, F&& f) {
    forEachSimStateMember([&](const char* name, auto member) { f(name, s.*member); });
}

namespace detail {
template <class T, class C>
constexpr std::size_t memberSize(T C::*) {
    return sizeof(T);
}
constexpr std::size_t listedSimStateBytes() {
    std::size_t n = 0;
    forEachSimStateMember([&](const char*, auto member) { n += memberSize(member); });
    return n;
}
}  // namespace detail

// The listed fields fill the record but for the padding its alignment adds.
static_assert((detail::listedSimStateBytes() + alignof(SimState) - 1) / alignof(SimState) * alignof(SimState) ==
                  sizeof(SimState),
              "a field of SimState is missing from forEachSimStateMember");

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
