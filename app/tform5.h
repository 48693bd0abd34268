// The stabilisation settings window "Стабилизация". It starts with its default
// texts, which the program's start-up applies, so the autopilot has valid gains
// and limits from the start.
#pragma once

#include <QWidget>

#include "app/simapp.h"
#include "control/apsettings.h"

namespace uav {

class TForm5 : public QWidget {
    Q_OBJECT
public:
    TForm5(SimApp& sim, QWidget* mainWindow);
    const StabiliserTexts& texts() const { return texts_; }
    StabiliserTexts& texts() { return texts_; }

    // The apply button: converts the texts in their order. Throws SimError.
    void SpeedButton4Click();

private:
    SimApp& sim_;
    StabiliserTexts texts_;
};

}  // namespace uav
