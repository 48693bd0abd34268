// The stabilisation settings window "Стабилизация". At creation it applies
// its default texts, so the autopilot has valid gains and limits from start-up.
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
