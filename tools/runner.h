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
#include "core/errors.h"
#include "core/simstate.h"
#include "model/apply.h"

namespace uav {

struct RunOptions {
    std::string modelPath;
    char decimalSep = '.';       // of the model file's numbers
    InitialConditions initial;   // window units: km/h, deg, m, m
    double windNorth = 0.0;      // m/s, earth X
    double windEast = 0.0;       // m/s, earth Z
    // Gusts as the main window's gust generator makes them: every gustPeriod
    // simulated seconds (the first one period after the start) the wind is
    // replaced by a random vector of speed below gustMax. Reproducible: the
    // same seed gives the same gusts.
    double gustMax = 0.0;        // m/s; 0: no gusts
    double gustPeriod = 1.0;     // s, simulated
    std::uint64_t seed = 1;      // of the gust generator
    SliderPositions sliders;     // -100..100, as on the main window
    double seconds = 60.0;       // simulated
    int csvEvery = 10;           // write a CSV row every N dynamics ticks
    std::string csvPath;         // empty: no CSV; "-": standard output
    bool quiet = false;          // no summary

    // Built-in autopilot. The settings texts start as the windows' defaults and
    // are written with a decimal point here, whatever the model file uses.
    ApMode mode = ApMode::Off;   // engaged at engageAt; the sliders become set-points
    double engageAt = 0.0;       // s, simulated
    std::vector<std::pair<std::string, std::string>> settings;  // --set NAME=VALUE, in order
    double tuneStart = -1.0;     // s, relay tuning "Start AT"; negative: none
    double tuneStop = -1.0;      // s, "Stpop AT" and the gain proposal; negative: none

    // Autopilot link (see runnerlink.h): --link [ADDR:]PORT, --lockstep.
    std::string linkAddress = "127.0.0.1";
    int linkPort = -1;           // negative: no link
    bool lockstep = false;
    double clientWait = 30.0;    // s of wall clock a lockstep run waits for its client (--client-wait)
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

// The settings texts of a run are written with a decimal point.
inline constexpr char RUN_SETTINGS_SEP = '.';

// A run after its start-up: what the program holds once its windows are
// created, from the options instead of the windows.
struct RunStart {
    SimState state;
    Aircraft aircraft;
    ModelOutlines outlines;
    Autopilot ap;
    StabiliserTexts stabiliserTexts;
    ReturnTexts returnTexts;
    std::string autopilotError;  // an engagement at the start that stopped, with its message
};

// The start-up of a run through the program's own start-up (startFlight):
// the model file, the initial conditions, the stopped tick, the settings
// texts, sliders, wind and a mode engaged at 0 s. Throws SimError naming the
// model file for a bad model text, or "autopilot settings: ..." for a bad
// settings text. A file that holds no model key is flown as the model of
// all-default texts, with a warning naming it written to `warnings` (if given).
void startRun(const RunOptions& opt, RunStart& rs, std::ostream* warnings = nullptr);

// Paces a run from outside (the link modes): asked before every dynamics
// tick, told after it and at the end.
struct TickDriver {
    virtual ~TickDriver() = default;
    // Before tick i (simulated clock i x dt): may wait and move the sliders.
    // False ends the run before this tick.
    virtual bool beforeTick(std::int64_t i, Autopilot& ap, const SimState& s) = 0;
    virtual void afterTick(std::int64_t i, const SimState& s) = 0;
    virtual void end(const SimState&) {}
};

// The simulation of one run, the part shared by the tool, tests and benchmarks,
// on the simulated clock (see headlessTick for the order of the timers).
// `csv`, `warnings` and `driver` may be null. A fault stops the run: the last
// CSV row is then the last valid state (written at the fault time unless a
// regular row just gave it). A CSV write that fails throws csvWriteError().
RunSummary runFlight(const RunOptions& opt, std::ostream* csv, std::ostream* warnings = nullptr,
                     TickDriver* driver = nullptr);
// The same for a run that startRun has already started (the tool starts it
// before it creates the CSV, and flies that start: the model file is read once).
RunSummary flyStartedRun(const RunOptions& opt, RunStart& rs, std::ostream* csv, TickDriver* driver = nullptr);

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
