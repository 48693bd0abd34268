#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/wind.h"

using namespace uav;

namespace {
// Replays a fixed list of "random" numbers, so the draw order is visible.
struct ScriptedRandom final : UniformRandom {
    explicit ScriptedRandom(std::vector<double> v) : values(std::move(v)) {}
    double next01() override { return values.at(drawn++); }
    std::vector<double> values;
    std::size_t drawn = 0;
};
}  // namespace

TEST(Wind, ClicksOnTheCompass) {
    struct Row { const char* why; WindButton button; int x, y; WindMarker expectMarker; Vec3 expectWind; };
    const WindMarker off{70, 40};  // a marker already moved away from the centre
    const Row rows[] = {
        {"left click 30 points above the centre: 5 m/s north", WindButton::Left, 60, 30, {57, 27}, {5, 0, 0}},
        {"right click: back to the centre, calm", WindButton::Right, 10, 100, {57, 57}, {0, 0, 0}},
        {"top-right corner: 10 north, 59/6 east", WindButton::Left, 119, 0, {116, -3}, {10, 0, 59.0 / 6}},
        {"middle button leaves the marker where it was", WindButton::Other, 0, 0, off, {17.0 / 6, 0, 13.0 / 6}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const WindMarker m = windMarkerAfterClick(off, r.button, r.x, r.y);
        EXPECT_EQ(m, r.expectMarker);
        const Vec3 w = windFromMarker(m);
        EXPECT_NEAR(w.x, r.expectWind.x, 1e-12);
        EXPECT_EQ(w.y, 0.0);
        EXPECT_NEAR(w.z, r.expectWind.z, 1e-12);
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
    EXPECT_NEAR(g.wind.x, 0.0, 1e-12);
    EXPECT_EQ(g.wind.y, 0.0);
    EXPECT_NEAR(g.wind.z, 5.0, 1e-12);
    // phi = 180 deg: air moving south.
    ScriptedRandom south({0.2, 0.5});
    EXPECT_NEAR(nextGust(10, south).wind.x, -2.0, 1e-12);
}

TEST(Wind, SameSeedSameSequence) {
    SeededUniform a(7), b(7), c(8);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const double va = a.next01();
        ASSERT_EQ(va, b.next01());
        ASSERT_GE(va, 0.0);
        ASSERT_LT(va, 1.0);  // so a gust stays below its maximum
        differs = differs || va != c.next01();
    }
    EXPECT_TRUE(differs) << "another seed, another sequence";
}
