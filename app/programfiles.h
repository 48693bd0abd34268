// The desktop program's side of app/locations.h: the folders read from the
// process (Qt's executable path, the working directory, the environment, the
// user's documents folder), and the few places the windows ask for them.
#pragma once

#include <QString>
#include <string>

#include "app/simapp.h"

namespace uav {

// Fills sim.appDir and sim.files for this process, creates the user's
// configuration folder when the program runs installed, and tells standard
// error about a broken installation (no maps) and a first start.
void locateProgramFiles(SimApp& sim);

// conf.ini of this run.
std::string confIniPath(const SimApp& sim);
// The folder a file dialog opens in, ending in '/'.
QString dialogFolder(const SimApp& sim);
// An image of TXT/ ("Sky.tga", "mountains.bmp") where this run reads it.
QString txtFile(const SimApp& sim, const char* name);

// While the application object is created: a display that is set but cannot
// be opened ends the program with status 1 and the advice of
// noDisplayText() instead of Qt's abort. Undone when the guard goes.
class NoDisplayGuard {
public:
    NoDisplayGuard();
    ~NoDisplayGuard();
    NoDisplayGuard(const NoDisplayGuard&) = delete;
    NoDisplayGuard& operator=(const NoDisplayGuard&) = delete;
};

}  // namespace uav
