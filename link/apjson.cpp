#include "link/apjson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/errors.h"

namespace uav {

namespace {

std::uint16_t getLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | static_cast<unsigned>(p[1]) << 8);
}
std::uint32_t getLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void putLe16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
void putLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Numbers as ArduPilot's reader takes them: a point, no locale, the shortest
// text that reads back to the same value; NaN and infinity become 0 and are
// counted.
class NumberWriter {
public:
    explicit NumberWriter(std::string& out) : out_(out) {}
    void real(double v) {
        if (!std::isfinite(v)) {
            ++replaced;
            v = 0.0;
        }
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        out_.append(buf, r.ptr);
    }
    // A value ArduPilot reads as a single: rounded to one first, so that the
    // text is short and a double beyond a single's range is not sent.
    void single(double v) {
        constexpr double FLOAT_MAX = std::numeric_limits<float>::max();
        if (!std::isfinite(v) || std::fabs(v) > FLOAT_MAX) {
            ++replaced;
            v = 0.0;
        }
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
        out_.append(buf, r.ptr);
    }
    void vec(const Vec3& v, bool asSingle) {
        const double c[3] = {v.x, v.y, v.z};
        out_ += '[';
        for (int i = 0; i < 3; ++i) {
            if (i > 0) out_ += ',';
            if (asSingle) single(c[i]);
            else real(c[i]);
        }
        out_ += ']';
    }
    int replaced = 0;

private:
    std::string& out_;
};

ApChannel parseOneChannel(const std::string& all, std::string part, const char* name) {
    ApChannel c;
    if (!part.empty() && part[0] == '-') {
        c.reversed = true;
        part.erase(0, 1);
    }
    int v = 0;
    const auto r = std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() || v < 1 || v > 32)
        throw SimError("channel map '" + all + "': the " + name + " output '" + part + "' is not a number 1..32");
    c.output = v;
    return c;
}

std::int32_t pulseOf(const ApServoPacket& p, const ApChannel& c, std::int32_t previous) {
    if (c.output < 1 || c.output > p.channels) return previous;
    const std::int32_t us = p.pwmUs[static_cast<std::size_t>(c.output - 1)];
    if (us == 0) return previous;  // an output ArduPilot does not drive
    return c.reversed ? 3000 - us : us;
}

}  // namespace

const char* apPacketFaultText(ApPacketFault f) {
    switch (f) {
    case ApPacketFault::None: return "none";
    case ApPacketFault::WrongSize: return "wrong size";
    case ApPacketFault::WrongMagic: return "wrong magic";
    }
    return "?";
}

std::optional<ApServoPacket> decodeServoPacket(const std::uint8_t* bytes, std::size_t n, ApPacketFault* fault) {
    auto fail = [&](ApPacketFault f) -> std::optional<ApServoPacket> {
        if (fault) *fault = f;
        return std::nullopt;
    };
    if (n != AP_PACKET_16_BYTES && n != AP_PACKET_32_BYTES) return fail(ApPacketFault::WrongSize);
    const std::uint16_t magic = getLe16(bytes);
    const std::uint16_t wanted = n == AP_PACKET_16_BYTES ? AP_MAGIC_16 : AP_MAGIC_32;
    if (magic != wanted) return fail(ApPacketFault::WrongMagic);
    ApServoPacket p;
    p.frameRateHz = getLe16(bytes + 2);
    p.frameCount = getLe32(bytes + 4);
    p.channels = n == AP_PACKET_16_BYTES ? 16 : 32;
    for (int i = 0; i < p.channels; ++i) p.pwmUs[static_cast<std::size_t>(i)] = getLe16(bytes + 8 + 2 * i);
    if (fault) *fault = ApPacketFault::None;
    return p;
}

std::string encodeServoPacket(const ApServoPacket& p) {
    const int channels = p.channels == 32 ? 32 : 16;
    std::string out;
    out.reserve(AP_PACKET_32_BYTES);
    putLe16(out, channels == 32 ? AP_MAGIC_32 : AP_MAGIC_16);
    putLe16(out, p.frameRateHz);
    putLe32(out, p.frameCount);
    for (int i = 0; i < channels; ++i) putLe16(out, p.pwmUs[static_cast<std::size_t>(i)]);
    return out;
}

ApReply writeFdmReply(const ApFdm& f) {
    ApReply r;
    std::string& t = r.text;
    t.reserve(320);
    NumberWriter w(t);
    t += "\n{\"timestamp\":";
    w.real(f.timestampS);
    t += ",\"imu\":{\"gyro\":";
    w.vec(f.gyroFrd, true);
    t += ",\"accel_body\":";
    w.vec(f.accelFrd, true);
    t += "},\"position\":";
    w.vec(f.posNed, false);
    t += ",\"velocity\":";
    w.vec(f.velNed, true);
    t += ",\"attitude\":";
    w.vec(f.eulerRad, true);
    t += ",\"airspeed\":";
    w.single(f.airspeedMs);
    t += "}\n";
    r.nonFiniteReplaced = w.replaced;
    return r;
}

namespace {

const char* afterKey(const char* json, const char* key) {
    const char* p = std::strstr(json, key);
    return p ? p + std::strlen(key) + 2 : nullptr;  // past the closing quote and the colon
}

bool readVec(const char* json, const char* key, Vec3& v) {
    const char* p = afterKey(json, key);
    float x = 0, y = 0, z = 0;
    if (!p || std::sscanf(p, "[%f, %f, %f]", &x, &y, &z) != 3) return false;
    v = {x, y, z};
    return true;
}

}  // namespace

bool readFdmReplyAsArduPilot(const std::string& text, ApFdm& out) {
    const char* json = text.c_str();
    const char* ts = afterKey(json, "timestamp");
    if (!ts) return false;
    out.timestampS = std::strtod(ts, nullptr);
    const char* imu = std::strstr(json, "imu");
    if (!imu) return false;
    if (!readVec(imu, "gyro", out.gyroFrd) || !readVec(imu, "accel_body", out.accelFrd)) return false;
    const char* pos = afterKey(json, "position");
    double n = 0, e = 0, d = 0;
    if (!pos || std::sscanf(pos, "[%lf, %lf, %lf]", &n, &e, &d) != 3) return false;
    out.posNed = {n, e, d};
    if (!readVec(json, "attitude", out.eulerRad) || !readVec(json, "velocity", out.velNed)) return false;
    const char* as = afterKey(json, "airspeed");
    out.airspeedMs = as ? std::strtod(as, nullptr) : 0.0;
    return true;
}

Vec3 apEulerFromOrient(const Mat3& o) {
    // Body axes in NED: forward = row 0, right = row 2, down = -row 1.
    const double sinPitch = std::clamp(o.m[0][1], -1.0, 1.0);
    return {std::atan2(-o.m[2][1], o.m[1][1]), std::asin(sinPitch), std::atan2(o.m[0][2], o.m[0][0])};
}

Vec3 specificForceBody(const SimState& s, const ModelParams& mp) {
    if (!(mp.mass > 0.0)) return {};
    Vec3 f = s.thrustBody;
    for (const Vec3& e : s.elemForceBody) f = VecAdd(f, e);
    return VecScale(f, 1.0 / mp.mass);
}

Vec3 kinematicSpecificForceBody(const Mat3& orient, const Vec3& accelEarth) {
    const Vec3 gravityEarth{0.0, -GRAVITY_G, 0.0};
    return MatVec(orient, VecSub(accelEarth, gravityEarth));
}

ApFdm fdmFromState(const SimState& s, const Vec3& specificForceBodyMs2, double timestampS) {
    ApFdm f;
    f.timestampS = timestampS;
    f.gyroFrd = bodyToFrd(s.omegaBody);
    f.accelFrd = bodyToFrd(specificForceBodyMs2);
    f.posNed = {s.posX, s.posZ, -s.posH};
    f.velNed = earthToNed(s.velocity);
    f.eulerRad = apEulerFromOrient(s.orient);
    f.airspeedMs = std::max(0.0, -s.airflowBody.x);
    return f;
}

ApChannelMap parseChannelMap(const std::string& text) {
    std::string parts[4];
    int n = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        if (n == 4) throw SimError("channel map '" + text + "': more than four outputs");
        parts[n++] = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (n != 4)
        throw SimError("channel map '" + text + "': four outputs are needed (aileron,elevator,throttle,rudder)");
    ApChannelMap m;
    m.aileron = parseOneChannel(text, parts[0], "aileron");
    m.elevator = parseOneChannel(text, parts[1], "elevator");
    m.throttle = parseOneChannel(text, parts[2], "throttle");
    m.rudder = parseOneChannel(text, parts[3], "rudder");
    return m;
}

std::string channelMapText(const ApChannelMap& m) {
    std::string t;
    for (const ApChannel* c : {&m.aileron, &m.elevator, &m.throttle, &m.rudder}) {
        if (!t.empty()) t += ',';
        if (c->reversed) t += '-';
        t += std::to_string(c->output);
    }
    return t;
}

ServoCommand commandFromServos(const ApServoPacket& p, const ApChannelMap& m, const ServoCommand& previous) {
    ServoCommand c;
    c.ail = pulseOf(p, m.aileron, previous.ail);
    c.elev = pulseOf(p, m.elevator, previous.elev);
    c.thr = pulseOf(p, m.throttle, previous.thr);
    c.rud = pulseOf(p, m.rudder, previous.rud);
    return c;
}

int throttlePulseUs(const ApServoPacket& p, const ApChannelMap& m) {
    if (m.throttle.output < 1 || m.throttle.output > p.channels) return 0;
    const int us = p.pwmUs[static_cast<std::size_t>(m.throttle.output - 1)];
    return m.throttle.reversed && us != 0 ? 3000 - us : us;
}

int modeSwitchPulseUs(int position) {
    const int pos = std::clamp(position, 1, AP_MODE_SWITCH_POSITIONS);
    return 1165 + 130 * (pos - 1);
}

std::array<std::uint16_t, 8> rcFromSliders(const SliderPositions& p, int modeSwitchPosition) {
    auto pulse = [](int us) { return static_cast<std::uint16_t>(std::clamp(us, 1000, 2000)); };
    std::array<std::uint16_t, 8> rc;
    rc.fill(1500);
    rc[0] = pulse(1500 + 5 * p.ailerons);  // +100: right
    rc[1] = pulse(1500 + 5 * p.elevator);  // +100: stick back, pitch up
    rc[2] = pulse(1500 - 5 * p.throttle);  // -100 (top): full throttle
    rc[3] = pulse(1500 + 5 * p.rudder);    // +100: right
    rc[AP_MODE_SWITCH_CHANNEL - 1] = static_cast<std::uint16_t>(modeSwitchPulseUs(modeSwitchPosition));
    return rc;
}

std::string encodeRcInput(const std::array<std::uint16_t, 8>& pulsesUs) {
    std::string out;
    for (std::uint16_t v : pulsesUs) putLe16(out, v);
    return out;
}

}  // namespace uav
