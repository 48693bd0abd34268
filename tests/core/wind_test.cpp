#include "core/wind.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

// The right button and the corner of the compass are the main window's test.
TEST(Wind, ClicksOnTheCompass) {
    struct Row { const char* why; WindButton button; int x, y; WindMarker expectMarker; Vec3 expectWind; };
    const WindMarker off{70, 40};  // a marker already moved away from the centre
    const Row rows[] = {
        {"left click 30 points above the centre: 5 m/s north", WindButton::Left, 60, 30, {57, 27}, {5, 0, 0}},
        {"middle button leaves the marker where it was", WindButton::Other, 0, 0, off, {17.0 / 6, 0, 13.0 / 6}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const WindMarker m = windMarkerAfterClick(off, r.button, r.x, r.y);
        EXPECT_EQ(m, r.expectMarker);
        expectVec(windFromMarker(m), r.expectWind);
    }
}

TEST(Wind, MarkerForWindRoundsHalvesToEven) {
    // 6 * 0.25 = 1.5 -> 2, 6 * 0.75 = 4.5 -> 4, 6 * -0.25 = -1.5 -> -2.
    EXPECT_EQ(markerForWind({0, 0, 0.25}), (WindMarker{59, 57}));
    EXPECT_EQ(markerForWind({0, 0, 0.75}), (WindMarker{61, 57}));
    EXPECT_EQ(markerForWind({-0.25, 0, 0}), (WindMarker{57, 59}));
    // A marker set by a click maps back onto itself.
    const WindMarker m = windMarkerAfterClick({}, WindButton::Left, 20, 95);
    EXPECT_EQ(markerForWind(windFromMarker(m)), m);
}

TEST(Wind, GustDrawsSpeedThenDirection) {
    // r1 = 0.5 of max 10 -> 5 m/s; r2 = 0.25 -> phi = 90 deg -> due east.
    ScriptedRandom rng({0.5, 0.25});
    const Gust g = nextGust(10, rng);
    EXPECT_EQ(rng.drawn, 2u);
    EXPECT_DOUBLE_EQ(g.speed, 5.0);
    expectVec(g.wind, {0, 0, 5});
    ScriptedRandom south({0.2, 0.5});  // phi = 180 deg: air moving south
    expectVec(nextGust(10, south).wind, {-2, 0, 0});
}
