// Parsed aircraft records read by the dynamics, the servo model and the
// drawings. Only the model apply operation writes them.
#pragma once

#include <array>

#include "core/vecmath.h"

namespace uav {

inline constexpr int ELEMENT_COUNT = 8;
inline constexpr double GRAVITY_G = 9.8;  // m/s^2 (deliberately 9.8, not 9.81)

// One flat aerodynamic element, body frame, relative to the centre of gravity.
struct AeroElement {
    bool active = false;
    Vec3 pos;            // m, leading-edge point of the mean chord
    double len = 0.0;    // m, span
    double chord = 0.0;  // m
    double area = 0.0;   // m^2, len * chord
    Vec3 normal;         // unit normal: (0,1,0) turned by the element's rotations
    Vec3 chordVec;       // m, leading edge to trailing edge: (-chord,0,0) turned alike
    Vec3 chordDir;       // unit, chordVec / chord
    Vec3 spanDir;        // unit, normal x chordDir
    double k = 0.0;      // lift-coefficient increment per unit servo position
    double efTr = 0.0;   // slipstream: m/s of airflow per newton of thrust
    double servoSteps = 0.0;  // quantisation steps per unit of position
    double servoSpeed = 0.0;  // position units per second
};

struct ModelParams {
    Vec3 inertia;            // kg*m^2 about body x, y, z
    double mass = 0.0;       // kg
    double thrustMax = 0.0;  // N, TV * M * g
    double vycos = 0.0;      // rad, thrust tilt
    Vec3 motorPos;           // m, body frame
    Vec3 thrustVec;          // N, full-throttle thrust, body frame
    Vec3 weight;             // N, earth frame, (0, -g*M, 0)
    double kvis = 0.0;       // drawing points per metre
};

// Channel rows of the mixer. The file keys number them 1..4 (Mix1-j is Tro).
enum MixRow { MIX_TRO = 0, MIX_RUD = 1, MIX_ALE = 2, MIX_ELE = 3 };
inline constexpr int MIX_ROWS = 4;

struct MixTable {
    double c[MIX_ROWS][ELEMENT_COUNT] = {};  // dimensionless coefficients
};

struct Aircraft {
    std::array<AeroElement, ELEMENT_COUNT> elements{};
    ModelParams params;
    MixTable mix;
};

}  // namespace uav
