#include <cmath>

#include "core/elementforce.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::expectVec;

namespace {

constexpr double DEG = PI / 180.0;

// A level element: normal up, chord 0.2 m running aft, 1 m^2; 0.5 m/s of
// slipstream per newton of thrust.
AeroElement levelElement(const Vec3& pos = {0.1, 0, 0}) {
    return {.active = true, .pos = pos, .chord = 0.2, .area = 1.0, .normal = {0, 1, 0}, .chordVec = {-0.2, 0, 0},
            .chordDir = {-1, 0, 0}, .spanDir = {0, 0, 1}, .efTr = 0.5};
}

SimState stillAir(const Vec3& airflow) {
    SimState s;
    s.airDensity = 1.2;
    s.airflowBody = airflow;
    return s;
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
        expectVec({liftCoef(a), dragCoef(a), cpFraction(a)}, {r.lift, r.drag, r.cp});
    }
}

TEST(ElementForce, FlowCasesWorkedByHand) {
    // q = rho V^2 S / 2 = 60 N at 10 m/s.
    struct Row { Vec3 airflow, omega, thrust, pos, wantAirflow, wantForce; double cpX; const char* why; };
    const Row rows[] = {
        {{-10, 0, 0}, {}, {}, {0.1, 0, 0}, {-10, 0, 0}, {-0.05 * 60, 0, 0}, 0.1 - 0.35 * 0.2,
         "level element, air from ahead: drag only"},
        {{10, 0, 0}, {}, {}, {0.1, 0, 0}, {10, 0, 0}, {0.05 * 60, 0, 0}, 0.1 - 0.65 * 0.2, "reverse flow"},
        {{0, -10, 0}, {}, {}, {0.1, 0, 0}, {0, -10, 0}, {0, -1.05 * 60, 0}, 0.1 - 0.5 * 0.2,
         "broadside from above"},
        {{}, {}, {}, {0.1, 0, 0}, {}, {}, 0.1 - 0.5 * 0.2, "still air: no force, CP mid-chord"},
        // Right wing going down sees 2 m/s from below (pos x omega): it lifts
        // with 1.05 * 1.2 * 4 / 2 N and damps the roll.
        {{}, {2, 0, 0}, {}, {0, 0, 1}, {0, 2, 0}, {0, 2.52, 0}, -0.1, "roll damping"},
        {{}, {}, {20, 5, 0}, {0.1, 0, 0}, {-10, 0, 0}, {-0.05 * 60, 0, 0}, 0.1 - 0.35 * 0.2,
         "slipstream: along body x, from thrust x only"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        SimState s = stillAir(r.airflow);
        s.omegaBody = r.omega;
        s.thrustBody = r.thrust;
        expectVec(elementForce(s, levelElement(r.pos), 3), r.wantForce, 1e-12);
        expectVec(s.elemAirflow[3], r.wantAirflow, 1e-15);
        expectVec(s.elemCP[3], {r.cpX, r.pos.y, r.pos.z}, 1e-15);
    }
}

TEST(ElementForce, LiftIsPerpendicularToTheFlowAndTheServoAddsToIt) {
    AeroElement e = levelElement();
    e.k = 0.4;
    for (double deg : {0.0, 10.0, 60.0}) {
        SCOPED_TRACE(deg);
        const Vec3 flow{-std::cos(deg * DEG), std::sin(deg * DEG), 0};
        SimState a = stillAir(VecScale(flow, 10)), b = a;
        b.servoPos[1] = 0.5;
        const Vec3 f = elementForce(a, e, 1);
        // 0.2 of extra lift coefficient along w, whose length is cos(alpha).
        EXPECT_NEAR(VecNorm(VecSub(elementForce(b, e, 1), f)), 0.2 * 60 * std::cos(deg * DEG), 1e-9);
        if (deg != 10.0) continue;
        // Remove drag (along the flow) to isolate lift: up, tilted forward.
        const Vec3 lift = VecSub(f, VecScale(flow, dragCoef(10 * DEG) * 60));
        EXPECT_NEAR(VecNorm(lift), 0.75 * 60 * std::cos(10 * DEG), 1e-9);
        EXPECT_GT(lift.y, 0);
        EXPECT_GT(lift.x, 0);
        EXPECT_NEAR(VecDot(lift, flow), 0, 1e-9);
    }
}
