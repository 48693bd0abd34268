#include <cmath>
#include <limits>

#include "core/dynamics.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::expectVec;

namespace {

// Inertia diag(2, 4, 8) so that a swapped axis shows.
Aircraft inertBody(double mass = 2.0) {
    Aircraft ac;
    ac.params.mass = mass;
    ac.params.inertia = {2, 4, 8};
    ac.params.weight = {0, -GRAVITY_G * mass, 0};
    return ac;
}

SimState flying() {
    SimState s;
    s.running = true;
    s.velocity = {};
    return s;
}

struct CountingHook : TickHook {
    int calls = 0;
    void afterIntegration(SimState&) override { ++calls; }
};

}  // namespace

TEST(Atmosphere, StandardValues) {
    auto at = [](double h) {
        SimState s;
        s.posH = h;
        updateAtmosphere(s);
        return s;
    };
    EXPECT_NEAR(at(0).airDensity, 1.2272, 5e-5);
    // By hand: T = 288.15 - 0.0065 h; P = 101.325 (T / 288.15)^5.2615; rho = 3.4898 P / T.
    //   1000 m: T 281.65, ratio 0.97744230436, ln -0.02281601254, P 89.863039016, rho 1.1134529862
    //   5000 m: T 255.65, ratio 0.88721152178, ln -0.11967185636, P 53.983567802, rho 0.73691318175
    struct Row { double h, temp, pressure, density, tablePressure, tableDensity; };
    for (const Row& r : {Row{1000, 281.65, 89.863039016, 1.1134529862, 89.876, 1.1117},
                         Row{5000, 255.65, 53.983567802, 0.73691318175, 54.048, 0.7364}}) {
        const SimState s = at(r.h);
        EXPECT_NEAR(s.airTemp, r.temp, 1e-9);
        EXPECT_NEAR(s.airPressure / r.pressure, 1.0, 1e-9) << r.h;
        EXPECT_NEAR(s.airDensity / r.density, 1.0, 1e-9) << r.h;
        // Within 0.2 % of the standard atmosphere's table.
        EXPECT_NEAR(s.airPressure / r.tablePressure, 1.0, 2e-3) << r.h;
        EXPECT_NEAR(s.airDensity / r.tableDensity, 1.0, 2e-3) << r.h;
    }
    EXPECT_GT(at(-100).airDensity, at(0).airDensity);  // no clamp at the field
}

TEST(InitialConditions, PitchSpeedAndPosition) {
    SimState s;
    s.wind = {3, 0, 1};
    applyInitialConditions(s, {36, 90, 100, -250});
    // Nose straight up: body x along earth Y, body y along earth -X.
    expectVec(s.orient.row(0), {0, 1, 0}, 1e-15);
    expectVec(s.orient.row(1), {-1, 0, 0}, 1e-15);
    EXPECT_NEAR(s.velocity.y, 10, 1e-12);  // 36 km/h along the nose
    EXPECT_EQ(s.posD, 250);  // set at once, not left for the next tick (H and X: the window's test)
    EXPECT_EQ(s.wind, (Vec3{3, 0, 1}));
}

TEST(AttitudeAngles, HandWorkedAttitudes) {
    const double b = 30 * PI / 180, c = std::cos(b), sn = std::sin(b);
    struct Row { Mat3 orient; double roll, pitch, yaw; const char* why; };
    const Row rows[] = {
        {{{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}}, 0, PI / 4, 0, "nose straight up"},
        {{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}}, 0, 0, -PI / 2, "nose east"},
        {{{{1, 0, 0}, {0, c, sn}, {0, -sn, c}}}, b, 0, 0, "north, right wing down: body z = (0, -sin, cos)"},
        {{{{1, 0, 0}, {0, c, -sn}, {0, sn, c}}}, -b, 0, 0, "north, left wing down"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        SimState s;
        s.orient = r.orient;
        updateAttitudeAngles(s);
        expectVec({s.rollAngle, s.pitchAngle, s.yawAngle}, {r.roll, r.pitch, r.yaw});
    }
}

TEST(DynamicsTick, FreeFallOfAnInertBody) {
    SimState s = flying();
    s.posH = 100;
    const Aircraft ac = inertBody();
    CountingHook hook;
    dynamicsTick(s, ac, &hook);
    EXPECT_NEAR(s.velocity.y, -0.098, 1e-15);
    EXPECT_NEAR(s.posH, 100 - 0.00098, 1e-12);
    for (int i = 1; i < 100; ++i) dynamicsTick(s, ac, &hook);
    EXPECT_NEAR(s.velocity.y, -9.8, 1e-9);  // g = 9.8 after one second
    EXPECT_EQ(hook.calls, 100);             // after every integrating tick
}

TEST(DynamicsTick, StoppedRefreshesButDoesNotAdvance) {
    SimState s;  // stopped
    s.posH = 50;
    Aircraft ac = inertBody();
    ac.elements[0] = AeroElement{.active = true, .pos = {}, .chord = 0.2, .area = 0.5, .normal = {0, 1, 0},
                                 .chordVec = {-0.2, 0, 0}, .chordDir = {-1, 0, 0}, .spanDir = {0, 0, 1}};
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
    expectVec(s.airflowBody, {-10, 0, 5});
    EXPECT_NE(s.elemForceBody[0].x, 0);
    // Switching the element off zeroes its force from the next tick.
    ac.elements[0].active = false;
    dynamicsTick(s, ac);
    EXPECT_EQ(s.elemForceBody[0], (Vec3{}));
}

TEST(DynamicsTick, MomentOfInertiaAndRotation) {
    Aircraft ac = inertBody();
    // Motor above the CG thrusting forward: M = (0,0.5,0) x (4,0,0) = (0,0,-2)
    // (nose down), about z alone, so I = Iz = 8.
    SimState s = flying();
    ac.params.motorPos = {0, 0.5, 0};
    s.thrustBody = {4, 0, 0};
    dynamicsTick(s, ac);
    EXPECT_NEAR(s.omegaEarth.z, -2 * 0.01 / 8, 1e-15);
    // M = (0,0,1) x (-1,1,0) = (-1,-1,0): halfway between x and y, I = (2 + 4) / 2.
    SimState t = flying();
    ac.params.motorPos = {0, 0, 1};
    t.thrustBody = {-1, 1, 0};
    dynamicsTick(t, ac);
    expectVec(t.omegaEarth, {-0.01 / 3, -0.01 / 3, 0}, 1e-15);

    // A quarter turn in one tick about earth Z (east): the right-hand turn
    // takes north (body x) to up; omegaBody uses the attitude before the turn.
    SimState u = flying();
    u.omegaEarth = {0, 0, PI / 2 / 0.01};
    dynamicsTick(u, inertBody());
    expectVec(u.orient.row(0), {0, 1, 0});
    EXPECT_NEAR(u.omegaBody.z, PI / 2 / 0.01, 1e-9);
}

TEST(DynamicsTick, BadModelsAndNonFiniteStepsAreRefusedOnce) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Row { double mass; Vec3 inertia; double thrust; SimFault want; const char* why; };
    const Row rows[] = {
        {0, {1, 1, 1}, 0, SimFault::BadMass, "zero mass from a settings file"},
        {-2, {1, 1, 1}, 0, SimFault::BadMass, "negative mass"},
        {2, {1, 0, 1}, 0, SimFault::BadInertia, "zero Iy"},
        {2, {1, 1, nan}, 0, SimFault::BadInertia, "NaN Iz"},
        {2, {1, 1, 1}, inf, SimFault::NonFinite, "a non-finite force (an absurd wind)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        SimState s = flying();
        s.posH = 10;
        s.thrustBody = {r.thrust, 0, 0};
        Aircraft ac = inertBody(r.mass);
        ac.params.inertia = r.inertia;
        const TickResult first = dynamicsTick(s, ac);
        EXPECT_TRUE(first.faultRaised);
        EXPECT_FALSE(first.integrated);
        EXPECT_EQ(s.fault, r.want);
        EXPECT_FALSE(dynamicsTick(s, ac).faultRaised);  // reported once
        EXPECT_EQ(s.posH, 10);  // the previous state is kept
        EXPECT_EQ(s.velocity, (Vec3{}));
        if (r.want == SimFault::NonFinite) {  // new initial conditions clear it
            s.thrustBody = {};
            applyInitialConditions(s, {});
            EXPECT_TRUE(dynamicsTick(s, ac).integrated);
        }
    }
}

// The part of the tick that runs while stopped (airflow, element forces) is
// stored only when finite too; so is every number an integrating tick makes.
TEST(DynamicsTick, NonFiniteForcesNeverReachTheState) {
    Aircraft ac = inertBody();
    AeroElement& e = ac.elements[0];
    e.active = true;
    e.len = e.chord = 1e160;  // area 1e320: the force overflows
    e.area = 1e308;
    e.chordVec = {-1e160, 0, 0};
    e.chordDir = {-1, 0, 0};
    e.normal = {0, 1, 0};
    e.spanDir = {0, 0, 1};
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "running" : "stopped");
        SimState s = flying();
        s.running = running;
        s.velocity = {1e200, 0, 0};
        const SimState before = s;
        const TickResult r = dynamicsTick(s, ac);
        EXPECT_TRUE(r.faultRaised);
        EXPECT_EQ(s.fault, SimFault::NonFinite);
        EXPECT_TRUE(stateFinite(s));
        EXPECT_EQ(s.elemForceBody[0], before.elemForceBody[0]);
        EXPECT_EQ(s.airflowBody, before.airflowBody);
        EXPECT_EQ(s.velocity, before.velocity);
    }
}

// The one list of the state's fields (finiteness check, recording, tests'
// comparison): every field once, in declaration order, none overlapping.
TEST(SimStateFields, EveryFieldOnceInDeclarationOrder) {
    SimState s;
    std::vector<std::string> names;
    std::ptrdiff_t end = 0;  // first byte after the previous field
    std::size_t bytes = 0;
    forEachSimStateField(s, [&](const char* name, auto& v) {
        const std::ptrdiff_t at = reinterpret_cast<const char*>(&v) - reinterpret_cast<const char*>(&s);
        EXPECT_GE(at, end) << name << " listed out of declaration order";
        end = at + static_cast<std::ptrdiff_t>(sizeof v);
        bytes += sizeof v;
        for (const std::string& n : names) EXPECT_NE(n, name) << name << " listed twice";
        names.push_back(name);
    });
    EXPECT_EQ(names.size(), 29u);
    EXPECT_EQ(names.front(), "orient");
    EXPECT_EQ(names.back(), "fault");
    EXPECT_LE(sizeof(SimState) - bytes, alignof(SimState) - 1) << "more padding than alignment explains";
}
