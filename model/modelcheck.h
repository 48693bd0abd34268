// The model window's live check, as a plain function of the texts: which
// fields pass. Numbers must parse (and some be above zero) in the scalar
// fields and in parameters X..K of elements 0 to 4; the other fields are first
// parsed by the apply. Every text, numeric or not, must also be one that
// Windows-1251 can hold, since the apply and the save write it to a file.
#pragma once

#include <array>

#include "model/modeltext.h"

namespace uav {

// Elements whose parameters 0..8 have the numeric live check.
inline constexpr int CHECKED_ELEMENT_COUNT = 5;
inline constexpr int CHECKED_PARAM_COUNT = 9;  // X, Y, Z, L, Ax, Ay, Az, B, K

struct ModelCheck {
    std::array<bool, SCALAR_COUNT> scalars{};
    std::array<std::array<bool, PARAM_COUNT>, ELEMENT_COUNT> params{};
    std::array<std::array<bool, ELEMENT_COUNT>, MIX_ROWS> mix{};
    bool ok = false;  // every field passes: apply and save may run
};

// Whether one field has the numeric live check.
bool hasNumericCheck(int element, int param);

// Tests every field, also after a failure. Scalars Ix, Iy, Iz, M, Kvis and TV
// and parameters L and B must be above zero; Vycos, Xm, Ym and the other
// checked parameters must be numbers.
ModelCheck checkModelTexts(const ModelTexts& texts, char decimalSep);

}  // namespace uav
