// Frames per second of the runner as ArduPilot's physics: a C++ stand-in for
// ArduPilot sends servo packets to `uavsim-run --ardupilot` (the runner's own
// code, in this process) as fast as the replies come, one in flight at a
// time, as ArduPilot does in lockstep. A tool, not a Google Benchmark:
//
//     build/release/bench/bench_ardupilot [--seconds S] [--model FILE]
//
// The flight is the trainer released from the held start at once (full
// throttle), so the numbers include the dynamics tick, the control ticks, the
// reply's formatting and two UDP system calls each way.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "link/apsession.h"
#include "link/apstandin.h"
#include "tools/runnerardupilot.h"

#ifndef UAVSIM_SOURCE_DIR_DEFAULT
#define UAVSIM_SOURCE_DIR_DEFAULT "."
#endif

namespace {

// The work of one frame on both sides without the sockets: the stand-in's
// packet, the session, the channel map, one dynamics tick with its control
// ticks, the conversion, the reply text, and ArduPilot's reading of it. What
// the machine can do at most, whatever the scheduler does with two processes.
double framesPerSecondWithoutSockets(const std::string& model, double seconds) {
    using namespace uav;
    RunOptions opt;
    parseRunArgs({model, "--altitude", "300", "--speed", "58", "--angle", "0", "--quiet"}, opt);
    Flight flight = startRun(opt);
    ApSession session;
    ApLaunch launch;
    flight.shapeState([&](SimState& s) { launch = beginHeldLaunch(s); });
    ServoCommand cmd;
    ApServoPacket p;
    p.pwmUs.fill(1500);
    p.pwmUs[2] = 2000;
    ApFdm back;
    const auto t0 = std::chrono::steady_clock::now();
    std::uint32_t n = 0;
    double wall = 0.0;
    for (;; ++n) {
        if (n % 1024 == 0) {
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (wall >= seconds) break;
        }
        p.frameCount = n;
        p.pwmUs[0] = static_cast<std::uint16_t>(1400 + n % 200);
        const std::string bytes = encodeServoPacket(p);
        ApServoPacket got;
        session.accept("127.0.0.1:5000", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 0.0, got);
        cmd = commandFromServos(got, ApChannelMap{}, cmd);
        flight.setSliders(slidersFromCommand(cmd));
        if (launch.phase != LaunchPhase::Free)
            flight.shapeState([&](SimState& s) { prepareLaunchTick(launch, s, throttlePulseUs(got, ApChannelMap{})); });
        flight.tick();
        const SimState& s = flight.state();
        const ApReply r =
            writeFdmReply(fdmFromState(s, launchSpecificForceBody(launch, s, flight.aircraft().params), flight.time()));
        readFdmReplyAsArduPilot(r.text, back);
    }
    return static_cast<double>(n) / wall;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace uav;
    using Clock = std::chrono::steady_clock;
    double seconds = 5.0;
    std::string model = std::string(UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--model" && i + 1 < argc) model = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_ardupilot [--seconds S] [--model FILE]\n");
            return 2;
        }
    }
    RunOptions opt;
    parseRunArgs({model, "--ardupilot", "0", "--altitude", "300", "--speed", "58", "--angle", "0", "--seconds", "1e6",
                  "--quiet"},
                 opt);
    std::promise<int> bound;
    std::future<int> port = bound.get_future();
    RunSummary sum;
    ArduPilotRunReport report;
    std::thread runner([&] {
        Flight flight = startRun(opt);
        sum = flyArduPilotRun(opt, flight, nullptr, [&](int p) { bound.set_value(p); }, &report);
    });
    ApStandIn ap("127.0.0.1", port.get());
    ApServoPacket p;
    p.frameRateHz = 1200;
    p.pwmUs.fill(1500);
    p.pwmUs[2] = 2000;
    std::string reply;
    std::vector<double> rttUs;
    rttUs.reserve(1 << 20);
    const auto t0 = Clock::now();
    const auto until = t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::uint32_t n = 0;
    for (;; ++n) {
        const auto s = Clock::now();
        if (s >= until) break;
        p.frameCount = n;
        p.pwmUs[0] = static_cast<std::uint16_t>(1400 + n % 200);  // keep the ailerons busy
        if (!ap.send(p) || !ap.receive(reply, std::chrono::milliseconds(2000))) {
            std::fprintf(stderr, "bench_ardupilot: no reply to frame %u\n", n);
            return 1;
        }
        rttUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - s).count());
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    runner.join();  // ends 5 s after the last frame
    std::sort(rttUs.begin(), rttUs.end());
    auto pct = [&](double q) { return rttUs.empty() ? 0.0 : rttUs[static_cast<std::size_t>(q * static_cast<double>(rttUs.size() - 1))]; };
    ApFdm last;
    readFdmReplyAsArduPilot(reply, last);
    std::printf("frames %u in %.2f s: %.0f frames/s (%.0fx real time at 10 ms per frame)\n", n, wall, n / wall,
                n / wall * 0.01);
    std::printf("round trip us: median %.1f, 99%% %.1f, max %.1f\n", pct(0.5), pct(0.99), pct(1.0));
    std::printf("flight: %.1f s simulated, last reply altitude %.1f m, %u frames answered by the runner\n",
                last.timestampS, -last.posNed.z, static_cast<unsigned>(report.counters.frames));
    std::printf("without sockets (both sides' work in one thread): %.0f frames/s\n",
                framesPerSecondWithoutSockets(model, seconds));
    return 0;
}
