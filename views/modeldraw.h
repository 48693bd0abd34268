// The side view of the airframe (seen from the west, turned with the attitude,
// with element forces, velocity and thrust) and the forces window (the model in
// its own body axes from a chosen direction, with each active element's chord,
// local airflow and force).
//
// Screen convention of both pictures: a picture point (px, py) is drawn at
// (ox - round(px), oy - round(py)), so the first axis points left and the
// second up.
#pragma once

#include <vector>

#include "core/aircraft.h"
#include "core/simstate.h"
#include "model/apply.h"
#include "views/primitives.h"

namespace uav {

inline constexpr int SIDE_VIEW_SIZE = 300;    // pixels
inline constexpr int FORCES_VIEW_SIZE = 300;  // pixels

// Outlines as drawn, body frame, drawing points. The model's outlines have four
// corners each; the start-up set, drawn only until a model has been applied,
// has a nine-point fuselage with the fin in it and no separate fin.
struct DrawOutlines {
    std::vector<Vec3> fus, leftW, rightW, leftS, rightS, kil;
};
DrawOutlines startOutlines();
DrawOutlines outlinesFromModel(const ModelOutlines& o);

// Fill colours of the side view.
inline constexpr Rgb WING_FILL{0xC8, 0xC8, 0xC8};
inline constexpr Rgb STAB_FILL{0xD2, 0xD2, 0xD2};
inline constexpr Rgb FUSELAGE_FILL{0x96, 0x96, 0x96};

// The side view with its vectors: outlines in painter's order (the wing nearer
// the viewer last), the centre of gravity, the forces of elements 0 to 4
// (10 pixels per newton, whether active or not), velocity (5 pixels per m/s)
// and thrust (10 pixels per newton).
Drawing drawModel(const SimState& s, const Aircraft& ac, const DrawOutlines& o);

// Slider positions of the forces window.
struct ForcesSliders {
    int turnH = 45;   // TrackBar5, degrees, -180..180
    int turnV = 45;   // TrackBar6, degrees, -180..180
    int shiftV = 0;   // TrackBar7, -150..150
    int shiftH = 0;   // TrackBar8, -150..150
    int zoom = 10;    // TrackBar9, 10..100
};

// viewMatrix = MRotX(turnV) * MRotY(turnH), degrees in.
Mat3 forcesViewMatrix(int turnV, int turnH);

// Mouse presets of the forces window: left = from the left side (0, 0),
// right = from the front (0, 90), middle = from above (90, 90); left with
// exactly Ctrl held = isometric (45, 45) and a beep. Other buttons keep the view.
enum class ViewButton { Left, Right, Middle, Other };
struct ViewPreset {
    bool changes = false;
    int turnV = 0, turnH = 0;
    bool beep = false;
};
ViewPreset forcesPresetForClick(ViewButton button, bool ctrlOnly);

Drawing drawStaticModel(const SimState& s, const Aircraft& ac, const Mat3& viewMatrix,
                        const ForcesSliders& sliders);

}  // namespace uav
