#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/dynamics.h"

using namespace uav;

namespace {

Aircraft inertBody(double mass = 2.0) {
    Aircraft ac;
    ac.params.mass = mass;
    ac.params.inertia = {2, 4, 8};
    ac.params.weight = {0, -GRAVITY_G * mass, 0};
    return ac;
}

struct CountingHook : TickHook {
    int calls = 0;
    void afterIntegration(SimState&) override { ++calls; }
};

}  // namespace

TEST(Atmosphere, StandardValues) {
    SimState s;
    EXPECT_DOUBLE_EQ(s.airDensity, 1.2);
    s.posH = 0;
    updateAtmosphere(s);
    EXPECT_NEAR(s.airDensity, 1.2272, 5e-5);
    s.posH = 2;
    updateAtmosphere(s);
    EXPECT_NEAR(s.airDensity, 1.2269, 5e-5);
    s.posH = 1000;  // 281.65 K, 89.88 kPa in the standard atmosphere
    updateAtmosphere(s);
    EXPECT_NEAR(s.airTemp, 281.65, 1e-9);
    EXPECT_NEAR(s.airPressure, 89.88, 0.02);
    s.posH = -100;
    updateAtmosphere(s);
    EXPECT_GT(s.airDensity, 1.2272);
}

TEST(InitialConditions, PitchSpeedAndPosition) {
    SimState s;
    s.wind = {3, 0, 1};
    s.running = true;
    applyInitialConditions(s, {36, 90, 100, -250});
    EXPECT_NEAR(s.orient.m[0][0], 0, 1e-15);
    EXPECT_NEAR(s.orient.m[0][1], 1, 1e-15);
    EXPECT_NEAR(s.orient.m[1][0], -1, 1e-15);
    EXPECT_NEAR(s.velocity.x, 0, 1e-15);
    EXPECT_NEAR(s.velocity.y, 10, 1e-12);
    EXPECT_EQ(s.posH, 100);
    EXPECT_EQ(s.posX, -250);
    EXPECT_EQ(s.posD, 250);  // set at once, not left for the next tick
    EXPECT_TRUE(s.running);
    EXPECT_EQ(s.wind, (Vec3{3, 0, 1}));

    applyInitialConditions(s, {0, 15, 2, 0});
    EXPECT_EQ(s.velocity, (Vec3{0, 0, 0}));
}

TEST(AttitudeAngles, HandWorkedAttitudes) {
    SimState s;
    // Nose straight up.
    s.orient = Mat3{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
    updateAttitudeAngles(s);
    EXPECT_EQ(s.rollAngle, 0);
    EXPECT_NEAR(s.pitchAngle, PI / 4, 1e-15);
    // Nose east.
    s.orient = Mat3{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
    updateAttitudeAngles(s);
    EXPECT_NEAR(s.yawAngle, -PI / 2, 1e-15);
    EXPECT_NEAR(s.rollAngle, 0, 1e-15);
    // Heading north, banked 30 deg right wing down: body z = (0, -sin, cos).
    const double b = 30 * PI / 180;
    s.orient = Mat3{{{1, 0, 0}, {0, std::cos(b), std::sin(b)}, {0, -std::sin(b), std::cos(b)}}};
    updateAttitudeAngles(s);
    EXPECT_NEAR(s.rollAngle, b, 1e-12);
    s.orient = Mat3{{{1, 0, 0}, {0, std::cos(b), -std::sin(b)}, {0, std::sin(b), std::cos(b)}}};
    updateAttitudeAngles(s);
    EXPECT_NEAR(s.rollAngle, -b, 1e-12);
}

TEST(DynamicsTick, FreeFallOfAnInertBody) {
    SimState s;
    s.velocity = {};
    s.posH = 100;
    s.running = true;
    const Aircraft ac = inertBody();
    dynamicsTick(s, ac);
    EXPECT_NEAR(s.velocity.y, -0.098, 1e-15);
    EXPECT_NEAR(s.posH, 100 - 0.00098, 1e-12);
    for (int i = 1; i < 100; ++i) dynamicsTick(s, ac);
    EXPECT_NEAR(s.velocity.y, -9.8, 1e-9);  // g = 9.8 after one second
}

TEST(DynamicsTick, StoppedRefreshesButDoesNotAdvance) {
    SimState s;
    s.running = false;
    s.posH = 50;
    Aircraft ac = inertBody();
    ac.elements[0].active = true;
    ac.elements[0].normal = {0, 1, 0};
    ac.elements[0].chordDir = {-1, 0, 0};
    ac.elements[0].chordVec = {-0.2, 0, 0};
    ac.elements[0].chord = 0.2;
    ac.elements[0].area = 0.5;
    const SimState before = s;
    CountingHook hook;
    dynamicsTick(s, ac, &hook);
    EXPECT_EQ(s.velocity, before.velocity);
    EXPECT_EQ(s.posH, before.posH);
    EXPECT_EQ(s.orient, before.orient);
    EXPECT_EQ(hook.calls, 0);
    // Airflow and forces follow the wind while stopped.
    s.wind = {0, 0, 5};
    dynamicsTick(s, ac, &hook);
    EXPECT_NEAR(s.airflowBody.z, 5, 1e-12);
    EXPECT_NEAR(s.airflowBody.x, -10, 1e-12);
    EXPECT_NE(s.elemForceBody[0].x, 0);
    // Switching the element off zeroes its force from the next tick.
    ac.elements[0].active = false;
    dynamicsTick(s, ac);
    EXPECT_EQ(s.elemForceBody[0], (Vec3{}));
}

TEST(DynamicsTick, MomentOfInertiaAboutTheMomentAxis) {
    // A motor above the CG thrusting forward gives a moment about body -z
    // (nose down): the angular acceleration uses Iz alone.
    SimState s;
    s.running = true;
    s.velocity = {};
    Aircraft ac = inertBody();
    ac.params.motorPos = {0, 0.5, 0};
    s.thrustBody = {4, 0, 0};
    dynamicsTick(s, ac);
    // M = (0,0.5,0) x (4,0,0) = (0,0,-2); I = Iz = 8.
    EXPECT_NEAR(s.omegaEarth.z, -2 * 0.01 / 8, 1e-15);
    // Motor at 45 deg between body x and y from... a moment between x and y:
    SimState t;
    t.running = true;
    t.velocity = {};
    ac.params.motorPos = {0, 0, 1};
    t.thrustBody = {-1, 1, 0};  // M = (0,0,1) x (-1,1,0) = (-1,-1,0)
    dynamicsTick(t, ac);
    const double i45 = (2.0 + 4.0) / 2;
    EXPECT_NEAR(t.omegaEarth.x, -1 * 0.01 / i45, 1e-15);
    EXPECT_NEAR(t.omegaEarth.y, -1 * 0.01 / i45, 1e-15);
}

TEST(DynamicsTick, RotationTurnsTheBodyAxesAboutOmega) {
    SimState s;
    s.running = true;
    s.velocity = {};
    s.omegaEarth = {0, 0, PI / 2 / 0.01};  // a quarter turn in one tick about earth Z (east)
    dynamicsTick(s, inertBody());
    // Right-hand turn about east takes north (body x) to up.
    EXPECT_NEAR(s.orient.m[0][0], 0, 1e-12);
    EXPECT_NEAR(s.orient.m[0][1], 1, 1e-12);
    // omegaBody uses the attitude before the turn.
    EXPECT_NEAR(s.omegaBody.z, PI / 2 / 0.01, 1e-9);
}

TEST(DynamicsTick, HookRunsAfterEachIntegratingTick) {
    SimState s;
    s.running = true;
    CountingHook hook;
    const Aircraft ac = inertBody();
    for (int i = 0; i < 3; ++i) dynamicsTick(s, ac, &hook);
    EXPECT_EQ(hook.calls, 3);
}

TEST(DynamicsTick, BadModelsAndNonFiniteStepsAreRefusedOnce) {
    struct Row { double mass; Vec3 inertia; SimFault want; const char* why; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {0, {1, 1, 1}, SimFault::BadMass, "zero mass from a settings file"},
        {-2, {1, 1, 1}, SimFault::BadMass, "negative mass"},
        {2, {1, 0, 1}, SimFault::BadInertia, "zero Iy"},
        {2, {1, 1, nan}, SimFault::BadInertia, "NaN Iz"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        SimState s;
        s.running = true;
        s.posH = 10;
        Aircraft ac = inertBody(r.mass);
        ac.params.inertia = r.inertia;
        const SimState before = s;
        const TickResult first = dynamicsTick(s, ac);
        EXPECT_TRUE(first.faultRaised);
        EXPECT_FALSE(first.integrated);
        EXPECT_EQ(s.fault, r.want);
        const TickResult second = dynamicsTick(s, ac);
        EXPECT_FALSE(second.faultRaised);  // reported once
        EXPECT_EQ(s.posH, before.posH);
        EXPECT_EQ(s.velocity, before.velocity);
    }
    // A non-finite force (an absurd wind) keeps the previous state.
    SimState s;
    s.running = true;
    s.posH = 10;
    Aircraft ac = inertBody();
    s.thrustBody = {std::numeric_limits<double>::infinity(), 0, 0};
    const TickResult res = dynamicsTick(s, ac);
    EXPECT_TRUE(res.faultRaised);
    EXPECT_EQ(s.fault, SimFault::NonFinite);
    EXPECT_EQ(s.posH, 10);
    EXPECT_TRUE(std::isfinite(s.velocity.x));
    // New initial conditions clear it.
    s.thrustBody = {};
    applyInitialConditions(s, {});
    EXPECT_TRUE(dynamicsTick(s, ac).integrated);
}
