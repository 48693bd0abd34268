#include <gtest/gtest.h>

#include "control/channels.h"

using namespace uav;

namespace {

// One active element 0 driven by `row` with coefficient `coef`.
Aircraft oneServo(int row, double coef, double speed, double steps) {
    Aircraft ac;
    AeroElement& e = ac.elements[0];
    e.active = true;
    e.k = 0.4;
    e.servoSteps = steps;
    e.servoSpeed = speed;
    ac.mix.c[row][0] = coef;
    return ac;
}

}  // namespace

// The labels beside the sliders are checked on the main window.
TEST(Channels, SliderMapping) {
    struct Row { SliderPositions p; double thr, rud, ail, ele; const char* why; };
    const Row rows[] = {
        {{-25, 40, -100, -100}, 1.0, 0.4, -0.25, 1.0, "throttle and elevator sliders at the top: full, +1"},
        {{0, 0, 0, 0}, 0.5, 0, 0, 0, "throttle slider centred: half"},
        {{0, 0, 0, 100}, 0.0, 0, 0, 0, "throttle at the bottom: idle"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        Channels ch;
        slidersToChannels(r.p, ch);
        EXPECT_DOUBLE_EQ(ch.throttle, r.thr);
        EXPECT_DOUBLE_EQ(ch.rudderIn, r.rud);
        EXPECT_DOUBLE_EQ(ch.aileronIn, r.ail);
        EXPECT_DOUBLE_EQ(ch.elevatorIn, r.ele);
    }
}

// Stages in order: mix (here reversed), rate limit on a fake clock.
TEST(Servo, FirstUpdateUnlimitedThenRateLimited) {
    const Aircraft ac = oneServo(MIX_ELE, -1.0, 6.25, 0.0);  // 6.25 units/s: 0.125 per 20 ms
    SimState s;
    ServoState sv;
    Channels ch{.elevatorIn = 0.5};
    updateServos(s, ac, ch, sv, 1000);  // first update: no limit
    EXPECT_DOUBLE_EQ(s.servoPos[0], -0.5);
    ch.elevatorIn = -0.5;  // target +0.5, one unit away: 8 updates of 20 ms
    int updates = 0;
    ClockMs t = 1000;
    while (s.servoPos[0] < 0.5 && updates < 100) {
        t = 1000 + (++updates) * 20;
        updateServos(s, ac, ch, sv, t);
        if (updates == 1) {
            EXPECT_EQ(s.servoPos[0], -0.375);
        }
    }
    EXPECT_EQ(updates, 8);
    EXPECT_EQ(s.servoPos[0], 0.5);  // lands on the target exactly
    ch.elevatorIn = 0.0;            // clock going back moves nothing
    updateServos(s, ac, ch, sv, t - 20);
    EXPECT_DOUBLE_EQ(s.servoPos[0], 0.5);
    EXPECT_EQ(*sv.servoTimeMs, t - 20);
}

// 25 steps per unit, 5 units/s: from 0.4 down, 20 ms allow 0.1, so the command
// is 0.3, 7.5 steps, a tie that goes to the even 8 (0.32). At 120 ms -> 140 ms
// the difference of absolute seconds, 0.14 - 0.12 = 0.020000000000000018, would
// give 0.29999999999999993, 7 steps, 0.28.
TEST(Servo, RateLimitedTieOnTheMillisecondClock) {
    const Aircraft ac = oneServo(MIX_TRO, 1.0, 5.0, 25.0);
    SimState s;
    ServoState sv{.servoCmd = {0.4}, .servoTimeMs = 120};
    updateServos(s, ac, Channels{.throttle = 0.0}, sv, 140);
    EXPECT_EQ(s.servoPos[0], 0.32);
    EXPECT_EQ(secondsBetween(120, 140), 0.02);
}

TEST(Servo, QuantisationHalvesToEven) {
    struct Row { double target, steps, pos; const char* why; };
    const Row rows[] = {
        {0.25, 10, 0.2, "2.5 steps -> 2"},
        {0.75, 10, 0.8, "7.5 steps -> 8"},
        {-0.25, 10, -0.2, "-2.5 steps -> -2"},
        {0.37, -4, 0.37, "no (here negative) steps: unquantised"},
    };
    for (const Row& r : rows) {
        ServoState sv;
        SimState s;
        updateServos(s, oneServo(MIX_TRO, 1.0, 1.0, r.steps), Channels{.throttle = r.target}, sv, 0);
        EXPECT_DOUBLE_EQ(s.servoPos[0], r.pos) << r.why;
        EXPECT_DOUBLE_EQ(sv.servoCmd[0], r.target) << r.why;  // the command is not quantised
    }
}

TEST(Servo, MixThrustAndOutputText) {
    Aircraft ac;
    ac.params.thrustVec = {10, 2, -1};
    for (int i = 0; i < 4; ++i) {
        ac.elements[i].active = i != 3;         // 3: switched off
        ac.elements[i].k = i == 2 ? 0.0 : 0.4;  // 2: no servo
        ac.elements[i].servoSpeed = 100;
        ac.mix.c[MIX_ALE][i] = i % 2 ? -1.0 : 1.0;
    }
    ac.mix.c[MIX_TRO][0] = 0.5;
    SimState s;
    s.servoPos[3] = 0.7;  // left from before
    ServoState sv;
    const Channels ch{.throttle = 0.25, .aileronIn = 0.2};
    applyCommands(s, ac, ch, sv, 1000);
    EXPECT_EQ(s.thrustBody, (Vec3{2.5, 0.5, -0.25}));
    EXPECT_DOUBLE_EQ(s.servoPos[0], 0.325);  // 0.5 x throttle + 1 x aileron
    EXPECT_DOUBLE_EQ(s.servoPos[1], -0.2);
    EXPECT_EQ(s.servoPos[2], 0.0);
    EXPECT_EQ(s.servoPos[3], 0.7);

    // Throttle, then the servos of elements 3, 0 and 2, in percent.
    s.servoPos = {0.123456, 0, 1.0, -0.125};
    EXPECT_EQ(outputDisplayText(ch, s, ','), "TRO=25,00\rRUD=-12,50\rALE=12,35\rELE=100,00");
}
