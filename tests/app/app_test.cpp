// What a user does on the main window, driven through the real widgets on the
// offscreen platform. Timers are not left to run: each test fires the
// handlers itself, so nothing depends on timing.

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include <sys/stat.h>

#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform7.h"
#include "app/tform8.h"
#include "app/tform9.h"
#include "app/widgets.h"
#include "tests/app/apptest.h"
#include "tests/testutil.h"
#include "tools/runner.h"
#include "views/mapimage.h"

using namespace uav;
using namespace uav::test;

namespace {

class MainWindow : public ProgramTest {
protected:
    std::string label(QLabel* l) { return l->text().toStdString(); }
    // Whether the start and the stop button can be pressed.
    std::pair<bool, bool> startStop() { return {f().SpeedButton2->isEnabled(), f().SpeedButton3->isEnabled()}; }
};

}  // namespace

TEST_F(MainWindow, StartState) {
    start();
    EXPECT_EQ(startupMessages, "");
    f().show();
    EXPECT_EQ(f().windowTitle(), QStringLiteral("Симулятор"));
    EXPECT_EQ(startStop(), std::pair(true, false));

    // 2 m, 30 km/h along the nose, pitched 15 deg up, heading north.
    const SimState& s = sim.state;
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.posH, 2.0);
    EXPECT_NEAR(VecNorm(s.velocity) * 3.6, 30.0, 1e-12);
    EXPECT_NEAR(s.pitchAngle, std::atan(std::sin(15 * PI / 180)), 1e-12);  // set by the first tick
    EXPECT_NEAR(s.orient.m[0][2], 0.0, 1e-15);

    // The 10 ms dynamics and 20 ms control timers run; gusts and loops are off.
    EXPECT_EQ(f().Timer2->interval(), 10);
    EXPECT_TRUE(f().Timer2->isActive() && f().Timer5->isActive());
    EXPECT_FALSE(f().Timer3->isActive() || f().Timer4->isActive());

    // The other eight windows exist, with their captions, and are not shown.
    QStringList hidden;
    for (const QWidget* x : f().findChildren<QWidget*>())
        if (x->isWindow() && !x->isVisible()) hidden << x->windowTitle();
    for (const char* caption : {"Настройка модели", "Настройка пульта", "Параметры", "Стабилизация", "Соединение",
                                "Автовозврат", "Аэродинамические силы", "Form9"})
        EXPECT_TRUE(hidden.contains(QString::fromUtf8(caption))) << caption;
    // The settings windows applied their defaults; a first start wrote the model.
    EXPECT_NEAR(sim.ap.loops.rollLoop.kp, 21.8, 1e-12);
    EXPECT_NEAR(sim.ap.returnSettings.returnSpeed, 60 / 3.6, 1e-12);
    const std::string ini = fileBytes(dir / "conf.ini");
    for (const char* entry : {"[Elem7]", "Kvis=150", "Mix4-7=0"}) EXPECT_NE(ini.find(entry), std::string::npos);
}

// The runner starts through the same sequence; with the same model and the
// same fields the two hold the same state, to the last bit.
TEST_F(MainWindow, StartsInTheRunnersState) {
    const std::string model = std::string(UAVSIM_SOURCE_DIR_PATH) + "/models/trainer.mdl";
    start(fileBytes(model), {}, {}, '.');
    ASSERT_EQ(startupMessages, "");
    RunOptions opt;
    opt.modelPath = model;
    const Flight flight = startRun(opt);
    SimState started = flight.state();
    EXPECT_TRUE(started.running) << "the runner's flight starts running; the window waits for its start button";
    started.running = false;
    expectSameState(sim.state, started);
    EXPECT_GT(VecNorm(started.elemForceBody[0]), 0.1) << "the stopped tick computed the forces";
    EXPECT_EQ(sim.aircraft.params.mass, flight.aircraft().params.mass);
    const AutopilotLoops &a = sim.ap.loops, &b = flight.autopilot().loops;
    for (auto loop : {&AutopilotLoops::rollLoop, &AutopilotLoops::pitchLoop, &AutopilotLoops::speedLoop,
                      &AutopilotLoops::altitudeLoop, &AutopilotLoops::headingLoop, &AutopilotLoops::rollRateLoop,
                      &AutopilotLoops::yawRateLoop, &AutopilotLoops::pitchRateLoop})
        EXPECT_TRUE((a.*loop).kp == (b.*loop).kp && (a.*loop).ki == (b.*loop).ki &&
                    (a.*loop).kd == (b.*loop).kd);
    EXPECT_EQ(sim.ap.stabiliser.speedMax, flight.autopilot().stabiliser.speedMax);
    EXPECT_EQ(sim.ap.returnSettings.returnAltitude, flight.autopilot().returnSettings.returnAltitude);
    EXPECT_EQ(sim.ap.returnState.belowCritical, flight.autopilot().returnState.belowCritical);
}

TEST_F(MainWindow, StartStopAndInitialConditionsWhileRunning) {
    start();
    QTest::mouseClick(f().SpeedButton2, Qt::LeftButton);
    EXPECT_TRUE(sim.state.running);
    EXPECT_EQ(startStop(), std::pair(false, true));
    for (int i = 0; i < 10; ++i) f().Timer2Timer();
    const double xRun = sim.state.posX;
    EXPECT_GT(xRun, 0.5);

    QTest::mouseClick(f().SpeedButton3, Qt::LeftButton);
    EXPECT_FALSE(sim.state.running);
    EXPECT_EQ(startStop(), std::pair(true, false));
    f().Timer2Timer();
    EXPECT_EQ(sim.state.posX, xRun) << "stopping keeps the state";

    QTest::mouseClick(f().SpeedButton2, Qt::LeftButton);
    f().SpinEdit8->setValue(120);
    f().SpinEdit1->setValue(-500);
    f().SpinEdit11->setValue(0);
    f().SpinEdit5->setValue(72);
    QTest::mouseClick(f().SpeedButton4, Qt::LeftButton);
    EXPECT_TRUE(sim.state.running) << "initial conditions do not stop the flight";
    EXPECT_EQ(sim.state.posH, 120.0);
    EXPECT_EQ(sim.state.posX, -500.0);
    EXPECT_DOUBLE_EQ(sim.state.velocity.x, 20.0);
}

TEST_F(MainWindow, WindClicksOnTheCompass) {
    start();
    QTest::mouseClick(f().Image1, Qt::LeftButton, {}, QPoint(119, 0));
    expectVec(sim.state.wind, {10, 0, 59.0 / 6});
    EXPECT_EQ(label(f().Label19).substr(0, 8), "14,02477");  // |(10, 59/6)| = 14.0248, general format
    EXPECT_EQ(f().Shape1->pos(), QPoint(116, -3));
    QTest::mouseClick(f().Image1, Qt::MiddleButton, {}, QPoint(100, 100));
    EXPECT_EQ(f().Shape1->pos(), QPoint(116, -3)) << "other buttons leave the marker";

    QTest::mouseClick(f().Image1, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(sim.state.wind, SimState::zeroVec);
    EXPECT_EQ(f().Shape1->pos(), QPoint(57, 57));
    EXPECT_EQ(label(f().Label19), "0");
}

// The mapping itself is the channel tests'; here the sliders reach it.
TEST_F(MainWindow, SlidersZeroLabelsAndChannels) {
    start();
    f().TrackBar2->setValue(40);
    EXPECT_EQ(label(f().Label1), "-40 %");  // the rudder label shows its position negated
    f().TrackBar3->setValue(-100);
    EXPECT_EQ(label(f().Label6), "-100 %");
    f().TrackBar1->setValue(-35);
    EXPECT_EQ(label(f().Label2), "-35 %");
    f().TrackBar4->setValue(0);
    f().Timer5Timer();
    EXPECT_DOUBLE_EQ(sim.ap.channels.rudderIn, 0.4);
    EXPECT_EQ(label(f().Label11).substr(0, 9), "TRO=50,00");

    QTest::mouseClick(f().Label1, Qt::LeftButton);
    QTest::mouseClick(f().Label6, Qt::LeftButton);
    EXPECT_EQ(f().TrackBar2->value(), 0);
    EXPECT_EQ(f().TrackBar3->value(), 0);
    EXPECT_EQ(label(f().Label1), "0 %");
    EXPECT_EQ(f().TrackBar1->value(), -35) << "each zero label zeroes its own slider";
}

TEST_F(MainWindow, ModeChangesEngageTheLoops) {
    start();
    f().TrackBar1->setValue(30);
    f().TrackBar3->setValue(20);
    f().Timer5Timer();  // aileronIn 0.3, elevatorIn -0.2
    f().RadioGroup1Buttons->button(1)->click();  // "СТ"
    EXPECT_EQ(sim.ap.mode, ApMode::Stabilise);
    EXPECT_TRUE(f().Timer4->isActive());
    EXPECT_DOUBLE_EQ(sim.ap.loops.rollLoop.integral, 0.3);
    EXPECT_DOUBLE_EQ(sim.ap.loops.pitchLoop.integral, 0.2);

    f().RadioGroup1Buttons->button(3)->click();  // "СТ уд."
    EXPECT_EQ(sim.ap.mode, ApMode::RateHold);
    EXPECT_TRUE(f().Timer4->isActive());
    f().RadioGroup1Buttons->button(0)->click();  // "откл"
    EXPECT_FALSE(f().Timer4->isActive());

    // A bad auto-return text: the message is shown and the program stays in
    // the mode it was in, the selector showing it, its loop timer as it was.
    w.form7->fields[RT_SPEED]->setText(QStringLiteral("быстро"));
    EXPECT_EQ(withMessageBoxes([&] { f().RadioGroup1Buttons->button(2)->click(); }),
              "'быстро' is not a valid floating point value");
    EXPECT_EQ(sim.ap.mode, ApMode::Off);
    EXPECT_EQ(f().RadioGroup1Buttons->checkedId(), 0);
    EXPECT_FALSE(f().Timer4->isActive());
    f().TrackBar1->setValue(-50);
    f().Timer5Timer();
    EXPECT_DOUBLE_EQ(sim.ap.channels.aileronIn, -0.5) << "the surfaces follow the sliders, not frozen";
    f().RadioGroup1Buttons->button(1)->click();  // "СТ"
    withMessageBoxes([&] { f().RadioGroup1Buttons->button(2)->click(); });
    EXPECT_EQ(sim.ap.mode, ApMode::Stabilise);
    EXPECT_EQ(f().RadioGroup1Buttons->checkedId(), 1);
    EXPECT_TRUE(f().Timer4->isActive());
}

TEST_F(MainWindow, GustsSwitchTheTimer) {
    start({}, {0.5, 0.25});  // 5 m/s of the maximum 10, due east
    f().SpinEdit9->setValue(10);
    QTest::mouseClick(f().CheckBox2, Qt::LeftButton);
    EXPECT_TRUE(f().Timer3->isActive());
    f().SpinEdit10->setValue(5);
    EXPECT_EQ(f().Timer3->interval(), 5000);

    f().Timer3Timer();
    expectVec(sim.state.wind, {0, 0, 5});
    EXPECT_EQ(f().Shape1->pos(), QPoint(87, 57));
    EXPECT_EQ(label(f().Label19), "5");

    QTest::mouseClick(f().CheckBox2, Qt::LeftButton);
    EXPECT_FALSE(f().Timer3->isActive());
    EXPECT_NEAR(sim.state.wind.z, 5.0, 1e-12) << "the last gust stays as a steady wind";
}

// The presets of the forces window are the view tests'.
TEST_F(MainWindow, DisplayTickAndForcesWindow) {
    start();
    f().Timer1Timer();  // the status text with its line breaks for a label
    EXPECT_EQ(label(f().Label9), "V=30,0/30,0\nH=2,0\nX=0,0\nZ=0,0\nD=0,0");
    EXPECT_EQ(f().PaintBox4->picture().pixelColor(60, 160), QColor(0x80, 0x80, 0x00));  // olive disc
    f().menuForces->trigger();
    EXPECT_TRUE(sim.forcesShown);
    EXPECT_TRUE(w.form8->isVisible());
    w.form8->close();
    EXPECT_FALSE(sim.forcesShown);
}

TEST_F(MainWindow, BadConfIniShowsTheMessageAndComesUp) {
    start("[Model]\r\nM=abc\r\n");
    EXPECT_EQ(startupMessages, "'abc' is not a valid floating point value");
    f().show();
    EXPECT_TRUE(f().isVisible());
    EXPECT_EQ(sim.outlines.kil.size(), 0u) << "the outlines were not rebuilt";
}

TEST_F(MainWindow, ReadOnlyFolderNeverStopsTheProgram) {
    start({}, {}, "/nonexistent-uavsim-folder/");
    EXPECT_EQ(startupMessages, "") << "no modal box holds up the start";
    EXPECT_EQ(sim.aircraft.params.mass, 2.0) << "the model is applied all the same";
    EXPECT_EQ(sim.outlines.kil.size(), 4u);
}

// The 3D view on a platform without OpenGL: it comes up with a notice, a map
// of the wrong size is refused and the old one kept, and "Выход" clears "3D".
TEST_F(MainWindow, View3dWithoutOpenGl) {
    start();
    TForm9& v = *w.form9;
    EXPECT_FALSE(v.hasGl());
    f().CheckBox1->setChecked(true);
    f().CheckBox1Click();
    EXPECT_TRUE(v.isVisible());
    sim.state.posH = 120;
    f().Timer1Timer();  // PosModel: the terrain follows even where nothing is drawn
    EXPECT_EQ(v.windowTitle(), QStringLiteral("y  0  0"));

    const std::vector<float> before = v.terrain().grid0.h;
    const RgbImage small = RgbImage::black(200, 200);
    const auto bmp = encodeBmp(small);
    putFile(dir / "small.bmp", std::string(bmp.begin(), bmp.end()));
    const std::string shown = withMessageBoxes([&] { v.loadMap(QString::fromStdString(dir / "small.bmp")); });
    EXPECT_EQ(shown, "Couldn't load \"" + (dir / "small.bmp") +
                         "\". The map must be 400 x 400 pixels, this one is 200 x 200.");
    EXPECT_TRUE(v.terrain().grid0.h == before) << "the current map is kept";

    // A map chosen at zoom 5 (above 1000 m) is drawn at zoom 5 from the next frame on.
    sim.state.posH = 2000;
    v.PosModel();
    ASSERT_EQ(v.terrain().k, 5);
    // "Горы" reads TXT/mountains.bmp in the working directory.
    RgbImage hills = RgbImage::black(MAP_SIZE, MAP_SIZE);
    for (std::size_t p = 0; p < hills.rgb.size(); p += 3) hills.rgb[p + 1] = static_cast<std::uint8_t>(p % 251);
    std::filesystem::create_directory(dir.path / "TXT");
    const auto hillsBmp = encodeBmp(hills);
    putFile(dir.path / "TXT" / "mountains.bmp", std::string(hillsBmp.begin(), hillsBmp.end()));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    const std::string shownToo = withMessageBoxes([&] { v.N2->trigger(); });
    std::filesystem::current_path(cwd);
    EXPECT_EQ(shownToo, "");
    EXPECT_FALSE(v.terrain().grid0.h == before);
    EXPECT_FLOAT_EQ(v.terrain().grid1.H(3, 7), v.terrain().grid0.H(15, 35) / 25);
    v.PosModel();
    EXPECT_TRUE(v.camera().gridChanged) << "and shifted under the aircraft";

    v.N5->trigger();
    EXPECT_FALSE(f().CheckBox1->isChecked());
    EXPECT_FALSE(v.isVisible());

    // The drawing keeps the 4:3 aspect: the largest such rectangle, centred.
    struct Row {
        int w, h, x, y, vw, vh;
    } rows[] = {{640, 480, 0, 0, 640, 480}, {800, 480, 80, 0, 640, 480}, {640, 600, 0, 60, 640, 480},
                {0, 480, 0, 0, 0, 0}};
    for (const Row& r : rows) {
        const Viewport vp = viewportFor(r.w, r.h);
        EXPECT_EQ(std::tuple(vp.x, vp.y, vp.w, vp.h), std::tuple(r.x, r.y, r.vw, r.vh)) << r.w << " x " << r.h;
    }
}

// Non-modal notices the window has put up (start-up and fault notices).
QStringList notices(QWidget* w) {
    QCoreApplication::processEvents();
    QStringList texts;
    for (const QMessageBox* box : w->findChildren<QMessageBox*>()) texts << box->text();
    return texts;
}

TEST_F(MainWindow, SpecialConfIniIsNotReadAndTheDefaultModelFlies) {
    ASSERT_EQ(::mkfifo((dir / "conf.ini").c_str(), 0644), 0);
    start();
    EXPECT_EQ(notices(w.form1), QStringList{QString::fromStdString("Unable to read '" + dir / "conf.ini" +
                                                                   "': not a regular file")});
    EXPECT_EQ(sim.aircraft.params.mass, 2.0) << "the default model";
    EXPECT_EQ(sim.outlines.kil.size(), 4u);
}

TEST_F(MainWindow, FaultNoticeInRussian) {
    start("[Model]\r\nM=0\r\n");
    f().SpeedButton2->click();
    f().Timer2Timer();
    EXPECT_EQ(sim.state.fault, SimFault::BadMass);
    EXPECT_EQ(notices(w.form1), QStringList{QStringLiteral(
                                    "Расчёт остановлен: масса не положительна. "
                                    "Установите начальные значения или примените модель.")});
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
