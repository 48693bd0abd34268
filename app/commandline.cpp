#include "app/commandline.h"

#include "packaging/version.h"

namespace uav {

namespace {

const char* const HELP =
    "Usage: uavsim [--help] [--version] [Qt options]\n"
    "The desktop flight simulator for a small radio-controlled model aircraft and\n"
    "test bench for its autopilots: the main window \"Симулятор\" with its tool\n"
    "windows. Fly the model with the sliders, an RC transmitter, the built-in\n"
    "autopilot or an external one over TCP; uavsim-run(1) flies it headless.\n"
    "\n"
    "Options:\n"
    "  --help       this text\n"
    "  --version    the version and the git description it was built from\n"
    "Qt's own options (-platform NAME, -display DISPLAY, -style NAME, ...) are\n"
    "passed on to Qt.\n"
    "\n"
    "Files:\n"
    "Portable start: when the program's folder holds TXT/ (or the working\n"
    "directory does, for a program that is not installed), conf.ini is kept\n"
    "beside the executable and the maps and the sky are read from TXT/.\n"
    "Installed: the maps and the sky come from <prefix>/share/uavsim/TXT and the\n"
    "settings from $XDG_CONFIG_HOME/uavsim/conf.ini (~/.config/uavsim/conf.ini by\n"
    "default). On a first start (no conf.ini) the reference trainer\n"
    "<prefix>/share/uavsim/models/trainer.mdl becomes the model.\n"
    "\n"
    "Environment:\n"
    "  XDG_CONFIG_HOME  the folder of the user's settings (default ~/.config)\n"
    "  UAVSIM_DIAG=1    print the dynamics ticks and the display tick's timing\n"
    "                   to standard error once a second\n"
    "\n"
    "It needs a display (X11 or Wayland). Where there is none, run it on a\n"
    "virtual X server: xvfb-run -a -s \"-screen 0 1280x1024x24\" uavsim\n";

bool platformChosen(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0 || a.rfind("--platform=", 0) == 0)
            return true;
    return false;
}

}  // namespace

std::string noDisplayText() {
    return "uavsim needs a display, and there is none here (DISPLAY and WAYLAND_DISPLAY are\n"
           "unset, or the display cannot be opened). Run it on a virtual X server:\n"
           "    xvfb-run -a -s \"-screen 0 1280x1024x24\" uavsim\n"
           "or fly a model headless with uavsim-run (see uavsim-run --help).\n";
}

CommandLine readCommandLine(const std::vector<std::string>& args, const DisplayEnv& env) {
    CommandLine c;
    for (const std::string& a : args)
        if (a == "--version") {
            c.action = CommandLine::Action::Version;
            c.text = versionText("uavsim");
            return c;
        }
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            c.action = CommandLine::Action::Help;
            c.text = HELP;
            return c;
        }
    if (env.display.empty() && env.waylandDisplay.empty() && env.qpaPlatform.empty() && !platformChosen(args)) {
        c.action = CommandLine::Action::NoDisplay;
        c.text = noDisplayText();
        c.exitStatus = 1;
    }
    return c;
}

}  // namespace uav
