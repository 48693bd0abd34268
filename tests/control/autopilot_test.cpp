#include "control/autopilot.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::errorOf;

namespace {

struct Fixture {
    Autopilot ap;
    SimState s;
    Aircraft ac;  // no active element: applyCommands only sets the thrust
    ReturnTexts ret = defaultReturnTexts(',');
    Fixture() { initAutopilot(ap, defaultStabiliserTexts(','), ret, ',', s); }
    void engage(ApMode m) { engageMode(ap, m, s, ret, ','); }
    void tick() {
        controlTick(ap, s, ac, 0);
        loopTick(ap, s, ac, 0);
    }
};

}  // namespace

// Steady at the commanded attitude (or rates), the first loop tick after the
// engagement gives back the commands in force: no jump in the surfaces.
TEST(Autopilot, EngagementKeepsTheSurfacesStill) {
    Fixture f;
    f.s.rollAngle = 0.2;
    f.s.pitchAngle = -0.1;
    f.ap.channels = {.aileronIn = 0.3, .elevatorIn = -0.2};
    f.engage(ApMode::Stabilise);
    f.ap.loops.rollLoop.setpoint = 0.2;
    f.ap.loops.pitchLoop.setpoint = -0.1;
    loopTick(f.ap, f.s, f.ac, 0);
    EXPECT_DOUBLE_EQ(f.ap.channels.aileronIn, 0.3);
    EXPECT_DOUBLE_EQ(f.ap.channels.elevatorIn, -0.2);

    Fixture g;
    g.s.omegaBody = {0.1, -0.05, 0.02};
    g.ap.channels = {.throttle = 0.5, .rudderIn = 0.15, .aileronIn = -0.25, .elevatorIn = 0.4};
    g.engage(ApMode::RateHold);
    g.ap.loops.rollRateLoop.setpoint = 0.1;
    g.ap.loops.yawRateLoop.setpoint = -0.05;
    g.ap.loops.pitchRateLoop.setpoint = 0.02;
    loopTick(g.ap, g.s, g.ac, 0);
    EXPECT_DOUBLE_EQ(g.ap.channels.aileronIn, -0.25);
    EXPECT_DOUBLE_EQ(g.ap.channels.elevatorIn, 0.4);
    EXPECT_DOUBLE_EQ(g.ap.channels.rudderIn, 0.15);
}

TEST(Autopilot, SetpointsFromTheSlidersByMode) {
    Fixture f;
    const StabiliserSettings& st = f.ap.stabiliser;
    AutopilotLoops& l = f.ap.loops;
    f.ap.sliders = {.ailerons = 50, .rudder = 100, .elevator = -20, .throttle = -100};
    f.engage(ApMode::Stabilise);
    controlTick(f.ap, f.s, f.ac, 0);
    EXPECT_DOUBLE_EQ(l.rollLoop.setpoint, 25 * PI / 180);   // half of 50 degrees
    EXPECT_DOUBLE_EQ(l.pitchLoop.setpoint, -6 * PI / 180);  // a fifth of 30 degrees, nose down
    EXPECT_DOUBLE_EQ(l.speedLoop.setpoint, 70 / 3.6);       // throttle slider at the top
    EXPECT_EQ(f.ap.channels.rudderIn, 1.0);

    f.engage(ApMode::RateHold);
    controlTick(f.ap, f.s, f.ac, 0);
    EXPECT_DOUBLE_EQ(l.rollRateLoop.setpoint, 0.5 * st.rollRateMax);
    EXPECT_DOUBLE_EQ(l.yawRateLoop.setpoint, -st.yawRateMax);  // rudder right: yaw right
    EXPECT_DOUBLE_EQ(l.pitchRateLoop.setpoint, -0.2 * st.pitchRateMax);

    // Return: the sliders set nothing (the return speed is the flights' test).
    f.engage(ApMode::Return);
    f.ap.sliders.ailerons = -100;
    controlTick(f.ap, f.s, f.ac, 0);
    EXPECT_DOUBLE_EQ(l.rollLoop.setpoint, 25 * PI / 180);

    // Off: the loops freeze, the channels follow the sliders again.
    f.engage(ApMode::Off);
    f.ap.sliders.throttle = 0;  // centred: half throttle
    EXPECT_FALSE(f.ap.loopTimerOn);
    const PidLoop frozen = l.speedLoop;
    f.tick();
    EXPECT_EQ(l.speedLoop.output, frozen.output);
    EXPECT_EQ(l.speedLoop.integral, frozen.integral);
    EXPECT_EQ(f.ap.channels.aileronIn, -1.0);
    EXPECT_EQ(f.ap.channels.throttle, 0.5);
}

TEST(Autopilot, TuningHoldsTheBankAndPitchLoops) {
    Fixture f;
    f.engage(ApMode::Stabilise);
    startTuning(f.ap.tuning);
    f.ap.loops.rollLoop.output = 0.07;  // as the relay left it
    f.ap.loops.pitchLoop.output = -0.04;
    f.ap.sliders = {.ailerons = 80, .elevator = 60};
    f.s.rollAngle = 0.5;
    f.tick();
    EXPECT_EQ(f.ap.loops.rollLoop.setpoint, 0.0);
    EXPECT_EQ(f.ap.loops.pitchLoop.setpoint, 0.0);
    EXPECT_EQ(f.ap.channels.aileronIn, 0.07);
    EXPECT_EQ(f.ap.channels.elevatorIn, 0.04);
}

TEST(Autopilot, ReturnEngagement) {
    Fixture f;
    f.s.posH = 80;
    f.s.posZ = f.s.posD = 400;  // east of home
    f.s.velocity = {15, 0, 0};  // flying north: home a quarter turn to the left
    f.ap.channels.rudderIn = 0.4;
    f.ap.loops.altitudeLoop.integral = 0.3;
    f.ap.loops.headingLoop.integral = -0.2;
    f.engage(ApMode::Return);
    EXPECT_TRUE(f.ap.loopTimerOn);
    EXPECT_EQ(f.ap.channels.rudderIn, 0.0);
    EXPECT_EQ(f.ap.loops.altitudeLoop.integral, 0.0);
    EXPECT_EQ(f.ap.loops.altitudeLoop.prevMeasured, 80);
    EXPECT_EQ(f.ap.loops.headingLoop.integral, 0.0);
    EXPECT_NEAR(f.ap.loops.headingLoop.prevMeasured, PI / 2, 1e-12);

    // A bad text stops the engagement: the autopilot stays in its mode, the
    // stabilise part already done is undone.
    Fixture g;
    g.ap.channels.rudderIn = 0.4;
    g.ap.loops.rollLoop.integral = 0.7;
    g.ret.text[RT_HOME_RADIUS] = "сто";
    EXPECT_EQ(errorOf([&] { g.engage(ApMode::Return); }), "'сто' is not a valid floating point value");
    EXPECT_EQ(g.ap.mode, ApMode::Off);
    EXPECT_FALSE(g.ap.loopTimerOn);
    EXPECT_EQ(g.ap.channels.rudderIn, 0.4);
    EXPECT_EQ(g.ap.loops.rollLoop.integral, 0.7);
}
