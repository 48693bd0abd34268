#include <gtest/gtest.h>

#include "control/autopilot.h"
#include "core/errors.h"

using namespace uav;

namespace {

struct Fixture {
    Autopilot ap;
    SimState s;
    Aircraft ac;  // no active element: applyCommands only sets the thrust
    ReturnTexts ret = defaultReturnTexts(',');
    Fixture() { initAutopilot(ap, defaultStabiliserTexts(','), ret, ',', s); }
};

}  // namespace

TEST(Autopilot, StabiliseEngagementKeepsTheSurfacesStill) {
    Fixture f;
    f.s.rollAngle = 0.2;
    f.s.pitchAngle = -0.1;
    f.ap.channels.aileronIn = 0.3;
    f.ap.channels.elevatorIn = -0.2;
    engageMode(f.ap, ApMode::Stabilise, f.s, f.ret, ',');
    EXPECT_TRUE(f.ap.loopTimerOn);
    EXPECT_EQ(f.ap.loops.rollLoop.integral, 0.3);
    EXPECT_EQ(f.ap.loops.pitchLoop.integral, 0.2);
    // Steady at the commanded attitude: set-points equal the angles.
    f.ap.loops.rollLoop.setpoint = 0.2;
    f.ap.loops.pitchLoop.setpoint = -0.1;
    loopTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_DOUBLE_EQ(f.ap.channels.aileronIn, 0.3);
    EXPECT_DOUBLE_EQ(f.ap.channels.elevatorIn, -0.2);
}

TEST(Autopilot, RateHoldEngagementKeepsTheSurfacesStill) {
    Fixture f;
    f.s.omegaBody = {0.1, -0.05, 0.02};
    f.ap.channels = {.throttle = 0.5, .rudderIn = 0.15, .aileronIn = -0.25, .elevatorIn = 0.4};
    engageMode(f.ap, ApMode::RateHold, f.s, f.ret, ',');
    AutopilotLoops& l = f.ap.loops;
    l.rollRateLoop.setpoint = 0.1;
    l.yawRateLoop.setpoint = -0.05;
    l.pitchRateLoop.setpoint = 0.02;
    loopTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_DOUBLE_EQ(f.ap.channels.aileronIn, -0.25);
    EXPECT_DOUBLE_EQ(f.ap.channels.elevatorIn, 0.4);
    EXPECT_DOUBLE_EQ(f.ap.channels.rudderIn, 0.15);
}

TEST(Autopilot, SetpointsFromTheSlidersByMode) {
    Fixture f;
    const StabiliserSettings& st = f.ap.stabiliser;
    AutopilotLoops& l = f.ap.loops;
    f.ap.sliders = {.ailerons = 50, .rudder = 100, .elevator = -20, .throttle = -100};
    engageMode(f.ap, ApMode::Stabilise, f.s, f.ret, ',');
    controlTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_DOUBLE_EQ(l.rollLoop.setpoint, 25 * PI / 180);   // half of 50 degrees
    EXPECT_DOUBLE_EQ(l.pitchLoop.setpoint, -6 * PI / 180);  // a fifth of 30 degrees, nose down
    EXPECT_DOUBLE_EQ(l.speedLoop.setpoint, 70 / 3.6);       // throttle slider at the top
    EXPECT_EQ(f.ap.channels.rudderIn, 1.0);
    f.ap.sliders.throttle = 0;
    controlTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_DOUBLE_EQ(l.speedLoop.setpoint, (45.0 + 70.0) / 2 / 3.6);

    engageMode(f.ap, ApMode::RateHold, f.s, f.ret, ',');
    controlTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_DOUBLE_EQ(l.rollRateLoop.setpoint, 0.5 * st.rollRateMax);
    EXPECT_DOUBLE_EQ(l.yawRateLoop.setpoint, -st.yawRateMax);  // rudder right: yaw right
    EXPECT_DOUBLE_EQ(l.pitchRateLoop.setpoint, -0.2 * st.pitchRateMax);

    f.s.posH = 300;
    f.s.posX = f.s.posD = 1000;
    engageMode(f.ap, ApMode::Return, f.s, f.ret, ',');
    const double rollBefore = l.rollLoop.setpoint;
    controlTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_EQ(l.rollLoop.setpoint, rollBefore);  // sliders have no effect
    EXPECT_DOUBLE_EQ(l.speedLoop.setpoint, 60 / 3.6);
    EXPECT_EQ(l.altitudeLoop.setpoint, 300);

    // Off: the loops freeze, the channels follow the sliders again.
    engageMode(f.ap, ApMode::Off, f.s, f.ret, ',');
    EXPECT_FALSE(f.ap.loopTimerOn);
    const PidLoop frozen = l.speedLoop;
    controlTick(f.ap, f.s, f.ac, 0.0);
    loopTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_EQ(l.speedLoop.output, frozen.output);
    EXPECT_EQ(l.speedLoop.integral, frozen.integral);
    EXPECT_EQ(f.ap.channels.aileronIn, 0.5);
    EXPECT_EQ(f.ap.channels.throttle, 0.5);
}

TEST(Autopilot, SpeedLoopOutputToThrottle) {
    struct Row { double airspeed, throttle; };
    // Default speed gains (kp 5): 10 m/s off saturates; on the set-point with no
    // integral the output is 0.
    const Row rows[] = {{30.0, 0.0}, {0.0, 1.0}, {70 / 3.6, 0.5}};
    for (const Row& r : rows) {
        Fixture f;
        engageMode(f.ap, ApMode::Stabilise, f.s, f.ret, ',');
        controlTick(f.ap, f.s, f.ac, 0.0);
        f.s.airflowBody = {-r.airspeed, 0, 0};
        f.ap.loops.speedLoop.prevMeasured = r.airspeed;
        loopTick(f.ap, f.s, f.ac, 0.0);
        EXPECT_DOUBLE_EQ(f.ap.channels.throttle, r.throttle) << r.airspeed;
    }
}

TEST(Autopilot, TuningHoldsTheBankAndPitchLoops) {
    Fixture f;
    engageMode(f.ap, ApMode::Stabilise, f.s, f.ret, ',');
    startTuning(f.ap.tuning);
    f.ap.loops.rollLoop.output = 0.07;  // as the relay left it
    f.ap.loops.pitchLoop.output = -0.04;
    f.ap.sliders.ailerons = 80;
    f.ap.sliders.elevator = 60;
    f.s.rollAngle = 0.5;
    controlTick(f.ap, f.s, f.ac, 0.0);
    loopTick(f.ap, f.s, f.ac, 0.0);
    EXPECT_EQ(f.ap.loops.rollLoop.setpoint, 0.0);
    EXPECT_EQ(f.ap.loops.pitchLoop.setpoint, 0.0);
    EXPECT_EQ(f.ap.channels.aileronIn, 0.07);
    EXPECT_EQ(f.ap.channels.elevatorIn, 0.04);
}

TEST(Autopilot, ReturnEngagement) {
    Fixture f;
    f.s.posH = 80;
    f.s.posZ = f.s.posD = 400;   // east of home
    f.s.velocity = {0, 0, -15};  // flying west, at home
    f.ap.channels.rudderIn = 0.4;
    f.ap.loops.altitudeLoop.integral = 0.3;
    f.ap.loops.headingLoop.integral = -0.2;
    engageMode(f.ap, ApMode::Return, f.s, f.ret, ',');
    EXPECT_TRUE(f.ap.loopTimerOn);
    EXPECT_EQ(f.ap.channels.rudderIn, 0.0);
    EXPECT_EQ(f.ap.loops.altitudeLoop.integral, 0.0);
    EXPECT_EQ(f.ap.loops.altitudeLoop.prevMeasured, 80);
    EXPECT_EQ(f.ap.loops.headingLoop.integral, 0.0);
    EXPECT_NEAR(f.ap.loops.headingLoop.prevMeasured, 0.0, 1e-12);
    EXPECT_EQ(f.ap.returnState.profileStartDistance, 400);
    EXPECT_EQ(f.ap.returnState.profileStartAltitude, 80);
    EXPECT_TRUE(f.ap.returnState.belowCritical);

    // A bad text stops the engagement before the loop timer starts.
    Fixture g;
    g.ap.channels.rudderIn = 0.4;
    g.ret.text[RT_HOME_RADIUS] = "сто";
    try {
        engageMode(g.ap, ApMode::Return, g.s, g.ret, ',');
        ADD_FAILURE() << "the bad text was accepted";
    } catch (const SimError& e) {
        EXPECT_STREQ(e.what(), "'сто' is not a valid floating point value");
    }
    EXPECT_EQ(g.ap.mode, ApMode::Return);
    EXPECT_FALSE(g.ap.loopTimerOn);
    EXPECT_EQ(g.ap.channels.rudderIn, 0.4);
}
