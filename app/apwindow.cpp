#include "app/apwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/guarded.h"
#include "app/simapp.h"
#include "app/tform1.h"
#include "app/toolwindow.h"
#include "core/errors.h"

namespace uav {

namespace {

constexpr int RC_INTERVAL_MS = 20;        // 50 Hz to ArduPilot's RC input
constexpr int STATUS_INTERVAL_MS = 250;
constexpr int MAX_DATAGRAMS_PER_WAKE = 64; // then back to the event loop: the window never stalls on a flood
constexpr ClockMs TRANSMITTER_FRESH_MS = 500;

}  // namespace

StickPad::StickPad(bool springY, QWidget* parent) : QWidget(parent), springY_(springY) {
    setFixedSize(110, 110);
    setCursor(Qt::CrossCursor);
}

void StickPad::setPosition(int x, int y) {
    x_ = std::clamp(x, -100, 100);
    y_ = std::clamp(y, -100, 100);
    update();
}

void StickPad::moveTo(const QPoint& p) {
    const double half = width() / 2.0 - 9;
    setPosition(static_cast<int>((p.x() - width() / 2.0) / half * 100.0),
                static_cast<int>((height() / 2.0 - p.y()) / half * 100.0));
}

void StickPad::paintEvent(QPaintEvent*) {
    QPainter g(this);
    g.fillRect(rect(), QColor(236, 236, 236));
    g.setPen(QColor(160, 160, 160));
    g.drawRect(rect().adjusted(0, 0, -1, -1));
    g.drawLine(width() / 2, 4, width() / 2, height() - 4);
    g.drawLine(4, height() / 2, width() - 4, height() / 2);
    const double half = width() / 2.0 - 9;
    const QPointF c(width() / 2.0 + x_ / 100.0 * half, height() / 2.0 - y_ / 100.0 * half);
    g.setRenderHint(QPainter::Antialiasing);
    g.setBrush(QColor(40, 90, 200));
    g.setPen(Qt::NoPen);
    g.drawEllipse(c, 7, 7);
}

void StickPad::mousePressEvent(QMouseEvent* e) { moveTo(e->position().toPoint()); }
void StickPad::mouseMoveEvent(QMouseEvent* e) { moveTo(e->position().toPoint()); }
void StickPad::mouseReleaseEvent(QMouseEvent*) { setPosition(0, springY_ ? 0 : y_); }

ArduPilotWindow::ArduPilotWindow(SimApp& sim, TForm1& main) : QWidget(&main), sim_(sim), main_(main) {
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("ArduPilot (SITL)"));
    auto* layout = new QVBoxLayout(this);

    auto* conn = new QGridLayout;
    conn->addWidget(new QLabel(QStringLiteral("Адрес")), 0, 0);
    addressEdit = new QLineEdit(QStringLiteral("127.0.0.1"));
    conn->addWidget(addressEdit, 0, 1);
    conn->addWidget(new QLabel(QStringLiteral("Порт (UDP)")), 0, 2);
    portSpin = new QSpinBox;
    portSpin->setRange(0, 65535);
    portSpin->setValue(AP_DEFAULT_PORT);
    conn->addWidget(portSpin, 0, 3);
    conn->addWidget(new QLabel(QStringLiteral("Каналы (элероны, РВ, газ, руль)")), 1, 0);
    channelsEdit = new QLineEdit(QStringLiteral("1,2,3,4"));
    channelsEdit->setToolTip(QStringLiteral("Выходы ArduPilot для элеронов, руля высоты, газа и руля направления; "
                                            "минус перед номером реверсирует канал: 1,2,3,-4"));
    conn->addWidget(channelsEdit, 1, 1);
    conn->addWidget(new QLabel(QStringLiteral("Порт RC")), 1, 2);
    rcPortSpin = new QSpinBox;
    rcPortSpin->setRange(1, 65535);
    rcPortSpin->setValue(AP_RC_DEFAULT_PORT);
    conn->addWidget(rcPortSpin, 1, 3);
    heldCheck = new QCheckBox(QStringLiteral("Удержание на старте и катапульта"));
    heldCheck->setChecked(true);
    heldCheck->setToolTip(QStringLiteral("Самолёт стоит в начальных условиях, пока газ ArduPilot не превысит 1250 мкс, "
                                         "затем катапульта за 1 с разгоняет его до начальной скорости"));
    conn->addWidget(heldCheck, 2, 0, 1, 2);
    startButton = new QPushButton(QStringLiteral("Старт"));
    conn->addWidget(startButton, 2, 3);
    layout->addLayout(conn);

    statusLabel = new QLabel(QStringLiteral("Остановлено"));
    packetLabel = new QLabel(QStringLiteral("Пакет: —"));
    replyLabel = new QLabel(QStringLiteral("Ответ: —"));
    replyLabel->setWordWrap(true);
    replyLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    replyLabel->setMinimumWidth(420);
    for (QLabel* l : {statusLabel, packetLabel, replyLabel}) layout->addWidget(l);

    auto* rc = new QGroupBox(QStringLiteral("Пульт → RC ArduPilot (50 Гц)"));
    auto* rcLayout = new QHBoxLayout(rc);
    leftStick = new StickPad(false, rc);
    leftStick->setToolTip(QStringLiteral("Газ (вверх — больше) и руль направления"));
    leftStick->setPosition(0, -100);  // throttle idle
    rightStick = new StickPad(true, rc);
    rightStick->setToolTip(QStringLiteral("Руль высоты (на себя — вниз) и элероны"));
    rcLayout->addWidget(leftStick);
    rcLayout->addWidget(rightStick);
    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(QStringLiteral("Режим (канал 8)")));
    modeCombo = new QComboBox;
    for (int i = 1; i <= AP_MODE_SWITCH_POSITIONS; ++i)
        modeCombo->addItem(QStringLiteral("%1 (FLTMODE%1, %2 мкс)").arg(i).arg(modeSwitchPulseUs(i)));
    modeCombo->setCurrentIndex(5);  // plane.parm: FLTMODE6 is MANUAL
    side->addWidget(modeCombo);
    rcLabel = new QLabel;
    side->addWidget(rcLabel);
    side->addStretch();
    rcLayout->addLayout(side);
    layout->addWidget(rc);

    rcTimer_ = new QTimer(this);
    rcTimer_->setInterval(RC_INTERVAL_MS);
    rcTimer_->setTimerType(Qt::PreciseTimer);
    connect(rcTimer_, &QTimer::timeout, this, [this] { sendRc(); });
    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(STATUS_INTERVAL_MS);
    connect(statusTimer_, &QTimer::timeout, this, [this] { refreshStatus(); });
    connect(startButton, &QPushButton::clicked, this, [this] { startButtonClick(); });
}

ArduPilotWindow::~ArduPilotWindow() {
    // The main window is going too (it owns this one and its timers): only
    // let go of the socket.
    if (endpoint_) sim_.arduPilotFlying = false;
}

void ArduPilotWindow::startButtonClick() {
    if (running())
        stop();
    else
        start();
}

bool ArduPilotWindow::start() {
    return guarded(this, [&] {
        const ApChannelMap map = parseChannelMap(channelsEdit->text().trimmed().toStdString());
        auto endpoint = std::make_unique<UdpEndpoint>(addressEdit->text().trimmed().toStdString(), portSpin->value());
        map_ = map;
        endpoint_ = std::move(endpoint);
        notifier_ = new QSocketNotifier(endpoint_->fd(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
        session_ = ApSession{};
        command_ = ServoCommand{};
        lastReply_.clear();
        notices_.clear();
        framesAtLastStatus_ = 0;
        startedS_ = lastStatusS_ = static_cast<double>(sim_.nowMs()) / 1000.0;
        // ArduPilot's frames tick the flight from now on, not the 10 ms timer.
        main_.Timer2->stop();
        sim_.arduPilotFlying = true;
        holdAtStart();
        rcTimer_->start();
        statusTimer_->start();
        startButton->setText(QStringLiteral("Стоп"));
        for (QWidget* w : std::initializer_list<QWidget*>{addressEdit, portSpin, channelsEdit, heldCheck})
            w->setEnabled(false);
        refreshStatus();
    });
}

void ArduPilotWindow::stop() {
    if (!endpoint_) return;
    delete notifier_;
    notifier_ = nullptr;
    endpoint_.reset();
    rcTimer_->stop();
    statusTimer_->stop();
    sim_.arduPilotFlying = false;
    // The flight goes back to the timer, where ArduPilot left it.
    if (launch_.phase != LaunchPhase::Free) sim_.state.running = false;
    main_.Timer2->start();
    startButton->setText(QStringLiteral("Старт"));
    for (QWidget* w : std::initializer_list<QWidget*>{addressEdit, portSpin, channelsEdit, heldCheck})
        w->setEnabled(true);
    statusLabel->setText(QStringLiteral("Остановлено; кадров: %1").arg(session_.counters().frames));
}

void ArduPilotWindow::holdAtStart() {
    // The start of an ArduPilot flight: the main window's initial conditions,
    // held (or flying free from the first frame without the held start).
    applyInitialConditions(sim_.state, main_.initialConditions());
    sim_.state.running = true;
    flightTicks_ = 0;
    if (heldCheck->isChecked()) {
        launch_ = beginHeldLaunch(sim_.state);
    } else {
        launch_ = ApLaunch{};
        launch_.phase = LaunchPhase::Free;
    }
}

void ArduPilotWindow::onReadable() {
    if (!endpoint_) return;
    std::uint8_t buf[AP_PACKET_32_BYTES + 1];
    for (int i = 0; i < MAX_DATAGRAMS_PER_WAKE && endpoint_; ++i) {
        UdpPeer from;
        const long n = endpoint_->receiveNow(buf, sizeof buf, from);
        if (n < 0) return;
        ApServoPacket p;
        const double now = static_cast<double>(sim_.nowMs()) / 1000.0;
        const ApFrameAction a = session_.accept(from.text(), buf, static_cast<std::size_t>(n), now, p);
        std::string other;
        if (session_.takeOtherSenderNotice(other))
            notices_ = "Пакеты от " + other + " отброшены: ArduPilot " + session_.sender() + " активен";
        switch (a) {
        case ApFrameAction::Ignore:
            break;
        case ApFrameAction::Repeat:
            if (!lastReply_.empty()) endpoint_->sendTo(from, lastReply_.data(), lastReply_.size());
            break;
        case ApFrameAction::Restart:
        case ApFrameAction::Step:
            onFrame(p, a == ApFrameAction::Restart, from);
            break;
        }
    }
}

void ArduPilotWindow::onFrame(const ApServoPacket& p, bool restart, const UdpPeer& from) {
    if (restart) {
        holdAtStart();
        notices_ = "ArduPilot перезапущен: полёт начат заново";
    }
    peer_ = from;
    command_ = commandFromServos(p, map_, command_);
    // The sliders move as a hand would move them (the control tick reads them).
    main_.setControlSliders(slidersFromCommand(command_));
    prepareLaunchTick(launch_, sim_.state, throttlePulseUs(p, map_));
    main_.Timer2Timer();  // the dynamics tick with everything the timer's tick does
    ++flightTicks_;
    const ApReply r = writeFdmReply(fdmFromState(sim_.state,
                                                 launchSpecificForceBody(launch_, sim_.state, sim_.aircraft.params),
                                                 static_cast<double>(flightTicks_) * sim_.state.dt));
    session_.counters().nonFinite += static_cast<std::uint64_t>(r.nonFiniteReplaced);
    lastReply_ = r.text;
    if (endpoint_) endpoint_->sendTo(peer_, lastReply_.data(), lastReply_.size());
    char line[200];
    std::snprintf(line, sizeof line, "Пакет %u (%u Гц): %u %u %u %u %u %u %u %u", p.frameCount, p.frameRateHz,
                  p.pwmUs[0], p.pwmUs[1], p.pwmUs[2], p.pwmUs[3], p.pwmUs[4], p.pwmUs[5], p.pwmUs[6], p.pwmUs[7]);
    packetLabel->setText(QString::fromUtf8(line));
}

SliderPositions ArduPilotWindow::pilotSliders() const {
    if (sim_.transmitterAtMs >= 0 && sim_.nowMs() - sim_.transmitterAtMs <= TRANSMITTER_FRESH_MS)
        return sim_.transmitterSliders;
    // The window's sticks: left up is more throttle (the slider's -100 is full).
    // Right stick up (forward) is nose down: the elevator slider's top end.
    return {rightStick->x(), leftStick->x(), -rightStick->y(), -leftStick->y()};
}

void ArduPilotWindow::sendRc() {
    if (!endpoint_) return;
    const auto rc = rcFromSliders(pilotSliders(), modeCombo->currentIndex() + 1);
    const std::string bytes = encodeRcInput(rc);
    // ArduPilot's RC input listens where its servo packets come from.
    UdpPeer to = udpPeer("127.0.0.1", rcPortSpin->value());
    if (session_.hasSender()) to.addrBe = peer_.addrBe;
    if (endpoint_->sendTo(to, bytes.data(), bytes.size()))
        ++rcSent_;
    else
        ++rcFailed_;
    rcLabel->setText(QStringLiteral("RC: %1 %2 %3 %4 … %5")
                         .arg(rc[0]).arg(rc[1]).arg(rc[2]).arg(rc[3]).arg(rc[AP_MODE_SWITCH_CHANNEL - 1]));
}

void ArduPilotWindow::refreshStatus() {
    if (!endpoint_) return;
    const double now = static_cast<double>(sim_.nowMs()) / 1000.0;
    const ApCounters& c = session_.counters();
    const double span = now - lastStatusS_;
    const double fps = span > 0 ? static_cast<double>(c.frames - framesAtLastStatus_) / span : 0.0;
    framesAtLastStatus_ = c.frames;
    lastStatusS_ = now;
    char line[400];
    const std::string since = session_.hasSender()
                                  ? std::to_string(static_cast<int>((now - session_.lastFrameAtS()) * 1000)) + " мс назад"
                                  : std::string("ещё не было");
    std::snprintf(line, sizeof line,
                  "Порт %d, %s: %.0f кадров/с; последний пакет: %s; старт: %s\n"
                  "кадров %llu, повторов %llu, перезапусков %llu, пропусков счётчика %llu; отброшено: "
                  "размер %llu, magic %llu, чужой отправитель %llu",
                  endpoint_->port(), session_.hasSender() ? session_.sender().c_str() : "ждём ArduPilot", fps,
                  since.c_str(), launchPhaseText(launch_.phase), static_cast<unsigned long long>(c.frames),
                  static_cast<unsigned long long>(c.repeats), static_cast<unsigned long long>(c.restarts),
                  static_cast<unsigned long long>(c.countJumps), static_cast<unsigned long long>(c.wrongSize),
                  static_cast<unsigned long long>(c.wrongMagic), static_cast<unsigned long long>(c.otherSender));
    QString text = QString::fromUtf8(line);
    if (!notices_.empty()) text += QStringLiteral("\n") + QString::fromStdString(notices_);
    statusLabel->setText(text);
    QString reply = QString::fromStdString(lastReply_).trimmed();
    replyLabel->setText(QStringLiteral("Ответ: ") + (reply.isEmpty() ? QStringLiteral("—") : reply));
}

}  // namespace uav
