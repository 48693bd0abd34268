#include "app/startup.h"

#include <QApplication>
#include <QButtonGroup>
#include <QSurfaceFormat>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tform3.h"
#include "app/tform4.h"
#include "app/tform5.h"
#include "app/tform6.h"
#include "app/tform7.h"
#include "app/tform8.h"
#include "app/tform9.h"
#include "app/guarded.h"
#include "control/flightstart.h"

namespace uav {

Windows createWindows(SimApp& sim) {
    Windows& w = sim.windows;
    w.form1 = new TForm1(sim);
    w.form2 = new TForm2(sim, *w.form1);
    w.form3 = new TForm3(sim, w.form1);
    w.form4 = new TForm4(sim, w.form1);
    w.form5 = new TForm5(sim, w.form1);
    w.form6 = new TForm6(sim, w.form1);
    w.form7 = new TForm7(sim, w.form1);
    w.form8 = new TForm8(sim, w.form1);
    w.form9 = new TForm9(sim, w.form1);
    startSimulation(sim);
    return w;
}

void startSimulation(SimApp& sim) {
    const Windows& w = sim.windows;
    FlightStart in;
    in.modelTexts = w.form2->texts();
    in.modelDecimalSep = sim.decimalSep;
    in.initial = w.form1->initialConditions();
    in.stabiliserTexts = w.form5->texts();
    in.returnTexts = w.form7->texts();
    in.settingsDecimalSep = sim.decimalSep;
    in.sliders = w.form1->sliderPositions();
    in.wind = SimState::zeroVec;  // the marker starts at the centre
    in.mode = static_cast<ApMode>(w.form1->RadioGroup1Buttons->checkedId());
    const FlightStartResult r =
        startFlight(in, sim.state, sim.aircraft, sim.modelOutlines, sim.ap, sim.confIni.get());
    // Each failed step is told as its own window would tell it; the rest of
    // the start-up went on regardless.
    if (r.modelError)
        showError(w.form1, QString::fromStdString(*r.modelError));
    else
        w.form2->modelApplied(r.apply);
    for (const auto* e : {&r.stabiliserError, &r.returnError, &r.modeError})
        if (*e) showError(w.form1, QString::fromStdString(**e));
}

void setDefaultGlFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setVersion(2, 1);
    f.setDepthBufferSize(24);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    QSurfaceFormat::setDefaultFormat(f);
}

void scheduleScreenshotFromEnvironment(QWidget* mainWindow) {
    const char* path = std::getenv("UAVSIM_SCREENSHOT");
    if (!path || !*path) return;
    int delay = 3000;
    if (const char* d = std::getenv("UAVSIM_SCREENSHOT_DELAY_MS")) delay = std::atoi(d);
    const QString file = QString::fromLocal8Bit(path);
    // UAVSIM_SCREENSHOT_START=1 presses the start button first, for a picture in flight.
    if (const char* st = std::getenv("UAVSIM_SCREENSHOT_START"); st && std::strcmp(st, "1") == 0)
        if (auto* f1 = qobject_cast<TForm1*>(mainWindow)) QTimer::singleShot(0, f1, &TForm1::SpeedButton2Click);
    QTimer::singleShot(delay, mainWindow, [mainWindow, file] {
        const bool ok = mainWindow->grab().save(file, "PNG");
        std::fprintf(stderr, "uavsim: screenshot %s %s\n", ok ? "saved to" : "could not be saved to",
                     file.toLocal8Bit().constData());
        QCoreApplication::exit(ok ? 0 : 1);
    });
}

}  // namespace uav
