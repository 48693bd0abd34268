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

namespace {

// One value an apply sets, read back in the order the apply must set it;
// `field` is the text it comes from (-1: a flag or a derived value).
struct Step {
    int field;
    const char* name;
    std::function<double(const Autopilot&)> get;
};

// Applies `oldTexts`, then `newTexts` with each field of `steps` in turn made
// bad: every value set before that field holds its new value, it and every
// later one the old. So a field converted too late (or a flag set after the
// gains that follow it) shows as a value that should have been stored.
template <typename Texts>
void expectOrder(const std::vector<Step>& steps, const Texts& oldTexts, const Texts& newTexts,
                 const std::function<void(const Texts&, Autopilot&)>& apply) {
    Autopilot refOld, refNew;
    apply(oldTexts, refOld);
    apply(newTexts, refNew);
    for (std::size_t bad = 0; bad < steps.size(); ++bad) {
        if (steps[bad].field < 0) continue;
        Autopilot ap;
        apply(oldTexts, ap);
        Texts t = newTexts;
        t.text[steps[bad].field] = "x";
        SCOPED_TRACE(std::string("bad text in ") + steps[bad].name);
        EXPECT_EQ(errorOf([&] { apply(t, ap); }), "'x' is not a valid floating point value");
        for (std::size_t n = 0; n < steps.size(); ++n) {
            const double want = n < bad ? steps[n].get(refNew) : steps[n].get(refOld);
            ASSERT_NE(steps[n].get(refNew), steps[n].get(refOld)) << steps[n].name << " must differ between the texts";
            EXPECT_EQ(steps[n].get(ap), want) << steps[n].name << (n < bad ? " (before)" : " (after)");
        }
    }
}

template <typename Texts>
Texts distinct(Texts t, double base) {
    for (std::size_t n = 0; n < t.text.size(); ++n) t.text[n] = std::to_string(base + static_cast<double>(n) / 1000);
    return t;
}

}  // namespace

// The stabilisation window converts Edit13 (speed maximum) before Edit10 and
// Edit27 (yaw rate kp) before Edit25.
TEST(Settings, StabiliserFieldsAreStoredInTheWindowsOrder) {
    const std::vector<Step> steps = {
        {ST_ROLL_MAX, "Edit1", [](const Autopilot& a) { return a.stabiliser.rollMaxAngle; }},
        {ST_ROLL_KP, "Edit2", [](const Autopilot& a) { return a.loops.rollLoop.kp; }},
        {ST_ROLL_KI, "Edit3", [](const Autopilot& a) { return a.loops.rollLoop.ki; }},
        {ST_ROLL_KD, "Edit4", [](const Autopilot& a) { return a.loops.rollLoop.kd; }},
        {ST_PITCH_MAX, "Edit5", [](const Autopilot& a) { return a.stabiliser.pitchMaxAngle; }},
        {ST_PITCH_KP, "Edit6", [](const Autopilot& a) { return a.loops.pitchLoop.kp; }},
        {ST_PITCH_KI, "Edit7", [](const Autopilot& a) { return a.loops.pitchLoop.ki; }},
        {ST_PITCH_KD, "Edit8", [](const Autopilot& a) { return a.loops.pitchLoop.kd; }},
        {ST_SPEED_MIN, "Edit9", [](const Autopilot& a) { return a.stabiliser.speedMin; }},
        {ST_SPEED_MAX, "Edit13", [](const Autopilot& a) { return a.stabiliser.speedMax; }},
        {ST_SPEED_KP, "Edit10", [](const Autopilot& a) { return a.loops.speedLoop.kp; }},
        {ST_SPEED_KI, "Edit11", [](const Autopilot& a) { return a.loops.speedLoop.ki; }},
        {ST_ROLL_RATE_MAX, "Edit16", [](const Autopilot& a) { return a.stabiliser.rollRateMax; }},
        {ST_ROLL_RATE_KP, "Edit17", [](const Autopilot& a) { return a.loops.rollRateLoop.kp; }},
        {ST_ROLL_RATE_KI, "Edit18", [](const Autopilot& a) { return a.loops.rollRateLoop.ki; }},
        {ST_ROLL_RATE_KD, "Edit19", [](const Autopilot& a) { return a.loops.rollRateLoop.kd; }},
        {ST_PITCH_RATE_MAX, "Edit20", [](const Autopilot& a) { return a.stabiliser.pitchRateMax; }},
        {ST_PITCH_RATE_KP, "Edit21", [](const Autopilot& a) { return a.loops.pitchRateLoop.kp; }},
        {ST_PITCH_RATE_KI, "Edit22", [](const Autopilot& a) { return a.loops.pitchRateLoop.ki; }},
        {ST_PITCH_RATE_KD, "Edit23", [](const Autopilot& a) { return a.loops.pitchRateLoop.kd; }},
        {ST_YAW_RATE_MAX, "Edit24", [](const Autopilot& a) { return a.stabiliser.yawRateMax; }},
        {ST_YAW_RATE_KP, "Edit27", [](const Autopilot& a) { return a.loops.yawRateLoop.kp; }},
        {ST_YAW_RATE_KI, "Edit25", [](const Autopilot& a) { return a.loops.yawRateLoop.ki; }},
        {ST_YAW_RATE_KD, "Edit26", [](const Autopilot& a) { return a.loops.yawRateLoop.kd; }},
    };
    ASSERT_EQ(steps.size(), std::size_t{STABILISER_FIELD_COUNT});
    for (std::size_t n = 0; n < steps.size(); ++n) EXPECT_STREQ(STABILISER_FIELDS[steps[n].field].edit, steps[n].name);
    const StabiliserTexts base = defaultStabiliserTexts('.');
    expectOrder<StabiliserTexts>(steps, distinct(base, 1.0), distinct(base, 2.0), [](const StabiliserTexts& t, Autopilot& a) {
        applyStabiliserTexts(t, '.', a.stabiliser, a.loops);
    });
}

// The auto-return window converts Edit3, Edit2, Edit1 in that order, takes the
// check box before the altitude gains and the heading group's flag before its
// gains.
TEST(Settings, ReturnFieldsAndFlagsAreStoredInTheWindowsOrder) {
    const std::vector<Step> steps = {
        {RT_MAX_PITCH, "Edit3", [](const Autopilot& a) { return a.returnSettings.returnMaxPitch; }},
        {RT_MAX_ROLL, "Edit2", [](const Autopilot& a) { return a.returnSettings.returnMaxRoll; }},
        {RT_ALTITUDE, "Edit1", [](const Autopilot& a) { return a.returnSettings.returnAltitude; }},
        {RT_CRITICAL, "Edit15", [](const Autopilot& a) { return a.returnSettings.criticalAltitude; }},
        {RT_SPEED, "Edit4", [](const Autopilot& a) { return a.returnSettings.returnSpeed; }},
        {RT_HOME_RADIUS, "Edit14", [](const Autopilot& a) { return a.returnSettings.homeRadius; }},
        {-1, "altitudeCaptured", [](const Autopilot& a) { return a.returnState.altitudeCaptured ? 1.0 : 0.0; }},
        {RT_ALT_KP, "Edit10", [](const Autopilot& a) { return a.loops.altitudeLoop.kp; }},
        {RT_ALT_KI, "Edit11", [](const Autopilot& a) { return a.loops.altitudeLoop.ki; }},
        {RT_ALT_KD, "Edit12", [](const Autopilot& a) { return a.loops.altitudeLoop.kd; }},
        {-1, "belowCritical", [](const Autopilot& a) { return a.returnState.belowCritical ? 1.0 : 0.0; }},
        {-1, "headingByAilerons", [](const Autopilot& a) { return a.returnSettings.headingByAilerons ? 1.0 : 0.0; }},
        {RT_AIL_KP, "Edit6", [](const Autopilot& a) { return a.loops.headingLoop.kp; }},
        {RT_AIL_KI, "Edit7", [](const Autopilot& a) { return a.loops.headingLoop.ki; }},
        {RT_AIL_KD, "Edit8", [](const Autopilot& a) { return a.loops.headingLoop.kd; }},
    };
    for (const Step& st : steps) {
        if (st.field >= 0) {
            EXPECT_STREQ(RETURN_FIELDS[st.field].edit, st.name);
        }
    }
    ReturnTexts oldTexts = distinct(defaultReturnTexts('.'), 1.0);
    oldTexts.captureAltitudeAtOnce = false;
    oldTexts.headingGroupIndex = 1;  // the rudder group: other gains, the other flag
    ReturnTexts newTexts = distinct(defaultReturnTexts('.'), 2.0);
    newTexts.captureAltitudeAtOnce = true;
    newTexts.headingGroupIndex = 0;
    SimState s;
    s.posH = 1.5;  // between the old critical altitude (1.003 m) and the new (2.003 m)
    expectOrder<ReturnTexts>(steps, oldTexts, newTexts, [&s](const ReturnTexts& t, Autopilot& a) {
        applyReturnTexts(t, '.', s, a.returnSettings, a.returnState, a.loops);
    });
}
