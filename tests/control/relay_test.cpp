#include <gtest/gtest.h>

#include <deque>

#include "control/autopilot.h"
#include "errorof.h"

using namespace uav;
using uav::test::errorOf;

TEST(Relay, FirstStepsCrossingsAndOutputs) {
    RelayTuning rt;
    SimState s;
    PidLoop pitch{.output = 0.1, .setpoint = 0.2}, roll{.output = -0.3};
    startTuning(rt);
    relayTuneStep(rt, s, pitch, roll, 7.0);  // initialises only
    EXPECT_EQ(rt.startTime, 7.0);
    EXPECT_EQ(relayCaption(rt), "0  0");

    s.pitchAngle = 0.1;  // below its set-point: a negative first error counts
    s.rollAngle = 0.0;   // exactly on its set-point: nothing counted or summed
    relayTuneStep(rt, s, pitch, roll, 7.01);
    EXPECT_EQ(rt.pitchCrossings, 1);
    EXPECT_NEAR(rt.pitchErrorSum, 0.1, 1e-15);
    EXPECT_DOUBLE_EQ(pitch.output, 0.14);  // the base 0.1 plus the amplitude
    EXPECT_EQ(rt.rollCrossings, 0);
    EXPECT_EQ(rt.rollErrorSum, 0.0);
    EXPECT_DOUBLE_EQ(roll.output, -0.26);

    s.pitchAngle = 0.25;
    s.rollAngle = 0.05;
    relayTuneStep(rt, s, pitch, roll, 7.02);
    EXPECT_DOUBLE_EQ(pitch.output, 0.06);
    EXPECT_DOUBLE_EQ(roll.output, -0.34);
    EXPECT_EQ(relayCaption(rt), "2  0");  // roll's first error is positive: no crossing
}

// An integrating plant with a transport delay under a relay oscillates with
// a period of four delays: the output switches when the angle crosses the
// set-point, and the angle keeps moving the old way for one more delay. Sampled,
// each half period is one tick longer (the crossing is seen a tick late). Its error is a triangle wave of amplitude
// gain x RELAY_AMPLITUDE x delay.
namespace {

constexpr double DT = 0.01, GAIN = 5.0;    // s; rad/s per output unit
constexpr int PITCH_DELAY = 10, ROLL_DELAY = 25;  // ticks: periods about 0.4 s and 1.0 s

RelayTuning relayOnDelayedIntegrators(int ticks) {
    RelayTuning rt;
    SimState s;
    PidLoop pitch, roll;
    std::deque<double> pitchOut(PITCH_DELAY, 0.0), rollOut(ROLL_DELAY, 0.0);
    startTuning(rt);
    for (int n = 0; n <= ticks; ++n) {
        relayTuneStep(rt, s, pitch, roll, n * DT);
        pitchOut.push_back(pitch.output);
        rollOut.push_back(roll.output);
        s.pitchAngle += GAIN * pitchOut.front() * DT;
        s.rollAngle += GAIN * rollOut.front() * DT;
        pitchOut.pop_front();
        rollOut.pop_front();
    }
    return rt;
}

}  // namespace

TEST(Relay, KnownOscillationOfDelayedIntegrators) {
    // The second 20 s, free of the start-up transient.
    const RelayTuning a = relayOnDelayedIntegrators(2000), b = relayOnDelayedIntegrators(4000);
    const double pitchPeriod = 2 * 20.0 / (b.pitchCrossings - a.pitchCrossings);
    const double rollPeriod = 2 * 20.0 / (b.rollCrossings - a.rollCrossings);
    EXPECT_NEAR(pitchPeriod, (4 * PITCH_DELAY + 2) * DT, 0.03 * pitchPeriod);
    EXPECT_NEAR(rollPeriod, (4 * ROLL_DELAY + 2) * DT, 0.03 * rollPeriod);
    const double pitchMean = (b.pitchErrorSum - a.pitchErrorSum) / 2000;
    const double rollMean = (b.rollErrorSum - a.rollErrorSum) / 2000;
    EXPECT_NEAR(pitchMean, 0.5 * GAIN * RELAY_AMPLITUDE * PITCH_DELAY * DT, 0.1 * pitchMean);
    EXPECT_NEAR(rollMean, 0.5 * GAIN * RELAY_AMPLITUDE * ROLL_DELAY * DT, 0.1 * rollMean);
}

namespace {
// Error sums that give K = 1 for 10 pitch and 4 roll crossings.
constexpr double PITCH_SUM_K1 = 3.2 / (PI * PI), ROLL_SUM_K1 = 1.28 / (PI * PI);
}  // namespace

TEST(Relay, GainProposalByHand) {
    // Started at 2 s, stopped at 12 s. Pitch: 10 crossings (Tu 2 s), K = 4;
    // roll: 4 crossings (Tu 5 s), K = 0.5.
    RelayTuning rt{.on = true, .phase = 1, .startTime = 2.0, .pitchCrossings = 10, .rollCrossings = 4,
                   .pitchErrorSum = 4 * PITCH_SUM_K1, .rollErrorSum = 0.5 * ROLL_SUM_K1};
    StabiliserTexts t = defaultStabiliserTexts(',');
    stopTuning(rt, 12.0, t, ',');
    EXPECT_FALSE(rt.on);
    EXPECT_EQ(t.text[ST_PITCH_KP], "200");
    EXPECT_EQ(t.text[ST_PITCH_KI], "7,4");
    EXPECT_EQ(t.text[ST_PITCH_KD], "0,9");  // 1.8 Tu / K, not Tu x K
    EXPECT_EQ(t.text[ST_ROLL_KP], "50");
    EXPECT_EQ(t.text[ST_ROLL_KI], "1");
    EXPECT_EQ(t.text[ST_ROLL_KD], "30");
}

TEST(Relay, ProposalDivisionByZero) {
    struct Row { int pc; double ps, rs, stop; const char *pitchP, *rollP, *rollD, *why; };
    const Row rows[] = {
        {0, 0.5, ROLL_SUM_K1, 12, "20,4", "21,8", "5,7", "no pitch crossing: nothing written"},
        {10, PITCH_SUM_K1, 0.0, 12, "50", "0", "5,7", "zero roll error sum: roll P and I written, D fails"},
        {10, PITCH_SUM_K1, ROLL_SUM_K1, 2, "50", "21,8", "5,7", "no elapsed time: pitch P written, its I fails"},
    };
    for (const Row& r : rows) {
        RelayTuning rt{.on = true, .phase = 1, .startTime = 2.0, .pitchCrossings = r.pc, .rollCrossings = 4,
                       .pitchErrorSum = r.ps, .rollErrorSum = r.rs};
        StabiliserTexts t = defaultStabiliserTexts(',');
        EXPECT_EQ(errorOf([&] { stopTuning(rt, r.stop, t, ','); }), "Floating point division by zero") << r.why;
        EXPECT_FALSE(rt.on) << r.why;
        EXPECT_EQ(t.text[ST_PITCH_KP], r.pitchP) << r.why;
        EXPECT_EQ(t.text[ST_ROLL_KP], r.rollP) << r.why;
        EXPECT_EQ(t.text[ST_ROLL_KD], r.rollD) << r.why;
    }
}
