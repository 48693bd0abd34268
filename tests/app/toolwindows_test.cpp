// The tool windows driven as a user would: typing into fields, clicking
// buttons and menus, answering the file dialogs, on the offscreen platform.

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "app/tform2.h"
#include "app/tform4.h"
#include "app/tform5.h"
#include "app/tform7.h"
#include "core/dynamics.h"
#include "model/numtext.h"
#include "tests/app/apptest.h"

using namespace uav;
using namespace uav::test;

namespace {

// Replaces a field's text by typing, as a user who selects all and types.
void type(QLineEdit* e, const QString& text) {
    e->selectAll();
    if (text.isEmpty()) QTest::keyClick(e, Qt::Key_Delete);
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(e, static_cast<char>(c.unicode()));
        else  // a key of a Cyrillic or Chinese keyboard layout
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

bool isRed(const QLineEdit* e) { return e->palette().color(QPalette::Base) == QColor(Qt::red); }

class ToolWindows : public ProgramTest {
protected:
    TForm2& model() { return *w.form2; }
    // Whether "Применить" and "Сохранить" can be used.
    std::pair<bool, bool> actions() { return {model().Button1->isEnabled(), model().menuSave->isEnabled()}; }
    QLineEdit* param(int element, int p) { return model().paramEdits[element][p]; }
    double fieldValue(QLineEdit* e) { return parseNumber(e->text().toStdString(), ','); }
};

}  // namespace

TEST_F(ToolWindows, LiveCheckColoursAndEnables) {
    start();
    model().showModalWindow();
    EXPECT_EQ(model().size(), QSize(1000, 558));
    EXPECT_EQ(actions(), std::pair(true, true));

    type(model().Edit[SC_M], "0");
    EXPECT_TRUE(isRed(model().Edit[SC_M]));
    EXPECT_EQ(actions(), std::pair(false, false));
    type(model().Edit[SC_M], "2");
    EXPECT_FALSE(isRed(model().Edit[SC_M]));
    EXPECT_EQ(actions(), std::pair(true, true));

    // Two bad fields: correcting one leaves the other red and both actions off.
    type(model().Edit[SC_TV], "-1");
    type(param(0, P_LEN), "0");
    type(model().Edit[SC_VYCOS], "-1");  // a negative tilt is a number like any other
    EXPECT_TRUE(isRed(model().Edit[SC_TV]) && isRed(param(0, P_LEN)));
    EXPECT_FALSE(isRed(model().Edit[SC_VYCOS]));
    type(model().Edit[SC_TV], "1");
    EXPECT_TRUE(isRed(param(0, P_LEN)));
    EXPECT_EQ(actions(), std::pair(false, false));
    type(param(0, P_LEN), "1,5");
    EXPECT_EQ(actions(), std::pair(true, true));

    // Elements 5 to 7, names and the servo fields have no number check.
    type(param(5, P_LEN), "0");
    type(param(4, P_STEPS), "много");
    EXPECT_FALSE(isRed(param(5, P_LEN)) || isRed(param(4, P_STEPS)));
    EXPECT_EQ(actions(), std::pair(true, true));
    // ... but a text conf.ini or a model file cannot hold stops both actions.
    type(param(6, P_NAME), "Крыло 中");
    EXPECT_TRUE(isRed(param(6, P_NAME)));
    EXPECT_EQ(actions(), std::pair(false, false));
    type(param(6, P_NAME), "Крыло");
    EXPECT_EQ(actions(), std::pair(true, true));
    // A word in the mixer grid is left to the apply to report.
    model().setCell(3, 2, QStringLiteral("ноль"));
    EXPECT_EQ(actions(), std::pair(true, true));
}

TEST_F(ToolWindows, ApplyStopsAtAZeroChordOfElement5) {
    start();
    model().showModalWindow();
    const std::string confBefore = fileBytes(dir / "conf.ini");
    type(param(0, P_X), "0,25");
    type(param(5, P_CHORD), "0");
    type(model().Edit[SC_M], "3");
    EXPECT_EQ(actions(), std::pair(true, true));
    EXPECT_EQ(answeringDialogs([&] { QTest::mouseClick(model().Button1, Qt::LeftButton); }),
              "Floating point division by zero");
    EXPECT_EQ(sim.aircraft.elements[0].pos.x, 0.25) << "the elements before it are applied";
    EXPECT_EQ(sim.aircraft.params.mass, 2.0) << "the scalars after it are not";
    EXPECT_EQ(fileBytes(dir / "conf.ini"), confBefore) << "conf.ini keeps the last model applied whole";
}

// "ab" LF "cd" pasted into an element's name: red, with its reason in the
// tooltip and under the fields; neither action can run, and conf.ini and a
// model file stay byte for byte as they were.
TEST_F(ToolWindows, APastedLineBreakIsRedAndSaysWhy) {
    start();
    model().showModalWindow();
    const std::string confBefore = fileBytes(dir / "conf.ini");
    putFile(dir / "same.mdl", "");
    saveModelFile(dir / "same.mdl", model().texts());
    const std::string mdlBefore = fileBytes(dir / "same.mdl");
    EXPECT_EQ(model().checkLine->text(), "");

    QApplication::clipboard()->setText(QStringLiteral("ab\ncd"));
    param(6, P_NAME)->selectAll();
    param(6, P_NAME)->paste();
    ASSERT_TRUE(param(6, P_NAME)->text().contains('\n')) << "the line break came through the paste";
    EXPECT_TRUE(isRed(param(6, P_NAME)));
    EXPECT_EQ(actions(), std::pair(false, false));
    const QString why = QStringLiteral("a line break cannot be written to a file (Elem6 Param9)");
    EXPECT_EQ(param(6, P_NAME)->toolTip(), why);
    EXPECT_EQ(model().checkLine->text(), why);
    // A second red field: the line names the first and counts the others.
    type(model().Edit[SC_IZ], "0");
    EXPECT_EQ(model().Edit[SC_IZ]->toolTip(), QStringLiteral("'0' is out of range: must be above 0 (Model Iz)"));
    EXPECT_EQ(model().checkLine->text(),
              QStringLiteral("'0' is out of range: must be above 0 (Model Iz) (красных полей ещё 1)"));
    type(param(1, P_CHORD), "Ω");
    EXPECT_EQ(param(1, P_CHORD)->toolTip(), QStringLiteral("'Ω' cannot be written in Windows-1251 (Elem1 Param7)"));
    type(model().Edit[SC_IZ], "1");
    type(param(1, P_CHORD), "x");
    EXPECT_EQ(param(1, P_CHORD)->toolTip(), QStringLiteral("'x' is not a valid floating point value (Elem1 Param7)"));
    type(param(1, P_CHORD), "1");
    EXPECT_EQ(param(1, P_CHORD)->toolTip(), QString());

    // Called all the same (a shortcut, a script): refused, nothing written.
    EXPECT_EQ(errorOf([&] { model().applyModel(); }), why.toStdString());
    EXPECT_EQ(errorOf([&] { uav::saveModelFile(dir / "same.mdl", model().texts()); }), why.toStdString());
    EXPECT_EQ(fileBytes(dir / "conf.ini"), confBefore);
    EXPECT_EQ(fileBytes(dir / "same.mdl"), mdlBefore);
    type(param(6, P_NAME), "cd");
    EXPECT_EQ(model().checkLine->text(), "");
    EXPECT_EQ(actions(), std::pair(true, true));
}

TEST_F(ToolWindows, ApplyWhileRunningActsFromTheNextTick) {
    start();
    QTest::mouseClick(f().SpeedButton2, Qt::LeftButton);
    model().showModalWindow();
    EXPECT_EQ(model().windowModality(), Qt::ApplicationModal);
    const double x0 = sim.state.posX;
    QTest::qWait(100);
    EXPECT_GT(sim.state.posX, x0) << "the flight goes on behind the modal window";

    const Aircraft before = sim.aircraft;
    QTest::mouseClick(model().activeBoxes[0], Qt::LeftButton);
    EXPECT_FALSE(sim.aircraft.elements[0].active) << "ticking the box changes only the text";
    QTest::mouseClick(model().Button1, Qt::LeftButton);
    EXPECT_TRUE(sim.aircraft.elements[0].active);
    SimState withNew = sim.state, withOld = sim.state;
    dynamicsTick(withNew, sim.aircraft);
    dynamicsTick(withOld, before);
    f().Timer2Timer();
    EXPECT_EQ(sim.state.velocity, withNew.velocity);
    EXPECT_NE(sim.state.velocity, withOld.velocity) << "the new element acts at once";

    // A click on the window's background shows its size; one on a caption does not.
    QTest::mouseClick(model().client, Qt::LeftButton, {}, QPoint(20, 18));  // on " Ix [кг*м2]"
    EXPECT_EQ(model().windowTitle(), QStringLiteral("Настройка модели"));
    QTest::mouseClick(model().client, Qt::LeftButton, {}, QPoint(600, 480));
    EXPECT_EQ(model().windowTitle(), QStringLiteral("1000   558"));
}

TEST_F(ToolWindows, SaveAndOpenGiveBackEveryText) {
    start();
    putFile(dir / "plane.mdl", "[Extra]\r\nkey=v\r\n[Model]\r\nM=9\r\n");
    model().showModalWindow();
    EXPECT_EQ(model().SaveDialog1->directory().absolutePath().toStdString() + "/", sim.appDir);
    EXPECT_EQ(model().OpenDialog1->nameFilters(), QStringList{QStringLiteral("Ostrel (*.mdl)")});

    type(param(0, P_NAME), "Крыло левое");
    type(param(7, P_X), "abc");
    QTest::mouseClick(model().activeBoxes[3], Qt::LeftButton);
    model().setCell(2, 3, QStringLiteral("-0,5"));
    const ModelTexts saved = model().texts();

    // A name typed without extension gets ".mdl"; replacing the file is asked first.
    const std::string asked = answeringDialogs([&] { model().menuSave->trigger(); }, QStringLiteral("plane"));
    EXPECT_NE(asked.find("plane.mdl"), std::string::npos) << asked;
    const std::string bytes = fileBytes(dir / "plane.mdl");
    EXPECT_EQ(bytes.rfind("[Extra]\r\nkey=v\r\n[Model]\r\nM=2\r\n", 0), 0u) << "other sections and places kept";

    model().setTexts(defaultModelTexts(TextDefaults::ModelFile));
    EXPECT_EQ(answeringDialogs([&] { model().menuOpen->trigger(); }, QStringLiteral("plane")), "");
    const ModelTexts opened = model().texts();
    EXPECT_EQ(opened.params, saved.params);
    EXPECT_EQ(opened.scalars, saved.scalars);
    EXPECT_EQ(opened.active, saved.active);
    EXPECT_EQ(opened.mix, saved.mix);
    EXPECT_EQ(model().paramEdits[0][P_NAME]->text(), QStringLiteral("Крыло левое"));

    // Cancelling either dialog changes nothing.
    answeringDialogs([&] { model().menuOpen->trigger(); });
    EXPECT_EQ(model().texts().params, saved.params);
}

TEST_F(ToolWindows, OpeningAWordForKvisKeepsThePreviousModel) {
    start();
    putFile(dir / "word.mdl", "[Model]\r\nKvis=\xF1\xEB\xEE\xE2\xEE\r\n");  // "слово" in Windows-1251
    model().showModalWindow();
    EXPECT_EQ(answeringDialogs([&] { model().menuOpen->trigger(); }, QStringLiteral("word.mdl")), "");
    EXPECT_EQ(model().Edit[SC_KVIS]->text(), QStringLiteral("слово"));
    EXPECT_TRUE(isRed(model().Edit[SC_KVIS]));
    EXPECT_EQ(model().Edit[SC_M]->text(), QStringLiteral("1")) << "a model file's missing keys read 1";
    EXPECT_EQ(actions(), std::pair(false, false));
    EXPECT_EQ(sim.aircraft.params.kvis, 150.0);
    EXPECT_EQ(sim.aircraft.params.mass, 2.0);

    // A file without any model key is said to be one before it fills the window.
    putFile(dir / "notes.mdl", "[Other]\r\nM=3\r\n");
    const std::string told = answeringDialogs([&] { model().menuOpen->trigger(); }, QStringLiteral("notes"));
    EXPECT_NE(told.find("notes.mdl' holds no model"), std::string::npos) << told;
    EXPECT_EQ(model().texts().scalars, defaultModelTexts(TextDefaults::ModelFile).scalars);
    EXPECT_EQ(sim.aircraft.params.mass, 2.0);
}

TEST_F(ToolWindows, SettingsWindowsDefaultsAndApply) {
    start();
    TForm5& st = *w.form5;
    TForm7& rt = *w.form7;
    f().menuStab->trigger();
    f().menuReturn->trigger();
    EXPECT_TRUE(st.isVisible() && rt.isVisible());
    EXPECT_TRUE(st.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(st.fields[ST_ROLL_KP]->text(), QStringLiteral("21,8"));
    EXPECT_EQ(st.fields[ST_YAW_RATE_KD]->objectName(), QStringLiteral("Edit26"));
    EXPECT_EQ(rt.fields[RT_ALT_KI]->text(), QStringLiteral("0,01"));
    EXPECT_NEAR(sim.ap.stabiliser.rollMaxAngle, 0.8727, 1e-4);
    EXPECT_DOUBLE_EQ(sim.ap.stabiliser.speedMin, 12.5);
    EXPECT_NEAR(sim.ap.stabiliser.speedMax, 19.44, 1e-2);
    EXPECT_NEAR(sim.ap.returnSettings.returnSpeed, 16.67, 1e-2);
    EXPECT_NEAR(sim.ap.returnSettings.returnMaxRoll, 0.6981, 1e-4);

    // A bad gain stops the apply there: what came before is stored, the rest is not.
    type(st.fields[ST_PITCH_MAX], "10");
    type(st.fields[ST_PITCH_KP], "2O,4");
    type(st.fields[ST_PITCH_KI], "7");
    EXPECT_EQ(answeringDialogs([&] { QTest::mouseClick(st.SpeedButton4, Qt::LeftButton); }),
              "'2O,4' is not a valid floating point value");
    EXPECT_NEAR(sim.ap.stabiliser.pitchMaxAngle, 10 * PI / 180, 1e-15);
    EXPECT_EQ(sim.ap.loops.pitchLoop.kp, 20.4);
    EXPECT_EQ(sim.ap.loops.pitchLoop.ki, 4.9);

    // The heading radio group counts only at the next apply.
    rt.RadioGroup1Buttons->button(1)->click();
    EXPECT_EQ(sim.ap.loops.headingLoop.kp, 1.0);
    QTest::mouseClick(rt.SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(sim.ap.loops.headingLoop.kp, 2.0);
    EXPECT_FALSE(sim.ap.returnSettings.headingByAilerons);
}

TEST_F(ToolWindows, RelayTuningProposalsWrittenBack) {
    start();
    TForm5& st = *w.form5;
    f().menuStab->trigger();
    QTest::mouseClick(f().SpeedButton2, Qt::LeftButton);
    QTest::mouseClick(st.SpeedButton1, Qt::LeftButton);
    EXPECT_TRUE(sim.ap.tuning.on);
    for (int i = 0; i < 30; ++i) f().Timer2Timer();
    EXPECT_EQ(f().windowTitle().toStdString(), relayCaption(sim.ap.tuning)) << "crossings shown while tuning";

    // A known oscillation: 10 crossings in 5 s (period 1 s) and an error sum
    // that makes K = 1, on the pitch axis; none yet on the roll axis.
    RelayTuning& tu = sim.ap.tuning;
    tu.startTimeMs = sim.nowMs() - 5000;
    tu.pitchCrossings = 10;
    tu.pitchErrorSum = 0.16 * 20 / (PI * PI);
    tu.rollCrossings = 0;
    EXPECT_EQ(answeringDialogs([&] { QTest::mouseClick(st.SpeedButton2, Qt::LeftButton); }),
              "Floating point division by zero");
    EXPECT_FALSE(tu.on);
    EXPECT_NEAR(fieldValue(st.fields[ST_PITCH_KP]), 50.0, 1e-9);
    EXPECT_NEAR(fieldValue(st.fields[ST_PITCH_KI]), 3.7, 1e-3);
    EXPECT_NEAR(fieldValue(st.fields[ST_PITCH_KD]), 1.8, 1e-3);
    EXPECT_EQ(st.fields[ST_ROLL_KP]->text(), QStringLiteral("21,8")) << "roll keeps its texts";

    tu.startTimeMs = sim.nowMs() - 5000;
    tu.rollCrossings = 10;
    tu.rollErrorSum = tu.pitchErrorSum;
    EXPECT_EQ(answeringDialogs([&] { QTest::mouseClick(st.SpeedButton2, Qt::LeftButton); }), "");
    EXPECT_NEAR(fieldValue(st.fields[ST_ROLL_KP]), 100.0, 1e-9);
    EXPECT_NEAR(fieldValue(st.fields[ST_ROLL_KI]), 10.0, 1e-2);
    EXPECT_NEAR(fieldValue(st.fields[ST_ROLL_KD]), 3.0, 1e-2);
    EXPECT_EQ(sim.ap.loops.rollLoop.kp, 21.8) << "proposals act only when applied";
    QTest::mouseClick(st.SpeedButton4, Qt::LeftButton);
    EXPECT_NEAR(sim.ap.loops.rollLoop.kp, 100.0, 1e-9);
}

TEST_F(ToolWindows, ParameterPanelRowsAndTimer) {
    start();
    TForm4& p = *w.form4;
    auto row = [&](int r) { return p.ValueListEditor1->item(r, 1)->text().toStdString(); };
    EXPECT_EQ(p.ValueListEditor1->rowCount(), 12);
    EXPECT_EQ(p.ValueListEditor1->horizontalHeaderItem(1)->text(), QStringLiteral("значение"));
    EXPECT_EQ(p.ValueListEditor1->item(7, 0)->text(), QStringLiteral("Дифф. давление, Па"));
    EXPECT_EQ(row(0), "0");
    EXPECT_FALSE(p.Timer1->isActive());

    f().menuParams->trigger();
    EXPECT_TRUE(p.isVisible() && p.Timer1->isActive());
    EXPECT_EQ(p.Timer1->interval(), 100);
    for (auto [rate, ms] : {std::pair(16, 62), std::pair(3, 333), std::pair(8, 125)}) {
        p.SpinEdit8->setValue(rate);
        p.SpeedButton4Click();
        EXPECT_EQ(p.Timer1->interval(), ms) << rate;
    }

    // At rest in still air, and flying into a head wind as fast as the ground
    // speed: no airflow, so no flow angles.
    sim.state.velocity = SimState::zeroVec;
    p.Timer1Timer();
    EXPECT_EQ(row(0), "0");
    EXPECT_EQ(row(1), "0");
    sim.state.velocity = {8, 0, 0};
    sim.state.wind = {8, 0, 0};
    sim.state.airflowBody = {-3, 4, 0};
    sim.state.airTemp = 273.15 + 12.5;
    sim.state.omegaBody = {0.25, 0, -1.5};
    p.Timer1Timer();
    EXPECT_EQ(row(0), "0");
    EXPECT_EQ(row(1), "0");
    EXPECT_EQ(row(5), "12,5");
    EXPECT_EQ(row(7), formatGeneral(sim.state.airDensity * 9 / 2, ','));  // forward flow only
    EXPECT_EQ(row(9), "0,25");
    EXPECT_EQ(row(11), "-1,5");

    p.close();
    EXPECT_FALSE(p.Timer1->isActive());
}
