// The forces window "Аэродинамические силы": the model in its own body axes
// from a chosen direction, with every active element's chord, local airflow
// and force. Always on top; drawn by the main window's display tick while open.
#pragma once

#include <QWidget>

#include "app/simapp.h"
#include "core/vecmath.h"

class QSlider;

namespace uav {

class PaintBox;

class TForm8 : public QWidget {
    Q_OBJECT
public:
    TForm8(SimApp& sim, QWidget* mainWindow);

    PaintBox* PaintBox3 = nullptr;
    QSlider* TrackBar5 = nullptr;  // turn about the vertical, -180..180
    QSlider* TrackBar6 = nullptr;  // turn about the horizontal, -180..180
    QSlider* TrackBar7 = nullptr;  // shift up/down, -150..150
    QSlider* TrackBar8 = nullptr;  // shift left/right, -150..150
    QSlider* TrackBar9 = nullptr;  // zoom, 10..100

    Mat3 viewMatrix = MatIdentity();

    // Handler of both rotation sliders, also run at creation.
    void TrackBar6Change();
    void PaintBox3MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void drawStaticModel();

    // The number of beeps given (the beep itself cannot be observed).
    int beeps = 0;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    SimApp& sim_;
};

}  // namespace uav
