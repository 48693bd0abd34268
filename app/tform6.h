// The connection window "Соединение" of the autopilot link: an always-on-top
// tool window that configures, starts and stops the link server. The server's
// connection threads hand decoded commands to this window on the UI thread,
// which moves the main window's sliders; replies are built on those threads
// from the telemetry the main window publishes after every dynamics tick.
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>

#include "app/simapp.h"
#include "link/server.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;

namespace uav {

class TForm6 : public QWidget {
    Q_OBJECT
public:
    TForm6(SimApp& sim, QWidget* mainWindow);
    ~TForm6() override;

    QListWidget* lbIPs = nullptr;          // addresses to bind, each with a check box
    QLineEdit* edtPort = nullptr;          // "9099"
    QComboBox* cboPorts = nullptr;         // "Any", then the services database's ports
    QPushButton* btnStartServer = nullptr;
    QPushButton* btnStopServer = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* Label1 = nullptr;              // the last command received
    QListWidget* lbProcesses = nullptr;    // activity log, kept but not shown
    QPushButton* btnClearMessages = nullptr;  // not shown
    QStringList errorTexts;                // errors of one start or stop, for the result box
    bool running = false;                  // the server is listening

    void cboPortsChange();
    void btnStartServerClick();
    void btnStopServerClick();
    void btnClearMessagesClick();
    bool Start();
    bool Stop();

    // The server, for the ports it actually bound and its counters.
    const LinkServer& server() const { return *server_; }

private:
    // On the UI thread: every command waiting, in arrival order.
    void applyCommands();

    SimApp& sim_;
    CommandQueue commands_;
    std::vector<ServoCommand> draining_;
    std::unique_ptr<LinkServer> server_;
};

}  // namespace uav
