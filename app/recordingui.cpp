#include "app/recordingui.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QMenuBar>
#include <QSlider>
#include <QSpinBox>

#include "app/guarded.h"
#include "app/plotwindow.h"
#include "app/programfiles.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tform5.h"
#include "app/tform7.h"
#include "app/toolwindow.h"
#include "core/errors.h"

namespace uav {

namespace {
// Room for the longest plot window (120 s of 10 ms ticks) and a little more.
constexpr std::size_t RING_SAMPLES = 12100;
}  // namespace

RecordingStart recordingStartOf(SimApp& sim) {
    const Windows& w = sim.windows;
    RecordingStart r;
    r.clockMs = sim.nowMs();
    r.flightTick = sim.flightTicks;
    r.state = sim.state;
    r.aircraft = sim.aircraft;
    r.autopilot = sim.ap;
    r.sliders = w.form1->sliderPositions();
    r.gustsOn = w.form1->CheckBox2->isChecked();
    r.gustMax = w.form1->SpinEdit9->value();
    r.gustPeriod = w.form1->SpinEdit10->value();
    if (const auto* g = dynamic_cast<const SeededUniform*>(sim.rng.get())) r.randomState = g->saveState();
    r.modelTexts = w.form2->texts();
    r.modelDecimalSep = sim.decimalSep;
    r.stabiliserTexts = w.form5->texts();
    r.returnTexts = w.form7->texts();
    r.settingsDecimalSep = sim.decimalSep;
    return r;
}

void afterDynamicsTick(SimApp& sim, bool wasRunning, ClockMs clockMs) {
    ++sim.flightTicks;
    if (sim.recorder) sim.recorder->dynamicsTick(wasRunning, clockMs, sim.state);
    if (sim.plotRing) sim.plotRing->push(sim.flightTicks, sim.state, sim.ap);
}

RecordingUi::RecordingUi(TForm1& main, SimApp& sim) : QObject(&main), main_(main), sim_(sim) {
    QMenu* menu = main.menuBar()->addMenu(QStringLiteral("Запись"));
    startAction = menu->addAction(QStringLiteral("Начать запись…"));
    stopAction = menu->addAction(QStringLiteral("Остановить запись"));
    menu->addSeparator();
    plotsAction = menu->addAction(QStringLiteral("Графики"));
    connect(startAction, &QAction::triggered, this, [this] { askAndStart(); });
    connect(stopAction, &QAction::triggered, this, [this] { stopRecording(); });
    connect(plotsAction, &QAction::triggered, this, [this] {
        showToolWindow(plots(), &main_);
    });
    // Every source of a slider move (mouse, keys, zero labels, transmitter,
    // link) goes through the slider's value: recorded there.
    QSlider* sliders[4] = {main.TrackBar1, main.TrackBar2, main.TrackBar3, main.TrackBar4};
    for (int i = 0; i < 4; ++i)
        connect(sliders[i], &QSlider::valueChanged, this, [this, i](int v) { sim_.record(ev::Slider{i, v}); });
    updateActions();
}

RecordingUi::~RecordingUi() {
    // Closing the program ends the recording cleanly.
    if (sim_.recorder) {
        try {
            sim_.recorder->finish();
        } catch (const SimError&) {
        }
        sim_.recorder.reset();
    }
}

PlotWindow* RecordingUi::plots() {
    if (!plots_) {
        if (!sim_.plotRing) sim_.plotRing = std::make_unique<TelemetryRing>(RING_SAMPLES, sim_.state.dt);
        plots_ = new PlotWindow(sim_, &main_);
    }
    return plots_;
}

void RecordingUi::askAndStart() {
    const QString path = QFileDialog::getSaveFileName(&main_, QStringLiteral("Начать запись…"),
                                                      dialogFolder(sim_) + "flight.uavrec",
                                                      QStringLiteral("Запись полёта (*.uavrec)"));
    if (path.isEmpty()) return;
    guarded(&main_, [&] { startRecording(path.endsWith(".uavrec") ? path : path + ".uavrec"); });
}

void RecordingUi::startRecording(const QString& path) {
    if (sim_.recorder) stopRecording();
    sim_.recorder = std::make_unique<FlightRecorder>(path.toStdString(), recordingStartOf(sim_));
    refreshCaption();
    updateActions();
}

void RecordingUi::stopRecording() {
    if (!sim_.recorder) return;
    std::unique_ptr<FlightRecorder> r = std::move(sim_.recorder);
    refreshCaption();
    updateActions();
    guarded(&main_, [&] { r->finish(); });
}

void RecordingUi::displayTick() {
    if (sim_.recorder && sim_.recorder->error()) stopRecording();  // shows the failed write
    refreshCaption();
    if (plots_ && plots_->isVisible()) plots_->refresh();
}

void RecordingUi::refreshCaption() {
    const QString suffix = QString::fromUtf8(REC_SUFFIX);
    QString title = main_.windowTitle();
    const bool marked = title.endsWith(suffix);
    // While relay tuning runs its caption wins.
    const bool want = sim_.recorder && !sim_.ap.tuning.on;
    if (want && !marked) main_.setWindowTitle(title + suffix);
    if (!want && marked) {
        title.chop(suffix.size());
        main_.setWindowTitle(title);
    }
}

void RecordingUi::updateActions() {
    startAction->setEnabled(!sim_.recorder);
    stopAction->setEnabled(sim_.recorder != nullptr);
}

}  // namespace uav
