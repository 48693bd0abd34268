// Closed-loop flights of the reference trainer under the built-in autopilot,
// with the settings windows' default texts, in simulated time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "control/headless.h"
#include "model/apply.h"
#include "model/modeltext.h"

using namespace uav;

namespace {

constexpr double DEG = PI / 180.0;

struct Flight {
    SimState s;
    Aircraft ac;
    Autopilot ap;
    HeadlessControl hc{ap};
    ReturnTexts returnTexts = defaultReturnTexts(',');

    explicit Flight(const InitialConditions& ic, double bankDeg = 0.0) {
        setStartValues(s);
        ModelOutlines outlines;
        const std::string path = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/models/trainer.mdl";
        applyModel(loadModelFile(path), '.', s, ac, outlines, nullptr);
        applyInitialConditions(s, ic);
        // Roll about the nose: right wing down for a positive bank.
        const Mat3 roll = MRotO(bankDeg * DEG, s.orient.row(0));
        for (int i = 1; i < 3; ++i) s.orient.setRow(i, MatVec(roll, s.orient.row(i)));
        initAutopilot(ap, defaultStabiliserTexts(','), returnTexts, ',', s);
        s.running = true;
    }
    void engage(ApMode m) { engageMode(ap, m, s, returnTexts, ','); }
    double airspeed() const { return -s.airflowBody.x; }
    // Flies `seconds`, calling `check` after every control period.
    void fly(double seconds, const std::function<void()>& check = [] {}) {
        const long n = std::lround(seconds / s.dt);
        for (long i = 0; i < n; ++i) {
            headlessTick(hc, ap, s, ac);
            if (hc.ticks % 2 == 0) check();
        }
        ASSERT_EQ(s.fault, SimFault::None);
    }
};

// Smallest and largest of the values seen.
struct Range {
    double lo = 1e300, hi = -1e300;
    void add(double v) { lo = std::min(lo, v), hi = std::max(hi, v); }
    void expectWithin(double below, double above, const char* what) const {
        EXPECT_GT(lo, below) << what;
        EXPECT_LT(hi, above) << what;
    }
};

}  // namespace

// The program's start (30 km/h, 15 degrees nose-up) at 100 m, rolled 30
// degrees, with the sliders centred; then again with the rudder slider held at
// 20, so that the sideslip keeps rolling the model through its dihedral and the
// bank loop has steady work to do.
TEST(ClosedLoop, StabiliseHoldsWingsLevelPitchAndAirspeed) {
    for (int rudder : {0, 20}) {
        SCOPED_TRACE(rudder);
        Flight f({30, 15, 100, 0}, 30);
        f.ap.sliders = {.ailerons = 0, .rudder = rudder, .elevator = 0, .throttle = 0};
        f.engage(ApMode::Stabilise);
        f.fly(30);
        const double wanted = (45 + 70) / 2.0 / 3.6;  // throttle slider centred, m/s
        Range bank, pitch, speed;
        f.fly(120, [&] {
            bank.add(f.s.rollAngle / DEG);
            pitch.add(f.s.pitchAngle / DEG);
            speed.add(f.airspeed() - wanted);
        });
        bank.expectWithin(-2.0, 2.0, "bank, deg");
        pitch.expectWithin(-1.0, 1.0, "pitch, deg");
        speed.expectWithin(-1.0, 1.0, "airspeed error, m/s");
    }
}

TEST(ClosedLoop, StabiliseAileronSliderAtHalfGivesASteadyTurn) {
    Flight f({58, 0, 200, 0});
    f.ap.sliders = {.ailerons = 50, .rudder = 0, .elevator = 0, .throttle = 0};
    f.engage(ApMode::Stabilise);
    f.fly(20);
    Range bank, speed, sink;
    f.fly(120, [&] {
        bank.add(f.s.rollAngle / DEG);
        speed.add(f.airspeed());
        sink.add(-f.s.velocity.y);
    });
    bank.expectWithin(22.0, 28.0, "bank, deg: 50 % of the 50 degree limit");
    EXPECT_LT(speed.hi - speed.lo, 1.0);
    // Level pitch in a bank sinks slowly; it must not grow into a spiral.
    EXPECT_LT(sink.hi, 1.0);
    EXPECT_GT(f.s.posH, 100.0);
}

TEST(ClosedLoop, RateHoldSettlesTheBodyRates) {
    Flight f({58, 0, 200, 0});
    f.s.omegaEarth = {0.3, -0.2, 0.4};  // rad/s, tumbling a little at engagement
    f.s.omegaBody = MatVec(f.s.orient, f.s.omegaEarth);
    f.ap.sliders.throttle = 0;
    f.engage(ApMode::RateHold);
    f.fly(20);
    Range w;  // all three body rates
    f.fly(60, [&] {
        for (double v : {f.s.omegaBody.x, f.s.omegaBody.y, f.s.omegaBody.z}) w.add(v);
    });
    w.expectWithin(-0.02, 0.02, "body rate, rad/s");
}

TEST(ClosedLoop, ReturnFromAKilometreOutAndCircleHome) {
    Flight f({60, 0, 300, 1000});
    f.engage(ApMode::Return);
    const ReturnSettings& rs = f.ap.returnSettings;
    double setpointAt500 = 0.0, closest = 1e9;
    f.fly(300, [&] {
        if (setpointAt500 == 0.0 && f.s.posD < 500) setpointAt500 = f.ap.loops.altitudeLoop.setpoint;
        closest = std::min(closest, f.s.posD);
    });
    EXPECT_NEAR(setpointAt500, 225, 1.0);
    EXPECT_LT(closest, 20);  // flew across home
    // Ten minutes of circling around home: out of the radius and back, never far.
    Range dist, alt, speed;
    f.fly(600, [&] {
        dist.add(f.s.posD);
        alt.add(f.s.posH);
        speed.add(f.airspeed());
    });
    EXPECT_GT(dist.hi, rs.homeRadius);
    EXPECT_LT(dist.hi, 2 * rs.homeRadius);
    alt.expectWithin(rs.returnAltitude - 20, rs.returnAltitude + 20, "altitude, m");
    speed.expectWithin(rs.returnSpeed - 1, rs.returnSpeed + 1, "airspeed, m/s");
}

TEST(ClosedLoop, ReturnBelowTheCriticalAltitudeClimbsFirst) {
    Flight f({60, 0, 50, 1500});
    f.engage(ApMode::Return);
    double distanceAtCapture = -1;
    f.fly(200, [&] {
        if (f.s.posH < 140) {
            EXPECT_EQ(f.ap.loops.altitudeLoop.setpoint, 150);
        }
        if (distanceAtCapture < 0 && f.ap.returnState.altitudeCaptured) distanceAtCapture = f.s.posD;
    });
    EXPECT_GT(distanceAtCapture, 1000);  // climbed to 150 m long before home
    Range alt;
    f.fly(200, [&] { alt.add(f.s.posH); });
    alt.expectWithin(130, 170, "altitude, m");
}
