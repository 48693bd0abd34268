#include <gtest/gtest.h>

#include <functional>

#include "control/autopilot.h"
#include "core/errors.h"

using namespace uav;

namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const SimError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Settings, DefaultsInEitherSeparator) {
    for (char sep : {',', '.'}) {
        Autopilot ap;
        SimState s;
        s.posH = 120;
        initAutopilot(ap, defaultStabiliserTexts(sep), defaultReturnTexts(sep), sep, s);
        const StabiliserSettings& st = ap.stabiliser;
        EXPECT_NEAR(st.rollMaxAngle, 0.872665, 1e-6);
        EXPECT_NEAR(st.pitchMaxAngle, 0.523599, 1e-6);
        EXPECT_DOUBLE_EQ(st.speedMin, 12.5);
        EXPECT_NEAR(st.speedMax, 19.4444, 1e-4);
        EXPECT_EQ(st.yawRateMax, 0.3);
        const AutopilotLoops& l = ap.loops;
        EXPECT_EQ(l.rollLoop.kp, 21.8);
        EXPECT_EQ(l.pitchLoop.kd, 1.4);
        EXPECT_EQ(l.speedLoop.ki, 1.0);
        EXPECT_EQ(l.rollRateLoop.kd, 0.001);
        EXPECT_EQ(l.yawRateLoop.kp, 4.0);  // Edit27
        EXPECT_EQ(l.yawRateLoop.ki, 3.0);  // Edit25
        const ReturnSettings& rs = ap.returnSettings;
        EXPECT_NEAR(rs.returnSpeed, 16.6667, 1e-4);
        EXPECT_NEAR(rs.returnMaxRoll, 0.698132, 1e-6);
        EXPECT_NEAR(rs.returnMaxPitch, 0.349066, 1e-6);
        EXPECT_EQ(rs.homeRadius, 100);
        EXPECT_TRUE(rs.headingByAilerons);
        EXPECT_EQ(l.headingLoop.kp, 1.0);
        EXPECT_EQ(l.altitudeLoop.ki, 0.01);
        EXPECT_TRUE(ap.returnState.belowCritical);
        EXPECT_FALSE(ap.tuning.on);
    }
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
    EXPECT_EQ(errorOf([&] { applyReturnTexts(t, ',', s, ap.returnSettings, ap.returnState, ap.loops); }),
              "'' is not a valid floating point value");
    EXPECT_EQ(ap.returnSettings.criticalAltitude, 250);
    EXPECT_FALSE(ap.returnState.altitudeCaptured);
    EXPECT_TRUE(ap.returnState.belowCritical);
    // The ailerons group is not read while the rudder group is chosen.
    t.text[RT_RUD_KI] = "0,1";
    t.text[RT_AIL_KP] = "?";
    applyReturnTexts(t, ',', s, ap.returnSettings, ap.returnState, ap.loops);
}

TEST(Settings, TextsByName) {
    StabiliserTexts st = defaultStabiliserTexts('.');
    ReturnTexts rt = defaultReturnTexts('.');
    setSettingText(st, rt, "returnAltitude", "200");
    setSettingText(st, rt, "stab.Edit13", "80");
    setSettingText(st, rt, "yawRateLoop.kp", "2.5");
    setSettingText(st, rt, "headingByAilerons", "0");
    setSettingText(st, rt, "captureAltitude", "1");
    EXPECT_EQ(rt.text[RT_ALTITUDE], "200");
    EXPECT_EQ(st.text[ST_SPEED_MAX], "80");
    EXPECT_EQ(st.text[ST_YAW_RATE_KP], "2.5");
    EXPECT_EQ(rt.headingGroupIndex, 1);
    EXPECT_TRUE(rt.captureAltitudeAtOnce);
    EXPECT_EQ(errorOf([&] { setSettingText(st, rt, "rollLoop.kq", "1"); }),
              "unknown autopilot setting 'rollLoop.kq'");
    EXPECT_NE(errorOf([&] { setSettingText(st, rt, "captureAltitude", "yes"); }), "no error");
}
