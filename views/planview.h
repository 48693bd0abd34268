// The top view, the camera view (artificial horizon with compass rose) and the
// two status texts of the main window. Pure functions of the simulation state;
// nothing here keeps state between refreshes.
#pragma once

#include <string>

#include "core/simstate.h"
#include "views/primitives.h"

namespace uav {

inline constexpr int TOP_VIEW_SIZE = 320;     // pixels
inline constexpr int CAMERA_VIEW_SIZE = 300;  // pixels

// Half-range of the top view: 250 * 2^n metres, the smallest such value not
// below the distance d from home (d = 250 keeps 250). S metres are 150 pixels.
double topViewHalfRange(double distanceM);

struct TopView {
    Drawing drawing;
    double halfRangeM = 250.0;  // S
    std::string scaleText;      // caption of the scale label under the view
};

// North up, east right, home at (160, 160).
TopView drawTopView(const SimState& s, char decimalSep);

// Artificial horizon: pitch moves the horizon 600 pixels per radian, the
// ground disc lies toward the earth's "down" seen in the body y-z plane, and a
// compass rose at (150, 250) shows N, E, S, W in their colours when ahead
// (grey when behind).
Drawing drawScreen(const SimState& s);

// Speeds (ground / air, km/h), altitude, north, east and distance, one per
// line, lines separated by a single CR.
std::string statusText(const SimState& s, char decimalSep);

// Body angular velocity, rad/s, one component per line (CR separated).
std::string omegaText(const SimState& s, char decimalSep);

}  // namespace uav
