// The "ArduPilot (SITL)" window on the offscreen platform, with the stand-in
// ArduPilot over UDP on loopback: its frames tick the flight and move the main
// sliders, the RC input gets the sticks at 50 Hz, stopping gives the flight
// back to the timer.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <filesystem>

#include "app/apwindow.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "link/apstandin.h"
#include "tests/testutil.h"

using namespace uav;
using namespace std::chrono_literals;

namespace {

class ArduPilotWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.appDir = dir.path.string() + "/";
        w = createWindows(sim);
    }
    void TearDown() override { delete w.form1; }
    bool eventually(const std::function<bool()>& cond) {
        const auto end = std::chrono::steady_clock::now() + 3s;
        while (!cond() && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return cond();
    }
    // Sends a frame and spins the event loop until its reply is in.
    bool exchange(ApStandIn& ap, const ApServoPacket& p, ApFdm& f) {
        if (!ap.send(p)) return false;
        std::string text;
        bool got = false;
        eventually([&] { return got = got || ap.receive(text, 0ms); });
        const bool read = got && readFdmReplyAsArduPilot(text, f);
        if (!read)
            ADD_FAILURE() << "reply " << (got ? "unreadable: " + text : std::string("missing")) << "; datagrams "
                          << w.form1->arduPilotWindow()->counters().datagrams << ", frames "
                          << w.form1->arduPilotWindow()->counters().frames;
        return read;
    }
    test::TempDir dir;
    SimApp sim;
    Windows w;
};

ApServoPacket packet(std::uint32_t n, int ail, int thr) {
    ApServoPacket p;
    p.frameCount = n;
    p.pwmUs.fill(1500);
    p.pwmUs[0] = static_cast<std::uint16_t>(ail);
    p.pwmUs[2] = static_cast<std::uint16_t>(thr);
    return p;
}

}  // namespace

TEST_F(ArduPilotWindowTest, MenuItemFollowsTheAutopilotItems) {
    QMenu* menu = w.form1->menuReturn->associatedObjects().isEmpty()
                      ? nullptr
                      : qobject_cast<QMenu*>(w.form1->menuReturn->associatedObjects().first());
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    const auto at = items.indexOf(w.form1->menuArduPilot);
    ASSERT_GT(at, items.indexOf(w.form1->menuReturn));
    EXPECT_EQ(w.form1->menuArduPilot->text(), QStringLiteral("ArduPilot (SITL)…"));
    w.form1->menuArduPilot->trigger();
    EXPECT_TRUE(w.form1->arduPilotWindow()->isVisible());
}

TEST_F(ArduPilotWindowTest, FramesTickTheFlightAndMoveTheSliders) {
    ArduPilotWindow& win = *w.form1->arduPilotWindow();
    win.portSpin->setValue(0);
    w.form1->SpinEdit8->setValue(40);  // the start: 40 m
    ASSERT_TRUE(win.start());
    EXPECT_FALSE(w.form1->Timer2->isActive());
    EXPECT_TRUE(sim.arduPilotFlying);
    ApStandIn ap("127.0.0.1", win.boundPort());
    ApFdm f;
    ASSERT_TRUE(exchange(ap, packet(0, 1700, 1000), f));
    EXPECT_DOUBLE_EQ(f.timestampS, 0.01);
    EXPECT_DOUBLE_EQ(f.posNed.z, -40.0);
    EXPECT_EQ(w.form1->TrackBar1->value(), 40);  // (1700 - 1500) / 5
    EXPECT_EQ(w.form1->TrackBar4->value(), 100); // 1000 us: idle
    EXPECT_EQ(win.launchPhase(), LaunchPhase::Held);
    // Full throttle: released; 150 frames later it flies at about the start's speed.
    for (std::uint32_t n = 1; n <= 150; ++n) ASSERT_TRUE(exchange(ap, packet(n, 1500, 2000), f)) << n;
    EXPECT_EQ(win.launchPhase(), LaunchPhase::Free);
    EXPECT_EQ(w.form1->TrackBar4->value(), -100);
    EXPECT_GT(std::hypot(f.velNed.x, f.velNed.z), 7.0);
    EXPECT_NEAR(f.timestampS, 1.51, 1e-9);
    // Garbage is counted, not answered, and the window goes on.
    ASSERT_TRUE(ap.sendRaw(std::string(7, 'x')));
    ASSERT_TRUE(eventually([&] { return win.counters().wrongSize == 1; }));
    // A restart of ArduPilot: held at the start again.
    ASSERT_TRUE(exchange(ap, packet(0, 1500, 1000), f));
    EXPECT_DOUBLE_EQ(f.posNed.z, -40.0);
    EXPECT_EQ(win.launchPhase(), LaunchPhase::Held);
    EXPECT_EQ(win.counters().restarts, 1u);
    // The status shows frames and the last packet and reply.
    win.show();
    QTest::qWait(300);
    EXPECT_TRUE(win.packetLabel->text().startsWith(QStringLiteral("Пакет 0"))) << win.packetLabel->text().toStdString();
    EXPECT_TRUE(win.replyLabel->text().contains(QStringLiteral("\"timestamp\":0.01"))) << win.replyLabel->text().toStdString();
    win.stop();
    EXPECT_TRUE(w.form1->Timer2->isActive());
    EXPECT_FALSE(sim.arduPilotFlying);
}

TEST_F(ArduPilotWindowTest, SticksGoToTheRcInputAtFiftyHertz) {
    ArduPilotWindow& win = *w.form1->arduPilotWindow();
    UdpEndpoint rc("127.0.0.1", 0);
    win.portSpin->setValue(0);
    win.rcPortSpin->setValue(rc.port());
    ASSERT_TRUE(win.start());
    win.rightStick->setPosition(50, 0);   // right aileron
    win.leftStick->setPosition(-20, 100); // left rudder, full throttle
    win.modeCombo->setCurrentIndex(3);    // FLTMODE4
    QTest::qWait(250);
    std::uint8_t buf[64];
    UdpPeer from;
    int datagrams = 0;
    long n = -1, last = -1;
    std::uint8_t lastBytes[16];
    while ((n = rc.receiveNow(buf, sizeof buf, from)) >= 0) {
        ++datagrams;
        last = n;
        std::copy(buf, buf + 16, lastBytes);
    }
    EXPECT_GE(datagrams, 5);   // 12 in 250 ms at 50 Hz, fewer on a loaded machine
    EXPECT_LE(datagrams, 14);
    ASSERT_EQ(last, 16);
    auto ch = [&](int i) { return lastBytes[2 * i] | lastBytes[2 * i + 1] << 8; };
    EXPECT_EQ(ch(0), 1750);
    EXPECT_EQ(ch(2), 2000);
    EXPECT_EQ(ch(3), 1400);
    EXPECT_EQ(ch(7), 1555);
    // The transmitter, while it reports, wins over the sticks.
    sim.transmitterSliders = {-100, 0, 0, 100};
    sim.transmitterAtMs = sim.nowMs();
    EXPECT_EQ(win.pilotSliders().ailerons, -100);
    win.stop();
}

TEST_F(ArduPilotWindowTest, BadFieldsSayWhy) {
    ArduPilotWindow& win = *w.form1->arduPilotWindow();
    win.channelsEdit->setText(QStringLiteral("1,2,3"));
    std::string text;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text().toStdString();
            box->done(QMessageBox::Ok);
        }
    });
    EXPECT_FALSE(win.start());
    EXPECT_NE(text.find("four outputs are needed"), std::string::npos) << text;
    EXPECT_FALSE(win.running());
    EXPECT_TRUE(w.form1->Timer2->isActive());
}

// The real ArduPlane (../shared/tools/ardupilot), paced in real time by the
// window: the window's right stick goes to ArduPilot's RC input, ArduPlane in
// MANUAL (the mode switch's position 6) passes it to its aileron output, and
// that moves the main window's aileron slider.
TEST_F(ArduPilotWindowTest, RealArduPlaneFollowsTheSticks) {
    const std::string tools = UAVSIM_ARDUPILOT_TOOLS_PATH;
    if (!std::filesystem::exists(tools + "/arduplane")) GTEST_SKIP() << "ArduPlane SITL not found at " << tools;
    constexpr int instance = 7;
    ArduPilotWindow& win = *w.form1->arduPilotWindow();
    win.portSpin->setValue(AP_DEFAULT_PORT + 10 * instance);
    win.rcPortSpin->setValue(AP_RC_DEFAULT_PORT + 10 * instance);
    ASSERT_TRUE(win.start());
    QProcess ap;
    ap.setWorkingDirectory(QString::fromStdString(dir.path.string()));
    ap.setProcessChannelMode(QProcess::MergedChannels);
    ap.start(QString::fromStdString(tools + "/arduplane"),
             {QStringLiteral("-I%1").arg(instance), QStringLiteral("--model"), QStringLiteral("JSON:127.0.0.1"),
              QStringLiteral("--speedup"), QStringLiteral("1"), QStringLiteral("--wipe"), QStringLiteral("--defaults"),
              QString::fromStdString(tools + "/plane.parm," + std::string(UAVSIM_SOURCE_DIR_PATH) +
                                     "/ardupilot/trainer.parm")});
    ASSERT_TRUE(ap.waitForStarted(5000));
    // ArduPlane sends its first frame once a ground station is connected.
    QTcpSocket gcs;
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (gcs.state() != QAbstractSocket::ConnectedState && std::chrono::steady_clock::now() < until) {
        gcs.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(5760 + 10 * instance));
        gcs.waitForConnected(500);
    }
    ASSERT_EQ(gcs.state(), QAbstractSocket::ConnectedState);
    auto waitFor = [&](const std::function<bool()>& cond, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!cond() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            gcs.readAll();
        }
        return cond();
    };
    EXPECT_TRUE(waitFor([&] { return win.counters().frames > 200; }, 20s)) << win.counters().frames;
    win.rightStick->setPosition(80, 0);
    EXPECT_TRUE(waitFor([&] { return w.form1->TrackBar1->value() == 80; }, 10s)) << w.form1->TrackBar1->value();
    win.rightStick->setPosition(-60, 0);
    EXPECT_TRUE(waitFor([&] { return w.form1->TrackBar1->value() == -60; }, 10s)) << w.form1->TrackBar1->value();
    EXPECT_EQ(win.launchPhase(), LaunchPhase::Held);  // disarmed: the throttle never passed the release
    ap.kill();
    ap.waitForFinished(5000);
    win.stop();
}
