// One flight driven step by step, without windows: the start-up, the
// simulated-clock tick with its control timers and gusts, the controls a user
// moves (sliders, mode, wind, relay tuning) and the state and telemetry it
// gives back. The headless runner, the external-autopilot interfaces and the
// Python module all fly through this class, so they fly the same flight the
// window flies.
//
// Time: one tick is one dynamics step of dt = 0.01 s; a control period is two
// ticks (the 20 ms control and loop timers run before every even tick).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/apsettings.h"
#include "control/autopilot.h"
#include "core/aircraft.h"
#include "core/simstate.h"

namespace uav {

// What a flight starts from: the runner's options without its output and
// schedule. Window units: km/h, degrees, m; the wind in m/s.
struct FlightOptions {
    std::string modelPath;                  // the model file; names the model in messages
    std::optional<std::string> modelBytes;  // the model file's content (as on disk), read instead of the file
    char decimalSep = '.';                  // of the model's numbers: '.' or ','
    InitialConditions initial;
    double windNorth = 0.0;  // m/s, earth X
    double windEast = 0.0;   // m/s, earth Z
    // Gusts as the main window's gust generator makes them: every gustPeriod
    // simulated seconds (the first one period after the start) the wind is
    // replaced by a random vector of speed below gustMax. Reproducible: the
    // same seed gives the same gusts.
    double gustMax = 0.0;     // m/s; 0: no gusts
    double gustPeriod = 1.0;  // s, simulated
    std::uint64_t seed = 1;   // of the gust generator
    SliderPositions sliders;  // -100..100, as on the main window
    // Engaged by the start-up (the runner keeps it Off here and engages its
    // mode later when asked to).
    ApMode mode = ApMode::Off;
    // Stabilisation and auto-return settings texts by name, in order
    // ("returnAltitude" = "200"; see setSettingText), decimal point.
    std::vector<std::pair<std::string, std::string>> settings;
};

// Allowed values, as the runner's command line takes them.
struct OptionRange {
    double lo, hi;
};
inline constexpr OptionRange SPEED_KMH_RANGE{0, 100};
inline constexpr OptionRange ANGLE_DEG_RANGE{0, 90};
inline constexpr OptionRange ALTITUDE_M_RANGE{0, 15000};
inline constexpr OptionRange DISTANCE_M_RANGE{-100000, 100000};
inline constexpr OptionRange WIND_MS_RANGE{-100, 100};
inline constexpr OptionRange GUST_MAX_MS_RANGE{0, 100};
inline constexpr OptionRange GUST_PERIOD_S_RANGE{0.01, 1000};
inline constexpr OptionRange SLIDER_RANGE{-100, 100};

// How a caller names the options in its messages: "option --speed" for the
// runner, "speed_kmh" for the Python module.
struct FlightOptionNames {
    const char* decimalSep;
    const char* speed;
    const char* angle;
    const char* altitude;
    const char* distance;
    const char* windNorth;
    const char* windEast;
    const char* gustMax;
    const char* gustPeriod;
    const char* ailerons;
    const char* elevator;
    const char* rudder;
    const char* throttle;
    const char* settings;
};
inline constexpr FlightOptionNames RUNNER_OPTION_NAMES{
    "option --decimal-sep", "option --speed",      "option --angle",      "option --altitude",
    "option --distance",    "option --wind-north", "option --wind-east",  "option --gust-max",
    "option --gust-period", "option --ailerons",   "option --elevator",   "option --rudder",
    "option --throttle",    "option --set"};

// A value checked against its range: throws SimError "<name>: 120 is outside
// 0 .. 100", or "<name>: 'nan' is not a number" for NaN and infinity.
double checkedOption(const char* name, double value, OptionRange range);
// A slider position: also a whole number ("<name>: slider positions are whole numbers").
int checkedSlider(const char* name, double value);
// Every option of `o` (not the model, which the start-up reads), and every
// settings name and text as far as it can be checked before the start.
void checkFlightOptions(const FlightOptions& o, const FlightOptionNames& names = RUNNER_OPTION_NAMES);

// The relay tuning's proposal: the six stabilisation settings it wrote, in
// the order rollLoop.kp, .ki, .kd, pitchLoop.kp, .ki, .kd, as texts.
using TuningProposal = std::vector<std::pair<std::string, std::string>>;

class Flight {
public:
    // The start-up (startFlight): start values, initial conditions, the model
    // apply and the stopped tick, the settings texts, sliders, wind and mode.
    // The flight is then running. Throws SimError for a bad option (named as
    // `names` says), "<modelPath>: <reason>" for a model that does not apply
    // ("model text: ..." when given as bytes without a path), "autopilot
    // settings: <reason>" for a bad settings text. A mode whose engagement
    // stops does not throw: the flight starts in Off and startModeError() says why.
    explicit Flight(const FlightOptions& o, const FlightOptionNames& names = RUNNER_OPTION_NAMES);
    ~Flight();
    Flight(Flight&&) noexcept;
    Flight& operator=(Flight&&) noexcept;

    // One tick: the gust when one is due, then the headless tick (control and
    // loop timers before even ticks, the dynamics step, the relay step). A
    // tick that would make the state invalid latches the fault: the state
    // stays the last valid one (servos and thrust included) and the flight
    // flies no further. False when the flight is (now or already) faulted.
    bool tick();
    // One control period: ticks up to the next even tick count (two ticks, or
    // one after an odd number of ticks). False on a fault.
    bool step();
    // `count` ticks, stopping at a fault. Returns the ticks flown.
    std::int64_t run(std::int64_t count);

    // Ticks flown (the fault tick not counted) and the simulated time, s.
    std::int64_t ticks() const;
    double time() const;

    void setSliders(const SliderPositions& p);  // as given: callers check the range
    const SliderPositions& sliders() const;
    // The main window's mode selector: a failed engagement throws SimError with
    // its reason and leaves the autopilot in its previous mode, untouched.
    void setMode(ApMode mode);
    ApMode mode() const;
    // Why the mode the options named was not engaged at the start ("" when it was).
    const std::string& startModeError() const;
    // The wind, m/s (a gust replaces it at its time).
    void setWind(double northMs, double eastMs);
    // Settings texts typed into the two settings windows by name (see
    // setSettingText), not applied: a Return engagement reads the auto-return
    // texts as they stand. Throws SimError "<unknown setting>" and changes
    // nothing when a name is unknown.
    void setSettingTexts(const std::vector<std::pair<std::string, std::string>>& settings);
    // "Применить" of both windows, stabilisation then auto-return. All or
    // nothing: a bad text throws SimError "autopilot settings: <reason>" and
    // leaves the autopilot as it was.
    void applySettings();
    // "Start AT" and "Stpop AT". The stop writes the proposal into the
    // stabilisation texts (not applied, as in the window) and returns it;
    // a failure throws SimError with the system's message ("Floating point
    // division by zero"), the texts written before it staying.
    void startTuning();
    TuningProposal stopTuning();
    bool tuning() const;
    const std::string& tuningCaption() const;  // "12  14" after a relay step, else ""

    const SimState& state() const;
    // Lets an external physics interface shape the state before the next tick
    // (ArduPilot's held start and catapult: position, velocity, rates and the
    // running flag). A shaped state that is not finite everywhere is refused
    // with SimError "the shaped state is not finite", the state kept as it was.
    void shapeState(const std::function<void(SimState&)>& shape);
    const Aircraft& aircraft() const;
    const Autopilot& autopilot() const;
    const StabiliserTexts& stabiliserTexts() const;
    const ReturnTexts& returnTexts() const;
    SimFault fault() const;
    // The warning for a model file that holds none of the model's keys ("" otherwise).
    const std::string& startWarning() const;

    // The telemetry kept from now on: the present state, then the state after
    // every tick whose number (counted from the start) is a multiple of
    // `everyTicks`, and after a fault the last valid state. Off at the start.
    // At every tick an hour is 150 MB. Throws SimError for `everyTicks` < 1.
    void keepTelemetry(int everyTicks = 1);
    int keptEvery() const;
    // Kept rows: row r is the state after tick loggedTick(r) (row 0 the state
    // when keeping began); rows are consecutive in memory. Keeping them, tick()
    // throws std::bad_alloc (before flying the tick) when no memory is left for
    // the next row.
    std::int64_t loggedRows() const;
    std::int64_t loggedTick(std::int64_t r) const;
    const double* loggedRow(std::int64_t r) const;  // TELEMETRY_COUNT values
    // The row that holds `tick`, or -1 when it was not kept.
    std::int64_t loggedRowOfTick(std::int64_t tick) const;
    // Ticks whose rows a CSV of a row every `every` ticks holds, as the runner
    // writes it: every multiple of `every` after the start, and after a fault
    // the last valid state unless a regular row gave it. Throws SimError
    // naming `every` when it is not a multiple of keptEvery().
    std::vector<std::int64_t> csvTicks(int every) const;
    // The values of a tick csvTicks gave: its kept row, or the last valid state.
    const double* csvRow(std::int64_t tick) const;
    // The runner's CSV of the kept rows: header, then those ticks' rows.
    void writeCsv(std::ostream& out, int every) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace uav
