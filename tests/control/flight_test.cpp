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
#include "model/numtext.h"

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

struct Range {
    double lo = 1e300, hi = -1e300;
    void add(double v) { lo = std::min(lo, v), hi = std::max(hi, v); }
};

}  // namespace

// The program's start (30 km/h, 15 degrees nose-up) at 100 m, rolled 30
// degrees, with the rudder slider held at 20 so that the sideslip keeps
// rolling the model through its dihedral: the bank loop has work to do.
TEST(ClosedLoop, StabiliseHoldsWingsLevelPitchAndAirspeed) {
    Flight f({30, 15, 100, 0}, 30);
    f.ap.sliders = {.ailerons = 0, .rudder = 20, .elevator = 0, .throttle = 0};
    f.engage(ApMode::Stabilise);
    f.fly(30);
    const double wanted = (45 + 70) / 2.0 / 3.6;  // throttle slider centred, m/s
    Range bank, pitch, speed;
    f.fly(120, [&] {
        bank.add(f.s.rollAngle / DEG);
        pitch.add(f.s.pitchAngle / DEG);
        speed.add(f.airspeed() - wanted);
    });
    EXPECT_GT(bank.lo, -2.0);
    EXPECT_LT(bank.hi, 2.0);
    EXPECT_GT(pitch.lo, -1.0);
    EXPECT_LT(pitch.hi, 1.0);
    EXPECT_GT(speed.lo, -1.0);
    EXPECT_LT(speed.hi, 1.0);
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
    EXPECT_GT(bank.lo, 22.0);  // 50 % of the 50 degree limit
    EXPECT_LT(bank.hi, 28.0);
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
    Range wx, wy, wz;
    f.fly(60, [&] {
        wx.add(f.s.omegaBody.x);
        wy.add(f.s.omegaBody.y);
        wz.add(f.s.omegaBody.z);
    });
    for (const Range& r : {wx, wy, wz}) {
        EXPECT_GT(r.lo, -0.02);  // rad/s
        EXPECT_LT(r.hi, 0.02);
    }
}

TEST(ClosedLoop, ReturnFromAKilometreOutAndCircleHome) {
    Flight f({60, 0, 300, 1000});
    f.engage(ApMode::Return);
    const ReturnSettings& rs = f.ap.returnSettings;
    double setpointAt500 = 0.0, closest = 1e9, leftAgain = -1;
    bool inside = false;
    f.fly(300, [&] {
        if (setpointAt500 == 0.0 && f.s.posD < 500) setpointAt500 = f.ap.loops.altitudeLoop.setpoint;
        closest = std::min(closest, f.s.posD);
        if (f.s.posD < rs.homeRadius) inside = true;
        if (inside && leftAgain < 0 && f.s.posD > rs.homeRadius) leftAgain = f.s.posD;
    });
    EXPECT_NEAR(setpointAt500, 225, 1.0);
    EXPECT_LT(closest, 20);  // flew across home
    EXPECT_GT(leftAgain, 0);  // and out of the radius again
    // Ten minutes of holding around home.
    Range dist, alt, speed;
    f.fly(600, [&] {
        dist.add(f.s.posD);
        alt.add(f.s.posH);
        speed.add(f.airspeed());
    });
    EXPECT_LT(dist.hi, 2 * rs.homeRadius);
    EXPECT_GT(alt.lo, rs.returnAltitude - 20);
    EXPECT_LT(alt.hi, rs.returnAltitude + 20);
    EXPECT_GT(speed.lo, rs.returnSpeed - 1);
    EXPECT_LT(speed.hi, rs.returnSpeed + 1);
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
    EXPECT_GT(alt.lo, 130);
    EXPECT_LT(alt.hi, 170);
}

// Relay tuning on the trainer in level flight: the relay makes both axes
// oscillate, and the proposal comes out as positive numbers.
TEST(ClosedLoop, RelayTuningProposesGains) {
    Flight f({58, 0, 200, 0});
    f.ap.sliders.throttle = 0;
    f.engage(ApMode::Stabilise);
    f.fly(10);
    startTuning(f.ap.tuning);
    f.fly(20);
    EXPECT_GT(f.ap.tuning.pitchCrossings, 4);
    EXPECT_GT(f.ap.tuning.rollCrossings, 4);
    EXPECT_EQ(f.hc.hook.caption, relayCaption(f.ap.tuning));
    StabiliserTexts t = defaultStabiliserTexts(',');
    stopTuning(f.ap.tuning, headlessTime(f.hc, f.s), t, ',');
    for (int field : {ST_ROLL_KP, ST_ROLL_KI, ST_ROLL_KD, ST_PITCH_KP, ST_PITCH_KI, ST_PITCH_KD}) {
        double v = 0;
        ASSERT_TRUE(tryParseNumber(t.text[field], ',', v)) << t.text[field];
        EXPECT_GT(v, 0.0) << STABILISER_FIELDS[field].setting;
    }
    // Back on the PID loops from the relay's outputs: it still flies.
    f.fly(30);
    EXPECT_LT(std::fabs(f.s.rollAngle), 5 * DEG);
}
