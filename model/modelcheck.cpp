#include "model/modelcheck.h"

#include "model/numtext.h"

namespace uav {

namespace {

// Why one text fails, or "" when it passes.
std::string whyFails(const std::string& text, const std::string& field, char sep, bool numeric, bool positive) {
    if (const auto why = unstorableReason(text, field)) return *why;
    if (!numeric) return {};
    double v = 0.0;
    if (!tryParseNumber(text, sep, v)) return "'" + text + "' is not a valid floating point value (" + field + ")";
    if (positive && !(v > 0.0)) return "'" + text + "' is out of range: must be above 0 (" + field + ")";
    return {};
}

}  // namespace

bool hasNumericCheck(int element, int param) {
    return element >= 0 && element < CHECKED_ELEMENT_COUNT && param >= 0 && param < CHECKED_PARAM_COUNT;
}

ModelCheck checkModelTexts(const ModelTexts& t, char sep) {
    ModelCheck c;
    bool ok = true;
    auto test = [&](bool& pass, std::string& why, const std::string& text, const std::string& field, bool numeric,
                    bool positive) {
        why = whyFails(text, field, sep, numeric, positive);
        pass = why.empty();
        ok = ok && pass;
    };
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (int j = 0; j < PARAM_COUNT; ++j)
            test(c.params[i][j], c.paramWhy[i][j], t.params[i][j], elemSection(i) + " " + paramKey(j),
                 hasNumericCheck(i, j), j == P_LEN || j == P_CHORD);
    for (int k = 0; k < SCALAR_COUNT; ++k)
        test(c.scalars[k], c.scalarWhy[k], t.scalars[k], std::string("Model ") + SCALAR_KEYS[k], true, k <= SC_TV);
    // Mixer cells are numbers too, but a bad one is left to the apply to report.
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j)
            test(c.mix[r][j], c.mixWhy[r][j], t.mix[r][j], "Mix " + mixKey(r, j), false, false);
    c.ok = ok;
    return c;
}

}  // namespace uav
