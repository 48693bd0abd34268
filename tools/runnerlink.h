// The runner's autopilot link: the same TCP link as the connection window,
// serving an external autopilot from a headless flight.
//
// Real time (--link): the flight is paced by the wall clock, one dynamics tick
// every 10 ms as in the window; any number of clients; their commands move
// the sliders before the next tick and each reply carries the last tick.
//
// Lockstep (--link --lockstep): one client; each valid frame sets the
// sliders, advances the flight by one control period (two dynamics ticks,
// the control tick and the loop tick on the first), and is then answered with
// the state at the end of that period. A reply waits for as long as the
// client takes to read (there is no other client to protect), so a client
// that sends many frames before reading loses none. Nothing moves between frames, so the
// same frames always give the same replies, as fast as both sides can go.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/runner.h"

namespace uav {

// "--link [ADDR:]PORT": fills opt.linkAddress and opt.linkPort. Throws SimError.
void parseLinkAddress(const std::string& text, RunOptions& opt);

// No client connected to a lockstep run within its --client-wait.
class NoLinkClient : public SimError {
public:
    using SimError::SimError;
};

struct LinkRunReport {
    std::uint64_t framesAnswered = 0;
    std::uint64_t connections = 0;
    // Each client the link refused or dropped, and why, in order (one line each).
    std::vector<std::string> drops;
};

// Flies `opt` (opt.linkPort set) serving the link. `listening` is told the
// bound port once clients can connect (the port of "--link 0"); `report`
// and `warnings` (as runFlight's) may be null. A lockstep run whose client
// does not come within opt.clientWait throws NoLinkClient naming the address.
RunSummary runLinkFlight(const RunOptions& opt, std::ostream* csv, const std::function<void(int port)>& listening,
                         LinkRunReport* report = nullptr, std::ostream* warnings = nullptr);
// The same for a run that startRun has already started (see flyStartedRun).
RunSummary flyStartedLinkRun(const RunOptions& opt, Flight& flight, std::ostream* csv,
                             const std::function<void(int port)>& listening, LinkRunReport* report = nullptr);

}  // namespace uav
