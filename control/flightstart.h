// The start of a flight: the one sequence that puts the state, the model and
// the autopilot where the program has them when its windows have been created.
// The desktop program and the headless runner both start through it, so a
// flight flown headless is the flight the window flies.
#pragma once

#include <optional>
#include <string>

#include "control/apsettings.h"
#include "control/autopilot.h"
#include "core/aircraft.h"
#include "core/simstate.h"
#include "model/apply.h"
#include "model/modeltext.h"

namespace uav {

class IniFile;

// What the windows hold when the program starts (or what the runner's options
// say in their place).
struct FlightStart {
    ModelTexts modelTexts = defaultModelTexts(TextDefaults::StartUp);
    char modelDecimalSep = '.';           // of the model texts' numbers
    InitialConditions initial;            // "Начальные условия" fields
    StabiliserTexts stabiliserTexts = defaultStabiliserTexts('.');
    ReturnTexts returnTexts = defaultReturnTexts('.');
    char settingsDecimalSep = '.';        // of the two settings windows' texts
    SliderPositions sliders;
    Vec3 wind;                            // m/s, earth: air mass velocity
    ApMode mode = ApMode::Off;            // engaged last; Off engages nothing
};

// What went wrong on the way, each with the system's message. A failed step
// stops only itself: a model apply that fails skips the stopped tick, the
// settings windows still apply their texts.
struct FlightStartResult {
    ApplyResult apply;                           // conf.ini could not be written
    std::optional<std::string> modelError;       // the model apply stopped here
    std::optional<std::string> stabiliserError;  // "Стабилизация" texts
    std::optional<std::string> returnError;      // "Автовозврат" texts
    std::optional<std::string> modeError;        // the engagement of `mode`
    bool ok() const { return !modelError && !stabiliserError && !returnError && !modeError; }
};

// The start-up, in this order:
//   1. start values of the state (stopped, calm air, standard ground
//      atmosphere), a fresh autopilot (bank and pitch gains 40, 10, 5), no model;
//   2. the initial conditions;
//   3. the model apply (texts stored into `store` when given), then one
//      dynamics tick with the simulation stopped: atmosphere, attitude angles,
//      airflow and element forces computed, nothing integrated;
//   4. the stabilisation texts, then the auto-return texts (tuning stays off);
//   5. the slider positions and the wind;
//   6. the autopilot mode, when it is not Off.
// `outlines` receives the model's outlines (kept as they were by a failed apply).
FlightStartResult startFlight(const FlightStart& in, SimState& s, Aircraft& ac, ModelOutlines& outlines,
                              Autopilot& ap, IniFile* store);

}  // namespace uav
