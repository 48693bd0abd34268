// The connection window and the GUI's link server, driven through the real
// widgets on the offscreen platform, with the HIL client as the autopilot.
// The server binds to 127.0.0.1 on a port the kernel picks.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <thread>

#include <poll.h>
#include <sys/socket.h>

#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform6.h"
#include "app/widgets.h"
#include "link/hilclient.h"
#include "tests/testutil.h"

using namespace uav;
using namespace std::chrono_literals;

namespace {

class LinkWindow : public ::testing::Test {
protected:
    void SetUp() override {
        sim.appDir = dir.path.string() + "/";
        w = createWindows(sim);
    }
    void TearDown() override { delete w.form1; }

    // Clicks `button`, closing the message box it opens; returns the box's text.
    std::string click(void (TForm6::*handler)()) {
        std::string text = "no message box";
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text().toStdString();
                box->done(QMessageBox::Ok);
            }
        });
        (f6().*handler)();
        return text;
    }
    void tick(int row) { f6().lbIPs->item(row)->setCheckState(Qt::Checked); }
    std::vector<std::string> log() {
        std::vector<std::string> lines;
        for (int i = 0; i < f6().lbProcesses->count(); ++i) lines.push_back(f6().lbProcesses->item(i)->text().toStdString());
        return lines;
    }
    // Spins the event loop until `cond` holds (two seconds at most).
    bool eventually(const std::function<bool()>& cond) {
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (!cond() && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return cond();
    }
    TForm1& f1() { return *w.form1; }
    TForm6& f6() { return *w.form6; }

    test::TempDir dir;
    SimApp sim;
    Windows w;
};

}  // namespace

TEST_F(LinkWindow, StartState) {
    EXPECT_EQ(f6().windowTitle(), QStringLiteral("Соединение"));
    EXPECT_TRUE(f6().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(f6().lbIPs->item(0)->text(), QStringLiteral("127.0.0.1"));
    for (int i = 0; i < f6().lbIPs->count(); ++i) EXPECT_EQ(f6().lbIPs->item(i)->checkState(), Qt::Unchecked);
    EXPECT_EQ(f6().edtPort->text(), QStringLiteral("9099"));
    EXPECT_EQ(f6().cboPorts->itemText(0), QStringLiteral("Any"));
    EXPECT_EQ(f6().StatusBar->currentMessage(), QStringLiteral("Server stopped"));
    EXPECT_EQ(f6().Label1->text(), QStringLiteral("Label1"));
    EXPECT_EQ(f6().btnStartServer->text(), QStringLiteral("&Start server"));
    EXPECT_EQ(f6().btnStopServer->text(), QStringLiteral("S&top server"));
    f6().show();
    EXPECT_FALSE(f6().lbProcesses->isVisible());
}

TEST_F(LinkWindow, MessagesOfStartAndStop) {
    EXPECT_EQ(click(&TForm6::btnStartServerClick), "Cannot proceed until you select at least one IP to bind!");
    EXPECT_TRUE(log().empty()) << "the server was not touched";
    EXPECT_EQ(click(&TForm6::btnStopServerClick), "Server it not running - no need to stop !");

    // "Any" from the service list is copied whole and cannot be parsed.
    tick(0);
    f6().cboPorts->setCurrentIndex(0);
    f6().cboPortsChange();
    EXPECT_EQ(f6().edtPort->text(), QStringLiteral("Any"));
    EXPECT_EQ(click(&TForm6::btnStartServerClick), "Error starting server\n\n'Any' is not a valid integer value");
    EXPECT_EQ(log(), (std::vector<std::string>{"Server stopped", "Server not started"}));
    EXPECT_FALSE(f6().running);

    // A service item gives its number.
    if (f6().cboPorts->count() > 1) {
        f6().cboPorts->setCurrentIndex(1);
        f6().cboPortsChange();
        EXPECT_FALSE(f6().edtPort->text().contains(':'));
    }

    // An address that cannot be bound: the reason in the box.
    auto* foreign = new QListWidgetItem(QStringLiteral("192.0.2.1"), f6().lbIPs);
    foreign->setCheckState(Qt::Checked);
    f6().lbIPs->item(0)->setCheckState(Qt::Unchecked);
    f6().edtPort->setText(QStringLiteral("0"));
    EXPECT_EQ(click(&TForm6::btnStartServerClick),
              "Error starting server\n\nCould not bind socket to 192.0.2.1:0: Cannot assign requested address");
    delete foreign;

    tick(0);
    f6().btnClearMessagesClick();
    EXPECT_EQ(click(&TForm6::btnStartServerClick), "Server started successfully!");
    EXPECT_EQ(log(), (std::vector<std::string>{"Server stopped", "Server bound to IP 127.0.0.1 on port 0", "Server started"}));
    EXPECT_EQ(f6().StatusBar->currentMessage(), QStringLiteral("Server running"));
    EXPECT_EQ(click(&TForm6::btnStopServerClick), "Server stopped successfully");
    EXPECT_EQ(f6().StatusBar->currentMessage(), QStringLiteral("Server stopped"));
    EXPECT_EQ(click(&TForm6::btnStopServerClick), "Server it not running - no need to stop !");
}

TEST_F(LinkWindow, CommandsMoveTheSlidersAndRepliesCarryTheLastTick) {
    tick(0);
    f6().edtPort->setText(QStringLiteral("0"));
    ASSERT_TRUE(f6().Start());
    const int port = f6().server().boundPorts().at(0);
    f1().Timer2Timer();  // publishes the start state: 2 m, 30 km/h, pitched 15 deg up
    HilClient c("127.0.0.1", port);
    // The reply comes from the connection thread while this (UI) thread is busy.
    const LinkTelemetry t = c.exchange({1000, 1200, 2000, 2500});
    EXPECT_FLOAT_EQ(static_cast<float>(t.altitude), static_cast<float>(sim.state.posH));
    EXPECT_FLOAT_EQ(static_cast<float>(t.pitch), static_cast<float>(sim.state.pitchAngle));
    EXPECT_GT(t.pitch, 0.2);
    EXPECT_NEAR(t.groundSpeed, 30.0 / 3.6, 1e-5);

    ASSERT_TRUE(eventually([&] { return f1().TrackBar1->value() == -100; }));
    EXPECT_EQ(f1().TrackBar3->value(), -60);
    EXPECT_EQ(f1().TrackBar2->value(), -100);
    EXPECT_EQ(f1().TrackBar4->value(), -100) << "2500 us is held at the slider's end";
    EXPECT_EQ(f1().Label2->text(), QStringLiteral("-100 %"));
    EXPECT_EQ(f6().Label1->text(), QStringLiteral("элер, мс = 1000\nРВ, мс = 1200\nрудер, мс = 2000\nгаз, мс = 2500"));

    // Two clients, commands applied in arrival order: the last one wins.
    HilClient d("127.0.0.1", port);
    for (int i = 0; i < 50; ++i) c.exchange({1500 + i, 1500, 1500, 1500});
    d.exchange({1750, 1500, 1500, 1500});
    ASSERT_TRUE(eventually([&] { return f1().TrackBar1->value() == 50; }));

    // Stop with clients connected closes them.
    ASSERT_TRUE(f6().Stop());
    EXPECT_TRUE(c.closedByServer(2s));
    EXPECT_TRUE(d.closedByServer(2s));
}

// A client that writes thousands of frames without reading is dropped, gets
// whole replies only, and the activity log says who and why.
TEST_F(LinkWindow, ADroppedClientIsLoggedWithItsReason) {
    tick(0);
    f6().edtPort->setText(QStringLiteral("0"));
    ASSERT_TRUE(f6().Start());
    HilClient deaf("127.0.0.1", f6().server().boundPorts().at(0));
    std::vector<CommandFrame> burst(30000, encodeCommand({1500, 1500, 1500, 1500}));
    std::thread writer([&] {
        try {
            deaf.sendBytes(burst.data(), burst.size() * sizeof(CommandFrame));
        } catch (const SimError&) {
        }
    });
    auto droppedLogged = [&] {
        for (const std::string& l : log())
            if (l.find("dropped: its replies went unread") != std::string::npos && l.rfind("Client 127.0.0.1:", 0) == 0)
                return true;
        return false;
    };
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!droppedLogged() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    writer.join();
    EXPECT_TRUE(droppedLogged()) << "activity log: " << (log().empty() ? "" : log().back());
    const std::size_t total = test::bytesUntilQuiet(deaf.fd());
    EXPECT_EQ(total % 36, 0u) << total << " bytes after the greeting";
    ASSERT_TRUE(f6().Stop());
}
