// libFuzzer target for the number texts. The input is parsed as a text with
// both separators; its first ten bytes also give a double, a decimal count
// and a precision for the formatters.
#include "model/numtext.h"

#include "core/errors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void parseBothWays(const std::string& text, char sep) {
    double v = 0;
    const bool ok = uav::tryParseNumber(text, sep, v);
    // parseNumber is tryParseNumber plus the exception: the throwing side costs
    // more than the rest of an input under the sanitizers, so it is checked on
    // the first refused text only.
    static bool refusalChecked = false;
    if (ok || !refusalChecked) {
        try {
            const double w = uav::parseNumber(text, sep);
            check(ok && (w == v || (std::isnan(w) && std::isnan(v))), "parseNumber agrees with tryParseNumber");
        } catch (const uav::SimError&) {
            check(!ok, "parseNumber throws only what tryParseNumber refuses");
            refusalChecked = true;
        }
    }
    if (!ok) return;
    check(std::isfinite(v), "a parsed value is finite");
    if (sep == '.') {
        // The C library, in the "C" locale, reads every accepted text the same way.
        const char* start = text.c_str();
        char* end = nullptr;
        const double ref = std::strtod(start, &end);
        check(ref == v, "point text agrees with strtod");
    } else if (text.find('.') == std::string::npos) {
        std::string swapped = text;
        for (char& c : swapped)
            if (c == ',') c = '.';
        double w = 0;
        check(uav::tryParseNumber(swapped, '.', w) && w == v, "comma text reads like its point twin");
    }
}

// Largest distance between a double and the double read back from its text
// rounded to `sig` significant digits and at most `decimals` decimals: the
// rounding error, twice over (reading picks the double nearest the text,
// which can lie on the other side of it).
double roundingBound(double v, int sig, int decimals) {
    const double bySig = 0.5 * std::fabs(v) * std::pow(10.0, 1 - sig);
    const double byDecimals = decimals >= 0 ? 0.5 * std::pow(10.0, -decimals) : 0.0;
    return 2 * std::max(bySig, byDecimals) * (1 + 1e-9) + 5e-324;
}

void formatValue(double v, int decimals, int precision, char sep) {
    const std::string g = uav::formatGeneral(v, sep);
    const std::string f = uav::formatFixed(v, decimals, precision, sep);
    if (!std::isfinite(v)) {
        const char* expected = std::isnan(v) ? "NAN" : v > 0 ? "INF" : "-INF";
        check(g == expected && f == expected, "non-finite texts");
        return;
    }
    double back = 0;
    // Rounding DBL_MAX to 15 digits leaves the double range; nothing below does.
    if (std::fabs(v) < 1.79769313486231e308) {
        check(uav::tryParseNumber(g, sep, back), "general text parses");
        check(std::fabs(back - v) <= roundingBound(v, 15, -1), "general text keeps 15 digits");
        check(g[0] != '-' || back != 0, "no negative zero in general text");
    }
    const int d = std::clamp(decimals, 0, 18), p = std::clamp(precision, 1, 18);
    if (!uav::tryParseNumber(f, sep, back)) {
        check(std::fabs(v) >= 1e308, "fixed text parses");
        return;
    }
    const bool scientific = f.find('E') != std::string::npos;
    check(std::fabs(back - v) <= roundingBound(v, p, scientific ? -1 : d), "fixed text is rounded as asked");
    check(f[0] != '-' || back != 0, "no negative zero in fixed text");
    if (!scientific) {
        const std::size_t s = f.find(sep);
        check(d == 0 ? s == std::string::npos : s != std::string::npos && f.size() - s - 1 == std::size_t(d),
              "fixed text has exactly the decimals asked");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    parseBothWays(text, ',');
    parseBothWays(text, '.');
    if (size >= 10) {
        double v;
        std::memcpy(&v, data, sizeof v);
        const int decimals = data[8] % 21 - 1;    // -1..19: outside 0..18 is clamped
        const int precision = data[9] % 21;       // 0..20: outside 1..18 is clamped
        formatValue(v, decimals, precision, ',');
        formatValue(v, decimals, precision, '.');
    }
    return 0;
}
