// The auto-return settings window "Автовозврат". At creation it applies its
// default texts; the Return engagement applies them again.
#pragma once

#include <QWidget>

#include "app/simapp.h"
#include "control/apsettings.h"

namespace uav {

class TForm7 : public QWidget {
    Q_OBJECT
public:
    TForm7(SimApp& sim, QWidget* mainWindow);
    const ReturnTexts& texts() const { return texts_; }
    ReturnTexts& texts() { return texts_; }

    // The apply button. Throws SimError.
    void SpeedButton4Click();

private:
    SimApp& sim_;
    ReturnTexts texts_;
};

}  // namespace uav
