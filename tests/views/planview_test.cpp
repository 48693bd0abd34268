#include <cmath>

#include "views/planview.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {
// Heading north: nose up by th with wings level, or right wing down by phi
// with the nose level.
SimState pitched(double th) {
    const double c = std::cos(th), sn = std::sin(th);
    return withOrient(Mat3{{{c, sn, 0}, {-sn, c, 0}, {0, 0, 1}}});
}
SimState banked(double phi) {
    const double c = std::cos(phi), sn = std::sin(phi);
    return withOrient(Mat3{{{1, 0, 0}, {0, c, sn}, {0, -sn, c}}});
}
}  // namespace

TEST(TopView, ScaleSearch) {
    struct Row { double d, s; const char* why; };
    const Row rows[] = {
        {250, 250, "exactly 250 m keeps the smallest range"},
        {250.001, 500, "just above 250 m doubles"},
        {100000, 128000, "far away: 100 km"},
    };
    for (const Row& r : rows) EXPECT_EQ(topViewHalfRange(r.d), r.s) << r.why;
}

TEST(TopView, WindHeadingMarkerVelocityAndScaleLabel) {
    SimState s;  // identity attitude: nose north
    s.wind = {5, 0, -2};
    s.velocity = {10, 0, 3};
    s.posX = -700;  // d = 989.9 -> S = 1000, 0.15 pixels per metre
    s.posZ = 700;   // (posD is left at 0: the view measures the distance itself)
    const TopView t = drawTopView(s, '.');
    EXPECT_EQ(t.scaleText, "<  2000 м  >");  // the full width
    const Drawing& g = t.drawing;
    EXPECT_EQ(only(g, PrimKind::Line, YELLOW).pts, pts({{160, 160}, {140, 110}}));
    // Marker at 105 pixels south-east of home, still inside the 150-pixel disc.
    EXPECT_EQ(only(g, PrimKind::Ellipse, RED).pts, pts({{263, 263}, {267, 267}}));
    EXPECT_EQ(only(g, PrimKind::Line, RED).pts, pts({{265, 265}, {268, 255}}));
    EXPECT_EQ(only(g, PrimKind::Line, LIME).pts, pts({{265, 265}, {265, 165}}));
}

TEST(CameraView, HorizonAndCompassRose) {
    struct Row { SimState state; Pixel discCentre; const char* why; };
    const Row rows[] = {
        {pitched(0.0), {150, 8150}, "level: horizon through the centre (disc top at y 150)"},
        {pitched(0.1), {150, 8210}, "0.1 rad nose up: horizon 60 pixels lower"},
        {withOrient(Mat3{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}}), {150, 150},
         "nose straight up: no down direction in the y-z plane, disc centred"},
        // Earth down seen in body y-z is (sin 30, -cos 30): right and below.
        {banked(PI / 6), {150 + 4000, 150 + 6928}, "30 deg right wing down: the horizon turns against it"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const Drawing g = drawScreen(r.state);
        ASSERT_GE(g.size(), 2u);
        ASSERT_EQ(g[1].kind, PrimKind::Ellipse);
        const Pixel tl = g[1].pts[0], br = g[1].pts[1];
        EXPECT_EQ(br.x - tl.x, 16000);
        EXPECT_EQ((Pixel{(tl.x + br.x) / 2, (tl.y + br.y) / 2}), r.discCentre);
    }

    // The compass rose.
    const Drawing g = drawScreen(pitched(0));  // nose north, level
    // North ahead: blue, at the rose centre (the arm points into the screen).
    EXPECT_EQ(only(g, PrimKind::Line, BLUE).pts, pts({{150, 250}, {150, 250}}));
    // East and west are exactly abeam: coloured, not grey.
    EXPECT_EQ(only(g, PrimKind::Line, LIME).pts, pts({{150, 250}, {200, 250}}));
    EXPECT_EQ(only(g, PrimKind::Line, YELLOW).pts, pts({{150, 250}, {100, 250}}));
    // South is behind: grey.
    EXPECT_TRUE(find(g, PrimKind::Line, RED).empty());
    EXPECT_EQ(find(g, PrimKind::Line, GREY).size(), 1u);
    const auto letters = find(g, PrimKind::Text);
    ASSERT_EQ(letters.size(), 4u);
    EXPECT_EQ(letters[0]->text + letters[1]->text + letters[2]->text + letters[3]->text, "NESW");
    EXPECT_EQ(letters[3]->pts[0], (Pixel{90, 250}));  // W, left of the centre, moves 10 pixels further left
    // Pitched up 30 deg: north in body axes is (cos 30, -sin 30, 0), so the
    // N arm points down by 25 pixels.
    EXPECT_EQ(only(drawScreen(pitched(PI / 6)), PrimKind::Line, BLUE).pts, pts({{150, 250}, {150, 275}}));
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
    s.omegaBody = {0.1234, -1, 2.5};
    EXPECT_EQ(omegaText(s, ','), "Wcco.x=0,123\rWcco.y=-1,000\rWcco.z=2,500");
}
