// ArduPilot's JSON interface: the servo packet codec, the reply as ArduPilot
// reads it, the frame conversion on hand-worked attitudes, the channel map,
// the session's reading of frame counts and senders, and the held start.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "core/dynamics.h"
#include "core/errors.h"
#include "link/apjson.h"
#include "link/apsession.h"

namespace uav {
namespace {

std::string packetBytes(std::uint16_t magic, std::uint32_t count, int channels, std::uint16_t firstPwm) {
    std::string b;
    auto put16 = [&](std::uint16_t v) {
        b.push_back(static_cast<char>(v & 0xFF));
        b.push_back(static_cast<char>(v >> 8));
    };
    put16(magic);
    put16(1200);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((count >> (8 * i)) & 0xFF));
    for (int i = 0; i < channels; ++i) put16(static_cast<std::uint16_t>(firstPwm + i));
    return b;
}

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(ApServoPacket, DecodesBothSizesByteForByte) {
    // 16 channels, counted from 1000 us; frame 0x01020304 checks the byte order.
    const std::string b16 = packetBytes(AP_MAGIC_16, 0x01020304u, 16, 1000);
    ASSERT_EQ(b16.size(), AP_PACKET_16_BYTES);
    const auto p16 = decodeServoPacket(bytesOf(b16), b16.size());
    ASSERT_TRUE(p16);
    EXPECT_EQ(p16->frameCount, 0x01020304u);
    EXPECT_EQ(p16->frameRateHz, 1200);
    EXPECT_EQ(p16->channels, 16);
    EXPECT_EQ(p16->pwmUs[0], 1000);
    EXPECT_EQ(p16->pwmUs[15], 1015);
    EXPECT_EQ(p16->pwmUs[16], 0);

    const std::string b32 = packetBytes(AP_MAGIC_32, 7, 32, 1100);
    ASSERT_EQ(b32.size(), AP_PACKET_32_BYTES);
    const auto p32 = decodeServoPacket(bytesOf(b32), b32.size());
    ASSERT_TRUE(p32);
    EXPECT_EQ(p32->channels, 32);
    EXPECT_EQ(p32->pwmUs[31], 1131);
    EXPECT_EQ(encodeServoPacket(*p32), b32);
    EXPECT_EQ(encodeServoPacket(*p16), b16);
}

TEST(ApServoPacket, RefusesWhatIsNotOne) {
    struct Case {
        std::string bytes;
        ApPacketFault fault;
        const char* why;
    };
    const std::string good = packetBytes(AP_MAGIC_16, 1, 16, 1500);
    const Case cases[] = {
        {"", ApPacketFault::WrongSize, "empty"},
        {good.substr(0, 39), ApPacketFault::WrongSize, "one byte short"},
        {good + "x", ApPacketFault::WrongSize, "one byte long"},
        {packetBytes(AP_MAGIC_32, 1, 16, 1500), ApPacketFault::WrongMagic, "the 32-channel magic on 40 bytes"},
        {packetBytes(AP_MAGIC_16, 1, 32, 1500), ApPacketFault::WrongMagic, "the 16-channel magic on 72 bytes"},
        {packetBytes(0x1A48, 1, 16, 1500), ApPacketFault::WrongMagic, "the magic's bytes swapped"},
    };
    for (const Case& c : cases) {
        ApPacketFault f = ApPacketFault::None;
        EXPECT_FALSE(decodeServoPacket(bytesOf(c.bytes), c.bytes.size(), &f)) << c.why;
        EXPECT_EQ(f, c.fault) << c.why;
    }
}

TEST(ApReply, ReadsBackAsArduPilotReadsIt) {
    ApFdm f;
    f.timestampS = 1234.56;
    f.gyroFrd = {0.1, -0.2, 0.3};
    f.accelFrd = {0.5, -1.5, -9.8};
    f.posNed = {1234567.25, -89.5, -100.125};
    f.velNed = {16.0, -2.5, 0.75};
    f.eulerRad = {0.25, -0.125, 3.0};
    f.airspeedMs = 15.5;
    const ApReply r = writeFdmReply(f);
    EXPECT_EQ(r.nonFiniteReplaced, 0);
    ASSERT_EQ(r.text.front(), '\n');
    ASSERT_EQ(r.text.back(), '\n');
    // Nothing between a colon and its value; no blank anywhere.
    EXPECT_EQ(r.text.find(": "), std::string::npos);
    EXPECT_EQ(r.text.find(' '), std::string::npos);
    ApFdm back;
    ASSERT_TRUE(readFdmReplyAsArduPilot(r.text, back)) << r.text;
    EXPECT_DOUBLE_EQ(back.timestampS, 1234.56);
    EXPECT_DOUBLE_EQ(back.posNed.x, 1234567.25);  // position is read as double: no rounding to a single
    EXPECT_DOUBLE_EQ(back.posNed.z, -100.125);
    EXPECT_FLOAT_EQ(static_cast<float>(back.gyroFrd.y), -0.2f);
    EXPECT_FLOAT_EQ(static_cast<float>(back.accelFrd.z), -9.8f);
    EXPECT_FLOAT_EQ(static_cast<float>(back.velNed.y), -2.5f);
    EXPECT_FLOAT_EQ(static_cast<float>(back.eulerRad.z), 3.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(back.airspeedMs), 15.5f);
    // Each key ArduPilot finds by strstr appears once, and in this order.
    std::size_t at = 0;
    for (const char* key : {"\"timestamp\":", "\"imu\":", "\"gyro\":", "\"accel_body\":", "\"position\":",
                            "\"velocity\":", "\"attitude\":", "\"airspeed\":"}) {
        const std::size_t p = r.text.find(key);
        ASSERT_NE(p, std::string::npos) << key;
        EXPECT_GT(p, at) << key;
        EXPECT_EQ(r.text.find(key, p + 1), std::string::npos) << key;
        at = p;
    }
}

TEST(ApReply, NeverSendsNaNOrInfinityAndIgnoresTheLocale) {
    ApFdm f;
    f.timestampS = std::numeric_limits<double>::quiet_NaN();
    f.gyroFrd = {std::numeric_limits<double>::infinity(), 1.5, 1e300};  // 1e300 does not fit a single
    f.posNed = {0.5, -std::numeric_limits<double>::infinity(), 2.5};
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    // A decimal-comma locale where the machine has one; the writer must not care.
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");
    const ApReply r = writeFdmReply(f);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(r.nonFiniteReplaced, 4);
    for (const char* bad : {"nan", "inf", "NaN", "Inf"}) EXPECT_EQ(r.text.find(bad), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("\"gyro\":[0,1.5,0]"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("\"position\":[0.5,0,2.5]"), std::string::npos) << r.text << (comma ? " (comma locale)" : "");
}

// Attitudes written as body axes in earth coordinates, their angles worked by hand.
TEST(ApConversion, HandWorkedAttitudes) {
    // Heading east: the nose along earth Z; body z (right wing) points south.
    Mat3 east;
    east.setRow(0, {0, 0, 1});
    east.setRow(1, {0, 1, 0});
    east.setRow(2, {-1, 0, 0});
    Vec3 e = apEulerFromOrient(east);
    EXPECT_NEAR(e.x, 0, 1e-12);
    EXPECT_NEAR(e.y, 0, 1e-12);
    EXPECT_NEAR(e.z, PI / 2, 1e-12);  // clockwise from north
    // Heading west: yaw -90 deg.
    Mat3 west;
    west.setRow(0, {0, 0, -1});
    west.setRow(1, {0, 1, 0});
    west.setRow(2, {1, 0, 0});
    EXPECT_NEAR(apEulerFromOrient(west).z, -PI / 2, 1e-12);
    // Nose 30 deg up, heading north: pitch +30 deg (the true elevation, not the
    // window's arctan of sin 30 deg).
    const double a = 30 * DEG_TO_RAD;
    Mat3 up;
    up.setRow(0, {std::cos(a), std::sin(a), 0});
    up.setRow(1, {-std::sin(a), std::cos(a), 0});
    up.setRow(2, {0, 0, 1});
    e = apEulerFromOrient(up);
    EXPECT_NEAR(e.y, a, 1e-12);
    EXPECT_NEAR(e.x, 0, 1e-12);
    // Right wing 40 deg down, heading north: roll +40 deg.
    const double b = 40 * DEG_TO_RAD;
    Mat3 bank;
    bank.setRow(0, {1, 0, 0});
    bank.setRow(1, {0, std::cos(b), std::sin(b)});
    bank.setRow(2, {0, -std::sin(b), std::cos(b)});
    e = apEulerFromOrient(bank);
    EXPECT_NEAR(e.x, b, 1e-12);
    EXPECT_NEAR(e.y, 0, 1e-12);
    EXPECT_NEAR(e.z, 0, 1e-12);
}

TEST(ApConversion, PositionVelocityRatesAndAirspeed) {
    SimState s;
    s.posX = 100;  // north
    s.posZ = -50;  // west
    s.posH = 30;   // up
    s.velocity = {3, -2, 5};          // north, down 2 m/s, east
    s.omegaBody = {0.1, 0.2, 0.3};    // roll right, yaw left (about up), pitch up (about the right wing)
    s.airflowBody = {-16, 0.5, 0.25}; // air from ahead: 16 m/s along the nose
    const ApFdm f = fdmFromState(s, {0, 9.8, 0}, 12.5);
    EXPECT_EQ(f.posNed.x, 100);
    EXPECT_EQ(f.posNed.y, -50);
    EXPECT_EQ(f.posNed.z, -30);
    EXPECT_EQ(f.velNed.x, 3);
    EXPECT_EQ(f.velNed.y, 5);
    EXPECT_EQ(f.velNed.z, 2);
    EXPECT_EQ(f.gyroFrd.x, 0.1);   // roll rate
    EXPECT_EQ(f.gyroFrd.y, 0.3);   // pitch rate: about the right wing
    EXPECT_EQ(f.gyroFrd.z, -0.2);  // yaw rate about down: a left turn is negative
    EXPECT_EQ(f.accelFrd.z, -9.8); // up in body = -z in FRD
    EXPECT_EQ(f.airspeedMs, 16);
    EXPECT_EQ(f.timestampS, 12.5);
    s.airflowBody = {3, 0, 0};  // flying backwards: a pitot reads nothing
    EXPECT_EQ(fdmFromState(s, {}, 0).airspeedMs, 0);
}

TEST(ApConversion, AccelerometerReadsForcesNotGravity) {
    // Level at rest: gravity's reaction, (0, 0, -9.8) in FRD.
    Mat3 level = MatIdentity();
    Vec3 a = bodyToFrd(kinematicSpecificForceBody(level, {}));
    EXPECT_NEAR(a.x, 0, 1e-12);
    EXPECT_NEAR(a.z, -GRAVITY_G, 1e-12);
    // Banked 90 deg right at rest: the reaction lies along the left wing, -y in FRD.
    Mat3 knife;
    knife.setRow(0, {1, 0, 0});
    knife.setRow(1, {0, 0, 1});
    knife.setRow(2, {0, -1, 0});
    a = bodyToFrd(kinematicSpecificForceBody(knife, {}));
    EXPECT_NEAR(a.y, -GRAVITY_G, 1e-12);
    EXPECT_NEAR(a.z, 0, 1e-12);
    // Free flight: aerodynamic and thrust forces over the mass, gravity left out.
    SimState s;
    ModelParams mp;
    mp.mass = 2;
    s.thrustBody = {6, 0, 0};
    s.elemForceBody[0] = {-1, 10, 0.5};
    s.elemForceBody[3] = {-1, 9.6, -0.5};
    a = specificForceBody(s, mp);
    EXPECT_DOUBLE_EQ(a.x, 2);
    EXPECT_DOUBLE_EQ(a.y, 9.8);
    EXPECT_DOUBLE_EQ(a.z, 0);
}

TEST(ApChannelMap, ParsesRemapsAndReverses) {
    EXPECT_EQ(parseChannelMap("1,2,3,4"), ApChannelMap{});
    const ApChannelMap m = parseChannelMap("5,-6,7,-8");
    EXPECT_EQ(m.aileron.output, 5);
    EXPECT_TRUE(m.elevator.reversed);
    EXPECT_FALSE(m.throttle.reversed);
    EXPECT_EQ(channelMapText(m), "5,-6,7,-8");
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "0,2,3,4", "1,2,3,33", "1,,3,4", "a,2,3,4", "1,2,3,4x", "--1,2,3,4"})
        EXPECT_THROW(parseChannelMap(bad), SimError) << bad;

    ApServoPacket p;
    p.pwmUs[4] = 1600;  // output 5: aileron
    p.pwmUs[5] = 1600;  // output 6: elevator, reversed
    p.pwmUs[6] = 2000;  // output 7: throttle
    p.pwmUs[7] = 0;     // output 8: rudder, not driven
    ServoCommand prev;
    prev.rud = 1300;
    const ServoCommand c = commandFromServos(p, m, prev);
    EXPECT_EQ(c.ail, 1600);
    EXPECT_EQ(c.elev, 1400);
    EXPECT_EQ(c.thr, 2000);
    EXPECT_EQ(c.rud, 1300);  // 0 us keeps the last pulse
    const SliderPositions sl = slidersFromCommand(c);
    EXPECT_EQ(sl.ailerons, 20);
    EXPECT_EQ(sl.elevator, -20);
    EXPECT_EQ(sl.throttle, -100);  // full throttle
    // 65535 us is held to the slider's end, and an output beyond a 16-channel
    // packet keeps the last pulse.
    p.pwmUs[4] = 65535;
    EXPECT_EQ(slidersFromCommand(commandFromServos(p, m, prev)).ailerons, 100);
    EXPECT_EQ(commandFromServos(p, parseChannelMap("20,2,3,4"), prev).ail, prev.ail);
    EXPECT_EQ(throttlePulseUs(p, m), 2000);
}

TEST(ApRcInput, SlidersToArduPilotsChannels) {
    SliderPositions p;
    p.ailerons = 20;   // right
    p.elevator = 40;   // stick back
    p.throttle = -100; // full
    p.rudder = -60;    // left
    const auto rc = rcFromSliders(p, 4);
    EXPECT_EQ(rc[0], 1600);
    EXPECT_EQ(rc[1], 1700);
    EXPECT_EQ(rc[2], 2000);
    EXPECT_EQ(rc[3], 1200);
    EXPECT_EQ(rc[4], 1500);
    EXPECT_EQ(rc[7], 1555);  // FLTMODE4's band 1491..1620
    p.throttle = 100;
    EXPECT_EQ(rcFromSliders(p, 1)[2], 1000);
    EXPECT_EQ(rcFromSliders(p, 1)[7], 1165);   // below 1230
    EXPECT_EQ(rcFromSliders(p, 99)[7], 1815);  // held to position 6: above 1750
    const std::string b = encodeRcInput(rc);
    ASSERT_EQ(b.size(), 16u);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x40);  // 1600 = 0x0640, little-endian
    EXPECT_EQ(static_cast<unsigned char>(b[1]), 0x06);
}

struct ApSessionTest : ::testing::Test {
    ApSession s;
    ApServoPacket out;
    ApFrameAction send(const std::string& who, std::uint32_t count, double now) {
        const std::string b = packetBytes(AP_MAGIC_16, count, 16, 1500);
        return s.accept(who, bytesOf(b), b.size(), now, out);
    }
};

TEST_F(ApSessionTest, FrameCountsStepRepeatRestartAndJump) {
    EXPECT_EQ(send("a", 10, 0.0), ApFrameAction::Step);  // any first count
    EXPECT_EQ(send("a", 11, 0.1), ApFrameAction::Step);
    EXPECT_EQ(send("a", 11, 1.1), ApFrameAction::Repeat);  // resent after ~1 s without an answer
    EXPECT_EQ(send("a", 15, 1.2), ApFrameAction::Step);    // frames lost: counted, stepped once
    EXPECT_EQ(send("a", 0, 1.3), ApFrameAction::Restart);  // ArduPilot started again
    EXPECT_EQ(send("a", 1, 1.4), ApFrameAction::Step);
    const ApCounters& c = s.counters();
    EXPECT_EQ(c.frames, 5u);
    EXPECT_EQ(c.repeats, 1u);
    EXPECT_EQ(c.countJumps, 1u);
    EXPECT_EQ(c.restarts, 1u);
    EXPECT_EQ(out.frameCount, 1u);
}

TEST_F(ApSessionTest, BadDatagramsAreCountedAndIgnored) {
    EXPECT_EQ(send("a", 1, 0.0), ApFrameAction::Step);
    const std::string shortOne = packetBytes(AP_MAGIC_16, 2, 15, 1500);
    const std::string wrongMagic = packetBytes(1234, 2, 16, 1500);
    EXPECT_EQ(s.accept("a", bytesOf(shortOne), shortOne.size(), 0.1, out), ApFrameAction::Ignore);
    EXPECT_EQ(s.accept("a", bytesOf(wrongMagic), wrongMagic.size(), 0.1, out), ApFrameAction::Ignore);
    EXPECT_EQ(s.counters().wrongSize, 1u);
    EXPECT_EQ(s.counters().wrongMagic, 1u);
    EXPECT_EQ(out.frameCount, 1u);  // untouched by what was ignored
    EXPECT_EQ(send("a", 2, 0.2), ApFrameAction::Step);
}

TEST_F(ApSessionTest, ASecondSenderWaitsUntilTheFirstGoesQuiet) {
    EXPECT_EQ(send("a", 100, 0.0), ApFrameAction::Step);
    EXPECT_EQ(send("b", 0, 0.5), ApFrameAction::Ignore);
    EXPECT_EQ(send("b", 0, 1.0), ApFrameAction::Ignore);
    std::string name;
    ASSERT_TRUE(s.takeOtherSenderNotice(name));
    EXPECT_EQ(name, "b");
    EXPECT_FALSE(s.takeOtherSenderNotice(name));  // named once
    EXPECT_EQ(send("a", 101, 1.5), ApFrameAction::Step);
    EXPECT_EQ(s.counters().otherSender, 2u);
    // a quiet for SENDER_ACTIVE_S: b takes over, and its lower count starts the flight again.
    EXPECT_EQ(send("b", 0, 1.5 + ApSession::SENDER_ACTIVE_S), ApFrameAction::Restart);
    EXPECT_EQ(s.sender(), "b");
    EXPECT_EQ(send("a", 102, 3.6), ApFrameAction::Ignore);
}

TEST(ApLaunch, HeldThenCatapultThenFree) {
    SimState s;
    setStartValues(s);
    InitialConditions ic;
    ic.speedKmh = 57.6;  // 16 m/s
    ic.angleDeg = 10;
    ic.altitudeM = 10;
    applyInitialConditions(s, ic);
    s.running = true;
    const Mat3 orient = s.orient;
    ApLaunch l = beginHeldLaunch(s);
    EXPECT_DOUBLE_EQ(l.releaseSpeedMs, 16.0);
    ModelParams mp;
    mp.mass = 2;
    // Held: still, stopped, the accelerometer reading gravity's reaction only.
    for (int throttle : {0, 1000, ApLaunch::RELEASE_THROTTLE_US}) {
        prepareLaunchTick(l, s, throttle);
        EXPECT_EQ(l.phase, LaunchPhase::Held);
        EXPECT_FALSE(s.running);
        EXPECT_EQ(VecNorm(s.velocity), 0.0);
        EXPECT_EQ(s.posH, 10.0);
    }
    const Vec3 held = bodyToFrd(launchSpecificForceBody(l, s, mp));
    EXPECT_NEAR(VecNorm(held), GRAVITY_G, 1e-12);
    EXPECT_NEAR(held.x, GRAVITY_G * std::sin(10 * DEG_TO_RAD), 1e-12);  // nose up: gravity's reaction has a forward part
    // Released: 1 s of constant acceleration along the nose, 16 m/s^2.
    const int strokeTicks = static_cast<int>(std::lround(ApLaunch::STROKE_S / s.dt));
    for (int i = 0; i < strokeTicks; ++i) {
        prepareLaunchTick(l, s, 2000);
        ASSERT_EQ(l.phase, LaunchPhase::Stroke) << i;
        EXPECT_FALSE(s.running);
        EXPECT_NEAR(VecNorm(l.accelEarth), 16.0, 1e-9) << i;
        EXPECT_NEAR(VecNorm(s.velocity), 16.0 * (i + 1) * s.dt, 1e-9);
    }
    EXPECT_EQ(s.orient, orient);  // the rail keeps the attitude
    const Vec3 stroke = bodyToFrd(launchSpecificForceBody(l, s, mp));
    EXPECT_NEAR(stroke.x, 16.0 + GRAVITY_G * std::sin(10 * DEG_TO_RAD), 1e-9);
    // Distance of a constant acceleration, stepped velocity first: a/2 t^2 + a dt t / 2.
    const double along = (s.posH - 10.0) / std::sin(10 * DEG_TO_RAD);
    EXPECT_NEAR(along, 8.0 + 16.0 * s.dt / 2, 1e-9);
    prepareLaunchTick(l, s, 2000);
    EXPECT_EQ(l.phase, LaunchPhase::Free);
    EXPECT_TRUE(s.running);
    EXPECT_NEAR(VecNorm(s.velocity), 16.0, 1e-12);
    // Free: the throttle no longer matters and nothing is touched.
    const SimState before = s;
    prepareLaunchTick(l, s, 0);
    EXPECT_EQ(s.posH, before.posH);
    EXPECT_TRUE(s.running);
}

}  // namespace
}  // namespace uav
