#include "app/tform5.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/formfields.h"
#include "app/guarded.h"
#include "app/toolwindow.h"
#include "control/autopilot.h"

namespace uav {

namespace {

QGroupBox* group(const QString& title, QWidget* parent, int x, int y, int w, int h) {
    auto* g = new QGroupBox(title, parent);
    g->setGeometry(x, y, w, h);
    return g;
}

}  // namespace

TForm5::TForm5(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form5"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Стабилизация"));
    buildLayout();
    // Applied by the program's start-up (startFlight), after the model.
    setTexts(defaultStabiliserTexts(sim_.decimalSep));
}

void TForm5::buildLayout() {
    styleToolWindow(this);
    auto field = [&](int f, QWidget* parent, const char* caption, int x, int y, int labelW) {
        fields[f] = addField(parent, QString::fromUtf8(caption), QString::fromUtf8(STABILISER_FIELDS[f].edit), x, y,
                             labelW, 50);
    };
    // One loop's gains, one under the other, starting at row y.
    auto pid = [&](int firstField, QWidget* parent, int x, int y, int labelW) {
        const char* names[3] = {"П", "И", "Д"};
        for (int k = 0; k < 3; ++k) field(firstField + k, parent, names[k], x, y + 24 * k, labelW);
    };

    // Top row: bank, pitch, airspeed.
    QGroupBox* roll = group(QStringLiteral("Крен"), this, 8, 6, 148, 120);
    field(ST_ROLL_MAX, roll, "Макс угол", 8, 20, 80);
    pid(ST_ROLL_KP, roll, 8, 44, 80);
    QGroupBox* pitch = group(QStringLiteral("Тангаж"), this, 164, 6, 148, 120);
    field(ST_PITCH_MAX, pitch, "Макс угол", 8, 20, 80);
    pid(ST_PITCH_KP, pitch, 8, 44, 80);
    QGroupBox* speed = group(QStringLiteral("Газ"), this, 320, 6, 168, 120);
    field(ST_SPEED_MIN, speed, "Мин скорость", 8, 20, 90);
    field(ST_SPEED_MAX, speed, "Макс скорость", 8, 44, 90);
    field(ST_SPEED_KP, speed, "П", 8, 68, 90);
    field(ST_SPEED_KI, speed, "И", 8, 92, 90);

    // Rate hold: bank, pitch and heading rates.
    QGroupBox* hold = group(QStringLiteral("Режим удержания"), this, 8, 132, 480, 142);
    const struct {
        const char* title;
        const char* maxCaption;
        int maxField;
        int firstGain;
    } rates[3] = {{"Крен", "Wx max, рад/с", ST_ROLL_RATE_MAX, ST_ROLL_RATE_KP},
                  {"Тангаж", "Wy max, рад/с", ST_PITCH_RATE_MAX, ST_PITCH_RATE_KP},
                  {"Курс", "Wz max, рад/с", ST_YAW_RATE_MAX, ST_YAW_RATE_KP}};
    for (int k = 0; k < 3; ++k) {
        QGroupBox* g = group(QString::fromUtf8(rates[k].title), hold, 8 + 156 * k, 18, 152, 116);
        field(rates[k].maxField, g, rates[k].maxCaption, 6, 18, 92);
        pid(rates[k].firstGain, g, 6, 42, 92);
    }

    // Apply, then the relay tuning's start and stop.
    SpeedButton4 = makeApplyButton(this, 8, 282);
    SpeedButton1 = new QPushButton(QStringLiteral("Start AT"), this);
    SpeedButton1->setGeometry(328, 282, 76, 28);
    SpeedButton2 = new QPushButton(QStringLiteral("Stpop AT"), this);
    SpeedButton2->setGeometry(412, 282, 76, 28);
    setFixedSize(496, 318);

    connect(SpeedButton4, &QToolButton::clicked, this, [this] { guarded(this, [&] { SpeedButton4Click(); }); });
    connect(SpeedButton1, &QPushButton::clicked, this, &TForm5::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { guarded(this, [&] { SpeedButton2Click(); }); });
}

StabiliserTexts TForm5::texts() const {
    StabiliserTexts t;
    for (int f = 0; f < STABILISER_FIELD_COUNT; ++f) t.text[f] = fields[f]->text().toStdString();
    return t;
}

void TForm5::setTexts(const StabiliserTexts& t) {
    // A 15-digit proposal is longer than its field: show its beginning.
    for (int f = 0; f < STABILISER_FIELD_COUNT; ++f) {
        fields[f]->setText(QString::fromStdString(t.text[f]));
        fields[f]->setCursorPosition(0);
    }
}

void TForm5::SpeedButton4Click() {
    const StabiliserTexts t = texts();
    sim_.record(ev::StabiliserApply{std::make_shared<StabiliserTexts>(t), sim_.decimalSep});
    applyStabiliserTexts(t, sim_.decimalSep, sim_.ap.stabiliser, sim_.ap.loops);
}

void TForm5::SpeedButton1Click() {
    sim_.record(ev::TuningStart{});
    startTuning(sim_.ap.tuning);
}

void TForm5::SpeedButton2Click() {
    const ClockMs now = sim_.nowMs();
    sim_.record(ev::TuningStop{now});
    StabiliserTexts t = texts();
    try {
        stopTuning(sim_.ap.tuning, now, t, sim_.decimalSep);
    } catch (...) {
        setTexts(t);  // the proposals computed before the failure
        throw;
    }
    setTexts(t);
}

}  // namespace uav
