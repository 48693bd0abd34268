#include "control/autopilot.h"
#include "control/headless.h"
#include "tests/testutil.h"

using namespace uav;
using uav::test::errorOf;

TEST(Relay, FirstStepsCrossingsAndOutputs) {
    RelayTuning rt;
    SimState s;
    PidLoop pitch{.output = 0.1, .setpoint = 0.2}, roll{.output = -0.3};
    startTuning(rt);
    relayTuneStep(rt, s, pitch, roll, 7000);  // initialises only
    EXPECT_EQ(rt.startTimeMs, 7000);
    EXPECT_EQ(relayCaption(rt), "0  0");

    s.pitchAngle = 0.1;  // below its set-point: a negative first error counts
    s.rollAngle = 0.0;   // exactly on its set-point: nothing counted or summed
    relayTuneStep(rt, s, pitch, roll, 7010);
    EXPECT_EQ(rt.pitchCrossings, 1);
    EXPECT_NEAR(rt.pitchErrorSum, 0.1, 1e-15);
    EXPECT_DOUBLE_EQ(pitch.output, 0.14);  // the base 0.1 plus the amplitude
    EXPECT_EQ(rt.rollCrossings, 0);
    EXPECT_EQ(rt.rollErrorSum, 0.0);
    EXPECT_DOUBLE_EQ(roll.output, -0.26);

    s.pitchAngle = 0.25;
    s.rollAngle = 0.05;
    relayTuneStep(rt, s, pitch, roll, 7020);
    EXPECT_DOUBLE_EQ(pitch.output, 0.06);
    EXPECT_DOUBLE_EQ(roll.output, -0.34);
    EXPECT_EQ(relayCaption(rt), "2  0");  // roll's first error is positive: no crossing
}

// Error sums that give K = 1 for 10 pitch and 4 roll crossings.
constexpr double PITCH_SUM_K1 = 3.2 / (PI * PI), ROLL_SUM_K1 = 1.28 / (PI * PI);

TEST(Relay, GainProposalByHand) {
    // Started at 2 s, stopped at 12 s. Pitch: 10 crossings (Tu 2 s), K = 4;
    // roll: 4 crossings (Tu 5 s), K = 0.5.
    RelayTuning rt{.on = true, .phase = 1, .startTimeMs = 2000, .pitchCrossings = 10, .rollCrossings = 4,
                   .pitchErrorSum = 4 * PITCH_SUM_K1, .rollErrorSum = 0.5 * ROLL_SUM_K1};
    StabiliserTexts t = defaultStabiliserTexts(',');
    stopTuning(rt, 12000, t, ',');
    EXPECT_FALSE(rt.on);
    EXPECT_EQ(t.text[ST_PITCH_KP], "200");
    EXPECT_EQ(t.text[ST_PITCH_KI], "7,4");
    EXPECT_EQ(t.text[ST_PITCH_KD], "0,9");  // 1.8 Tu / K, not Tu x K
    EXPECT_EQ(t.text[ST_ROLL_KP], "50");
    EXPECT_EQ(t.text[ST_ROLL_KI], "1");
    EXPECT_EQ(t.text[ST_ROLL_KD], "30");
}

TEST(Relay, ProposalDivisionByZero) {
    struct Row { int pc; double ps, rs; ClockMs stop; const char *pitchP, *rollP, *rollD, *why; };
    const Row rows[] = {
        {0, 0.5, ROLL_SUM_K1, 12000, "20,4", "21,8", "5,7", "no pitch crossing: nothing written"},
        {10, PITCH_SUM_K1, 0.0, 12000, "50", "0", "5,7", "zero roll error sum: roll P and I written, D fails"},
        {10, PITCH_SUM_K1, ROLL_SUM_K1, 2000, "50", "21,8", "5,7", "no elapsed time: pitch P written, its I fails"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        RelayTuning rt{.on = true, .phase = 1, .startTimeMs = 2000, .pitchCrossings = r.pc, .rollCrossings = 4,
                       .pitchErrorSum = r.ps, .rollErrorSum = r.rs};
        StabiliserTexts t = defaultStabiliserTexts(',');
        EXPECT_EQ(errorOf([&] { stopTuning(rt, r.stop, t, ','); }), "Floating point division by zero");
        EXPECT_FALSE(rt.on);
        EXPECT_EQ(t.text[ST_PITCH_KP], r.pitchP);
        EXPECT_EQ(t.text[ST_ROLL_KP], r.rollP);
        EXPECT_EQ(t.text[ST_ROLL_KD], r.rollD);
    }
}

// Headless runs: the control tick reads the clock before the dynamics tick,
// the relay step the clock after it.
TEST(Relay, HeadlessClockAroundTheTick) {
    Autopilot ap;
    Aircraft ac;
    ac.params.mass = 2;
    ac.params.inertia = {1, 1, 1};
    SimState s;
    s.running = true;
    HeadlessControl hc(ap);
    hc.ticks = 6;  // 60 ms into the flight
    startTuning(ap.tuning);
    headlessTick(hc, ap, s, ac);
    EXPECT_EQ(ap.servos.servoTimeMs, std::optional<ClockMs>(60));
    EXPECT_EQ(ap.tuning.startTimeMs, 70);
    EXPECT_EQ(headlessClockMs(hc), 70);
}
