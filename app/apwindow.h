// "ArduPilot (SITL)": ArduPilot flies the window's flight over its JSON
// physics interface. While it runs, each new servo packet moves the main
// sliders (as the autopilot link does), advances one dynamics tick in place of
// the 10 ms timer, and is answered; the display, the 3D view, the plots and
// the recorder go on as ever. The pilot's inputs go the other way, to
// ArduPilot's RC input at 50 Hz: the transmitter's positions while it sends
// reports, otherwise this window's two sticks (mode 2: left throttle and
// rudder, right aileron and elevator) and its mode switch. Stopping gives the
// flight back to the timer and the sliders back to the hand.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "link/apsession.h"
#include "link/apudp.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSocketNotifier;
class QSpinBox;
class QTimer;

namespace uav {

struct SimApp;
class TForm1;

// A square pad with a stick moved by the mouse; positions -100..100.
class StickPad : public QWidget {
    Q_OBJECT
public:
    // `springY`: the vertical axis returns to the centre on release (elevator);
    // the throttle's stays where it is left.
    StickPad(bool springY, QWidget* parent);
    int x() const { return x_; }
    int y() const { return y_; }
    void setPosition(int x, int y);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void moveTo(const QPoint& p);
    bool springY_;
    int x_ = 0, y_ = 0;  // +x right, +y up
};

class ArduPilotWindow : public QWidget {
    Q_OBJECT
public:
    ArduPilotWindow(SimApp& sim, TForm1& main);
    ~ArduPilotWindow() override;

    QLineEdit* addressEdit = nullptr;   // physics address, "127.0.0.1"
    QSpinBox* portSpin = nullptr;       // 9002 (+10 per ArduPilot instance); 0: any free port
    QLineEdit* channelsEdit = nullptr;  // channel map "1,2,3,4"
    QSpinBox* rcPortSpin = nullptr;     // ArduPilot's RC input, 5501
    QCheckBox* heldCheck = nullptr;     // held start and catapult
    QPushButton* startButton = nullptr; // "Старт" / "Стоп"
    QLabel* statusLabel = nullptr;      // frames per second, time since the last packet, counters
    QLabel* packetLabel = nullptr;      // the last servo packet
    QLabel* replyLabel = nullptr;       // the last reply
    QLabel* rcLabel = nullptr;          // what goes to the RC input
    StickPad* leftStick = nullptr;      // throttle (y), rudder (x)
    StickPad* rightStick = nullptr;     // elevator (y), aileron (x)
    QComboBox* modeCombo = nullptr;     // mode switch position 1..6

    bool running() const { return endpoint_ != nullptr; }
    int boundPort() const { return endpoint_ ? endpoint_->port() : -1; }
    const ApCounters& counters() const { return session_.counters(); }
    LaunchPhase launchPhase() const { return launch_.phase; }
    // The start/stop button's work; a bad field or a port in use shows a message box.
    void startButtonClick();
    bool start();
    void stop();
    // What the RC input gets now (also sent every 20 ms while running).
    SliderPositions pilotSliders() const;

private:
    void onReadable();
    void onFrame(const ApServoPacket& p, bool restart, const UdpPeer& from);
    void sendRc();
    void refreshStatus();
    void holdAtStart();

    SimApp& sim_;
    TForm1& main_;
    std::unique_ptr<UdpEndpoint> endpoint_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* rcTimer_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    ApSession session_;
    ApLaunch launch_;
    ApChannelMap map_;
    ServoCommand command_;
    UdpPeer peer_;
    std::string lastReply_;
    std::string notices_;
    std::int64_t flightTicks_ = 0;      // dynamics ticks since the flight (re)started
    std::uint64_t framesAtLastStatus_ = 0;
    double lastStatusS_ = 0.0;
    double startedS_ = 0.0;
    std::uint64_t rcSent_ = 0, rcFailed_ = 0;
};

}  // namespace uav
