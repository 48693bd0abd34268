#include <gtest/gtest.h>

#include <cmath>

#include "control/autoreturn.h"

using namespace uav;

namespace {

SimState at(double north, double east, double h, Vec3 velocity) {
    SimState s;
    s.posX = north;
    s.posZ = east;
    s.posH = h;
    s.posD = std::hypot(north, east);
    s.velocity = velocity;
    return s;
}

ReturnSettings settings(double returnAlt, double critical) {
    return {.returnAltitude = returnAlt, .criticalAltitude = critical, .returnMaxRoll = 0.7,
            .returnMaxPitch = 0.35, .returnSpeed = 16.0, .homeRadius = 100.0};
}

}  // namespace

TEST(AutoReturn, BearingErrorQuadrantsAndWrap) {
    struct Row { double north, east; Vec3 v; double err; const char* why; };
    const Row rows[] = {
        {0, 100, {0, 0, 10}, PI, "east of home flying east: home straight behind"},
        {100, 0, {0, 0, 10}, -PI / 2, "north of home flying east: home to the right"},
        {100, 100, {-1, 0, -1}, 0, "north-east flying south-west: 5pi/4 - (-3pi/4) wraps to 0"},
        {-100, -100, {-1, 0, 0}, 3 * PI / 4, "south-west flying south: home behind on the left"},
        {100, -100, {1, 0, 0}, -3 * PI / 4, "north-west flying north: 5pi/4 wraps to -3pi/4"},
        {-100, 100, {-1, 0, 0}, -3 * PI / 4, "south-east flying south: 5pi/4 wraps, home behind on the right"},
    };
    for (const Row& r : rows) EXPECT_NEAR(bearingError(at(r.north, r.east, 0, r.v)), r.err, 1e-12) << r.why;
}

TEST(AutoReturn, AltitudeProfile) {
    ReturnSettings rs = settings(150, 150);
    ReturnState st{.profileStartDistance = 1000, .profileStartAltitude = 300};
    EXPECT_NEAR(altitudeProfile(at(500, 0, 280, {}), rs, st), 225, 1e-12);
    EXPECT_EQ(altitudeProfile(at(1200, 0, 300, {}), rs, st), 300);  // farther out than the start
    EXPECT_FALSE(st.altitudeCaptured);
    // Descended to the return altitude at 600 m: captured, this call still the profile.
    EXPECT_NEAR(altitudeProfile(at(600, 0, 150, {}), rs, st), 240, 1e-12);
    EXPECT_TRUE(st.altitudeCaptured);
    // Inside the home radius also captures.
    st = {.profileStartDistance = 1000, .profileStartAltitude = 300};
    EXPECT_NEAR(altitudeProfile(at(90, 0, 200, {}), rs, st), 163.5, 1e-12);
    EXPECT_TRUE(st.altitudeCaptured);
    // Engaged exactly at home.
    st = {.profileStartDistance = 0, .profileStartAltitude = 300};
    EXPECT_EQ(altitudeProfile(at(0, 0, 300, {}), rs, st), 150);
    // Defaults (both 150), started below: climbing through 150 captures at once (product 0).
    st = {.belowCritical = true, .profileStartDistance = 1000, .profileStartAltitude = 60};
    EXPECT_EQ(altitudeProfile(at(700, 0, 149, {0, 2, 0}), rs, st), 150);
    EXPECT_TRUE(st.altitudeCaptured);

    // Critical 100 m, started below it.
    rs.criticalAltitude = 100;
    st = {.belowCritical = true, .profileStartDistance = 1000, .profileStartAltitude = 50};
    // One second ahead still below 100 m: the return altitude.
    EXPECT_EQ(altitudeProfile(at(900, 0, 95, {0, 4, 0}), rs, st), 150);
    EXPECT_TRUE(st.belowCritical);
    // 96 + 4 reaches 100 at 800 m: the profile restarts there from 100 m.
    EXPECT_NEAR(altitudeProfile(at(800, 0, 96, {0, 4, 0}), rs, st), 100, 1e-12);
    EXPECT_FALSE(st.belowCritical);
    EXPECT_EQ(st.profileStartDistance, 800);
    EXPECT_EQ(st.profileStartAltitude, 100);
    EXPECT_NEAR(altitudeProfile(at(400, 0, 120, {0, 1, 0}), rs, st), 125, 1e-12);
    EXPECT_FALSE(st.altitudeCaptured);
}

TEST(AutoReturn, SetpointsAndHeadingStep) {
    ReturnSettings rs = settings(150, 150);
    ReturnState st{.altitudeCaptured = true, .profileStartDistance = 1000, .profileStartAltitude = 300};
    PidLoop alt{.kp = 1}, heading{.kp = 0.5}, roll{.setpoint = 9}, pitch, speed;
    const SimState north = at(500, 0, 152, {0, 0, 10});  // flying east, home to the right
    returnSetpoints(north, rs, st, alt, speed);
    EXPECT_EQ(alt.setpoint, 150);  // captured: the return altitude, not the profile

    double rudder = 0.3;
    returnStep(north, rs, st, alt, heading, roll, pitch, rudder);
    EXPECT_EQ(st.altitudeCommand, -1.0);               // 2 m too high, kp 1: saturated
    EXPECT_DOUBLE_EQ(pitch.setpoint, -0.35);
    EXPECT_NEAR(st.headingCommand, 0.5 * PI / 2, 1e-12);  // bank right toward home
    EXPECT_NEAR(roll.setpoint, 0.7 * 0.5 * PI / 2, 1e-12);
    EXPECT_EQ(rudder, 0.3);                             // untouched when steering by ailerons

    rs.headingByAilerons = false;
    returnStep(north, rs, st, alt, heading, roll, pitch, rudder);
    EXPECT_EQ(roll.setpoint, 0.0);
    EXPECT_NEAR(rudder, 0.5 * PI / 2, 1e-12);

    const SimState inside = at(60, 0, 150, {0, 0, 10});
    returnStep(inside, rs, st, alt, heading, roll, pitch, rudder);
    EXPECT_EQ(rudder, 0.0);
    rs.headingByAilerons = true;
    returnStep(inside, rs, st, alt, heading, roll, pitch, rudder);
    EXPECT_EQ(roll.setpoint, 0.0);
    EXPECT_NE(heading.output, 0.0);  // the loop still runs inside the radius
}
