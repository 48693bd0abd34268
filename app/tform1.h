// The main window "Симулятор": run control, initial conditions, wind and
// gusts, the four control sliders and the autopilot mode, the three 2-D views
// with their status texts, the menu that opens the other windows, and the five
// timers that drive the simulation.
#pragma once

#include <QMainWindow>

#include "app/simapp.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;
class QToolButton;

namespace uav {

class ClickImage;
class ArduPilotWindow;
class ClickLabel;
class Diagnostics;
class PaintBox;
class RecordingUi;
class WindMarkerWidget;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(SimApp& sim);
    ~TForm1() override;

    // Components, named as the rest of the program refers to them.
    PaintBox* PaintBox1 = nullptr;  // side view, 300 x 300
    PaintBox* PaintBox2 = nullptr;  // camera view, 300 x 300
    PaintBox* PaintBox4 = nullptr;  // top view, 320 x 320
    QLabel* Label13 = nullptr;      // top view scale
    QCheckBox* CheckBox1 = nullptr; // "3D"
    QLabel* Label9 = nullptr;       // speeds, altitude, distances
    QLabel* Label11 = nullptr;      // control outputs, %
    QLabel* Label18 = nullptr;      // body angular velocity

    QSlider* TrackBar1 = nullptr;   // ailerons
    QSlider* TrackBar2 = nullptr;   // rudder
    QSlider* TrackBar3 = nullptr;   // elevator
    QSlider* TrackBar4 = nullptr;   // throttle
    ClickLabel* Label2 = nullptr;   // aileron percentage / zero
    ClickLabel* Label1 = nullptr;   // rudder percentage / zero
    ClickLabel* Label6 = nullptr;   // elevator percentage / zero
    QGroupBox* RadioGroup1 = nullptr;  // "Режим АП"
    QButtonGroup* RadioGroup1Buttons = nullptr;

    QSpinBox* SpinEdit5 = nullptr;   // "Скорость", km/h
    QSpinBox* SpinEdit11 = nullptr;  // "Угол", deg
    QSpinBox* SpinEdit8 = nullptr;   // "Высота", m
    QSpinBox* SpinEdit1 = nullptr;   // "Дист.", m
    QToolButton* SpeedButton2 = nullptr;  // start
    QToolButton* SpeedButton3 = nullptr;  // stop
    QToolButton* SpeedButton4 = nullptr;  // initial conditions

    QWidget* Panel1 = nullptr;             // holds the compass picture and the marker
    ClickImage* Image1 = nullptr;          // compass, 120 x 120 at (1, 1) of Panel1
    WindMarkerWidget* Shape1 = nullptr;    // wind marker
    QLabel* Label19 = nullptr;             // wind speed text
    QCheckBox* CheckBox2 = nullptr;        // gusts on
    QSpinBox* SpinEdit9 = nullptr;         // gust maximum, m/s
    QSpinBox* SpinEdit10 = nullptr;        // gust period, s

    QTimer* Timer1 = nullptr;  // 130 ms display
    QTimer* Timer2 = nullptr;  // 10 ms dynamics
    QTimer* Timer3 = nullptr;  // gusts
    QTimer* Timer4 = nullptr;  // 20 ms autopilot loops
    QTimer* Timer5 = nullptr;  // 20 ms pilot controls and servos

    QAction* menuModel = nullptr;     // "Настройки" / "модель"
    QAction* menuPult = nullptr;      // "Настройки" / "Пульт"
    QAction* menuForces = nullptr;    // "Настройки" / "Показать аэродинамику"
    QAction* menuParams = nullptr;    // "Автопилот" / "показать параметры"
    QAction* menuStab = nullptr;      // "Автопилот" / "Настройки стабилизации"
    QAction* menuReturn = nullptr;    // "Автопилот" / "Настройки автовозврата"
    QAction* menuConnect = nullptr;   // "Connect"
    QAction* menuArduPilot = nullptr; // "Автопилот" / "ArduPilot (SITL)…"
    ArduPilotWindow* arduPilotWindow();  // created on first use

    // Handlers.
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Timer4Timer();
    void Timer5Timer();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void CheckBox2Click();
    void SpinEdit10Change();
    void RadioGroup1Click(int index);
    void CheckBox1Click();

    // A command from the autopilot link: the four sliders move as a user's
    // hand would move them (each fires its change handling).
    void setControlSliders(const SliderPositions& p);

    // The display steps of Timer1.
    void drawTopView();
    void drawModel();
    void drawScreen();

    SimApp& sim() { return sim_; }
    RecordingUi* recordingUi() { return recordingUi_; }
    // What the "Начальные условия" fields and the four sliders hold now.
    InitialConditions initialConditions() const;
    SliderPositions sliderPositions() const;

private:
    void buildLayout();
    void buildMenu();
    void FormCreate();
    void moveMarker();
    void showPendingNotice(const QString& text);

    SimApp& sim_;
    Diagnostics* diag_ = nullptr;
    RecordingUi* recordingUi_ = nullptr;  // menu "Запись"
    ArduPilotWindow* arduPilotWindow_ = nullptr;
};

// Label texts use a single CR between lines; a QLabel breaks on LF.
QString labelText(const std::string& crText);

}  // namespace uav
