#include "tools/runnerardupilot.h"

#include <chrono>
#include <cstdio>
#include <ostream>

#include "core/errors.h"
#include "link/apudp.h"
#include "link/server.h"

namespace uav {

namespace {

// The next frame usually comes within tens of microseconds of a reply: spin
// that long before blocking (see spinUntilReadable).
constexpr std::chrono::microseconds AP_SPIN{200};

class ArduPilotDriver final : public TickDriver {
public:
    ArduPilotDriver(const RunOptions& opt, const std::function<void(int)>& listening, std::ostream* log)
        : opt_(opt), endpoint_(opt.apAddress, opt.apPort), log_(log), t0_(std::chrono::steady_clock::now()) {
        if (listening) listening(endpoint_.port());
    }

    bool beforeTick(std::int64_t i, Flight& flight) override {
        flight_ = &flight;
        for (;;) {
            const double now = nowS();
            const bool active = session_.hasSender();
            if (active && now - session_.lastFrameAtS() >= AP_IDLE_END_S) {
                report_.endReason = "ArduPilot sent nothing for 5 s";
                return false;
            }
            const double waitS = active ? AP_IDLE_END_S - (now - session_.lastFrameAtS()) : 1.0;
            const auto wait = std::chrono::milliseconds(static_cast<long>(waitS * 1000.0) + 1);
            UdpPeer from;
            const long n = endpoint_.receive(buf_, sizeof buf_, from, wait, AP_SPIN);
            if (n < 0) continue;
            if (!(from == lastPeer_) || lastPeerText_.empty()) {
                lastPeer_ = from;
                lastPeerText_ = from.text();
            }
            ApServoPacket p;
            const ApFrameAction a = session_.accept(lastPeerText_, buf_, static_cast<std::size_t>(n), nowS(), p);
            std::string other;
            if (log_ && session_.takeOtherSenderNotice(other))
                *log_ << "uavsim-run: ignoring ArduPilot packets from " << other << " while " << session_.sender()
                      << " is active\n";
            switch (a) {
            case ApFrameAction::Ignore:
                continue;
            case ApFrameAction::Repeat:
                if (!lastReply_.empty() && !endpoint_.sendTo(from, lastReply_.data(), lastReply_.size()))
                    ++report_.sendFailures;
                continue;
            case ApFrameAction::Restart:
                // ArduPilot started again: so does the flight, from the same start.
                flight = startRun(opt_);
                if (log_)
                    *log_ << "uavsim-run: ArduPilot started again (its frame count went back): the flight starts "
                             "again from its start\n";
                beginFlight(flight);
                break;
            case ApFrameAction::Step:
                if (i == 0) beginFlight(flight);
                break;
            }
            peer_ = from;
            command_ = commandFromServos(p, opt_.apChannels, command_);
            flight.setSliders(slidersFromCommand(command_));
            throttleUs_ = throttlePulseUs(p, opt_.apChannels);
            if (launch_.phase != LaunchPhase::Free) {
                flight.shapeState([&](SimState& s) { prepareLaunchTick(launch_, s, throttleUs_); });
                if (launch_.phase != LaunchPhase::Held && report_.releasedAtS < 0) {
                    report_.releasedAtS = static_cast<double>(i) * flight.state().dt;
                    if (log_) {
                        char line[160];
                        std::snprintf(line, sizeof line,
                                      "uavsim-run: throttle %d us: released at %.2f s, catapult to %.1f m/s over "
                                      "%.1f s\n",
                                      throttleUs_, report_.releasedAtS, launch_.releaseSpeedMs, ApLaunch::STROKE_S);
                        *log_ << line;
                    }
                }
            }
            return true;
        }
    }

    void afterTick(std::int64_t, const SimState& s) override {
        const ApReply r = writeFdmReply(
            fdmFromState(s, launchSpecificForceBody(launch_, s, flight_->aircraft().params), flight_->time()));
        session_.counters().nonFinite += static_cast<std::uint64_t>(r.nonFiniteReplaced);
        lastReply_ = r.text;
        if (!endpoint_.sendTo(peer_, lastReply_.data(), lastReply_.size())) ++report_.sendFailures;
    }

    ArduPilotRunReport report(std::int64_t ticks, std::int64_t wanted) const {
        ArduPilotRunReport r = report_;
        r.counters = session_.counters();
        r.sender = session_.sender();
        r.launchPhase = launch_.phase;
        if (r.endReason.empty())
            r.endReason = ticks >= wanted ? "--seconds of simulated time flown" : "the flight stopped";
        return r;
    }

private:
    // The start of a flight (the first frame, and each restart): held, or
    // free from the initial conditions.
    void beginFlight(Flight& flight) {
        if (opt_.apHeldStart) {
            flight.shapeState([&](SimState& s) { launch_ = beginHeldLaunch(s); });
        } else {
            launch_ = ApLaunch{};
            launch_.phase = LaunchPhase::Free;
        }
        report_.releasedAtS = -1.0;
    }

    double nowS() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    }

    const RunOptions& opt_;
    UdpEndpoint endpoint_;
    std::ostream* log_;
    std::chrono::steady_clock::time_point t0_;
    Flight* flight_ = nullptr;
    ApSession session_;
    ApLaunch launch_;
    ArduPilotRunReport report_;
    UdpPeer peer_, lastPeer_;
    std::string lastPeerText_, lastReply_;
    ServoCommand command_;  // the pulses last sent: an output ArduPilot leaves at 0 keeps them
    int throttleUs_ = 0;
    std::uint8_t buf_[AP_PACKET_32_BYTES + 1];
};

}  // namespace

void parseArduPilotAddress(const std::string& text, RunOptions& opt) {
    const std::size_t colon = text.rfind(':');
    const std::string port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (colon != std::string::npos) opt.apAddress = text.substr(0, colon);
    try {
        opt.apPort = parsePortText(port);
        udpPeer(opt.apAddress, opt.apPort);
    } catch (const SimError& e) {
        throw SimError(std::string("option --ardupilot: ") + e.what());
    }
}

RunSummary flyArduPilotRun(const RunOptions& opt, Flight& flight, std::ostream* csv,
                           const std::function<void(int)>& listening, ArduPilotRunReport* report, std::ostream* log) {
    ArduPilotDriver d(opt, listening, log);
    const double dt = flight.state().dt;
    RunSummary sum = flyStartedRun(opt, flight, csv, &d);
    if (report) *report = d.report(sum.ticks, std::llround(opt.seconds / dt));
    return sum;
}

void writeArduPilotSummary(std::ostream& out, const ArduPilotRunReport& r) {
    const ApCounters& c = r.counters;
    out << "ardupilot: " << c.frames << " frames answered, " << c.repeats << " resent frames answered again, "
        << c.restarts << " restarts, " << c.countJumps << " frame-count jumps; ignored: " << c.wrongSize
        << " of a wrong size, " << c.wrongMagic << " with a wrong magic, " << c.otherSender
        << " from a second sender; " << c.nonFinite << " non-finite values sent as 0, " << r.sendFailures
        << " replies not sent\n";
    out << "ardupilot: launch " << launchPhaseText(r.launchPhase);
    if (r.releasedAtS >= 0) {
        char t[64];
        std::snprintf(t, sizeof t, " (released at %.2f s)", r.releasedAtS);
        out << t;
    }
    out << "; sender " << (r.sender.empty() ? std::string("none") : r.sender) << "; ended: " << r.endReason << '\n';
}

}  // namespace uav
