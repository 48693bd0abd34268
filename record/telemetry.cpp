#include "record/telemetry.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "control/autopilot.h"

namespace uav {

namespace {

constexpr double RAD_TO_DEG = 180.0 / PI;

// Compact, exact CSV numbers (shortest round-trip form), one write per row.
class Row {
public:
    void num(double v) {
        if (n_) buf_[len_++] = ',';
        const auto r = std::to_chars(buf_ + len_, buf_ + sizeof buf_ - 1, v);
        len_ = static_cast<std::size_t>(r.ptr - buf_);
        ++n_;
    }
    void text(const std::string& t) {
        if (n_) buf_[len_++] = ',';
        t.copy(buf_ + len_, t.size());
        len_ += t.size();
        ++n_;
    }
    void end(std::ostream& out) {
        buf_[len_++] = '\n';
        out.write(buf_, static_cast<std::streamsize>(len_));
        len_ = 0;
        n_ = 0;
    }

private:
    char buf_[4096];  // 53 numbers of at most 24 characters each
    std::size_t len_ = 0;
    int n_ = 0;
};

std::array<std::string, PLOT_QUANTITY_COUNT> makeNames() {
    std::array<std::string, PLOT_QUANTITY_COUNT> n;
    const char* fixed[] = {"posX_m",          "posH_m",          "posZ_m",          "posD_m",
                           "velN_ms",         "velUp_ms",        "velE_ms",         "roll_deg",
                           "pitch_deg",       "yaw_deg",         "airspeed_ms",     "airflowBodyX_ms",
                           "airflowBodyY_ms", "airflowBodyZ_ms", "omegaBodyX_rads", "omegaBodyY_rads",
                           "omegaBodyZ_rads", "thrustX_N",       "thrustY_N",       "thrustZ_N"};
    std::size_t k = 0;
    for (const char* f : fixed) n[k++] = f;
    for (int i = 0; i < ELEMENT_COUNT; ++i) n[k++] = "servo" + std::to_string(i);
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (const char* axis : {"x", "y", "z"}) n[k++] = "F" + std::to_string(i) + axis + "_N";
    const char* loops[LOOP_COUNT][2] = {{"rollLoop", "_deg"},    {"pitchLoop", "_deg"},    {"speedLoop", "_ms"},
                                        {"altitudeLoop", "_m"},  {"headingLoop", "_deg"},  {"rollRateLoop", "_rads"},
                                        {"yawRateLoop", "_rads"}, {"pitchRateLoop", "_rads"}};
    for (const auto& l : loops) {
        n[k++] = std::string(l[0]) + ".setpoint" + l[1];
        n[k++] = std::string(l[0]) + ".error" + l[1];
    }
    return n;
}

}  // namespace

const std::array<std::string, PLOT_QUANTITY_COUNT>& plotQuantityNames() {
    static const auto names = makeNames();
    return names;
}

void telemetryValues(const SimState& s, double* out) {
    auto vec = [&out](const Vec3& v) {
        *out++ = v.x;
        *out++ = v.y;
        *out++ = v.z;
    };
    *out++ = s.posX;
    *out++ = s.posH;
    *out++ = s.posZ;
    *out++ = s.posD;
    vec(s.velocity);
    *out++ = s.rollAngle * RAD_TO_DEG;
    *out++ = s.pitchAngle * RAD_TO_DEG;
    *out++ = s.yawAngle * RAD_TO_DEG;
    *out++ = -s.airflowBody.x;
    vec(s.airflowBody);
    vec(s.omegaBody);
    vec(s.thrustBody);
    for (double p : s.servoPos) *out++ = p;
    for (const Vec3& f : s.elemForceBody) vec(f);
}

void loopValues(const Autopilot& ap, double* out) {
    const AutopilotLoops& l = ap.loops;
    const PidLoop* loops[LOOP_COUNT] = {&l.rollLoop,    &l.pitchLoop,    &l.speedLoop,   &l.altitudeLoop,
                                        &l.headingLoop, &l.rollRateLoop, &l.yawRateLoop, &l.pitchRateLoop};
    for (int i = 0; i < LOOP_COUNT; ++i) {
        // Bank, pitch and bearing are angles: degrees, as the attitude columns.
        const double scale = (i == 0 || i == 1 || i == 4) ? RAD_TO_DEG : 1.0;
        *out++ = loops[i]->setpoint * scale;
        *out++ = (loops[i]->setpoint - loops[i]->measured) * scale;
    }
}

void writeTelemetryHeader(std::ostream& out) {
    std::string h = "t_s";
    const auto& names = plotQuantityNames();
    for (int i = 0; i < TELEMETRY_COUNT; ++i) h += "," + names[static_cast<std::size_t>(i)];
    h += '\n';
    out << h;
}

std::string tickTimeText(std::int64_t tick, double dt) {
    // Whole hundredths: the tick count times dt (0.01 s) rounds to an integer
    // exactly for any flight shorter than millions of years.
    const long long centis = std::llround(static_cast<double>(tick) * dt * 100.0);
    const unsigned long long a = centis < 0 ? 0ull - static_cast<unsigned long long>(centis)
                                            : static_cast<unsigned long long>(centis);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%llu.%02llu", centis < 0 ? "-" : "", a / 100, a % 100);
    return buf;
}

void writeTelemetryRow(std::ostream& out, std::int64_t tick, const SimState& s) {
    double v[TELEMETRY_COUNT];
    telemetryValues(s, v);
    writeTelemetryRow(out, tick, s.dt, v);
}

void writeTelemetryRow(std::ostream& out, std::int64_t tick, double dt, const double* values) {
    Row r;
    r.text(tickTimeText(tick, dt));
    for (int i = 0; i < TELEMETRY_COUNT; ++i) r.num(values[i]);
    r.end(out);
}

void telemetryAfterTick(std::ostream& out, std::int64_t tick, std::int64_t startTick, const SimState& s) {
    if (tick % CSV_TICKS == 0) writeTelemetryRow(out, startTick + tick, s);
}

}  // namespace uav
