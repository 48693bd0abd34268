#include "app/tform7.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>

#include "app/formfields.h"
#include "app/guarded.h"
#include "app/toolwindow.h"
#include "control/autopilot.h"

namespace uav {

TForm7::TForm7(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form7"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Автовозврат"));
    buildLayout();
    // Applied by the program's start-up (startFlight), after the stabilisation texts.
    setTexts(defaultReturnTexts(sim_.decimalSep));
}

void TForm7::buildLayout() {
    styleToolWindow(this);
    auto field = [&](int f, QWidget* parent, const char* caption, int x, int y, int labelW) {
        fields[f] = addField(parent, QString::fromUtf8(caption), QString::fromUtf8(RETURN_FIELDS[f].edit), x, y,
                             labelW, 50);
    };
    // A group of one loop's gains, side by side.
    auto gains = [&](const char* title, int firstField, int y) {
        auto* g = new QGroupBox(QString::fromUtf8(title), this);
        g->setGeometry(218, y, 214, 46);
        const char* names[3] = {"П", "И", "Д"};
        for (int k = 0; k < 3; ++k) field(firstField + k, g, names[k], 8 + 68 * k, 18, 16);
    };

    // Left: the targets and limits of the return.
    const struct {
        const char* caption;
        int field;
    } left[6] = {{"целевая высота, м", RT_ALTITUDE}, {"Критическая высота, м", RT_CRITICAL},
                 {"макс крен", RT_MAX_ROLL},           {"макс. тангаж", RT_MAX_PITCH},
                 {"целевая скорость", RT_SPEED},       {"Радиус дома", RT_HOME_RADIUS}};
    for (int k = 0; k < 6; ++k) field(left[k].field, this, left[k].caption, 8, 10 + 26 * k, 146);
    CheckBox1 = new QCheckBox(QStringLiteral("сразу занимать высоту"), this);
    CheckBox1->setGeometry(8, 168, 200, 20);

    // Right: the altitude loop, the choice of heading control and its two gain sets.
    gains("Высота", RT_ALT_KP, 4);
    RadioGroup1 = new QGroupBox(QStringLiteral("управление по курсу"), this);
    RadioGroup1->setGeometry(218, 54, 214, 62);
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    const char* items[2] = {"Элеронами", "Рулем направления"};
    for (int i = 0; i < 2; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(items[i]), RadioGroup1);
        b->setGeometry(10, 18 + 20 * i, 196, 18);
        RadioGroup1Buttons->addButton(b, i);
    }
    gains("Курс элеронами", RT_AIL_KP, 120);
    gains("Курс рудером", RT_RUD_KP, 170);

    SpeedButton4 = makeApplyButton(this, 8, 194);
    setFixedSize(440, 224);

    connect(SpeedButton4, &QToolButton::clicked, this, [this] { guarded(this, [&] { SpeedButton4Click(); }); });
}

ReturnTexts TForm7::texts() const {
    ReturnTexts t;
    for (int f = 0; f < RETURN_FIELD_COUNT; ++f) t.text[f] = fields[f]->text().toStdString();
    t.captureAltitudeAtOnce = CheckBox1->isChecked();
    t.headingGroupIndex = RadioGroup1Buttons->checkedId() == 1 ? 1 : 0;
    return t;
}

void TForm7::setTexts(const ReturnTexts& t) {
    // A 15-digit proposal is longer than its field: show its beginning.
    for (int f = 0; f < RETURN_FIELD_COUNT; ++f) {
        fields[f]->setText(QString::fromStdString(t.text[f]));
        fields[f]->setCursorPosition(0);
    }
    CheckBox1->setChecked(t.captureAltitudeAtOnce);
    RadioGroup1Buttons->button(t.headingGroupIndex == 1 ? 1 : 0)->setChecked(true);
}

void TForm7::SpeedButton4Click() {
    const ReturnTexts t = texts();
    sim_.record(ev::ReturnApply{std::make_shared<ReturnTexts>(t), sim_.decimalSep});
    applyReturnTexts(t, sim_.decimalSep, sim_.state, sim_.ap.returnSettings, sim_.ap.returnState,
                     sim_.ap.loops);
}

}  // namespace uav
