// What the window tests share: a program started on a scratch folder, and
// message boxes and file dialogs answered as a user would.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "app/startup.h"
#include "app/tform1.h"
#include "tests/testutil.h"

namespace uav::test {

// Runs `action`, answering every modal box it opens: a message box with
// `reply` (or OK where it has no such button), a file dialog by typing
// `fileName` and accepting. Returns the texts of the message boxes, joined by '|'.
inline std::string answeringDialogs(const std::function<void()>& action, const QString& fileName = {},
                                    QMessageBox::StandardButton reply = QMessageBox::Yes) {
    QStringList seen;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            seen << box->text();
            if (QAbstractButton* b = box->button(reply))
                b->click();
            else
                box->done(QMessageBox::Ok);
        } else if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
            if (fileName.isEmpty()) {
                dlg->reject();
                return;
            }
            auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit || edit->property("answering").toBool()) return;
            edit->setProperty("answering", true);
            // Typed and entered in one step (the dialog may still fill in the
            // last file name while it lists the folder). Enter presses the
            // default button, which may open a box of its own: queued, so this
            // timer keeps answering meanwhile.
            QTimer::singleShot(0, edit, [edit, fileName] {
                edit->setProperty("answering", false);
                edit->setText(fileName);
                QTest::keyClick(edit, Qt::Key_Return);
            });
        }
    });
    answer.start();
    action();
    return seen.join('|').toStdString();
}

inline std::string withMessageBoxes(const std::function<void()>& action) { return answeringDialogs(action); }

// The program with all nine windows, started on a scratch folder as its own.
class ProgramTest : public ::testing::Test {
protected:
    void start(const std::string& confIni = {}, std::vector<double> random = {}, std::string appDir = {},
               char decimalSep = ',') {
        if (!confIni.empty()) putFile(dir / "conf.ini", confIni);
        sim.appDir = appDir.empty() ? dir.path.string() + "/" : appDir;
        sim.decimalSep = decimalSep;
        if (!random.empty()) sim.rng = std::make_unique<ScriptedRandom>(std::move(random));
        startupMessages = withMessageBoxes([&] { w = createWindows(sim); });
    }
    void TearDown() override { delete w.form1; }

    TForm1& f() { return *w.form1; }

    TempDir dir;
    SimApp sim;
    Windows w;
    std::string startupMessages;
};

}  // namespace uav::test
