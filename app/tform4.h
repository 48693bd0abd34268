// The sensor parameter panel "Параметры": a small always-on-top tool window.
#pragma once

#include <QWidget>

#include "app/simapp.h"

namespace uav {

class TForm4 : public QWidget {
    Q_OBJECT
public:
    TForm4(SimApp& sim, QWidget* mainWindow);
    // Menu "показать параметры": refresh first, then show.
    void openPanel();

private:
    [[maybe_unused]] SimApp& sim_;  // used as the window is filled
};

}  // namespace uav
