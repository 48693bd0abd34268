// The apply operation: model texts to the records the simulation reads, the
// mixer table and the drawing outlines, storing every text into conf.ini on
// the way.
#pragma once

#include <optional>
#include <string>

#include "core/aircraft.h"
#include "core/simstate.h"
#include "model/modeltext.h"

namespace uav {

class IniFile;

// Four corners in drawing units (metres * kvis), body frame, joined in order
// and closed. For an element: P0-P1 leading edge, P2-P3 trailing edge.
struct ElementOutline {
    Vec3 p[4];
};

struct ModelOutlines {
    ElementOutline leftW;   // element 0
    ElementOutline rightW;  // element 1
    ElementOutline leftS;   // element 2, half toward -spanDir
    ElementOutline rightS;  // element 2, half toward +spanDir
    ElementOutline kil;     // element 3 (fin)
    ElementOutline fus;     // fuselage rectangle from element 3's X
};

struct ApplyResult {
    // Set when conf.ini could not be written. The model is applied anyway (the
    // texts are still in the window); the caller tells the user once.
    std::optional<std::string> storeError;
};

// Parses the texts in the fixed order and assigns as it goes. Order within an
// element: store Act and Param0..12; then parse 0, 1, 2, 3, 7, 4, 5, 6, 8, 10,
// 11, 12. Then the scalars (stored first), the thrust vector (body frame,
// tilted by vycos about the body z axis, whatever the attitude), the weight, the mixer
// (each cell parsed, then stored) and last the outlines.
//
// On a bad text throws SimError "'<text>' is not a valid floating point value"
// (a zero chord: "Floating point division by zero"; a derived quantity that
// overflows, as thrust TV x M x g, an area, the weight or an outline point:
// "Floating point overflow"); everything assigned before it stays, nothing
// after it is done, the outlines are kept. The store takes the texts of an
// apply that completed, or none: conf.ini then keeps the last model applied
// whole. With a store, a text a file cannot hold (a line break, a character
// Windows-1251 has no form for) is refused first (see checkStorable):
// nothing is written or assigned.
// `store` may be null (no settings file). Clears a latched dynamics fault in
// `s`, since the model it was about has changed.
ApplyResult applyModel(const ModelTexts& texts, char decimalSep, SimState& s, Aircraft& ac,
                       ModelOutlines& outlines, IniFile* store);

// Records to outlines: parses the Kvis text into the scale, builds the six
// outlines and sets ac.params.kvis.
void buildOutlines(const std::string& kvisText, char decimalSep, Aircraft& ac, ModelOutlines& outlines);

}  // namespace uav
