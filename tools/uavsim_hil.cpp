// uavsim-hil: an external autopilot on the simulator's link, as an example to
// copy. It connects, checks the greeting, sends one command frame per step at
// a chosen rate, decodes each reply, prints attitude and position, and
// measures round-trip times. With --level it flies a small wing leveller
// (proportional aileron on bank, elevator on pitch) instead of fixed pulses.
//
//   uavsim-hil --port 9099 --rate 50 --seconds 10 --thr 1300
//   uavsim-run models/trainer.mdl --link 9099 --lockstep --seconds 60 &
//   uavsim-hil --port 9099 --rate 0 --seconds 60 --level      # as fast as it goes
//
// Started together with its server, it keeps trying a refused connection for
// --connect-wait seconds (5 by default).
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "link/hilclient.h"
#include "packaging/version.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double RAD_TO_DEG = 57.29577951308232;

struct Options {
    std::string host = "127.0.0.1";
    int port = 9099;
    double rate = 50.0;          // frames per second; 0: the next frame as soon as the reply is in
    double seconds = 10.0;       // how long to send (of this program's steps: frames = rate x seconds)
    long frames = -1;            // instead of seconds
    uav::ServoCommand pulses;    // us, 1000..2000, 1500 centre
    bool level = false;
    long printEvery = -1;        // a telemetry line every N frames; default: about twice a second
    double connectWait = 5.0;    // s: how long a refused connection is tried again
};

const char* usage =
    "Usage: uavsim-hil [options]\n"
    "  --host H         server address (default 127.0.0.1)\n"
    "  --port P         server port (default 9099)\n"
    "  --rate HZ        frames per second; 0 sends each frame when the last reply is in (default 50)\n"
    "  --seconds S      run time, at --rate (default 10); with --rate 0: frames x 0.02 s simulated\n"
    "  --frames N       number of frames instead of --seconds\n"
    "  --ail US --elev US --rud US --thr US   fixed pulse widths, microseconds (default 1500 each)\n"
    "  --level          hold the wings level and the nose 5 deg up with ailerons and elevator\n"
    "  --print-every N  one telemetry line every N frames\n"
    "  --connect-wait S keep trying a refused connection for S seconds, for a server\n"
    "                   started at the same time (default 5; 0 tries once)\n"
    "  --help           this text\n"
    "  --version        the version and the git description it was built from\n";

double number(const std::string& opt, const std::string& text) {
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v))
        throw uav::SimError("option " + opt + ": '" + text + "' is not a number");
    return v;
}

std::int32_t pulse(const std::string& opt, const std::string& text) {
    const double v = number(opt, text);
    if (v < -1e9 || v > 1e9) throw uav::SimError("option " + opt + ": out of range");
    return static_cast<std::int32_t>(std::lround(v));
}

int port(const std::string& opt, const std::string& text) {
    const double v = number(opt, text);
    if (v != std::floor(v) || v < 0 || v > 65535)
        throw uav::SimError("option " + opt + ": '" + text + "' is not a port (0..65535)");
    return static_cast<int>(v);
}

// The wing leveller: bank and pitch errors to pulse widths. On this link a
// longer aileron pulse rolls the model to the right (positive bank) and a
// longer elevator pulse pitches the nose up.
uav::ServoCommand leveller(const uav::LinkTelemetry& t, std::int32_t throttle) {
    constexpr double ROLL_GAIN = 600.0;    // us per rad of bank
    constexpr double PITCH_GAIN = 800.0;   // us per rad of pitch error
    constexpr double PITCH_TARGET = 5.0 / RAD_TO_DEG;
    auto clampUs = [](double us) { return static_cast<std::int32_t>(std::clamp(std::lround(us), 1000L, 2000L)); };
    uav::ServoCommand c;
    c.ail = clampUs(1500.0 - ROLL_GAIN * t.roll);
    c.elev = clampUs(1500.0 + PITCH_GAIN * (PITCH_TARGET - t.pitch));
    c.thr = throttle;
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    // --version wins over every other option, whatever else is given.
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--version") {
            std::fputs(uav::versionText("uavsim-hil").c_str(), stdout);
            return 0;
        }
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw uav::SimError("option " + a + " needs a value");
                return argv[++i];
            };
            if (a == "--help" || a == "-h") {
                std::fputs(usage, stdout);
                return 0;
            } else if (a == "--host") o.host = value();
            else if (a == "--port") o.port = port(a, value());
            else if (a == "--rate") o.rate = std::max(0.0, number(a, value()));
            else if (a == "--seconds") o.seconds = number(a, value());
            else if (a == "--frames") o.frames = static_cast<long>(number(a, value()));
            else if (a == "--ail") o.pulses.ail = pulse(a, value());
            else if (a == "--elev") o.pulses.elev = pulse(a, value());
            else if (a == "--rud") o.pulses.rud = pulse(a, value());
            else if (a == "--thr") o.pulses.thr = pulse(a, value());
            else if (a == "--level") o.level = true;
            else if (a == "--print-every") o.printEvery = static_cast<long>(number(a, value()));
            else if (a == "--connect-wait") o.connectWait = std::clamp(number(a, value()), 0.0, 3600.0);
            else throw uav::SimError("unknown option " + a + " (see --help)");
        }
        const double stepSeconds = o.rate > 0 ? 1.0 / o.rate : 0.02;  // lockstep: one control period a frame
        const long frames = o.frames >= 0 ? o.frames : std::lround(o.seconds / stepSeconds);
        const long printEvery = o.printEvery > 0 ? o.printEvery : std::max(1L, std::lround(0.5 / stepSeconds));

        const auto client = uav::connectRetrying(
            o.host, o.port, std::chrono::milliseconds(std::lround(o.connectWait * 1000.0)));
        uav::HilClient& link = *client;
        if (o.rate <= 0) link.setSpin(std::chrono::microseconds(200));  // lockstep: the reply is microseconds away
        std::printf("connected to %s:%d, greeting checked; %ld frames at %s\n", o.host.c_str(), o.port, frames,
                    o.rate > 0 ? (std::to_string(o.rate) + " Hz").c_str() : "lockstep pace");
        std::vector<double> rttMicros;
        rttMicros.reserve(static_cast<std::size_t>(frames));
        uav::LinkTelemetry t;
        uav::ServoCommand cmd = o.pulses;
        const Clock::time_point start = Clock::now();
        std::string stopped;
        long sent = 0;  // frames written to the link
        for (long k = 0; k < frames && stopped.empty(); ++k) {
            if (o.rate > 0)
                std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(static_cast<double>(k) / o.rate)));
            if (o.level && k > 0) cmd = leveller(t, o.pulses.thr);
            const Clock::time_point sentAt = Clock::now();
            try {
                link.sendCommand(cmd);
                ++sent;  // counted once the frame is written, answered or not
                t = link.readReply();
            } catch (const uav::SimError& e) {
                stopped = e.what();  // the flight ended or the server went: report what was measured
                break;
            }
            rttMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sentAt).count());
            if ((k + 1) % printEvery == 0)
                std::printf("#%-7ld roll %6.1f  pitch %6.1f  yaw %6.1f deg  ground %5.1f  air %5.1f km/h  "
                            "alt %7.1f  N %8.1f  E %8.1f m  rtt %6.0f us\n",
                            k + 1, t.roll * RAD_TO_DEG, t.pitch * RAD_TO_DEG, t.yaw * RAD_TO_DEG, t.groundSpeed * 3.6,
                            t.airspeed * 3.6, t.altitude, t.north, t.east, rttMicros.back());
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        std::sort(rttMicros.begin(), rttMicros.end());
        auto pct = [&](double p) {
            return rttMicros.empty() ? 0.0 : rttMicros[static_cast<std::size_t>(p * static_cast<double>(rttMicros.size() - 1))];
        };
        std::printf("%ld frames sent, %zu answered in %.2f s (%.0f frames/s); round trip p50 %.0f us, p99 %.0f us, "
                    "max %.0f us\n",
                    sent, rttMicros.size(), wall, wall > 0 ? static_cast<double>(rttMicros.size()) / wall : 0.0,
                    pct(0.5), pct(0.99), rttMicros.empty() ? 0.0 : rttMicros.back());
        if (!stopped.empty()) std::fprintf(stderr, "uavsim-hil: stopped early: %s\n", stopped.c_str());
        return stopped.empty() ? 0 : 1;
    } catch (const uav::SimError& e) {
        std::fprintf(stderr, "uavsim-hil: %s\n", e.what());
        return 2;
    }
}
