// uavsim: the flight simulator's desktop program. Its own options are --help
// and --version; Qt's are passed on.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/commandline.h"
#include "app/programfiles.h"
#include "app/simapp.h"
#include "app/startup.h"
#include "app/tform1.h"

namespace {
std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
}  // namespace

int main(int argc, char** argv) {
    const uav::CommandLine cl = uav::readCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                                     {env("DISPLAY"), env("WAYLAND_DISPLAY"), env("QT_QPA_PLATFORM")});
    if (cl.action != uav::CommandLine::Action::Run) {
        std::fputs(cl.text.c_str(), cl.action == uav::CommandLine::Action::NoDisplay ? stderr : stdout);
        return cl.exitStatus;
    }
    uav::setDefaultGlFormat();
    std::unique_ptr<uav::NoDisplayGuard> guard = std::make_unique<uav::NoDisplayGuard>();
    uav::UavApplication app(argc, argv);
    guard.reset();
    QGuiApplication::setDesktopFileName(QStringLiteral("uavsim"));  // the menu entry's icon and name on Wayland
    uav::SimApp sim;
    uav::locateProgramFiles(sim);
    const uav::Windows w = uav::createWindows(sim);
    w.form1->show();
    uav::scheduleScreenshotFromEnvironment(w.form1);
    const int rc = QApplication::exec();
    delete w.form1;  // the other windows are its children
    return rc;
}
