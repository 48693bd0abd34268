// The plots' axes without a screen: round steps, labels that differ, the
// value range that follows the data, zoom and pan held inside the ring, and
// every quantity named in Russian with its unit.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "record/plotring.h"
#include "record/telemetry.h"
#include "views/plotaxes.h"
#include "views/plotquantities.h"

using namespace uav;

TEST(PlotAxes, TimeStepsAreRoundSecondsWithZeroOnTheGrid) {
    struct Row {
        double span;
        double step;
        const char* why;
    };
    const Row rows[] = {
        {2, 1, "the closest zoom"},
        {8, 1, "eight intervals of 1 s"},
        {10, 2, "the 10 s window: -8.33 s was a grid line before"},
        {30, 5, "the 30 s window"},
        {79, 10, "just under 80 s"},
        {120, 20, "the 120 s window"},
        {200, 30, "a long zoom out"},
        {480, 60, "eight minutes"},
    };
    const std::set<double> allowed{1, 2, 5, 10, 20, 30, 60};
    for (const Row& r : rows) {
        EXPECT_EQ(timeTickStep(r.span), r.step) << r.why;
        EXPECT_TRUE(allowed.count(timeTickStep(r.span))) << r.why;
    }
    // The 10 s window before 1234.56 s of flight: ticks on whole multiples of 2 s.
    const auto ticks = tickPositions({1224.56, 1234.56}, timeTickStep(10));
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(ticks.front(), 1226.0);
    EXPECT_EQ(ticks.back(), 1234.0);
    // A window across the flight's start holds 0 exactly, labelled "0".
    const auto around = tickPositions({-3.5, 6.5}, 2);
    EXPECT_NE(std::find(around.begin(), around.end(), 0.0), around.end());
    EXPECT_EQ(tickLabel(-0.0, 0), "0");
    EXPECT_EQ(tickLabel(-0.004, 2), "0.00");
    EXPECT_EQ(tickLabel(-0.006, 2), "-0.01");
}

TEST(PlotAxes, LabelsOfNarrowRangesDiffer) {
    // Ranges seen in flight: labels must never repeat ("150, 150, 150";
    // "16.67, 16.67, 16.66" before).
    struct Row {
        double lo, hi;
        const char* why;
    };
    const Row rows[] = {
        {149.96, 150.04, "an altitude held to centimetres"},
        {16.664, 16.668, "a speed held to a millimetre per second"},
        {-0.0003, 0.0002, "a loop error around zero"},
        {1e5, 1e5 + 3, "large values, small changes"},
        {-250, 3000, "a wide range"},
        {150, 150, "flat data"},
        {0, 0, "flat zero"},
        {1e-300, 2e-300, "tiny numbers"},
    };
    for (const Row& r : rows) {
        const ValueAxis a = valueAxisFor(r.lo, r.hi);
        EXPECT_LE(a.range.lo, r.lo) << r.why;
        EXPECT_GE(a.range.hi, r.hi) << r.why;
        const auto ticks = tickPositions(a.range, a.step);
        ASSERT_GE(ticks.size(), 2u) << r.why;
        EXPECT_LE(a.range.span() / a.step, 5 + 1e-9) << r.why << ": more steps than fit";
        std::set<std::string> labels;
        for (double t : ticks) labels.insert(tickLabel(t, a.decimals));
        EXPECT_EQ(labels.size(), ticks.size()) << r.why << ": labels repeat";
        EXPECT_EQ(a.decimals, labelDecimals(a.step)) << r.why;
    }
    // A short plot: at most three steps, however the data falls.
    for (double lo = -50; lo < 50; lo += 3.7) {
        const ValueAxis a = valueAxisFor(lo, lo + 61.3, 3);
        EXPECT_LE(a.range.span() / a.step, 3 + 1e-9) << lo;
        EXPECT_LE(a.range.lo, lo);
        EXPECT_GE(a.range.hi, lo + 61.3);
    }
    EXPECT_EQ(valueIntervalsFor(95), 3);
    EXPECT_EQ(valueIntervalsFor(10), 2);
    EXPECT_EQ(valueIntervalsFor(NAN), 2);
    EXPECT_EQ(labelDecimals(0.5), 1);
    EXPECT_EQ(labelDecimals(0.1), 1);
    EXPECT_EQ(labelDecimals(0.05), 2);
    EXPECT_EQ(labelDecimals(2), 0);
    EXPECT_EQ(valueTickStep(0.08, 5), 0.02);
    EXPECT_EQ(valueTickStep(3250, 5), 1000);
}

TEST(PlotAxes, LiveRangeChangesOnlyWhenTheDataLeavesOrShrinks) {
    ValueAxis a = valueAxisFor(100, 140);
    // Data moving inside the range keeps it: the chart lays out nothing.
    EXPECT_EQ(followValueAxis(a, 105, 138).range, a.range);
    // Data above it: a new range holding it.
    const ValueAxis up = followValueAxis(a, 110, 190);
    EXPECT_GE(up.range.hi, 190);
    // Data that fills less than a quarter: a tighter range.
    const ValueAxis tight = followValueAxis(up, 120, 121);
    EXPECT_LT(tight.range.span(), up.range.span() / 4);
    // Flat data keeps its range frame after frame; no data keeps the last one.
    const ValueAxis flat = followValueAxis(tight, 130, 130);
    EXPECT_EQ(followValueAxis(flat, 130, 130).range, flat.range);
    EXPECT_EQ(followValueAxis(flat, INFINITY, -INFINITY).range, flat.range);
    EXPECT_EQ(valueAxisFor(NAN, 3).range, valueAxisFor(INFINITY, -INFINITY).range);
}

TEST(PlotAxes, ZoomAndPanStayInsideTheRing) {
    const AxisRange ring{100.0, 220.0};  // 120 s held
    AxisRange v{190.0, 220.0};
    // Zooming in about 200 s keeps 200 s under the pointer.
    AxisRange z = zoomRange(v, 200.0, 0.5, 2.0, 120.0);
    EXPECT_DOUBLE_EQ(z.span(), 15.0);
    EXPECT_DOUBLE_EQ((200.0 - z.lo) / z.span(), (200.0 - v.lo) / v.span());
    // Never closer than the least span, never wider than the most.
    EXPECT_DOUBLE_EQ(zoomRange(v, 200.0, 1e-9, 2.0, 120.0).span(), 2.0);
    EXPECT_DOUBLE_EQ(zoomRange(v, 200.0, 1e9, 2.0, 120.0).span(), 120.0);
    // Panning past either end stops at it, the span kept.
    EXPECT_EQ(clampToLimits(panRange(v, 1000.0), ring), (AxisRange{190.0, 220.0}));
    EXPECT_EQ(clampToLimits(panRange(v, -1000.0), ring), (AxisRange{100.0, 130.0}));
    // A window longer than the ring (a ring just begun) ends at its newest sample.
    EXPECT_EQ(clampToLimits({0.0, 30.0}, {5.0, 8.0}), (AxisRange{-22.0, 8.0}));
    // An empty ring's limits are one point; garbage gives the limits.
    EXPECT_EQ(clampToLimits({NAN, 1.0}, ring), ring);
    EXPECT_EQ(zoomRange(v, NAN, 0.5, 2.0, 120.0), v);
    EXPECT_EQ(panRange(v, INFINITY), v);
    // Pixels: the time axis left to right, the value axis upwards.
    EXPECT_DOUBLE_EQ(valueAtPixel(150, 100, 400, {0, 30}), 5.0);
    EXPECT_DOUBLE_EQ(valueAtPixel(150, 300, 100, {0, 10}), 7.5);
    EXPECT_DOUBLE_EQ(pixelOfValue(valueAtPixel(123, 300, 100, {-4, 6}), 300, 100, {-4, 6}), 123);
}

TEST(PlotRing, NearestSampleAndSpikesKeptWhenReduced) {
    TelemetryRing ring(500);
    double v[PLOT_QUANTITY_COUNT] = {};
    for (int tick = 1000; tick < 1600; ++tick) {  // 600 ticks into 500 places: 1100..1599 kept
        v[0] = tick == 1300 ? 1e3 : (tick == 1301 ? -1e3 : 0.0);
        ring.push(tick, v);
    }
    ASSERT_EQ(ring.size(), 500u);
    EXPECT_EQ(ring.tick(ring.nearest(13.004)), 1300);
    EXPECT_EQ(ring.tick(ring.nearest(13.006)), 1301);
    EXPECT_EQ(ring.nearest(-5.0), 0u);                // before the ring: its oldest
    EXPECT_EQ(ring.nearest(1e9), ring.size() - 1);    // after it: its newest
    EXPECT_EQ(TelemetryRing(10).nearest(1.0), 0u);    // empty: nothing to read (size 0)
    // 500 samples into 20 columns: 40 points at most, the spike's both ends among them.
    const auto idx = plotSamples(ring, 0, 0, ring.size(), 20);
    EXPECT_LE(idx.size(), 40u);
    EXPECT_TRUE(std::is_sorted(idx.begin(), idx.end()));
    bool top = false, bottom = false;
    for (std::size_t i : idx) {
        top = top || ring.value(i, 0) == 1e3;
        bottom = bottom || ring.value(i, 0) == -1e3;
    }
    EXPECT_TRUE(top && bottom);
    EXPECT_TRUE(plotSamples(ring, 0, 300, 200, 20).empty());      // an empty window
    EXPECT_EQ(plotSamples(ring, 0, 490, 9999, 20).size(), 10u);   // past the end: what there is
}

TEST(PlotQuantities, EveryQuantityHasARussianNameAUnitAndAKind) {
    const auto& groups = plotQuantityGroups();
    ASSERT_EQ(groups.size(), 9u);
    std::set<std::string> names, used;
    for (const std::string& code : plotQuantityNames()) {
        const PlotQuantityLabel* l = plotQuantityLabel(code);
        ASSERT_NE(l, nullptr) << code << " has no label";
        EXPECT_NE(std::find(groups.begin(), groups.end(), l->group), groups.end()) << code;
        EXPECT_TRUE(names.insert(l->name).second) << code << ": its name " << l->name << " is taken";
        used.insert(l->group);
        // The unit is the one the code name ends with.
        const std::string tail = code.substr(code.rfind('_') + 1);
        const std::map<std::string, std::string> units = {
            {"m", "м"}, {"ms", "м/с"}, {"deg", "°"}, {"rads", "рад/с"}, {"N", "Н"}};
        if (code.rfind("servo", 0) == 0)
            EXPECT_EQ(l->unit, "") << code;
        else
            EXPECT_EQ(l->unit, units.at(tail)) << code;
        // A name in Russian: at least one Cyrillic letter (two bytes from 0xD0).
        EXPECT_NE(l->name.find('\xD0'), std::string::npos) << code;
    }
    EXPECT_EQ(used.size(), groups.size()) << "a kind with no quantity";
    EXPECT_EQ(plotQuantityLabel("nonsense"), nullptr);
    EXPECT_EQ(nameWithUnit(*plotQuantityLabel("posH_m")), "высота H, м");
}
