#include "control/autopilot.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::errorOf;

// The windows' defaults with a decimal point (the comma is every other test's),
// after the headless runner's overrides: a window field by its Edit name or by
// what it sets, and the two switches as 1 or 0 (an unknown name is the runner's
// test). The unit conversions are seen in the autopilot's set-points; here the
// fields out of the windows' order (Edit27 before Edit25, the return window's
// Edit3, Edit2, Edit1) and the critical altitude check at start-up.
TEST(Settings, TextsByNameAndDefaultsWithADecimalPoint) {
    StabiliserTexts st = defaultStabiliserTexts('.');
    ReturnTexts rt = defaultReturnTexts('.');
    setSettingText(st, rt, "returnAltitude", "200");
    setSettingText(st, rt, "stab.Edit13", "80");
    setSettingText(st, rt, "headingByAilerons", "0");
    EXPECT_EQ(rt.text[RT_ALTITUDE], "200");
    EXPECT_EQ(st.text[ST_SPEED_MAX], "80");
    EXPECT_EQ(rt.headingGroupIndex, 1);
    EXPECT_EQ(errorOf([&] { setSettingText(st, rt, "captureAltitude", "yes"); }),
              "autopilot setting 'captureAltitude' takes 1 or 0, not 'yes'");
    Autopilot ap;
    SimState s;
    s.posH = 120;
    initAutopilot(ap, st, rt, '.', s);
    EXPECT_EQ(ap.loops.rollRateLoop.kd, 0.001);
    EXPECT_EQ(ap.loops.yawRateLoop.kp, 4.0);  // Edit27
    EXPECT_EQ(ap.loops.yawRateLoop.ki, 3.0);  // Edit25
    EXPECT_NEAR(ap.returnSettings.returnMaxRoll, 0.698132, 1e-6);  // 40 deg
    EXPECT_TRUE(ap.returnState.belowCritical);  // 120 m, critical 150 m
}

TEST(Settings, StabiliserApplyStopsAtTheFirstBadText) {
    Autopilot ap;
    ap.loops.speedLoop = {.kp = 9, .kd = 7, .integral = 0.6};
    StabiliserTexts t = defaultStabiliserTexts(',');
    t.text[ST_SPEED_KI] = "1.5";  // a point where the separator is a comma
    t.text[ST_ROLL_RATE_MAX] = "x";
    EXPECT_EQ(errorOf([&] { applyStabiliserTexts(t, ',', ap.stabiliser, ap.loops); }),
              "'1.5' is not a valid floating point value");
    EXPECT_EQ(ap.loops.speedLoop.kp, 5.0);  // converted before the bad field
    EXPECT_EQ(ap.loops.speedLoop.kd, 7.0);  // its zeroing comes after Edit11
    EXPECT_EQ(ap.loops.speedLoop.integral, 0.6);
    EXPECT_EQ(ap.loops.rollRateLoop.kp, 0.0);  // later fields keep their values
    EXPECT_EQ(ap.loops.rollLoop.kp, 21.8);
}

TEST(Settings, ReturnApplyOrderAndHeadingGroup) {
    Autopilot ap;
    SimState s;
    s.posH = 200;
    ReturnTexts t = defaultReturnTexts(',');
    t.headingGroupIndex = 1;
    t.captureAltitudeAtOnce = true;
    applyReturnTexts(t, ',', s, ap.returnSettings, ap.returnState, ap.loops);
    EXPECT_FALSE(ap.returnSettings.headingByAilerons);
    EXPECT_EQ(ap.loops.headingLoop.kp, 2.0);  // "Курс рудером"
    EXPECT_EQ(ap.loops.headingLoop.kd, 0.1);
    EXPECT_TRUE(ap.returnState.altitudeCaptured);
    EXPECT_FALSE(ap.returnState.belowCritical);

    // Bad rudder-group text: everything up to belowCritical is done.
    t.captureAltitudeAtOnce = false;
    t.text[RT_CRITICAL] = "250";
    t.text[RT_RUD_KI] = "";
    const auto apply = [&] { applyReturnTexts(t, ',', s, ap.returnSettings, ap.returnState, ap.loops); };
    EXPECT_EQ(errorOf(apply), "'' is not a valid floating point value");
    EXPECT_EQ(ap.returnSettings.criticalAltitude, 250);
    EXPECT_FALSE(ap.returnState.altitudeCaptured);
    EXPECT_TRUE(ap.returnState.belowCritical);
    // The ailerons group is not read while the rudder group is chosen.
    t.text[RT_RUD_KI] = "0,1";
    t.text[RT_AIL_KP] = "?";
    EXPECT_EQ(errorOf(apply), "no error");
}
