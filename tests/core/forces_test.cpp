#include <gtest/gtest.h>

#include <cmath>

#include "core/elementforce.h"

using namespace uav;

namespace {

constexpr double DEG = PI / 180.0;

// A level element: normal up, chord running aft, 1 m^2, chord 0.2 m.
AeroElement levelElement() {
    AeroElement e;
    e.active = true;
    e.pos = {0.1, 0, 0};
    e.len = 5;
    e.chord = 0.2;
    e.area = 1.0;
    e.normal = {0, 1, 0};
    e.chordVec = {-0.2, 0, 0};
    e.chordDir = {-1, 0, 0};
    e.spanDir = {0, 0, 1};
    return e;
}

SimState stillAir(const Vec3& airflow) {
    SimState s;
    s.airDensity = 1.2;
    s.airflowBody = airflow;
    return s;
}

void expectVec(const Vec3& v, const Vec3& want, double tol) {
    EXPECT_NEAR(v.x, want.x, tol);
    EXPECT_NEAR(v.y, want.y, tol);
    EXPECT_NEAR(v.z, want.z, tol);
}

}  // namespace

TEST(Coefficients, CurvesAtTheirCornerAngles) {
    struct Row { double deg, lift, drag, cp; const char* why; };
    const Row rows[] = {
        {0, 0, 0.05, 0.35, "attached flow, no lift"},
        {10, 0.75, 0.05 + std::pow(std::sin(10 * DEG), 2), 0.35 - 0.05 * 0.5, "1.5 sin(30 deg)"},
        {30, 1.5, 0.3, 0.3, "break angle: maximum lift, most forward CP"},
        {90, 0, 1.05, 0.5, "flat plate broadside"},
        {150, -1.5, 0.3, 0.7, "reverse-flow break"},
        {180, 0, 0.05, 0.65, "flow from behind mirrors the CP"},
        {-30, -1.5, 0.3, 0.3, "lift odd, drag and CP even"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const double a = r.deg * DEG;
        EXPECT_NEAR(liftCoef(a), r.lift, 1e-12);
        EXPECT_NEAR(dragCoef(a), r.drag, 1e-12);
        EXPECT_NEAR(cpFraction(a), r.cp, 1e-12);
    }
    // Continuity across the break angles.
    for (double b : {30 * DEG, 150 * DEG}) {
        EXPECT_NEAR(liftCoef(b - 1e-9), liftCoef(b + 1e-9), 1e-7);
        EXPECT_NEAR(cpFraction(b - 1e-9), cpFraction(b + 1e-9), 1e-7);
    }
}

TEST(ElementForce, AirFromAheadGivesDragOnly) {
    SimState s = stillAir({-10, 0, 0});
    const AeroElement e = levelElement();
    const Vec3 f = elementForce(s, e, 2);
    const double q = 100 * 1.2 * 1.0 / 2;  // 60 N
    expectVec(f, {-0.05 * q, 0, 0}, 1e-12);
    expectVec(s.elemCP[2], {0.1 - 0.35 * 0.2, 0, 0}, 1e-12);
    expectVec(s.elemAirflow[2], {-10, 0, 0}, 0);
}

TEST(ElementForce, TenDegreesLiftsUpAndSlightlyForward) {
    SimState s = stillAir({-10 * std::cos(10 * DEG), 10 * std::sin(10 * DEG), 0});
    const Vec3 f = elementForce(s, levelElement(), 0);
    const double q = 60;
    // Remove drag (along the flow) to isolate lift.
    const Vec3 e{-std::cos(10 * DEG), std::sin(10 * DEG), 0};
    const Vec3 lift = VecSub(f, VecScale(e, dragCoef(10 * DEG) * q));
    EXPECT_NEAR(VecNorm(lift), 0.75 * q * std::cos(10 * DEG), 1e-9);
    EXPECT_GT(lift.y, 0);  // up
    EXPECT_GT(lift.x, 0);  // tilted forward, perpendicular to the flow
    EXPECT_NEAR(VecDot(lift, e), 0, 1e-9);
}

TEST(ElementForce, ReverseAndBroadsideFlow) {
    {
        SimState s = stillAir({10, 0, 0});  // from behind
        const Vec3 f = elementForce(s, levelElement(), 0);
        expectVec(f, {0.05 * 60, 0, 0}, 1e-9);
        EXPECT_NEAR(s.elemCP[0].x, 0.1 - 0.65 * 0.2, 1e-12);
    }
    {
        SimState s = stillAir({0, -10, 0});  // straight onto the face, from above
        const Vec3 f = elementForce(s, levelElement(), 0);
        expectVec(f, {0, -1.05 * 60, 0}, 1e-9);
        EXPECT_NEAR(s.elemCP[0].x, 0.1 - 0.5 * 0.2, 1e-12);
        EXPECT_TRUE(std::isfinite(f.x) && std::isfinite(f.y));
    }
}

TEST(ElementForce, ServoAddsLiftCoefficientAtAnyAngle) {
    AeroElement e = levelElement();
    e.k = 0.4;
    for (double deg : {0.0, 10.0, 60.0}) {
        SCOPED_TRACE(deg);
        const Vec3 u{-10 * std::cos(deg * DEG), 10 * std::sin(deg * DEG), 0};
        SimState a = stillAir(u), b = stillAir(u);
        b.servoPos[1] = 0.5;
        const Vec3 d = VecSub(elementForce(b, e, 1), elementForce(a, e, 1));
        // 0.2 of extra lift coefficient along w, whose length is cos(a).
        EXPECT_NEAR(VecNorm(d), 0.2 * 60 * std::cos(deg * DEG), 1e-9);
    }
}

TEST(ElementForce, StillAirRotationAndSlipstream) {
    {
        SimState s = stillAir({0, 0, 0});
        const Vec3 f = elementForce(s, levelElement(), 3);
        expectVec(f, {0, 0, 0}, 0);
        expectVec(s.elemCP[3], {0.1 - 0.1, 0, 0}, 1e-15);
    }
    {
        // Roll rate alone: an element out on the right wing sees air from below
        // as the wing goes down, so it lifts and damps the roll.
        SimState s = stillAir({0, 0, 0});
        s.omegaBody = {2, 0, 0};  // rad/s, right wing down
        AeroElement e = levelElement();
        e.pos = {0, 0, 1};
        const Vec3 f = elementForce(s, e, 0);
        expectVec(s.elemAirflow[0], {0, 2, 0}, 1e-15);  // pos x omega
        EXPECT_GT(f.y, 0);
    }
    {
        // Slipstream: along body x only, proportional to thrust x.
        SimState s = stillAir({0, 0, 0});
        s.thrustBody = {20, 5, 0};
        AeroElement e = levelElement();
        e.efTr = 0.5;
        elementForce(s, e, 0);
        expectVec(s.elemAirflow[0], {-10, 0, 0}, 1e-15);
    }
}
