#include "app/tform8.h"

#include <QApplication>
#include <QCloseEvent>
#include <QSlider>

#include "app/hints.h"
#include "app/toolwindow.h"
#include "app/widgets.h"
#include "views/modeldraw.h"

namespace uav {

namespace {
QSlider* makeSlider(Qt::Orientation o, int lo, int hi, int value, const QString& hint, QWidget* parent) {
    auto* s = new QSlider(o, parent);
    s->setRange(lo, hi);
    if (o == Qt::Vertical) {
        s->setInvertedAppearance(true);  // minimum at the top
        s->setInvertedControls(true);
    }
    s->setValue(value);
    setHint(s, hint);
    return s;
}
}  // namespace

TForm8::TForm8(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form8"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Аэродинамические силы"));

    PaintBox3 = new PaintBox(300, 300, this);
    PaintBox3->move(8, 8);
    setHint(PaintBox3, QStringLiteral("левый клик - слева;    правый - спереди;    средний - сверху;    "
                                      "левый+Ctrl - изометрия"));
    const QString turn = QStringLiteral("Повернуть вид");
    TrackBar5 = makeSlider(Qt::Horizontal, -180, 180, 45, turn, this);
    TrackBar5->setGeometry(8, 312, 300, 24);
    TrackBar8 = makeSlider(Qt::Horizontal, -150, 150, 0, QStringLiteral("Сдвинуть вид по горизонтали"), this);
    TrackBar8->setGeometry(8, 340, 300, 24);
    TrackBar6 = makeSlider(Qt::Vertical, -180, 180, 45, turn, this);
    TrackBar6->setGeometry(314, 8, 24, 300);
    TrackBar7 = makeSlider(Qt::Vertical, -150, 150, 0, QStringLiteral("Сдвинуть вид по вертикали"), this);
    TrackBar7->setGeometry(342, 8, 24, 300);
    TrackBar9 = makeSlider(Qt::Vertical, 10, 100, 10, QStringLiteral("Увеличение"), this);
    TrackBar9->setGeometry(370, 8, 24, 300);
    setFixedSize(402, 372);

    connect(TrackBar5, &QSlider::valueChanged, this, &TForm8::TrackBar6Change);
    connect(TrackBar6, &QSlider::valueChanged, this, &TForm8::TrackBar6Change);
    connect(PaintBox3, &PaintBox::mousePressed, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint) { PaintBox3MouseDown(b, m); });
    TrackBar6Change();
}

void TForm8::TrackBar6Change() { viewMatrix = forcesViewMatrix(TrackBar6->value(), TrackBar5->value()); }

void TForm8::PaintBox3MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    const ViewButton b = button == Qt::LeftButton     ? ViewButton::Left
                         : button == Qt::RightButton  ? ViewButton::Right
                         : button == Qt::MiddleButton ? ViewButton::Middle
                                                      : ViewButton::Other;
    const ViewPreset p = forcesPresetForClick(b, modifiers == Qt::ControlModifier);
    if (!p.changes) return;
    TrackBar6->setValue(p.turnV);
    TrackBar5->setValue(p.turnH);
    if (p.beep) {
        ++beeps;
        QApplication::beep();
    }
}

void TForm8::drawStaticModel() {
    ForcesSliders sl;
    sl.turnH = TrackBar5->value();
    sl.turnV = TrackBar6->value();
    sl.shiftV = TrackBar7->value();
    sl.shiftH = TrackBar8->value();
    sl.zoom = TrackBar9->value();
    PaintBox3->paintPrimitives(uav::drawStaticModel(sim_.state, sim_.aircraft, viewMatrix, sl));
}

void TForm8::closeEvent(QCloseEvent* e) {
    sim_.forcesShown = false;
    QWidget::closeEvent(e);
}

}  // namespace uav
