// What a user sees of the windows: where the tool windows open, the store's
// warning over the modal model window, texts shown from their beginning, and
// Qt's standard dialogs in Russian. On the offscreen platform (one 800 x 600
// screen, no window decorations).

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/application.h"
#include "app/tform2.h"
#include "app/tform4.h"
#include "app/tform5.h"
#include "app/tform7.h"
#include "app/toolwindow.h"
#include "model/inifile.h"
#include "tests/app/apptest.h"

using namespace uav;
using namespace uav::test;

TEST(ToolWindowPlace, CentredBesideOrBelowTheMenuBar) {
    const QRect screen(0, 0, 1280, 1024);
    const QRect main(84, 194, 1111, 666);  // frame; its menu bar ends at y 240
    struct Row {
        QSize tool;
        QRect screen;
        QPoint want;
        const char* why;
    } rows[] = {
        {{289, 258}, screen, {84 + 411, 194 + 204}, "small: centred on the main window"},
        {{1000, 560}, screen, {84 + 55, 194 + 53}, "wide but low enough: centred, below the menu bar"},
        {{640, 640}, screen, {84 + 235, 241}, "would cover the menu bar, no room beside: just below it"},
        {{640, 640}, QRect(0, 0, 2560, 1024), {1195, 194}, "would cover the menu bar: beside, on the right"},
        {{640, 640}, QRect(-1000, 0, 2280, 1024), {-556, 194}, "no room on the right: on the left"},
        {{900, 900}, screen, {84 + 105, 124}, "taller than the room below the menu bar: kept on the screen"},
    };
    for (const Row& r : rows) EXPECT_EQ(toolWindowPlace(main, 240, r.tool, r.screen), r.want) << r.why;
    // A main window pushed half off the screen: the tool stays on it.
    const QPoint p = toolWindowPlace(QRect(-600, 500, 1111, 666), 540, QSize(300, 200), screen);
    EXPECT_EQ(p, QPoint(0, 733));
}

namespace {

class UserWindows : public ProgramTest {
protected:
    static QRect frameOf(const QWidget* widget) { return widget->frameGeometry(); }
};

}  // namespace

TEST_F(UserWindows, ToolWindowsOpenCentredAndStayWhereTheUserPutsThem) {
    start();
    f().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f()));
    const QRect screen = f().screen()->availableGeometry();
    const int menuBottom = f().menuBar()->mapToGlobal(QPoint(0, f().menuBar()->height())).y();
    const std::pair<QAction*, QWidget*> tools[] = {
        {f().menuParams, w.form4}, {f().menuStab, w.form5}, {f().menuReturn, w.form7}};
    for (const auto& [a, tool] : tools) {
        a->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(tool));
        const QRect r = frameOf(tool);
        EXPECT_LE(std::abs(r.center().x() - frameOf(&f()).center().x()), 1) << a->text().toStdString();
        EXPECT_LE(std::abs(r.center().y() - frameOf(&f()).center().y()), 1) << a->text().toStdString();
        EXPECT_GE(r.top(), menuBottom) << "the main window's menu stays free";
        EXPECT_TRUE(screen.contains(r)) << a->text().toStdString();

        // Moved by the user, closed and opened again: where the user put it.
        tool->move(screen.topLeft() + QPoint(7, 300));
        tool->close();
        a->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(tool));
        EXPECT_EQ(tool->pos(), screen.topLeft() + QPoint(7, 300)) << a->text().toStdString();
        tool->close();
    }
    // The model window, wider than this screen: on the screen, below the menu bar.
    w.form2->showModalWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form2));
    EXPECT_GE(frameOf(w.form2).top(), menuBottom);
    EXPECT_GE(frameOf(w.form2).left(), screen.left());
    w.form2->close();
}

TEST_F(UserWindows, StoreWarningCanBeDismissedWhileTheModelWindowIsOpen) {
    start();
    f().show();
    // conf.ini can no longer be written: its folder is gone.
    sim.confIni = std::make_unique<IniFile>("/nonexistent-uavsim-dir/conf.ini");
    w.form2->showModalWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form2));
    QTest::mouseClick(w.form2->Button1, Qt::LeftButton);  // "Применить"
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(t); b && b->isVisible()) box = b;
        return box != nullptr;
    }, 3000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    // A click that reaches the box through the window system, where a window
    // blocked by the modal one gets none.
    QAbstractButton* ok = box->button(QMessageBox::Ok);
    QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {}, ok->mapTo(box, ok->rect().center()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isVisible(); }, 3000)) << "the box could not be dismissed";
    EXPECT_TRUE(w.form2->isVisible()) << "the model window is still open";
    w.form2->close();
}

TEST_F(UserWindows, LongGainsShowTheirBeginning) {
    start();
    StabiliserTexts s = w.form5->texts();
    s.text[0] = "21.1645862299613";
    w.form5->setTexts(s);  // as "Stpop AT" writes its proposals
    EXPECT_EQ(w.form5->fields[0]->cursorPosition(), 0);
    ReturnTexts r = w.form7->texts();
    r.text[0] = "123.456789012345";
    w.form7->setTexts(r);
    EXPECT_EQ(w.form7->fields[0]->cursorPosition(), 0);
}

TEST(QtTranslations, StandardDialogsSpeakRussian) {
    QTranslator* t = installQtTranslations(*QCoreApplication::instance());
    ASSERT_NE(t, nullptr) << "qtbase_ru.qm missing: install qt6-translations-l10n (scripts/deps.sh)";
    auto cyrillic = [](const QString& s) {
        for (const QChar c : s)
            if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) return true;
        return false;
    };
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("uavsim"), QStringLiteral("Заменить?"),
                        QMessageBox::Yes | QMessageBox::No);
        EXPECT_TRUE(cyrillic(box.button(QMessageBox::Yes)->text())) << box.button(QMessageBox::Yes)->text().toStdString();
        EXPECT_TRUE(cyrillic(box.button(QMessageBox::No)->text()));
        EXPECT_EQ(box.text(), QStringLiteral("Заменить?")) << "the program's own texts stay as they are";
    }
    {
        QFileDialog dlg(nullptr, QStringLiteral("Сохранить"));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        const auto* lookIn = dlg.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        ASSERT_NE(lookIn, nullptr);
        EXPECT_TRUE(cyrillic(lookIn->text())) << lookIn->text().toStdString();
        EXPECT_TRUE(cyrillic(dlg.labelText(QFileDialog::Accept))) << dlg.labelText(QFileDialog::Accept).toStdString();
    }
    QCoreApplication::removeTranslator(t);
    delete t;
    QMessageBox english(QMessageBox::Question, {}, {}, QMessageBox::Yes);
    EXPECT_EQ(english.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes")) << "the Russian came from the translator";
}
