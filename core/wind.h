// Wind set on the compass picture of the main window, and the gust generator.
//
// The wind is the velocity of the air mass (where the air moves to), earth
// frame, m/s; only its north (x) and east (z) components are ever set.
// The compass picture is 120 x 120 points, N up, E right. The wind marker is an
// 8 x 8 point circle whose top-left corner is kept in picture coordinates; its
// top-left at (57, 57) centres it on the picture and stands for zero wind.
// 6 points of marker displacement per m/s: the inscribed circle (60 points) is
// 10 m/s.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "core/vecmath.h"

namespace uav {

// Seedable uniform random numbers in [0, 1). Injected wherever randomness is
// needed, so a run with a known seed is reproducible.
class UniformRandom {
public:
    virtual ~UniformRandom() = default;
    virtual double next01() = 0;
};

// The program's generator: a 64-bit Mersenne twister. The same seed gives the
// same sequence on every platform (the draw is made from the raw 53 bits, not
// through std::uniform_real_distribution, whose output is not portable).
class SeededUniform final : public UniformRandom {
public:
    explicit SeededUniform(std::uint64_t seed) : engine_(seed) {}
    double next01() override;

    // The generator's whole state as text, and back (false, state unchanged,
    // for a text that is not such a state). A flight recording keeps it.
    std::string saveState() const;
    bool restoreState(const std::string& text);

private:
    std::mt19937_64 engine_;
};

inline constexpr int WIND_MARKER_CENTRE = 57;        // points, top-left of a centred marker
inline constexpr int WIND_MARKER_SIZE = 8;           // points
inline constexpr double WIND_POINTS_PER_MS = 6.0;    // marker points per m/s
inline constexpr int WIND_PICTURE_SIZE = 120;        // points
// A left click puts the marker's top-left this many points up and left of the
// pressed point.
inline constexpr int WIND_CLICK_OFFSET = 3;

struct WindMarker {
    int left = WIND_MARKER_CENTRE;  // points, picture coordinates
    int top = WIND_MARKER_CENTRE;
    friend bool operator==(const WindMarker&, const WindMarker&) = default;
};

enum class WindButton { Left, Right, Other };

// Mouse press at picture point (x, y): left centres the marker on the point,
// right returns it to the centre, any other button leaves it. Not limited to
// the circle.
WindMarker windMarkerAfterClick(const WindMarker& current, WindButton button, int x, int y);

// Wind shown by a marker: north = (57 - top) / 6, east = (left - 57) / 6.
Vec3 windFromMarker(const WindMarker& m);

// Marker showing a wind: (57 + nearest(6 * east), 57 - nearest(6 * north)),
// halves to the even neighbour.
WindMarker markerForWind(const Vec3& wind);

struct Gust {
    Vec3 wind;     // m/s, earth frame, vertical 0
    double speed;  // m/s, the drawn magnitude (shown as the wind text)
};

// One gust: speed = r1 * maxSpeed, direction phi = r2 * 2 pi (r1 drawn before
// r2), wind = (speed cos phi, 0, speed sin phi). Replaces the wind completely.
Gust nextGust(double maxSpeed, UniformRandom& rng);

}  // namespace uav
