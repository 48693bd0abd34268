// The main window's menu "Запись": recording a flight to a file that
// uavsim-run --replay re-flies, and the live plots window "Графики".
#pragma once

#include <QObject>
#include <QString>

#include "app/simapp.h"

class QAction;

namespace uav {

class PlotWindow;
class TForm1;

// What the program holds now, as a recording's start.
RecordingStart recordingStartOf(SimApp& sim);

// After every dynamics tick of the window: the tick is recorded (with the run
// state before it and the clock it read) and the plots' ring takes a sample.
void afterDynamicsTick(SimApp& sim, bool wasRunning, ClockMs clockMs);

inline constexpr const char* REC_SUFFIX = " — REC";

// The question before a recording replaces `path` or `path`.csv, naming both
// files; empty when neither exists.
QString replaceQuestion(const QString& path);

class RecordingUi : public QObject {
    Q_OBJECT
public:
    RecordingUi(TForm1& main, SimApp& sim);
    ~RecordingUi() override;

    QAction* startAction = nullptr;  // "Начать запись…"
    QAction* stopAction = nullptr;   // "Остановить запись"
    QAction* plotsAction = nullptr;  // "Графики"

    // Starts recording into `path` (and `path`.csv). Throws SimError.
    void startRecording(const QString& path);
    // Ends the recording; a write that failed is shown.
    void stopRecording();
    bool recording() const { return sim_.recorder != nullptr; }

    // On the display timer: the caption's " — REC", a failed write, and the
    // plots (at most ten times a second).
    void displayTick();

    PlotWindow* plots();

    // "Начать запись…": the file dialog (a name typed without ".uavrec" gets
    // it), the one question when either file exists, then the start.
    void askAndStart();

private:
    void refreshCaption();
    void updateActions();

    TForm1& main_;
    SimApp& sim_;
    PlotWindow* plots_ = nullptr;
};

}  // namespace uav
