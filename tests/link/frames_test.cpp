// The wire format and the frame scanner, on bytes alone.

#include <bit>
#include <cmath>
#include <limits>

#include "link/frames.h"
#include "tests/testutil.h"

using namespace uav;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frame(std::int32_t ail, std::int32_t elev, std::int32_t rud, std::int32_t thr) {
    const CommandFrame f = encodeCommand({ail, elev, rud, thr});
    return Bytes(f.begin(), f.end());
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<ServoCommand> scanAll(const Bytes& b, std::size_t piece = 0) {
    FrameScanner sc;
    std::vector<ServoCommand> out;
    if (piece == 0) piece = b.size();
    for (std::size_t i = 0; i < b.size(); i += piece) sc.feed(b.data() + i, std::min(piece, b.size() - i), out);
    return out;
}

}  // namespace

TEST(FrameFormat, CommandBytesAreLittleEndianWithHeaderAndEndMark) {
    const Bytes b = frame(1500, -2, 0x01020304, 2000);
    const Bytes want = {0xAA, 0xEE, 0x11, 0xDC, 0x05, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF,
                        0x04, 0x03, 0x02, 0x01, 0xD0, 0x07, 0x00, 0x00, 0xCC};
    EXPECT_EQ(b, want);
}

TEST(FrameFormat, ReplyCarriesSinglesInOrderAndZeroForUnrepresentable) {
    LinkTelemetry t{0.5, -0.25, 3.0, 12.0, 11.5, 100.0, -2000.0, 1e6};
    ReplyFrame f = encodeReply(t);
    EXPECT_EQ(f[0], 0xAA);
    EXPECT_EQ(f[1], 0xEE);
    EXPECT_EQ(f[2], 0x21);
    EXPECT_EQ(f[35], 0xCC);
    // 0.5f = 0x3F000000, little-endian at offset 3.
    EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 7), (Bytes{0x00, 0x00, 0x00, 0x3F}));
    LinkTelemetry back;
    ASSERT_TRUE(decodeReply(f.data(), f.size(), back));
    EXPECT_EQ(back.pitch, -0.25);
    EXPECT_EQ(back.altitude, 100.0);
    EXPECT_EQ(back.east, 1e6);

    // Each field on its own: beyond float range, infinite or NaN goes as 0.
    t.roll = 1e39;
    t.pitch = -std::numeric_limits<double>::infinity();
    t.yaw = std::nan("");
    t.north = -3.4e38;  // still a float
    f = encodeReply(t);
    ASSERT_TRUE(decodeReply(f.data(), f.size(), back));
    EXPECT_EQ(back.roll, 0.0);
    EXPECT_EQ(back.pitch, 0.0);
    EXPECT_EQ(back.yaw, 0.0);
    EXPECT_NEAR(back.north, -3.4e38, 1e31);
    EXPECT_EQ(back.groundSpeed, 12.0);

    f[35] = 0;
    EXPECT_FALSE(decodeReply(f.data(), f.size(), back));
}

// Every field from its own quantity of the state, at the offset the README
// gives: a state in which all eight differ (ground speed 13 m/s from a
// velocity of 3, 4, 12; airspeed 3 m/s from a body airflow of 1, -2, 2; north
// and east of different size and sign), read back from the bytes alone.
TEST(FrameFormat, EachReplyFieldComesFromItsOwnQuantity) {
    SimState s;
    s.rollAngle = 0.125;
    s.pitchAngle = -0.25;
    s.yawAngle = 1.5;
    s.velocity = {3, 4, 12};
    s.airflowBody = {1, -2, 2};
    s.posH = 321.5;
    s.posX = 1234.5;   // north
    s.posZ = -87.25;   // east
    const ReplyFrame f = encodeReply(telemetryFromState(s));
    auto at = [&](std::size_t offset) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(f[offset + i]) << (8 * i);
        return std::bit_cast<float>(bits);
    };
    const struct {
        std::size_t offset;
        float want;
        const char* field;
    } fields[] = {
        {3, 0.125f, "roll"},         {7, -0.25f, "pitch"},     {11, 1.5f, "yaw"},
        {15, 13.0f, "ground speed"}, {19, 3.0f, "airspeed"},   {23, 321.5f, "altitude"},
        {27, 1234.5f, "north"},      {31, -87.25f, "east"},
    };
    for (const auto& k : fields) EXPECT_EQ(at(k.offset), k.want) << k.field << " at offset " << k.offset;
}

TEST(FrameFormat, SlidersFromPulseWidths) {
    struct Row {
        ServoCommand c;
        SliderPositions want;
        const char* why;
    } rows[] = {
        // command {ail, elev, rud, thr}; sliders {.ailerons, .rudder, .elevator, .throttle}
        {{1500, 1500, 1500, 1500}, {0, 0, 0, 0}, "centre"},
        {{1000, 1000, 1000, 1000}, {-100, 100, -100, 100}, "low end: rudder and throttle inverted"},
        {{2000, 2000, 2000, 2000}, {100, -100, 100, -100}, "high end"},
        {{2500, 900, 2500, 2500}, {100, -100, -100, -100}, "beyond the ends: held by the slider range"},
        {{1512, 1487, 1513, 1488}, {2, -3, -3, 2}, "2.4 and 2.6 round to the nearest"},
        {{INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}, {-100, 100, 100, -100}, "extreme integers do not overflow"},
    };
    for (const Row& r : rows) {
        const SliderPositions p = slidersFromCommand(r.c);
        EXPECT_EQ(p.ailerons, r.want.ailerons) << r.why;
        EXPECT_EQ(p.elevator, r.want.elevator) << r.why;
        EXPECT_EQ(p.rudder, r.want.rudder) << r.why;
        EXPECT_EQ(p.throttle, r.want.throttle) << r.why;
    }
    EXPECT_EQ(commandText({1000, 1200, 1300, 2000}),
              "элер, мс = 1000\rРВ, мс = 1200\rрудер, мс = 1300\rгаз, мс = 2000");
}

TEST(FrameScanner, PassSemantics) {
    const Bytes a = frame(1100, 1200, 1300, 1400), b = frame(1600, 1700, 1800, 1900);
    Bytes badEnd = a;
    badEnd[19] = 0xCD;
    struct Row {
        Bytes in;
        std::vector<ServoCommand> want;
        const char* why;
    } rows[] = {
        {cat({a, b}), {{1100, 1200, 1300, 1400}, {1600, 1700, 1800, 1900}}, "two frames in one piece"},
        {cat({{0x00, 0x55, 0xEE, 0x11, 0xCC}, a}), {{1100, 1200, 1300, 1400}}, "leading garbage skipped"},
        {cat({{0xAA}, a, b}), {{1600, 1700, 1800, 1900}}, "a stray AA costs the frame after it"},
        {cat({{0xAA, 0xEE}, a, b}), {{1600, 1700, 1800, 1900}}, "AA EE AA: the third byte ends the pass"},
        {cat({badEnd, b}), {{1600, 1700, 1800, 1900}}, "a wrong end mark drops the frame whole"},
        // The dropped body is not rescanned even when it holds a whole frame.
        {cat({{0xAA, 0xEE, 0x11}, Bytes(a.begin(), a.begin() + 17), b}), {{1600, 1700, 1800, 1900}},
         "a frame inside a rejected body is not seen"},
        {Bytes(a.begin(), a.begin() + 19), {}, "a frame cut short gives nothing"},
    };
    for (const Row& r : rows)
        for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{7}})
            EXPECT_EQ(scanAll(r.in, piece), r.want) << r.why << ", pieces of " << piece;
}

TEST(FrameScanner, PendingAndRejectedCounts) {
    FrameScanner sc;
    std::vector<ServoCommand> out;
    const Bytes a = frame(1500, 1500, 1500, 1500);
    sc.feed(a.data(), 5, out);
    EXPECT_EQ(sc.pending(), 5u);
    const std::uint8_t wrong[] = {0xAA, 0x00};
    sc.feed(a.data() + 5, 14, out);
    sc.feed(wrong, 1, out);  // the end mark position holds AA
    EXPECT_EQ(sc.pending(), 0u);
    EXPECT_EQ(sc.rejected(), 1u);
    EXPECT_TRUE(out.empty());
}
