// The headless runner: flies a model file with fixed inputs in simulated time
// as fast as the machine allows and writes CSV telemetry.
#pragma once

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "control/autopilot.h"
#include "flight/flight.h"
#include "link/apjson.h"
#include "core/errors.h"
#include "core/simstate.h"
#include "model/apply.h"

namespace uav {

// The runner's command line: the flight's options (modelPath, initial
// conditions, wind, gusts, sliders, mode, settings; see flight/flight.h), its
// schedule and its output. `mode` is engaged at engageAt, not by the start-up.
struct RunOptions : FlightOptions {
    double seconds = 60.0;       // simulated
    int csvEvery = 10;           // write a CSV row every N dynamics ticks
    std::string csvPath;         // empty: no CSV; "-": standard output
    bool quiet = false;          // no summary

    // Built-in autopilot. The settings texts start as the windows' defaults and
    // are written with a decimal point here, whatever the model file uses.
    double engageAt = 0.0;       // s, simulated: when `mode` is engaged; the sliders become set-points
    double tuneStart = -1.0;     // s, relay tuning "Start AT"; negative: none
    double tuneStop = -1.0;      // s, "Stpop AT" and the gain proposal; negative: none

    // Autopilot link (see runnerlink.h): --link [ADDR:]PORT, --lockstep.
    std::string linkAddress = "127.0.0.1";
    int linkPort = -1;           // negative: no link
    bool lockstep = false;
    double clientWait = 30.0;    // s of wall clock a lockstep run waits for its client (--client-wait)

    // ArduPilot's JSON physics interface (see runnerardupilot.h):
    // --ardupilot [ADDR:]PORT, --ap-channels, --ap-start.
    std::string apAddress = "127.0.0.1";
    int apPort = -1;             // negative: no ArduPilot
    ApChannelMap apChannels;
    bool apHeldStart = true;     // held start and catapult; false: free from the initial conditions
};

struct RunSummary {
    double simSeconds = 0.0;
    std::int64_t ticks = 0;
    std::int64_t csvRows = 0;
    double minAltitude = 0.0, maxAltitude = 0.0;  // m
    double maxDistance = 0.0;                      // m
    SimState final;
    SimFault fault = SimFault::None;
    double faultTime = -1.0;                       // s, when the fault was latched
    std::string autopilotError;                    // an engagement that stopped, with its message
    std::string tuningCaption;                     // last relay caption, "12  14"
    std::string tuningResult;                      // the proposal or its error message
};

// Parses the command line. Throws SimError with a message naming the bad
// option or value. Returns false (and prints nothing) for --help.
bool parseRunArgs(const std::vector<std::string>& args, RunOptions& opt);
std::string runUsage();

// The start-up of a run: the flight of the options (see Flight), with a mode
// engaged at 0 s engaged by the start-up itself. Throws SimError naming the
// model file for a bad model text, or "autopilot settings: ..." for a bad
// settings text. A file that holds no model key is flown as the model of
// all-default texts, with a warning naming it written to `warnings` (if given).
Flight startRun(const RunOptions& opt, std::ostream* warnings = nullptr);

// Paces a run from outside (the link modes): asked before every dynamics
// tick, told after it and at the end.
struct TickDriver {
    virtual ~TickDriver() = default;
    // Before tick i (simulated clock i x dt): may wait and move the sliders.
    // False ends the run before this tick.
    // The driver may also start the flight again (assign it a new start) or
    // shape its state (Flight::shapeState); the run reads the state afresh.
    virtual bool beforeTick(std::int64_t i, Flight& flight) = 0;
    virtual void afterTick(std::int64_t i, const SimState& s) = 0;
    virtual void end(const SimState&) {}
};

// The simulation of one run, the part shared by the tool, tests and benchmarks,
// on the simulated clock (see Flight::tick for the order of the timers).
// `csv`, `warnings` and `driver` may be null. A fault stops the run: the last
// CSV row is then the last valid state (written at the fault time unless a
// regular row just gave it). A CSV write that fails throws csvWriteError().
RunSummary runFlight(const RunOptions& opt, std::ostream* csv, std::ostream* warnings = nullptr,
                     TickDriver* driver = nullptr);
// The same for a run that startRun has already started (the tool starts it
// before it creates the CSV, and flies that start: the model file is read once).
RunSummary flyStartedRun(const RunOptions& opt, Flight& flight, std::ostream* csv, TickDriver* driver = nullptr);

// Opens the CSV file for writing (created or emptied), refusing one that is
// the model file however it is named (same device and inode: the same path, a
// symbolic or a hard link). Throws SimError with the system's reason. The tool
// calls it only once startRun has accepted the model and the settings.
void openCsvFile(const std::string& csvPath, const std::string& modelPath, std::ofstream& file);
// The error of a CSV write that failed, with the system's reason (errno of the failed write).
SimError csvWriteError();

void writeCsvHeader(std::ostream& out);
void writeSummary(std::ostream& out, const RunOptions& opt, const RunSummary& sum, double wallSeconds);

}  // namespace uav
