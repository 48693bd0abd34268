// The model window's live check, as a plain function of the texts: which
// fields pass, and why each one that fails does. Numbers must parse (and some
// be above zero) in the scalar fields and in parameters X..K of elements 0 to
// 4; the other fields are first parsed by the apply. Every text, numeric or
// not, must also be one that a file can hold (no line break, only characters
// Windows-1251 has), since the apply and the save write it to a file.
#pragma once

#include <array>
#include <string>

#include "model/modeltext.h"

namespace uav {

// Elements whose parameters 0..8 have the numeric live check.
inline constexpr int CHECKED_ELEMENT_COUNT = 5;
inline constexpr int CHECKED_PARAM_COUNT = 9;  // X, Y, Z, L, Ax, Ay, Az, B, K

struct ModelCheck {
    std::array<bool, SCALAR_COUNT> scalars{};
    std::array<std::array<bool, PARAM_COUNT>, ELEMENT_COUNT> params{};
    std::array<std::array<bool, ELEMENT_COUNT>, MIX_ROWS> mix{};
    // Why a field fails (empty while it passes), naming the field as the
    // apply's messages do:
    //   "'abc' is not a valid floating point value (Model M)"
    //   "'0' is out of range: must be above 0 (Elem2 Param7)"
    //   "a line break cannot be written to a file (Elem0 Param9)"
    //   "'Ω' cannot be written in Windows-1251 (Mix Mix1-3)"
    std::array<std::string, SCALAR_COUNT> scalarWhy;
    std::array<std::array<std::string, PARAM_COUNT>, ELEMENT_COUNT> paramWhy;
    std::array<std::array<std::string, ELEMENT_COUNT>, MIX_ROWS> mixWhy;
    bool ok = false;  // every field passes: apply and save may run
};

// Whether one field has the numeric live check.
bool hasNumericCheck(int element, int param);

// Tests every field, also after a failure. Scalars Ix, Iy, Iz, M, Kvis and TV
// and parameters L and B must be above zero; Vycos, Xm, Ym and the other
// checked parameters must be numbers. A text a file cannot hold fails in
// every field, for that reason first.
ModelCheck checkModelTexts(const ModelTexts& texts, char decimalSep);

}  // namespace uav
