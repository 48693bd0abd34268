// The desktop program's own command line, read before the application object
// exists: --help and --version print and end, and a start without any display
// says how to get one instead of letting Qt abort. Everything else (Qt's own
// options such as -platform or -style) is left to Qt. Plain C++.
#pragma once

#include <string>
#include <vector>

namespace uav {

// The environment variables the display check reads; empty when unset.
struct DisplayEnv {
    std::string display;         // $DISPLAY
    std::string waylandDisplay;  // $WAYLAND_DISPLAY
    std::string qpaPlatform;     // $QT_QPA_PLATFORM
};

struct CommandLine {
    enum class Action { Run, Help, Version, NoDisplay };
    Action action = Action::Run;
    std::string text;  // what to print: to standard output for Help and Version, to standard error for NoDisplay
    int exitStatus = 0;
};

// `args` without the program name. --version anywhere wins over everything
// else; then --help (or -h); then the display check, which passes when a
// platform is chosen (-platform NAME or $QT_QPA_PLATFORM) or a display is set.
CommandLine readCommandLine(const std::vector<std::string>& args, const DisplayEnv& env);

// The text for a display that is set but cannot be opened (Qt's platform
// plugin gave up), the same advice as for none at all.
std::string noDisplayText();

}  // namespace uav
