// The model settings window "Настройка модели". At creation it fills its texts
// from conf.ini (the program's start-up defaults for missing keys); the
// program's start-up (startFlight) then applies them and runs one dynamics
// tick, so the forces exist before the first timer event and a first start
// writes the default model into conf.ini.
#pragma once

#include <QDialog>

#include "app/simapp.h"
#include "model/modeltext.h"

namespace uav {

class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(SimApp& sim, TForm1& main);

    // Shown modal from the main menu; the main window's timers keep running.
    void showModalWindow();

    const ModelTexts& texts() const { return texts_; }
    ModelTexts& texts() { return texts_; }

    // The apply button: texts to the model records, outlines, conf.ini.
    // Throws SimError with the system's message on a bad text.
    void applyModel();
    // After an apply that got through: the side view draws the model's
    // outlines, and a conf.ini that could not be written is told once.
    void modelApplied(const ApplyResult& r);

private:
    void FormCreate();

    SimApp& sim_;
    TForm1& main_;
    ModelTexts texts_;
    bool storeErrorShown_ = false;
};

}  // namespace uav
