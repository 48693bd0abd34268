#include <gtest/gtest.h>

#include <cmath>

#include "views/planview.h"
#include "viewtest_util.h"

using namespace uav;
using namespace uav::test;

namespace {
// Nose pitched up by th, heading north, wings level; snapshots taken as a
// tick would.
SimState pitched(double th) {
    SimState s;
    const double c = std::cos(th), sn = std::sin(th);
    s.orient = Mat3{{{c, sn, 0}, {-sn, c, 0}, {0, 0, 1}}};
    s.earthToBody = s.orient;
    s.bodyToEarth = MatTranspose(s.orient);
    return s;
}
// Nose exactly vertical (up: +1, down: -1).
SimState vertical(double sign) {
    SimState s;
    s.orient = Mat3{{{0, sign, 0}, {-sign, 0, 0}, {0, 0, 1}}};
    s.earthToBody = s.orient;
    s.bodyToEarth = MatTranspose(s.orient);
    return s;
}
// Right wing down by phi (positive roll), nose level north.
SimState banked(double phi) {
    SimState s;
    const double c = std::cos(phi), sn = std::sin(phi);
    s.orient = Mat3{{{1, 0, 0}, {0, c, sn}, {0, -sn, c}}};
    s.earthToBody = s.orient;
    s.bodyToEarth = MatTranspose(s.orient);
    return s;
}
}  // namespace

TEST(TopView, ScaleSearch) {
    struct Row {
        const char* why;
        double d;
        double s;
    };
    const Row rows[] = {
        {"at home the smallest range", 0, 250},
        {"exactly 250 m keeps 250", 250, 250},
        {"just above 250 m doubles", 250.001, 500},
        {"1000 m fits 1000", 1000, 1000},
        {"just above 1000 m", 1000.5, 2000},
        {"far away: 100 km", 100000, 128000},
    };
    for (const Row& r : rows) EXPECT_EQ(topViewHalfRange(r.d), r.s) << r.why;
}

TEST(TopView, ScaleLabelShowsTheFullWidth) {
    SimState s;
    EXPECT_EQ(drawTopView(s, ',').scaleText, "<  500 м  >");
    s.posX = 200;
    s.posZ = 150.001;  // d just above 250
    EXPECT_EQ(drawTopView(s, ',').scaleText, "<  1000 м  >");
}

TEST(TopView, WindHeadingMarkerVelocityAndHome) {
    SimState s;  // identity attitude: nose north
    s.wind = {5, 0, -2};
    s.velocity = {10, 0, 3};
    s.posX = -700;  // d = 989.9 -> S = 1000, 0.15 pixels per metre
    s.posZ = 700;
    const Drawing g = drawTopView(s, '.').drawing;
    EXPECT_EQ(only(g, PrimKind::Line, YELLOW).pts, pts({{160, 160}, {140, 110}}));
    // Marker at 105 pixels south-east of home, still inside the 150-pixel disc.
    const Primitive& marker = only(g, PrimKind::Ellipse, RED);
    EXPECT_EQ(marker.pts, pts({{263, 263}, {267, 267}}));
    EXPECT_EQ(marker.brush.colour, OLIVE);
    EXPECT_EQ(only(g, PrimKind::Line, RED).pts, pts({{265, 265}, {268, 255}}));
    const Primitive& heading = only(g, PrimKind::Line, LIME);
    EXPECT_EQ(heading.pts, pts({{265, 265}, {265, 165}}));
    EXPECT_EQ(heading.pen.style, PenStyle::Dot);
    EXPECT_EQ(find(g, PrimKind::Line, NAVY).size(), 2u);
    // Background first, then the disc.
    ASSERT_GE(g.size(), 2u);
    EXPECT_EQ(g[0].kind, PrimKind::FillRect);
    EXPECT_EQ(g[0].brush.colour, SILVER);
    EXPECT_EQ(g[1].pts, pts({{10, 10}, {310, 310}}));
}

TEST(TopView, MarkerStaysInsideTheDiscAtTheRangeLimit) {
    for (double angle = 0; angle < 2 * PI; angle += 0.37) {
        SimState s;
        s.posX = 4000 * std::cos(angle);  // d = 4000 = S
        s.posZ = 4000 * std::sin(angle);
        const Drawing g = drawTopView(s, ',').drawing;
        const Primitive& m = only(g, PrimKind::Ellipse, RED);
        const double cx = m.pts[0].x + 2 - 160, cy = m.pts[0].y + 2 - 160;
        EXPECT_LE(std::hypot(cx, cy), 150.0 + std::sqrt(0.5)) << angle;
    }
}

TEST(CameraView, HorizonFollowsPitch) {
    struct Row {
        const char* why;
        SimState state;
        Pixel discCentre;
    };
    const Row rows[] = {
        {"level: horizon through the centre (disc top at y 150)", pitched(0.0), {150, 8150}},
        {"0.1 rad nose up: horizon 60 pixels lower", pitched(0.1), {150, 8210}},
        {"0.1 rad nose down: 60 pixels higher", pitched(-0.1), {150, 8090}},
        {"nose straight up: no down direction in the y-z plane, disc centred", vertical(1), {150, 150}},
        {"nose straight down: disc centred too", vertical(-1), {150, 150}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const Drawing g = drawScreen(r.state);
        ASSERT_GE(g.size(), 2u);
        EXPECT_EQ(g[0].brush.colour, SKY_BLUE);
        ASSERT_EQ(g[1].kind, PrimKind::Ellipse);
        EXPECT_EQ(g[1].brush.colour, OLIVE);
        const Pixel tl = g[1].pts[0], br = g[1].pts[1];
        EXPECT_EQ(br.x - tl.x, 16000);
        EXPECT_EQ((Pixel{(tl.x + br.x) / 2, (tl.y + br.y) / 2}), r.discCentre);
    }
}

TEST(CameraView, HorizonTurnsAgainstTheBank) {
    // 30 deg right wing down: earth down seen in body y-z is (sin 30, -cos 30);
    // the disc centre moves right and stays below.
    const Drawing g = drawScreen(banked(PI / 6));
    const Pixel tl = g[1].pts[0];
    EXPECT_EQ(tl.x + 8000, 150 + 4000);
    EXPECT_EQ(tl.y + 8000, 150 + 6928);
}

TEST(CameraView, CompassRoseColoursAheadAndAbeam) {
    const Drawing g = drawScreen(pitched(0));  // nose north, level
    // North ahead: blue, at the rose centre (the arm points into the screen).
    EXPECT_EQ(only(g, PrimKind::Line, BLUE).pts, pts({{150, 250}, {150, 250}}));
    // East and west are exactly abeam: coloured, not grey.
    EXPECT_EQ(only(g, PrimKind::Line, LIME).pts, pts({{150, 250}, {200, 250}}));
    EXPECT_EQ(only(g, PrimKind::Line, YELLOW).pts, pts({{150, 250}, {100, 250}}));
    // South is behind: grey.
    EXPECT_TRUE(find(g, PrimKind::Line, RED).empty());
    EXPECT_EQ(find(g, PrimKind::Line, GREY).size(), 1u);
    // Letters: W left of the centre moves 10 pixels further left.
    std::string letters;
    for (const Primitive& p : g)
        if (p.kind == PrimKind::Text) {
            letters += p.text;
            if (p.text == "W") {
                EXPECT_EQ(p.pts[0], (Pixel{90, 250}));
            }
            if (p.text == "E") {
                EXPECT_EQ(p.pts[0], (Pixel{200, 250}));
            }
        }
    EXPECT_EQ(letters, "NESW");
    // Cross-hair last, dotted.
    EXPECT_EQ(g.back().pen.style, PenStyle::Dot);
    EXPECT_EQ(g.back().pts, pts({{150, 130}, {150, 170}}));
}

TEST(CameraView, NoseUpLiftsNorthOnTheRose) {
    // Pitched up 30 deg: north in body axes is (cos 30, -sin 30, 0), so the
    // N arm points down by 25 pixels and its letter is not offset.
    const Drawing g = drawScreen(pitched(PI / 6));
    EXPECT_EQ(only(g, PrimKind::Line, BLUE).pts, pts({{150, 250}, {150, 275}}));
}

TEST(StatusTexts, FormatsAndSeparator) {
    SimState s;
    s.velocity = {3, 4, 0};          // 18 km/h over ground
    s.airflowBody = {0, 0, -10};     // 36 km/h through the air
    s.posH = 1234.56;                // four significant digits, then one decimal
    s.posX = -12.34;
    s.posZ = 2;
    s.posD = 12345.6;                // five integer digits: scientific
    EXPECT_EQ(statusText(s, ','), "V=18,0/36,0\rH=1235,0\rX=-12,3\rZ=2,0\rD=1,235E4");
    EXPECT_EQ(statusText(s, '.').substr(0, 11), "V=18.0/36.0");
    s.posH = 10000;
    EXPECT_NE(statusText(s, ',').find("\rH=1E4\r"), std::string::npos);

    s.omegaBody = {0.1234, -1, 2.5};
    EXPECT_EQ(omegaText(s, ','), "Wcco.x=0,123\rWcco.y=-1,000\rWcco.z=2,500");
}
