#include <gtest/gtest.h>

#include "control/pid.h"

using namespace uav;

TEST(Pid, StepsByHand) {
    PidLoop l{.measured = 0.2, .setpoint = 1.0, .kp = 0.5, .ki = 2.0, .kd = 0.01, .integral = 0.1,
              .prevMeasured = 0.1};
    pidStep(l, 0.02);
    // p = 0.5 x 0.8 = 0.4; i = 2 x 0.8 x 0.02 + 0.1 = 0.132; d = (0.1 - 0.2) x 0.01 / 0.02 = -0.05
    EXPECT_NEAR(l.output, 0.482, 1e-12);
    EXPECT_NEAR(l.integral, 0.132, 1e-12);
    EXPECT_EQ(l.prevMeasured, 0.2);
    // A non-positive period skips the step.
    l.measured = 0.3;
    pidStep(l, 0.0);
    pidStep(l, -0.02);
    EXPECT_NEAR(l.output, 0.482, 1e-12);
    EXPECT_EQ(l.prevMeasured, 0.2);

    // The derivative acts on the measurement only.
    PidLoop d{.kd = 0.1, .prevMeasured = 0.0};
    d.measured = 0.01;  // rising measurement: the derivative pushes down
    pidStep(d, 0.02);
    EXPECT_NEAR(d.output, -0.05, 1e-12);
    d.setpoint = 0.5;   // set-point jump with a steady measurement: no kick
    pidStep(d, 0.02);
    EXPECT_EQ(d.output, 0.0);
}

TEST(Pid, AntiWindupAtTheLimits) {
    struct Row { double kp, ki, setpoint, output, integral; const char* why; };
    // e = setpoint (measured 0), T = 0.5, old integral 0.25: i = ki x e x 0.5 + 0.25.
    const Row rows[] = {
        {0.25, 1.0, 1.0, 1.0, 0.25, "u = 0.25 + (0.5 + 0.25) = 1 exactly: output 1, old integral"},
        {0.75, 1.0, -1.0, -1.0, 0.25, "u = -0.75 + (-0.5 + 0.25) = -1 exactly: likewise"},
        {0.25, 0.5, 1.0, 0.75, 0.5, "u = 0.75: the new integral is taken"},
        {4.0, 0.0, 1.0, 1.0, 0.25, "u = 4.25: clamped, old integral"},
    };
    for (const Row& r : rows) {
        PidLoop l{.setpoint = r.setpoint, .kp = r.kp, .ki = r.ki, .integral = 0.25};
        pidStep(l, 0.5);
        EXPECT_EQ(l.output, r.output) << r.why;
        EXPECT_EQ(l.integral, r.integral) << r.why;
    }
}
