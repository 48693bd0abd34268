#include "app/startup.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QImage>
#include <QSurfaceFormat>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/about.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tform3.h"
#include "app/tform4.h"
#include "app/tform5.h"
#include "app/tform6.h"
#include "app/tform7.h"
#include "app/tform8.h"
#include "app/apwindow.h"
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
    addHelpMenu(*w.form1);  // after every menu the windows add
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
        if (auto* f = qobject_cast<TForm1*>(mainWindow)) QTimer::singleShot(0, f, &TForm1::SpeedButton2Click);
    auto* f1 = qobject_cast<TForm1*>(mainWindow);
    // UAVSIM_SCREENSHOT_WINDOW=Form2 (Form3 .. Form8) opens that window from the
    // main menu and takes its picture instead of the main window's.
    QWidget* target = mainWindow;
    if (const char* name = std::getenv("UAVSIM_SCREENSHOT_WINDOW"); name && *name && f1) {
        const std::pair<const char*, QAction*> menu[] = {
            {"Form2", f1->menuModel}, {"Form3", f1->menuPult},    {"Form4", f1->menuParams},
            {"Form5", f1->menuStab},  {"Form6", f1->menuConnect}, {"Form7", f1->menuReturn},
            {"Form8", f1->menuForces}};
        for (const auto& [form, action] : menu)
            if (std::strcmp(name, form) == 0) {
                target = f1->findChild<QWidget*>(QString::fromLatin1(form));
                QTimer::singleShot(0, action, &QAction::trigger);
            }
        if (std::strcmp(name, "ArduPilot") == 0) {  // created on first use
            target = f1->arduPilotWindow();
            QTimer::singleShot(0, f1->menuArduPilot, &QAction::trigger);
        }
    }
    // UAVSIM_SCREENSHOT_3D=1 ticks "3D" and takes the 3D view's frame instead.
    const char* v3d = std::getenv("UAVSIM_SCREENSHOT_3D");
    const bool view3d = v3d && std::strcmp(v3d, "1") == 0;
    if (view3d && f1)
        QTimer::singleShot(0, f1, [f1] {
            f1->CheckBox1->setChecked(true);
            f1->CheckBox1Click();
        });
    QTimer::singleShot(delay, mainWindow, [target, file, view3d, f1] {
        const QImage frame = view3d && f1 ? f1->sim().windows.form9->grabFrame() : QImage();
        const bool ok = view3d ? !frame.isNull() && frame.save(file, "PNG") : target && target->grab().save(file, "PNG");
        std::fprintf(stderr, "uavsim: screenshot %s %s\n", ok ? "saved to" : "could not be saved to",
                     file.toLocal8Bit().constData());
        QCoreApplication::exit(ok ? 0 : 1);
    });
}

}  // namespace uav
