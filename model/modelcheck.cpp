#include "model/modelcheck.h"

#include "model/inifile.h"
#include "model/numtext.h"

namespace uav {

namespace {

bool numberPasses(const std::string& text, char sep, bool positive) {
    double v = 0.0;
    if (!tryParseNumber(text, sep, v)) return false;
    return !positive || v > 0.0;
}

}  // namespace

bool hasNumericCheck(int element, int param) {
    return element >= 0 && element < CHECKED_ELEMENT_COUNT && param >= 0 && param < CHECKED_PARAM_COUNT;
}

ModelCheck checkModelTexts(const ModelTexts& t, char sep) {
    ModelCheck c;
    bool ok = true;
    auto test = [&](bool& pass, const std::string& text, bool numeric, bool positive) {
        pass = cp1251Encodable(text) && (!numeric || numberPasses(text, sep, positive));
        ok = ok && pass;
    };
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (int j = 0; j < PARAM_COUNT; ++j)
            test(c.params[i][j], t.params[i][j], hasNumericCheck(i, j), j == P_LEN || j == P_CHORD);
    for (int k = 0; k < SCALAR_COUNT; ++k) test(c.scalars[k], t.scalars[k], true, k <= SC_TV);
    // Mixer cells are numbers too, but a bad one is left to the apply to report.
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) test(c.mix[r][j], t.mix[r][j], false, false);
    c.ok = ok;
    return c;
}

}  // namespace uav
