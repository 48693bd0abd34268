// Program start: the nine windows created in their fixed order, each fully
// (its creation work done) before the next.
#pragma once

#include "app/simapp.h"

class QWidget;

namespace uav {

// Creates TForm1 .. TForm9 in order and records them in sim.windows, then
// starts the simulation from what they hold (startSimulation). Only the caller
// shows the main window.
Windows createWindows(SimApp& sim);

// The program's start-up from the windows' fields and texts: the shared
// startFlight (start values, initial conditions, model apply, the stopped
// tick, the settings texts, sliders, wind, mode), then the side view's
// outlines; a failed step shows its message.
void startSimulation(SimApp& sim);

// The default surface format for the 3D view (fixed-function GL needs a
// compatibility profile); set before the application object exists.
void setDefaultGlFormat();

// With UAVSIM_SCREENSHOT=<file.png> in the environment, grabs the main window
// after UAVSIM_SCREENSHOT_DELAY_MS (default 3000) milliseconds, saves it and
// quits; with UAVSIM_SCREENSHOT_START=1 the flight is started first, and with
// UAVSIM_SCREENSHOT_WINDOW=Form2 .. Form8 that window is opened from the menu
// and pictured instead. Used by scripts/screenshot.sh.
void scheduleScreenshotFromEnvironment(QWidget* mainWindow);

}  // namespace uav
