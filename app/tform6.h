// The connection window "Соединение" of the autopilot link: an always-on-top
// tool window.
#pragma once

#include <QWidget>

#include "app/simapp.h"

namespace uav {

class TForm6 : public QWidget {
    Q_OBJECT
public:
    TForm6(SimApp& sim, QWidget* mainWindow);

private:
    [[maybe_unused]] SimApp& sim_;  // used as the window is filled
};

}  // namespace uav
