// The runner as ArduPilot's physics (its SITL "JSON" interface), in lockstep:
// each new servo packet sets the sliders from ArduPilot's outputs (through the
// channel map and the link's pulse-to-slider rule), advances the flight by one
// dynamics tick (10 ms; the control and loop ticks on every second one, as
// always), and is answered with the state after that tick. A resent frame is
// answered again without stepping; a frame count that goes back (ArduPilot
// started again) starts the flight again from its start. The run ends after
// --seconds of simulated time, or once ArduPilot, having sent, sends nothing
// for 5 s.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "link/apsession.h"
#include "tools/runner.h"

namespace uav {

// "--ardupilot [ADDR:]PORT": fills opt.apAddress and opt.apPort. Throws SimError.
void parseArduPilotAddress(const std::string& text, RunOptions& opt);

inline constexpr double AP_IDLE_END_S = 5.0;  // s of wall time without a datagram from the sender

struct ArduPilotRunReport {
    ApCounters counters;
    std::string sender;         // the last sender answered
    std::string endReason;      // why the run ended
    std::uint64_t sendFailures = 0;
    LaunchPhase launchPhase = LaunchPhase::Free;  // at the end
    double releasedAtS = -1.0;  // simulated s (of the runner's clock) when the catapult let go; -1: never
};

// Flies a started run (startRun) as ArduPilot's physics; a restart assigns
// `flight` a new start. `listening` is told the bound
// port (for port 0); `log` (may be null) gets one line per notable event: a
// restart, a second sender, the release.
RunSummary flyArduPilotRun(const RunOptions& opt, Flight& flight, std::ostream* csv,
                           const std::function<void(int port)>& listening, ArduPilotRunReport* report = nullptr,
                           std::ostream* log = nullptr);

void writeArduPilotSummary(std::ostream& out, const ArduPilotRunReport& r);

}  // namespace uav
