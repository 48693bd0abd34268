// The transmitter settings window "Настройка пульта" (device list, channel
// selection and calibration). Opened modal from the main menu.
#pragma once

#include <QDialog>

#include "app/simapp.h"

namespace uav {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    TForm3(SimApp& sim, QWidget* mainWindow);
    // Shown modal from the main menu; the main window's timers keep running.
    void showModalWindow();

private:
    [[maybe_unused]] SimApp& sim_;  // used as the window is filled
};

}  // namespace uav
