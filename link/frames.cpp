#include "link/frames.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/vecmath.h"

namespace uav {

namespace {

void putLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t getLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void putFloat(std::uint8_t* p, double v) {
    constexpr double FLOAT_MAX = std::numeric_limits<float>::max();
    const float f = std::isfinite(v) && std::fabs(v) <= FLOAT_MAX ? static_cast<float>(v) : 0.0f;
    putLe32(p, std::bit_cast<std::uint32_t>(f));
}

double getFloat(const std::uint8_t* p) { return static_cast<double>(std::bit_cast<float>(getLe32(p))); }

int sliderPosition(double v) { return static_cast<int>(std::clamp(roundHalfEven(v), -100.0, 100.0)); }

}  // namespace

LinkTelemetry telemetryFromState(const SimState& s) {
    LinkTelemetry t;
    t.roll = s.rollAngle;
    t.pitch = s.pitchAngle;
    t.yaw = s.yawAngle;
    t.groundSpeed = VecNorm(s.velocity);
    t.airspeed = VecNorm(s.airflowBody);
    t.altitude = s.posH;
    t.north = s.posX;
    t.east = s.posZ;
    return t;
}

CommandFrame encodeCommand(const ServoCommand& c) {
    CommandFrame f{};
    f[0] = FRAME_START;
    f[1] = FRAME_SECOND;
    f[2] = COMMAND_LENGTH_BYTE;
    putLe32(&f[3], static_cast<std::uint32_t>(c.ail));
    putLe32(&f[7], static_cast<std::uint32_t>(c.elev));
    putLe32(&f[11], static_cast<std::uint32_t>(c.rud));
    putLe32(&f[15], static_cast<std::uint32_t>(c.thr));
    f[19] = FRAME_END;
    return f;
}

ReplyFrame encodeReply(const LinkTelemetry& t) {
    ReplyFrame f{};
    f[0] = FRAME_START;
    f[1] = FRAME_SECOND;
    f[2] = REPLY_LENGTH_BYTE;
    const double values[8] = {t.roll, t.pitch, t.yaw, t.groundSpeed, t.airspeed, t.altitude, t.north, t.east};
    for (int i = 0; i < 8; ++i) putFloat(&f[static_cast<std::size_t>(3 + 4 * i)], values[i]);
    f[35] = FRAME_END;
    return f;
}

bool decodeReply(const std::uint8_t* b, std::size_t n, LinkTelemetry& out) {
    if (n != REPLY_FRAME_SIZE || b[0] != FRAME_START || b[1] != FRAME_SECOND || b[2] != REPLY_LENGTH_BYTE ||
        b[35] != FRAME_END)
        return false;
    double* fields[8] = {&out.roll,     &out.pitch,    &out.yaw,   &out.groundSpeed,
                         &out.airspeed, &out.altitude, &out.north, &out.east};
    for (int i = 0; i < 8; ++i) *fields[i] = getFloat(b + 3 + 4 * i);
    return true;
}

SliderPositions slidersFromCommand(const ServoCommand& c) {
    // In doubles: 1500 - INT32_MIN does not fit an int.
    auto fromCentre = [](std::int32_t us) { return (static_cast<double>(us) - 1500.0) / 5.0; };
    SliderPositions p;
    p.ailerons = sliderPosition(fromCentre(c.ail));
    p.rudder = sliderPosition(-fromCentre(c.rud));
    p.elevator = sliderPosition(fromCentre(c.elev));
    p.throttle = sliderPosition(-fromCentre(c.thr));
    return p;
}

std::string commandText(const ServoCommand& c) {
    return "элер, мс = " + std::to_string(c.ail) + "\rРВ, мс = " + std::to_string(c.elev) + "\rрудер, мс = " +
           std::to_string(c.rud) + "\rгаз, мс = " + std::to_string(c.thr);
}

std::size_t FrameScanner::feed(const std::uint8_t* bytes, std::size_t n, std::vector<ServoCommand>& out) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        if (have_ == 0) {  // pass step 1: a wrong byte costs itself
            if (b == FRAME_START) frame_[have_++] = b;
            continue;
        }
        if (have_ < 3) {  // steps 2 and 3: a wrong byte ends the pass
            if (b == (have_ == 1 ? FRAME_SECOND : COMMAND_LENGTH_BYTE)) {
                frame_[have_++] = b;
            } else {
                have_ = 0;
                ++rejected_;
            }
            continue;
        }
        // Body: copy as much of the 17 bytes as this piece holds.
        const std::size_t take = std::min(COMMAND_FRAME_SIZE - have_, n - i);
        std::memcpy(&frame_[have_], bytes + i, take);
        have_ += take;
        i += take - 1;
        if (have_ < COMMAND_FRAME_SIZE) continue;
        have_ = 0;
        if (frame_[19] != FRAME_END) {
            ++rejected_;
            continue;
        }
        out.push_back(ServoCommand{static_cast<std::int32_t>(getLe32(&frame_[3])),
                                   static_cast<std::int32_t>(getLe32(&frame_[7])),
                                   static_cast<std::int32_t>(getLe32(&frame_[11])),
                                   static_cast<std::int32_t>(getLe32(&frame_[15]))});
        ++found;
    }
    return found;
}

}  // namespace uav
