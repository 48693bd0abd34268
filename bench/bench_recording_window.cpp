// What recording and the live plots cost the window's flight: the desktop
// program's windows fly a return home for a while, optionally recording and
// with the plots window open (four plots of 120 s), and the program's own
// diagnostics (UAVSIM_DIAG=1) report the real-time factor and the longest
// display tick once a second. Run under Xvfb:
//   UAVSIM_DIAG=1 xvfb-run -a -s "-screen 0 1280x1024x24"
//     build/release/bench/bench_recording_window [--record FILE] [--plots]
//     [--seconds N] [--screenshot PLOTS.png] [--paused] [--model FILE.mdl]   (one line)
// --paused takes the picture paused, zoomed to the middle half of the
// flight, with the cursor line a third into that view.
// The last diagnostics line holds the totals ("total: ... rtf ... display max").
#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/application.h"
#include "app/plotwindow.h"
#include "app/recordingui.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "model/modeltext.h"

int main(int argc, char** argv) {
    using namespace uav;
    std::string record, screenshot, model;
    bool plots = false;
    bool paused = false;
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--record" && i + 1 < argc) record = argv[++i];
        else if (a == "--plots") plots = true;
        else if (a == "--paused") paused = true;
        else if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (a == "--screenshot" && i + 1 < argc) screenshot = argv[++i];
        else if (a == "--model" && i + 1 < argc) model = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--record FILE] [--plots] [--seconds N] [--screenshot PLOTS.png] [--paused] [--model FILE.mdl]\n", argv[0]);
            return 2;
        }
    }
    setDefaultGlFormat();
    UavApplication app(argc, argv);
    SimApp sim;
    const Windows w = createWindows(sim);
    TForm1& f = *w.form1;
    f.show();
    if (!model.empty()) {
        sim.decimalSep = '.';
        w.form2->setTexts(loadModelFile(model));
        w.form2->applyModel();
        w.form2->modelApplied({});
    }
    // 600 m north of home at 120 m, flying away: the return turns and comes home.
    f.SpinEdit5->setValue(55);
    f.SpinEdit11->setValue(0);
    f.SpinEdit8->setValue(120);
    f.SpinEdit1->setValue(600);
    f.SpeedButton4->click();
    if (!record.empty()) f.recordingUi()->startRecording(QString::fromStdString(record));
    if (plots || !screenshot.empty()) {
        PlotWindow* p = f.recordingUi()->plots();
        p->setSpanSeconds(120);
        p->move(0, 0);
        p->show();
    }
    f.SpeedButton2->click();
    QTimer::singleShot(1000, &f, [&f] { f.RadioGroup1Buttons->button(2)->click(); });
    QTimer::singleShot(seconds * 1000, &f, [&f, &sim, screenshot, paused] {
        if (!screenshot.empty() && paused && sim.plotRing && sim.plotRing->size()) {
            // Half of what the ring holds (a loaded machine flies fewer
            // seconds), about its middle, the cursor a third into the view.
            PlotWindow* p = f.recordingUi()->plots();
            p->setPaused(true);
            const TelemetryRing& ring = *sim.plotRing;
            const double first = ring.time(0), last = ring.time(ring.size() - 1);
            p->zoomTime((first + last) / 2, (last - first) / 2 / p->timeRange().span());
            p->setCursor(p->timeRange().lo + p->timeRange().span() / 3);
            // The charts lay their axes out again in posted events.
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 300) QApplication::processEvents();
        }
        if (!screenshot.empty()) {
            const bool ok = f.recordingUi()->plots()->grab().save(QString::fromStdString(screenshot), "PNG");
            std::fprintf(stderr, "plots %s %s\n", ok ? "saved to" : "not saved to", screenshot.c_str());
        }
        f.recordingUi()->stopRecording();
        QCoreApplication::quit();
    });
    const int rc = QApplication::exec();
    delete w.form1;
    return rc;
}
