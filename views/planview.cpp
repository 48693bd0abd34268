#include "views/planview.h"

#include <algorithm>
#include <cmath>

#include "model/numtext.h"

namespace uav {

namespace {

constexpr int TOP_CENTRE = 160;            // pixels, home
constexpr double TOP_PIXELS_PER_S = 150.0;  // pixels for the half-range S
constexpr double TOP_BASE_RANGE = 250.0;    // m, smallest half-range
constexpr double WIND_PIXELS_PER_MS = 10.0;
constexpr double HEADING_PIXELS = 100.0;    // heading line of a level nose

constexpr int CAM_CENTRE = 150;
constexpr double CAM_HALF_ANGLE = 0.25;     // rad, maps to 150 pixels
constexpr double CAM_HALF_PIXELS = 150.0;
constexpr int ROSE_X = 150, ROSE_Y = 250;   // compass rose centre
constexpr double ROSE_ARM = 50.0;           // pixels
constexpr int LETTER_OFFSET = -10;          // pixels

std::string f1(double v, char sep) { return formatFixed(v, 1, 4, sep); }
std::string f3(double v, char sep) { return formatFixed(v, 3, 4, sep); }

}  // namespace

double topViewHalfRange(double d) {
    double q = d / TOP_BASE_RANGE;
    int n = 0;
    // The bound only matters for an infinite distance, which never ends halving.
    while (q > 1.0 && n < 2100) {
        ++n;
        q /= 2.0;
    }
    return std::ldexp(TOP_BASE_RANGE, n);
}

TopView drawTopView(const SimState& s, char sep) {
    TopView tv;
    const double d = std::sqrt(s.posX * s.posX + s.posZ * s.posZ);
    tv.halfRangeM = topViewHalfRange(d);
    tv.scaleText = "<  " + formatGeneral(2.0 * tv.halfRangeM, sep) + " м  >";

    Drawing& g = tv.drawing;
    g.reserve(8);
    const Pen black{};
    const Brush olive{OLIVE, BrushStyle::Solid};
    addFillRect(g, {SILVER, BrushStyle::Solid}, {0, 0}, {TOP_VIEW_SIZE, TOP_VIEW_SIZE});
    addEllipse(g, black, olive, {10, 10}, {310, 310});

    const int c = TOP_CENTRE;
    addLine(g, {YELLOW}, {c, c},
            {c + px(WIND_PIXELS_PER_MS * s.wind.z), c - px(WIND_PIXELS_PER_MS * s.wind.x)});

    const double k = TOP_PIXELS_PER_S / tv.halfRangeM;  // pixels per metre
    const int ax = c + px(s.posZ * k), ay = c - px(s.posX * k);
    addLine(g, {LIME, 1, PenStyle::Dot}, {ax, ay},
            {ax + px(HEADING_PIXELS * s.orient.m[0][2]), ay - px(HEADING_PIXELS * s.orient.m[0][0])});
    addEllipse(g, {RED}, olive, {ax - 2, ay - 2}, {ax + 2, ay + 2});
    addLine(g, {RED}, {ax, ay}, {ax + px(s.velocity.z), ay - px(s.velocity.x)});

    addLine(g, {NAVY}, {155, 155}, {165, 165});
    addLine(g, {NAVY}, {155, 165}, {165, 155});
    return tv;
}

Drawing drawScreen(const SimState& s) {
    Drawing g;
    g.reserve(16);
    const int c = CAM_CENTRE;
    // A slightly non-orthonormal attitude can put the nose's vertical
    // component a rounding error beyond 1; the arcsine takes it as vertical.
    const double theta = std::asin(std::clamp(s.orient.m[0][1], -1.0, 1.0));
    const double h = theta / CAM_HALF_ANGLE * CAM_HALF_PIXELS;
    const Mat3& eb = s.earthToBody;
    const Vec3 nN = MatVec(eb, SimState::axisNorth);
    const Vec3 nS = MatVec(eb, SimState::axisSouth);
    const Vec3 nW = MatVec(eb, SimState::axisWest);
    const Vec3 nE = MatVec(eb, SimState::axisEast);
    const Vec3 down = MatVec(eb, SimState::axisDown);

    const double len = std::sqrt(down.z * down.z + down.y * down.y);
    double sn = 0.0, cs = 0.0;
    if (len > 0.0) {
        sn = down.z / len;
        cs = down.y / len;
    }
    const int r = px(2000.0 / CAM_HALF_ANGLE);  // ground disc radius, 8000 pixels
    const int gx = c + px((r + h) * sn), gy = c - px((r + h) * cs);

    addFillRect(g, {SKY_BLUE, BrushStyle::Solid}, {0, 0}, {CAMERA_VIEW_SIZE, CAMERA_VIEW_SIZE});
    addEllipse(g, Pen{}, {OLIVE, BrushStyle::Solid}, {gx - r, gy - r}, {gx + r, gy + r});

    struct Dir {
        const Vec3* n;
        const char* letter;
        Rgb colour;
    };
    const Dir dirs[4] = {{&nN, "N", BLUE}, {&nE, "E", LIME}, {&nS, "S", RED}, {&nW, "W", YELLOW}};
    for (const Dir& dir : dirs) {
        const Vec3& n = *dir.n;
        const int x = ROSE_X + px(ROSE_ARM * n.z), y = ROSE_Y - px(ROSE_ARM * n.y);
        const int ox = x < ROSE_X ? LETTER_OFFSET : 0;
        const int oy = y < ROSE_Y ? LETTER_OFFSET : 0;
        // Abeam (n.x = 0) counts as ahead.
        const Pen pen{n.x >= 0.0 ? dir.colour : GREY};
        addText(g, {x + ox, y + oy}, dir.letter);
        addLine(g, pen, {ROSE_X, ROSE_Y}, {x, y});
    }
    const Pen dotted{BLACK, 1, PenStyle::Dot};
    addLine(g, dotted, {130, 150}, {170, 150});
    addLine(g, dotted, {150, 130}, {150, 170});
    return g;
}

std::string statusText(const SimState& s, char sep) {
    return "V=" + f1(KMH_PER_MS * VecNorm(s.velocity), sep) + "/" +
           f1(KMH_PER_MS * VecNorm(s.airflowBody), sep) + "\rH=" + f1(s.posH, sep) +
           "\rX=" + f1(s.posX, sep) + "\rZ=" + f1(s.posZ, sep) + "\rD=" + f1(s.posD, sep);
}

std::string omegaText(const SimState& s, char sep) {
    return "Wcco.x=" + f3(s.omegaBody.x, sep) + "\rWcco.y=" + f3(s.omegaBody.y, sep) +
           "\rWcco.z=" + f3(s.omegaBody.z, sep);
}

}  // namespace uav
