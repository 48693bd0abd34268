#include <gtest/gtest.h>

#include <cmath>

#include "views/modeldraw.h"
#include "viewtest_util.h"

using namespace uav;
using namespace uav::test;

namespace {
SimState withAttitude(const Mat3& orient) {
    SimState s;
    s.orient = orient;
    s.earthToBody = orient;
    s.bodyToEarth = MatTranspose(orient);
    return s;
}
std::vector<const Primitive*> polygons(const Drawing& g) {
    std::vector<const Primitive*> out;
    for (const Primitive& p : g)
        if (p.kind == PrimKind::Polygon) out.push_back(&p);
    return out;
}
// Distinct marker outlines so the painter's order can be read back.
DrawOutlines tagged() {
    DrawOutlines o;
    o.leftW = {{1, 0, 0}};
    o.leftS = {{2, 0, 0}};
    o.fus = {{3, 0, 0}};
    o.kil = {{4, 0, 0}};
    o.rightW = {{5, 0, 0}};
    o.rightS = {{6, 0, 0}};
    return o;
}
std::vector<int> drawOrder(const Drawing& g) {
    std::vector<int> tags;
    for (const Primitive* p : polygons(g)) tags.push_back(150 - p->pts[0].x);
    return tags;
}
}  // namespace

TEST(SideView, LevelNorthShowsTheNoseOnTheLeft) {
    const SimState s = withAttitude(MatIdentity());
    const Drawing g = drawModel(s, Aircraft{}, startOutlines());
    const auto polys = polygons(g);
    ASSERT_EQ(polys.size(), 5u);  // no fin outline before a model is applied
    // Upright (body z east): right wing first, the left wing (toward the
    // western viewer) drawn over it.
    EXPECT_EQ(polys[0]->pts, pts({{100, 150}, {105, 150}, {140, 150}, {160, 150}}));
    EXPECT_EQ(polys[0]->brush.colour, WING_FILL);
    // Fuselage, third: its nose point (100, -15) lies left of the centre and below.
    EXPECT_EQ(polys[2]->pts.size(), 9u);
    EXPECT_EQ(polys[2]->pts[0], (Pixel{50, 165}));
    EXPECT_EQ(polys[2]->brush.colour, FUSELAGE_FILL);
    EXPECT_EQ(polys[2]->pen.colour, BLACK);
}

TEST(SideView, PaintersOrderFollowsTheRightWingDirection) {
    // Upright: right wing points east, away from the western viewer.
    EXPECT_EQ(drawOrder(drawModel(withAttitude(MatIdentity()), Aircraft{}, tagged())),
              (std::vector<int>{5, 6, 3, 4, 1, 2}));
    // Inverted (rolled 180 deg): the right wing points west, toward the viewer,
    // and is drawn last. The roll leaves the tags' north positions alone.
    const Mat3 inverted{{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}};
    EXPECT_EQ(drawOrder(drawModel(withAttitude(inverted), Aircraft{}, tagged())),
              (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(SideView, ForceVelocityAndThrustLines) {
    SimState s = withAttitude(MatIdentity());
    Aircraft ac;
    ac.params.kvis = 100;
    ac.params.motorPos = {0.2, 0, 0};
    s.elemCP[0] = {0.1, 0, 0};
    s.elemForceEarth[0] = {0, 1, 0};      // 1 N up: 10 pixels straight up
    s.elemCP[4] = {-0.5, 0.1, 0};         // inactive, zero force: a dot, zero-length line
    s.elemCP[5] = {0.3, 0, 0};            // elements 5..7 are never drawn here
    s.elemForceEarth[5] = {3, 3, 0};
    s.velocity = {10, -2, 7};             // 5 pixels per m/s; east is not seen
    s.thrustBody = {2, 0, 0};             // 20 pixels forward, from the motor
    const Drawing g = drawModel(s, ac, startOutlines());

    const auto lime = find(g, PrimKind::Line, LIME);
    ASSERT_EQ(lime.size(), 5u);
    EXPECT_EQ(lime[0]->pts, pts({{140, 150}, {140, 140}}));
    EXPECT_EQ(lime[4]->pts, pts({{200, 140}, {200, 140}}));
    const auto dots = find(g, PrimKind::Ellipse, NAVY);
    ASSERT_EQ(dots.size(), 5u);
    EXPECT_EQ(dots[4]->pts, pts({{198, 138}, {202, 142}}));

    const Primitive& vel = only(g, PrimKind::Line, RED);
    EXPECT_EQ(vel.pts, pts({{150, 150}, {100, 160}}));
    EXPECT_EQ(vel.pen.width, 3);
    EXPECT_EQ(only(g, PrimKind::Line, NAVY).pts, pts({{130, 150}, {110, 150}}));
    EXPECT_EQ(only(g, PrimKind::Ellipse, RED).pts, pts({{148, 148}, {152, 152}}));
}

TEST(ForcesView, ViewMatrixAndPresets) {
    // Both at 0: seen from the left, body axes as they are.
    EXPECT_EQ(forcesViewMatrix(0, 0), MatIdentity());
    // From above (90, 90): the nose (1,0,0) goes to (0,-1,0), which the
    // picture's upward second axis draws pointing down the screen.
    const Vec3 nose = MatVec(forcesViewMatrix(90, 90), {1, 0, 0});
    EXPECT_NEAR(nose.x, 0, 1e-12);
    EXPECT_NEAR(nose.y, -1, 1e-12);
    EXPECT_NEAR(nose.z, 0, 1e-12);

    struct Row {
        const char* why;
        ViewButton b;
        bool ctrl;
        ViewPreset want;
    };
    const Row rows[] = {
        {"left: from the left side", ViewButton::Left, false, {true, 0, 0, false}},
        {"right: from the front", ViewButton::Right, false, {true, 0, 90, false}},
        {"middle: from above", ViewButton::Middle, false, {true, 90, 90, false}},
        {"Ctrl + left: isometric with a beep", ViewButton::Left, true, {true, 45, 45, true}},
        {"Ctrl + right is just the front view", ViewButton::Right, true, {true, 0, 90, false}},
        {"other buttons keep the view", ViewButton::Other, false, {false, 0, 0, false}},
    };
    for (const Row& r : rows) {
        const ViewPreset p = forcesPresetForClick(r.b, r.ctrl);
        EXPECT_EQ(p.changes, r.want.changes) << r.why;
        EXPECT_EQ(p.turnV, r.want.turnV) << r.why;
        EXPECT_EQ(p.turnH, r.want.turnH) << r.why;
        EXPECT_EQ(p.beep, r.want.beep) << r.why;
    }
}

TEST(ForcesView, ElementLinesAndZoom) {
    SimState s = withAttitude(MatIdentity());
    Aircraft ac;
    ac.params.kvis = 100;
    AeroElement& e = ac.elements[1];
    e.active = true;
    e.pos = {0.1, 0.05, 0.3};
    e.chordVec = {-0.2, 0, 0};
    s.elemAirflow[1] = {-8, 0, 0};
    s.elemCP[1] = {0.03, 0.05, 0.3};
    s.elemForceBody[1] = {0, 2, 0};
    ac.elements[0].pos = {1, 1, 1};  // inactive: not drawn at all
    s.airflowBody = {-10, 2, 0};

    ForcesSliders sl;  // zoom 10: 100 pixels per metre, 10 pixels per newton
    sl.shiftH = 10;    // centre 10 pixels right
    const Drawing g = drawStaticModel(s, ac, MatIdentity(), sl);
    EXPECT_EQ(only(g, PrimKind::Line, SILVER).pts, pts({{160, 150}, {150, 145}}));
    EXPECT_EQ(only(g, PrimKind::Line, GREY).pts, pts({{150, 145}, {170, 145}}));
    EXPECT_EQ(only(g, PrimKind::Line, MAGENTA).pts, pts({{150, 145}, {170, 145}}));
    EXPECT_EQ(only(g, PrimKind::Line, LIME).pts, pts({{157, 145}, {157, 125}}));
    const Primitive& air = only(g, PrimKind::Line, RED);
    EXPECT_EQ(air.pts, pts({{160, 150}, {210, 140}}));
    EXPECT_EQ(air.pen.style, PenStyle::Dot);

    // Zoom 20 doubles every length and the shift.
    sl.zoom = 20;
    const Drawing g2 = drawStaticModel(s, ac, MatIdentity(), sl);
    EXPECT_EQ(only(g2, PrimKind::Line, SILVER).pts, pts({{170, 150}, {150, 140}}));
    EXPECT_EQ(only(g2, PrimKind::Line, LIME).pts, pts({{164, 140}, {164, 100}}));
    EXPECT_EQ(only(g2, PrimKind::Line, RED).pts, pts({{170, 150}, {270, 130}}));
}
