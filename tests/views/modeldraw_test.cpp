#include <tuple>

#include "views/modeldraw.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {
// Distinct one-point outlines, 1 to 6 pixels left of the centre, so the
// painter's order can be read back.
std::vector<int> drawOrder(const Mat3& orient) {
    const DrawOutlines tagged{.fus = {{3, 0, 0}}, .leftW = {{1, 0, 0}}, .rightW = {{5, 0, 0}},
                              .leftS = {{2, 0, 0}}, .rightS = {{6, 0, 0}}, .kil = {{4, 0, 0}}};
    const Drawing g = drawModel(withOrient(orient), Aircraft{}, tagged);
    std::vector<int> tags;
    for (const Primitive* p : find(g, PrimKind::Polygon)) tags.push_back(150 - p->pts[0].x);
    return tags;
}
}  // namespace

TEST(SideView, LevelNorthShowsTheNoseOnTheLeftAndThePaintersOrder) {
    const Drawing g = drawModel(withOrient(MatIdentity()), Aircraft{}, startOutlines());
    const auto polys = find(g, PrimKind::Polygon);
    ASSERT_EQ(polys.size(), 5u);  // no fin outline before a model is applied
    // Upright (body z east): right wing first, the left wing (toward the
    // western viewer) drawn over it.
    EXPECT_EQ(polys[0]->pts, pts({{100, 150}, {105, 150}, {140, 150}, {160, 150}}));
    // Fuselage, third: its nose point (100, -15) lies left of the centre and below.
    EXPECT_EQ(polys[2]->pts.size(), 9u);
    EXPECT_EQ(polys[2]->pts[0], (Pixel{50, 165}));

    // Upright: right wing points east, away from the western viewer.
    EXPECT_EQ(drawOrder(MatIdentity()), (std::vector<int>{5, 6, 3, 4, 1, 2}));
    // Inverted (rolled 180 deg): the right wing points west, toward the viewer,
    // and is drawn last. The roll leaves the tags' north positions alone.
    EXPECT_EQ(drawOrder(Mat3{{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}}), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(SideView, ForceVelocityAndThrustLines) {
    SimState s = withOrient(MatIdentity());
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

    EXPECT_EQ(only(g, PrimKind::Line, RED).pts, pts({{150, 150}, {100, 160}}));
    EXPECT_EQ(only(g, PrimKind::Line, NAVY).pts, pts({{130, 150}, {110, 150}}));
    EXPECT_EQ(only(g, PrimKind::Ellipse, RED).pts, pts({{148, 148}, {152, 152}}));
}

TEST(ForcesView, ViewMatrixAndPresets) {
    // Both at 0: seen from the left, body axes as they are.
    EXPECT_EQ(forcesViewMatrix(0, 0), MatIdentity());
    // From above (90, 90): the nose (1,0,0) goes to (0,-1,0), which the
    // picture's upward second axis draws pointing down the screen.
    expectVec(MatVec(forcesViewMatrix(90, 90), {1, 0, 0}), {0, -1, 0});

    struct Row { ViewButton b; bool ctrl; ViewPreset want; const char* why; };
    const Row rows[] = {
        {ViewButton::Left, false, {true, 0, 0, false}, "left: from the left side"},
        {ViewButton::Right, false, {true, 0, 90, false}, "right: from the front"},
        {ViewButton::Middle, false, {true, 90, 90, false}, "middle: from above"},
        {ViewButton::Left, true, {true, 45, 45, true}, "Ctrl + left: isometric with a beep"},
        {ViewButton::Other, false, {false, 0, 0, false}, "other buttons keep the view"},
    };
    const auto fields = [](const ViewPreset& p) { return std::tuple(p.changes, p.turnV, p.turnH, p.beep); };
    for (const Row& r : rows) EXPECT_EQ(fields(forcesPresetForClick(r.b, r.ctrl)), fields(r.want)) << r.why;
}

TEST(ForcesView, ElementLinesAndZoom) {
    SimState s = withOrient(MatIdentity());
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
    EXPECT_EQ(only(g2, PrimKind::Line, LIME).pts, pts({{164, 140}, {164, 100}}));
    EXPECT_EQ(only(g2, PrimKind::Line, RED).pts, pts({{170, 150}, {270, 130}}));
}
