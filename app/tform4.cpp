#include "app/tform4.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include "app/formfields.h"
#include "app/hints.h"
#include "app/toolwindow.h"
#include "model/numtext.h"
#include "views/sensorpanel.h"

namespace uav {

TForm4::TForm4(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form4"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Параметры"));
    styleToolWindow(this);

    ValueListEditor1 = new QTableWidget(SENSOR_ROW_COUNT, 2, this);
    ValueListEditor1->setGeometry(0, 0, 289, 258);
    ValueListEditor1->setHorizontalHeaderLabels({QStringLiteral("параметр"), QStringLiteral("значение")});
    ValueListEditor1->verticalHeader()->hide();
    ValueListEditor1->verticalHeader()->setDefaultSectionSize(19);
    ValueListEditor1->horizontalHeader()->setFixedHeight(20);
    ValueListEditor1->setColumnWidth(0, 131);
    ValueListEditor1->horizontalHeader()->setStretchLastSection(true);  // 152 in this width
    ValueListEditor1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ValueListEditor1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < SENSOR_ROW_COUNT; ++r) {
        ValueListEditor1->setItem(r, 0, new QTableWidgetItem(QString::fromUtf8(SENSOR_ROW_NAMES[r])));
        ValueListEditor1->setItem(r, 1, new QTableWidgetItem(QStringLiteral("0")));
    }

    SpinEdit8 = new QSpinBox(this);
    SpinEdit8->setRange(1, 100);
    SpinEdit8->setValue(10);
    SpinEdit8->hide();
    SpeedButton4 = new QToolButton(this);
    setHint(SpeedButton4, QStringLiteral("Установить начальные значения"));
    SpeedButton4->hide();
    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    setFixedSize(289, 258);

    connect(SpeedButton4, &QToolButton::clicked, this, &TForm4::SpeedButton4Click);
    connect(Timer1, &QTimer::timeout, this, &TForm4::Timer1Timer);
}

void TForm4::SpeedButton4Click() {
    Timer1->setInterval(panelIntervalMs(SpinEdit8->value()));
    Timer1->start();
}

void TForm4::Timer1Timer() {
    const auto v = sensorValues(sim_.state);
    for (int r = 0; r < SENSOR_ROW_COUNT; ++r)
        ValueListEditor1->item(r, 1)->setText(QString::fromStdString(formatGeneral(v[r], sim_.decimalSep)));
}

void TForm4::openPanel() {
    SpeedButton4Click();
    Timer1Timer();
    showToolWindow(this, parentWidget());
}

void TForm4::closeEvent(QCloseEvent* e) {
    Timer1->stop();
    QWidget::closeEvent(e);
}

}  // namespace uav
