// uavsim: the flight simulator's desktop program. It takes no arguments.
#include "app/application.h"
#include "app/simapp.h"
#include "app/startup.h"
#include "app/tform1.h"

int main(int argc, char** argv) {
    uav::setDefaultGlFormat();
    uav::UavApplication app(argc, argv);
    uav::SimApp sim;
    const uav::Windows w = uav::createWindows(sim);
    w.form1->show();
    uav::scheduleScreenshotFromEnvironment(w.form1);
    const int rc = QApplication::exec();
    delete w.form1;  // the other windows are its children
    return rc;
}
