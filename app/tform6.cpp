#include "app/tform6.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "app/tform1.h"
#include "app/toolwindow.h"
#include "core/errors.h"

namespace uav {

namespace {

void message(QWidget* parent, const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    QMessageBox::information(parent, QStringLiteral("uavsim"), t);
}

}  // namespace

TForm6::TForm6(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form6"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Соединение"));

    auto* ipCaption = new QLabel(QStringLiteral("IP:"), this);
    ipCaption->setGeometry(8, 6, 160, 16);
    lbIPs = new QListWidget(this);
    lbIPs->setGeometry(8, 24, 160, 120);
    QStringList ips{QStringLiteral("127.0.0.1")};
    for (const std::string& ip : localIPv4Addresses()) ips << QString::fromStdString(ip);
    for (const QString& ip : ips) {
        auto* item = new QListWidgetItem(ip, lbIPs);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }

    auto* portCaption = new QLabel(QStringLiteral("Port:"), this);
    portCaption->setGeometry(180, 6, 60, 16);
    edtPort = new QLineEdit(QStringLiteral("9099"), this);
    edtPort->setGeometry(180, 24, 70, 24);
    cboPorts = new QComboBox(this);
    cboPorts->setGeometry(180, 54, 190, 24);
    cboPorts->addItem(QStringLiteral("Any"));
    for (const std::string& item : servicePortItems()) cboPorts->addItem(QString::fromStdString(item));

    btnStartServer = new QPushButton(QStringLiteral("&Start server"), this);
    btnStartServer->setGeometry(180, 88, 120, 26);
    btnStopServer = new QPushButton(QStringLiteral("S&top server"), this);
    btnStopServer->setGeometry(180, 118, 120, 26);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setGeometry(8, 152, 362, 72);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lbProcesses = new QListWidget(this);
    lbProcesses->setGeometry(8, 230, 362, 60);
    lbProcesses->hide();
    btnClearMessages = new QPushButton(QStringLiteral("Clear messages"), this);
    btnClearMessages->setGeometry(250, 232, 120, 26);
    btnClearMessages->hide();

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setGeometry(0, 232, 378, 22);
    StatusBar->showMessage(QStringLiteral("Server stopped"));
    setFixedSize(378, 254);

    // Runs on connection threads: queue the command for the UI thread (one
    // wake-up per batch) and answer at once from the last published tick, so a
    // reply never waits for a repaint or a 3D frame.
    // Each client refused or dropped goes to the activity log with its reason.
    server_ = std::make_unique<LinkServer>(
        [this](const ServoCommand& c) {
            if (commands_.push(c)) QMetaObject::invokeMethod(this, &TForm6::applyCommands, Qt::QueuedConnection);
            return encodeReply(sim_.linkTelemetry.read());
        },
        LinkLimits{},
        [this](const std::string& line) {
            const QString text = QString::fromStdString(line);
            QMetaObject::invokeMethod(this, [this, text] { lbProcesses->addItem(text); }, Qt::QueuedConnection);
        });

    connect(cboPorts, &QComboBox::activated, this, [this](int) { cboPortsChange(); });
    connect(btnStartServer, &QPushButton::clicked, this, &TForm6::btnStartServerClick);
    connect(btnStopServer, &QPushButton::clicked, this, &TForm6::btnStopServerClick);
    connect(btnClearMessages, &QPushButton::clicked, this, &TForm6::btnClearMessagesClick);
}

TForm6::~TForm6() {
    // No connection thread may call into this window once it goes.
    server_->stop();
}

void TForm6::applyCommands() {
    draining_.clear();
    commands_.drain(draining_);
    for (const ServoCommand& c : draining_) {
        Label1->setText(labelText(commandText(c)));
        if (sim_.windows.form1) sim_.windows.form1->setControlSliders(slidersFromCommand(c));
    }
}

void TForm6::cboPortsChange() {
    const QString item = cboPorts->currentText();
    const qsizetype colon = item.indexOf(QChar(':'));
    edtPort->setText(colon < 0 ? item : item.left(colon));
}

void TForm6::btnStartServerClick() {
    bool anyTicked = false;
    for (int i = 0; i < lbIPs->count(); ++i) anyTicked = anyTicked || lbIPs->item(i)->checkState() == Qt::Checked;
    if (!anyTicked) {
        message(this, QStringLiteral("Cannot proceed until you select at least one IP to bind!"));
        return;
    }
    errorTexts.clear();
    if (Start())
        message(this, QStringLiteral("Server started successfully!"));
    else
        message(this, QStringLiteral("Error starting server\r\r") + errorTexts.join(QStringLiteral("\r\n")));
}

void TForm6::btnStopServerClick() {
    errorTexts.clear();
    if (!running) {
        message(this, QStringLiteral("Server it not running - no need to stop !"));
        return;
    }
    if (Stop())
        message(this, QStringLiteral("Server stopped successfully"));
    else
        message(this, QStringLiteral("Error stopping server \r\r") + errorTexts.join(QStringLiteral("\r\n")));
}

void TForm6::btnClearMessagesClick() { lbProcesses->clear(); }

bool TForm6::Start() {
    if (!Stop()) {
        errorTexts << QStringLiteral("Error stopping server");
        return false;
    }
    try {
        std::vector<LinkBinding> bindings;
        QStringList noted;
        for (int i = 0; i < lbIPs->count(); ++i) {
            const QListWidgetItem* item = lbIPs->item(i);
            if (item->checkState() != Qt::Checked) continue;
            bindings.push_back({item->text().toStdString(), parsePortText(edtPort->text().toStdString())});
            noted << QStringLiteral("Server bound to IP ") + item->text() + QStringLiteral(" on port ") +
                         edtPort->text();
        }
        server_->start(bindings);
        running = server_->listening();
        lbProcesses->addItems(noted);
        lbProcesses->addItem(QStringLiteral("Server started"));
        StatusBar->showMessage(running ? QStringLiteral("Server running") : QStringLiteral("Server stopped"));
        return running;
    } catch (const SimError& e) {
        lbProcesses->addItem(QStringLiteral("Server not started"));
        errorTexts << QString::fromUtf8(e.what());
        running = false;
        return false;
    }
}

bool TForm6::Stop() {
    server_->stop();  // closes every connection
    const bool stopped = !server_->listening();
    running = !stopped;
    StatusBar->showMessage(stopped ? QStringLiteral("Server stopped") : QStringLiteral("Server running"));
    lbProcesses->addItem(stopped ? QStringLiteral("Server stopped") : QStringLiteral("Server not stopped"));
    return stopped;
}

}  // namespace uav
