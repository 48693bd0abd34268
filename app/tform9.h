// The 3D view window (caption "Form9" at creation). It is shown and hidden
// by the main window's "3D" check box and renders one frame per display tick
// while shown. Nothing of it needs an OpenGL context at start-up.
#pragma once

#include <QWidget>

#include "app/simapp.h"

namespace uav {

class TForm9 : public QWidget {
    Q_OBJECT
public:
    TForm9(SimApp& sim, QWidget* mainWindow);
    // One camera update and frame, called by the display tick while shown.
    void PosModel();

private:
    [[maybe_unused]] SimApp& sim_;  // used as the window is filled
};

}  // namespace uav
