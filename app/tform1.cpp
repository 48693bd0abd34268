#include "app/tform1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <chrono>

#include "app/diagnostics.h"
#include "app/guarded.h"
#include "app/hints.h"
#include "app/programfiles.h"
#include "app/recordingui.h"
#include "app/tform2.h"
#include "app/tform3.h"
#include "app/tform4.h"
#include "app/tform5.h"
#include "app/tform6.h"
#include "app/tform7.h"
#include "app/tform8.h"
#include "app/apwindow.h"
#include "app/tform9.h"
#include "app/toolwindow.h"
#include "app/widgets.h"
#include "core/dynamics.h"
#include "link/frames.h"
#include "model/numtext.h"
#include "views/planview.h"

namespace uav {

namespace {

constexpr int DISPLAY_INTERVAL_MS = 130;   // Timer1
constexpr int DYNAMICS_INTERVAL_MS = 10;   // Timer2, dt = 0.01 s per tick
constexpr int GUST_INTERVAL_MS = 1000;     // Timer3 at start (gust period 1 s)

QTimer* makeTimer(QObject* parent, int intervalMs) {
    auto* t = new QTimer(parent);
    t->setTimerType(Qt::PreciseTimer);
    t->setInterval(intervalMs);
    return t;
}

QSlider* makeSlider(Qt::Orientation o, int value, QWidget* parent) {
    auto* s = new QSlider(o, parent);
    s->setRange(-100, 100);
    s->setTickInterval(20);
    s->setTickPosition(o == Qt::Horizontal ? QSlider::TicksBelow : QSlider::TicksRight);
    s->setPageStep(10);
    if (o == Qt::Vertical) {
        // -100 at the top, as the sticks: keys and wheel move the thumb the way they point.
        s->setInvertedAppearance(true);
        s->setInvertedControls(true);
    }
    s->setValue(value);
    return s;
}

QSpinBox* makeSpin(int lo, int hi, int value, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

QLabel* makeLabel(const QString& text, QWidget* parent, int x, int y, int w = -1, int h = -1) {
    auto* l = new QLabel(text, parent);
    if (w < 0) {
        l->adjustSize();
        l->move(x, y);
    } else {
        l->setGeometry(x, y, w, h);
    }
    return l;
}

QToolButton* makeButton(Glyph g, const QString& hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setIcon(QIcon(buttonGlyph(g)));
    b->setIconSize(QSize(20, 20));
    b->setAutoRaise(false);
    setHint(b, hint);
    return b;
}

}  // namespace

QString labelText(const std::string& crText) {
    QString s = QString::fromUtf8(crText.data(), static_cast<qsizetype>(crText.size()));
    s.replace(QChar('\r'), QChar('\n'));
    return s;
}

TForm1::TForm1(SimApp& sim) : sim_(sim) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Симулятор"));
    installHintTiming();
    buildLayout();
    buildMenu();
    FormCreate();
}

TForm1::~TForm1() { delete diag_; }

void TForm1::buildLayout() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    setPalette(pal);
    setAutoFillBackground(true);

    // Top row: side view, camera view, "3D", top view.
    PaintBox1 = new PaintBox(300, 300, central);
    PaintBox1->move(8, 8);
    setHint(PaintBox1, QStringLiteral("Вид с запада"));
    makeLabel(QStringLiteral("  <- N                   x E    W *                       S->  "), central, 8, 311, 300,
              16);
    PaintBox2 = new PaintBox(300, 300, central);
    PaintBox2->move(316, 8);
    setHint(PaintBox2, QStringLiteral("Вид с камеры"));
    CheckBox1 = new QCheckBox(QStringLiteral("3D"), central);
    CheckBox1->setGeometry(626, 8, 44, 20);
    PaintBox4 = new PaintBox(320, 320, central);
    PaintBox4->move(676, 8);
    setHint(PaintBox4, QStringLiteral("Вид сверху (север вверху)"));
    Label13 = makeLabel(QStringLiteral("<  100 м  >"), central, 676, 330, 320, 16);
    Label13->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // Under the side view: status, control outputs, angular velocity.
    Label9 = makeLabel(QString(), central, 8, 334, 112, 84);
    Label9->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHint(Label9, QStringLiteral("V - скорость, км/ч (GPS/ бародатчик); \r\nH - высота, м;\r\nХ - расстояние на "
                                   "север, м;\r\nZ - расстояние на восток, м;\r\nD - дистанция, м"));
    Label11 = makeLabel(QString(), central, 124, 334, 90, 70);
    Label11->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHint(Label11, QStringLiteral("Управляющие выходы, %"));
    Label18 = makeLabel(QString(), central, 216, 334, 100, 54);
    Label18->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setHint(Label18, QStringLiteral("Угловая скорость в связной системе отсчета"));

    // Bottom left: the "Пульт" group.
    auto* pult = new QGroupBox(QStringLiteral("Пульт"), central);
    pult->setGeometry(8, 420, 400, 190);
    makeLabel(QStringLiteral("Элероны"), pult, 12, 20);
    TrackBar1 = makeSlider(Qt::Horizontal, 0, pult);
    TrackBar1->setGeometry(10, 36, 210, 30);
    Label2 = new ClickLabel(QStringLiteral("0 %"), pult);
    Label2->setGeometry(226, 40, 50, 18);
    makeLabel(QStringLiteral("Рудер"), pult, 12, 70);
    TrackBar2 = makeSlider(Qt::Horizontal, 0, pult);
    TrackBar2->setGeometry(10, 86, 210, 30);
    Label1 = new ClickLabel(QStringLiteral("0 %"), pult);
    Label1->setGeometry(226, 90, 50, 18);
    makeLabel(QStringLiteral("РВ"), pult, 292, 18);
    TrackBar3 = makeSlider(Qt::Vertical, 0, pult);
    TrackBar3->setGeometry(286, 34, 32, 112);
    Label6 = new ClickLabel(QStringLiteral("0 %"), pult);
    Label6->setGeometry(284, 150, 50, 18);
    makeLabel(QStringLiteral("TRO"), pult, 346, 18);
    TrackBar4 = makeSlider(Qt::Vertical, -100, pult);
    TrackBar4->setGeometry(342, 34, 32, 112);
    for (ClickLabel* l : {Label2, Label1, Label6}) {
        setHint(l, QStringLiteral("Обнулить"));
        l->setCursor(Qt::PointingHandCursor);
    }

    RadioGroup1 = new QGroupBox(QStringLiteral("Режим АП"), pult);
    RadioGroup1->setGeometry(10, 126, 262, 52);
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    const char* items[4] = {"откл", "СТ", "АВ", "СТ уд."};
    const int itemX[4] = {8, 70, 120, 172};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(items[i]), RadioGroup1);
        b->setGeometry(itemX[i], 22, i == 3 ? 84 : 56, 22);
        RadioGroup1Buttons->addButton(b, i);
    }
    RadioGroup1Buttons->button(0)->setChecked(true);

    // Bottom middle: initial conditions, start and stop.
    auto* ic = new QGroupBox(QStringLiteral("Начальные условия"), central);
    ic->setGeometry(420, 350, 240, 186);
    const char* icNames[4] = {"Скорость", "Угол", "Высота", "Дист."};
    SpinEdit5 = makeSpin(0, 100, 30, ic);
    SpinEdit11 = makeSpin(0, 90, 15, ic);
    SpinEdit8 = makeSpin(0, 15000, 2, ic);
    SpinEdit1 = makeSpin(-100000, 100000, 0, ic);
    QSpinBox* icSpins[4] = {SpinEdit5, SpinEdit11, SpinEdit8, SpinEdit1};
    const char* icUnits[4] = {"км/ч", "°", "м", "м"};
    for (int i = 0; i < 4; ++i) {
        makeLabel(QString::fromUtf8(icNames[i]), ic, 12, 28 + 30 * i);
        icSpins[i]->setGeometry(88, 24 + 30 * i, 96, 24);
        makeLabel(QString::fromUtf8(icUnits[i]), ic, 190, 28 + 30 * i);
    }
    SpeedButton4 = makeButton(Glyph::Reset, QStringLiteral("Установить начальные значения"), ic);
    SpeedButton4->setGeometry(88, 148, 32, 28);
    SpeedButton2 = makeButton(Glyph::Start, QStringLiteral("Пуск"), central);
    SpeedButton2->setGeometry(508, 548, 40, 32);
    SpeedButton3 = makeButton(Glyph::Stop, QStringLiteral("Стоп"), central);
    SpeedButton3->setGeometry(556, 548, 40, 32);
    SpeedButton3->setEnabled(false);

    // Bottom right: wind and gusts.
    makeLabel(QStringLiteral("Ветер, (макс 10 м/с):"), central, 690, 362);
    Panel1 = new QWidget(central);
    Panel1->setGeometry(690, 382, 122, 122);
    Image1 = new ClickImage(Panel1);
    Image1->setGeometry(1, 1, WIND_PICTURE_SIZE, WIND_PICTURE_SIZE);
    Image1->setPixmap(compassPicture());
    setHint(Image1, QStringLiteral("Левой кнопкой - задать, правой - обнулить"));
    Shape1 = new WindMarkerWidget(Panel1);
    Label19 = makeLabel(QString(), central, 824, 386, 200, 18);
    CheckBox2 = new QCheckBox(QStringLiteral("Порывистый, макс:"), central);
    CheckBox2->setGeometry(824, 420, 150, 22);
    SpinEdit9 = makeSpin(1, 10, 1, central);
    SpinEdit9->setGeometry(978, 419, 56, 24);
    makeLabel(QStringLiteral("м/с"), central, 1040, 423);
    makeLabel(QStringLiteral("периодичность, с"), central, 844, 454);
    SpinEdit10 = makeSpin(1, 100, 1, central);
    SpinEdit10->setGeometry(978, 450, 56, 24);

    // Timers (started once the window is created).
    Timer1 = makeTimer(this, DISPLAY_INTERVAL_MS);
    Timer2 = makeTimer(this, 5);  // overwritten at creation
    Timer3 = makeTimer(this, GUST_INTERVAL_MS);
    Timer4 = makeTimer(this, LOOP_TIMER_INTERVAL_MS);
    Timer5 = makeTimer(this, LOOP_TIMER_INTERVAL_MS);

    // Wiring.
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    connect(Timer4, &QTimer::timeout, this, &TForm1::Timer4Timer);
    connect(Timer5, &QTimer::timeout, this, &TForm1::Timer5Timer);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
    connect(Image1, &ClickImage::pressed, this,
            [this](Qt::MouseButton b, QPoint p) { Image1MouseDown(b, p.x(), p.y()); });
    connect(CheckBox2, &QCheckBox::clicked, this, &TForm1::CheckBox2Click);
    connect(SpinEdit10, &QSpinBox::valueChanged, this, &TForm1::SpinEdit10Change);
    connect(CheckBox1, &QCheckBox::clicked, this, &TForm1::CheckBox1Click);
    connect(RadioGroup1Buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) RadioGroup1Click(id);
    });
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int v) {
        Label2->setText(QString::fromStdString(sliderLabelText(SliderLabel::Ailerons, v)));
    });
    connect(TrackBar2, &QSlider::valueChanged, this, [this](int v) {
        Label1->setText(QString::fromStdString(sliderLabelText(SliderLabel::Rudder, v)));
    });
    connect(TrackBar3, &QSlider::valueChanged, this, [this](int v) {
        Label6->setText(QString::fromStdString(sliderLabelText(SliderLabel::Elevator, v)));
    });
    connect(Label2, &ClickLabel::clicked, this, [this] { TrackBar1->setValue(0); });
    connect(Label1, &ClickLabel::clicked, this, [this] { TrackBar2->setValue(0); });
    connect(Label6, &ClickLabel::clicked, this, [this] { TrackBar3->setValue(0); });
}

void TForm1::buildMenu() {
    QMenu* settings = menuBar()->addMenu(QStringLiteral("Настройки"));
    menuModel = settings->addAction(QStringLiteral("модель"));
    menuPult = settings->addAction(QStringLiteral("Пульт"));
    menuForces = settings->addAction(QStringLiteral("Показать аэродинамику"));
    QMenu* autopilot = menuBar()->addMenu(QStringLiteral("Автопилот"));
    menuParams = autopilot->addAction(QStringLiteral("показать параметры"));
    menuStab = autopilot->addAction(QStringLiteral("Настройки стабилизации"));
    menuReturn = autopilot->addAction(QStringLiteral("Настройки автовозврата"));
    menuArduPilot = autopilot->addAction(QStringLiteral("ArduPilot (SITL)…"));
    menuConnect = menuBar()->addAction(QStringLiteral("Connect"));
    recordingUi_ = new RecordingUi(*this, sim_);

    connect(menuModel, &QAction::triggered, this, [this] { guarded(this, [&] { sim_.windows.form2->showModalWindow(); }); });
    connect(menuPult, &QAction::triggered, this, [this] { guarded(this, [&] { sim_.windows.form3->showModalWindow(); }); });
    connect(menuForces, &QAction::triggered, this, [this] {
        sim_.forcesShown = true;
        showToolWindow(sim_.windows.form8, this);
    });
    connect(menuParams, &QAction::triggered, this, [this] { guarded(this, [&] { sim_.windows.form4->openPanel(); }); });
    connect(menuStab, &QAction::triggered, this, [this] {
        showToolWindow(sim_.windows.form5, this);
    });
    connect(menuReturn, &QAction::triggered, this, [this] {
        showToolWindow(sim_.windows.form7, this);
    });
    connect(menuArduPilot, &QAction::triggered, this, [this] {
        arduPilotWindow()->show();
        arduPilotWindow()->raise();
    });
    connect(menuConnect, &QAction::triggered, this, [this] {
        showToolWindow(sim_.windows.form6, this);
    });
}

void TForm1::FormCreate() {
    // 1. Hint timing: installed before the layout was built.
    // 2. Integration step and the dynamics timer.
    Timer2->setInterval(DYNAMICS_INTERVAL_MS);
    // 3. The program's directory and the settings file beside it (in the
    //    user's config folder when the program runs installed).
    if (sim_.appDir.empty()) sim_.appDir = QCoreApplication::applicationDirPath().toStdString() + "/";
    std::string iniError;
    sim_.confIni = openConfIni(confIniPath(sim_), iniError);
    // 4. Random generator seeded from the high-resolution clock.
    if (!sim_.rng) {
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        sim_.rng = std::make_unique<SeededUniform>(static_cast<std::uint64_t>(ticks));
    }
    // The state's start values (5, 7, 9), calm air (8), the initial conditions
    // from the default field values (10) and the bank and pitch loop gains (12)
    // are set by the program's start-up (startFlight) once every window exists,
    // in the same sequence as the headless runner.
    // 6. Default outlines, drawn until a model is applied.
    sim_.outlines = startOutlines();
    // 8. Wind marker to the centre.
    sim_.windMarker = WindMarker{};
    moveMarker();
    // 11. No gust text yet.
    Label19->clear();
    // 13. The forces window is not shown.
    sim_.forcesShown = false;

    diag_ = Diagnostics::fromEnvironment().release();
    Timer1->start();
    Timer2->start();
    Timer5->start();

    resize(1111, 636);
    setFixedSize(size());
    if (const QScreen* sc = QGuiApplication::primaryScreen()) {
        const QRect r = sc->availableGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
    if (!iniError.empty()) showPendingNotice(QString::fromStdString(iniError));
}

// A notice that must not hold up start-up: shown without a modal loop.
void TForm1::showPendingNotice(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("uavsim"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    QTimer::singleShot(0, box, &QMessageBox::show);
}

void TForm1::Timer1Timer() {
    const auto t0 = Diagnostics::Clock::now();
    guarded(this, [&] {
        drawTopView();
        if (CheckBox1->isChecked()) sim_.windows.form9->PosModel();
        drawModel();
        Label9->setText(labelText(statusText(sim_.state, sim_.decimalSep)));
        Label18->setText(labelText(omegaText(sim_.state, sim_.decimalSep)));
        recordingUi_->displayTick();
    });
    if (diag_) diag_->displayTick(Diagnostics::Clock::now() - t0);
}

void TForm1::drawTopView() {
    const TopView tv = uav::drawTopView(sim_.state, sim_.decimalSep);
    PaintBox4->paintPrimitives(tv.drawing);
    Label13->setText(QString::fromStdString(tv.scaleText));
}

void TForm1::drawModel() {
    PaintBox1->paintPrimitives(uav::drawModel(sim_.state, sim_.aircraft, sim_.outlines));
    if (!CheckBox1->isChecked()) drawScreen();
    if (sim_.forcesShown && sim_.windows.form8) sim_.windows.form8->drawStaticModel();
}

void TForm1::drawScreen() { PaintBox2->paintPrimitives(uav::drawScreen(sim_.state)); }

void TForm1::Timer2Timer() {
    SimState& s = sim_.state;
    if (diag_) diag_->dynamicsTick(s.running ? s.dt : 0.0);
    const bool wasRunning = s.running;
    sim_.tuneHook.nowMs = sim_.nowMs();
    const TickResult r = dynamicsTick(s, sim_.aircraft, &sim_.tuneHook);
    sim_.linkTelemetry.publish(telemetryFromState(s));  // what link replies carry until the next tick
    afterDynamicsTick(sim_, wasRunning, sim_.tuneHook.nowMs);
    if (sim_.tuneHook.captionChanged) {
        sim_.tuneHook.captionChanged = false;
        setWindowTitle(QString::fromStdString(sim_.tuneHook.caption));
    }
    if (r.faultRaised)
        showPendingNotice(QString::fromUtf8(simFaultNotice(s.fault)));
}

void TForm1::Timer3Timer() {
    const Gust g = nextGust(SpinEdit9->value(), *sim_.rng);
    sim_.state.wind = g.wind;
    sim_.record(ev::Gust{static_cast<double>(SpinEdit9->value()), g.wind.x, g.wind.z});
    sim_.windMarker = markerForWind(g.wind);
    moveMarker();
    Label19->setText(QString::fromStdString(formatGeneral(g.speed, sim_.decimalSep)));
}

void TForm1::Timer4Timer() {
    const ClockMs t = sim_.nowMs();
    sim_.record(ev::LoopTick{t});
    guarded(this, [&] { loopTick(sim_.ap, sim_.state, sim_.aircraft, t); });
}

void TForm1::Timer5Timer() {
    guarded(this, [&] {
        sim_.ap.sliders = sliderPositions();
        const ClockMs t = sim_.nowMs();
        sim_.record(ev::ControlTick{t});
        controlTick(sim_.ap, sim_.state, sim_.aircraft, t);
        Label11->setText(labelText(outputDisplayText(sim_.ap.channels, sim_.state, sim_.decimalSep)));
    });
}

void TForm1::SpeedButton2Click() {
    SpeedButton2->setEnabled(false);
    SpeedButton3->setEnabled(true);
    sim_.state.running = true;
    sim_.record(ev::Run{true});
}

void TForm1::SpeedButton3Click() {
    SpeedButton3->setEnabled(false);
    SpeedButton2->setEnabled(true);
    sim_.state.running = false;
    sim_.record(ev::Run{false});
}

InitialConditions TForm1::initialConditions() const {
    InitialConditions ic;
    ic.speedKmh = SpinEdit5->value();
    ic.angleDeg = SpinEdit11->value();
    ic.altitudeM = SpinEdit8->value();
    ic.distanceM = SpinEdit1->value();
    return ic;
}

SliderPositions TForm1::sliderPositions() const {
    return {TrackBar1->value(), TrackBar2->value(), TrackBar3->value(), TrackBar4->value()};
}

void TForm1::SpeedButton4Click() {
    sim_.record(ev::Initial{initialConditions()});
    applyInitialConditions(sim_.state, initialConditions());
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int x, int y) {
    const WindButton b = button == Qt::LeftButton    ? WindButton::Left
                         : button == Qt::RightButton ? WindButton::Right
                                                     : WindButton::Other;
    sim_.windMarker = windMarkerAfterClick(sim_.windMarker, b, x, y);
    moveMarker();
    const Vec3 w = windFromMarker(sim_.windMarker);
    sim_.state.wind.x = w.x;
    sim_.state.wind.z = w.z;
    sim_.record(ev::Wind{w.x, w.z});
    Label19->setText(QString::fromStdString(formatGeneral(VecNorm(sim_.state.wind), sim_.decimalSep)));
}

void TForm1::moveMarker() { Shape1->move(sim_.windMarker.left, sim_.windMarker.top); }

void TForm1::CheckBox2Click() {
    if (CheckBox2->isChecked())
        Timer3->start();
    else
        Timer3->stop();
}

void TForm1::SpinEdit10Change() { Timer3->setInterval(SpinEdit10->value() * 1000); }

void TForm1::RadioGroup1Click(int index) {
    const ApMode mode = static_cast<ApMode>(index);
    const ReturnTexts returnTexts = sim_.windows.form7->texts();
    sim_.record(ev::Mode{mode, std::make_shared<ReturnTexts>(returnTexts), sim_.decimalSep});
    const bool engaged =
        guarded(this, [&] { engageMode(sim_.ap, mode, sim_.state, returnTexts, sim_.decimalSep); });
    if (!engaged) {
        // The autopilot stayed in its mode: so does the selector.
        const QSignalBlocker quiet(RadioGroup1Buttons);
        RadioGroup1Buttons->button(static_cast<int>(sim_.ap.mode))->setChecked(true);
    }
    // The loop timer follows the autopilot.
    if (sim_.ap.loopTimerOn && !Timer4->isActive()) Timer4->start();
    if (!sim_.ap.loopTimerOn) Timer4->stop();
}

ArduPilotWindow* TForm1::arduPilotWindow() {
    if (!arduPilotWindow_) arduPilotWindow_ = new ArduPilotWindow(sim_, *this);
    return arduPilotWindow_;
}

void TForm1::setControlSliders(const SliderPositions& p) {
    TrackBar1->setValue(p.ailerons);
    TrackBar2->setValue(p.rudder);
    TrackBar3->setValue(p.elevator);
    TrackBar4->setValue(p.throttle);
}

void TForm1::CheckBox1Click() {
    if (CheckBox1->isChecked())
        showToolWindow(sim_.windows.form9, this);
    else
        sim_.windows.form9->hide();
}

}  // namespace uav
