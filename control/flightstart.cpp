#include "control/flightstart.h"

#include "core/dynamics.h"
#include "core/errors.h"

namespace uav {

namespace {

template <class F>
std::optional<std::string> attempt(F&& f) {
    try {
        f();
    } catch (const SimError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

}  // namespace

FlightStartResult startFlight(const FlightStart& in, SimState& s, Aircraft& ac, ModelOutlines& outlines,
                              Autopilot& ap, IniFile* store) {
    FlightStartResult r;
    setStartValues(s);
    ap = Autopilot{};
    ac = Aircraft{};
    applyInitialConditions(s, in.initial);

    r.modelError = attempt([&] { r.apply = applyModel(in.modelTexts, in.modelDecimalSep, s, ac, outlines, store); });
    // The stopped tick (the start values leave the simulation stopped): the
    // autopilot and the views start from computed angles, airflow and forces,
    // not from the start values.
    if (!r.modelError) dynamicsTick(s, ac, nullptr);

    r.stabiliserError = attempt(
        [&] { applyStabiliserTexts(in.stabiliserTexts, in.settingsDecimalSep, ap.stabiliser, ap.loops); });
    r.returnError = attempt([&] {
        applyReturnTexts(in.returnTexts, in.settingsDecimalSep, s, ap.returnSettings, ap.returnState, ap.loops);
    });

    ap.sliders = in.sliders;
    s.wind = in.wind;

    if (in.mode != ApMode::Off)
        r.modeError = attempt([&] { engageMode(ap, in.mode, s, in.returnTexts, in.settingsDecimalSep); });
    return r;
}

}  // namespace uav
