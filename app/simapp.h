// The one simulation instance of the program and what the windows share:
// state, model records, controls and autopilot, the settings file, the
// random generator and the wall clock. The application owns exactly one;
// every window gets a reference.
#pragma once

#include <QElapsedTimer>
#include <memory>
#include <string>

#include "app/locations.h"
#include "control/autopilot.h"
#include "control/relaytuning.h"
#include "core/simstate.h"
#include "core/wind.h"
#include "link/server.h"
#include "model/apply.h"
#include "model/inifile.h"
#include "record/plotring.h"
#include "record/recorder.h"
#include "views/modeldraw.h"

namespace uav {

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm9;

// The nine windows, filled in creation order. Owned by Qt (the main window is
// the parent of the other eight).
struct Windows {
    TForm1* form1 = nullptr;
    TForm2* form2 = nullptr;
    TForm3* form3 = nullptr;
    TForm4* form4 = nullptr;
    TForm5* form5 = nullptr;
    TForm6* form6 = nullptr;
    TForm7* form7 = nullptr;
    TForm8* form8 = nullptr;
    TForm9* form9 = nullptr;
};

struct SimApp {
    SimApp();

    SimState state;
    Aircraft aircraft;
    ModelOutlines modelOutlines;                 // written by the model apply
    DrawOutlines outlines = startOutlines();     // what the side view draws
    Autopilot ap;
    RelayTuneHook tuneHook{ap};

    std::string appDir;                // the executable's directory, with a trailing '/'
    // Where conf.ini, the TXT/ images, the first start's model and the file
    // dialogs' folder are; the defaults are those of a start from the
    // executable's folder (conf.ini in appDir, TXT/ of the working directory).
    FileLocations files;
    std::unique_ptr<IniFile> confIni;  // confIniPath(): appDir + "conf.ini" by default, open for the whole run
    std::unique_ptr<UniformRandom> rng;
    char decimalSep = ',';             // of the user's locale, for every number text

    WindMarker windMarker;
    bool forcesShown = false;          // the forces window is open
    // Published after every dynamics tick; the link's connection threads
    // build their replies from it.
    TelemetrySnapshot linkTelemetry;

    // Wall clock for the servo rate limit and the relay tuning, whole
    // milliseconds since start.
    ClockMs nowMs() const;
    QElapsedTimer clock;

    Windows windows;

    // While ArduPilot flies (the "ArduPilot (SITL)" window), its servo outputs
    // move the main sliders, and the transmitter's positions go to ArduPilot's
    // RC input instead: kept here with the clock of the last report.
    bool arduPilotFlying = false;
    SliderPositions transmitterSliders;
    ClockMs transmitterAtMs = -1;

    // The flight's clock: dynamics ticks since the program started (time
    // flightTicks x dt), the clock of the plots and of a recording's CSV.
    std::int64_t flightTicks = 0;
    // The flight recording in progress and the live plots' samples; null
    // while not in use.
    std::unique_ptr<FlightRecorder> recorder;
    std::unique_ptr<TelemetryRing> plotRing;
    // An input, into the recording when one is in progress.
    void record(const EventData& e) {
        if (recorder) recorder->add(e);
    }
};

// The decimal separator of the user's locale: '.' or ','. A locale whose
// separator is neither (for example the Arabic one) falls back to '.'.
char localeDecimalSeparator();

// Opens conf.ini beside the executable. An unreadable file does not stop the
// program: the store then lives in memory only, and the reason is returned in
// `error` for the caller to show.
std::unique_ptr<IniFile> openConfIni(const std::string& path, std::string& error);

}  // namespace uav
