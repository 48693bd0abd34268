#include "core/wind.h"

#include <cmath>
#include <locale>
#include <sstream>

namespace uav {

namespace {
// The marker of any finite gust stays far inside int range; a non-finite
// value centres.
int nearestEven(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(roundHalfEven(v));
}
}  // namespace

double SeededUniform::next01() {
    // 53 random bits scaled by 2^-53: exactly uniform on the doubles of [0, 1).
    return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

std::string SeededUniform::saveState() const {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << engine_;
    return out.str();
}

bool SeededUniform::restoreState(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::mt19937_64 e;
    in >> e;
    if (in.fail()) return false;
    in >> std::ws;
    if (!in.eof()) return false;
    engine_ = e;
    return true;
}

WindMarker windMarkerAfterClick(const WindMarker& current, WindButton button, int x, int y) {
    switch (button) {
        case WindButton::Left: return {x - WIND_CLICK_OFFSET, y - WIND_CLICK_OFFSET};
        case WindButton::Right: return {};
        case WindButton::Other: break;
    }
    return current;
}

Vec3 windFromMarker(const WindMarker& m) {
    return {(WIND_MARKER_CENTRE - m.top) / WIND_POINTS_PER_MS, 0.0,
            (m.left - WIND_MARKER_CENTRE) / WIND_POINTS_PER_MS};
}

WindMarker markerForWind(const Vec3& wind) {
    return {WIND_MARKER_CENTRE + nearestEven(WIND_POINTS_PER_MS * wind.z),
            WIND_MARKER_CENTRE - nearestEven(WIND_POINTS_PER_MS * wind.x)};
}

Gust nextGust(double maxSpeed, UniformRandom& rng) {
    const double a = rng.next01() * maxSpeed;
    const double phi = rng.next01() * 2.0 * PI;
    return {{a * std::cos(phi), 0.0, a * std::sin(phi)}, a};
}

}  // namespace uav
