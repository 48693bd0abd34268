#include "app/widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "core/wind.h"
#include "views/qtpaint.h"

namespace uav {

PaintBox::PaintBox(int width, int height, QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
    image_.fill(Qt::white);
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintBox::paintPrimitives(const Drawing& d) {
    paintDrawing(image_, d);
    update();
}

void PaintBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void PaintBox::mousePressEvent(QMouseEvent* e) {
    emit mousePressed(e->button(), e->modifiers(), e->position().toPoint());
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit clicked();
}

void ClickImage::mousePressEvent(QMouseEvent* e) { emit pressed(e->button(), e->position().toPoint()); }

WindMarkerWidget::WindMarkerWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(WIND_MARKER_SIZE, WIND_MARKER_SIZE);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void WindMarkerWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x00, 0x80), 1));
    p.setBrush(QColor(0x80, 0x00, 0x80));
    p.drawEllipse(QRectF(0.5, 0.5, WIND_MARKER_SIZE - 1, WIND_MARKER_SIZE - 1));
}

QPixmap compassPicture() {
    const int n = WIND_PICTURE_SIZE;
    QPixmap pm(n, n);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(n / 2.0, n / 2.0);
    // The inscribed circle is 10 m/s; inner rings at 5 m/s.
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawEllipse(c, n / 2.0 - 1, n / 2.0 - 1);
    p.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 1, Qt::DotLine));
    p.drawEllipse(c, n / 4.0, n / 4.0);
    p.drawLine(QPointF(c.x(), 14), QPointF(c.x(), n - 14));
    p.drawLine(QPointF(14, c.y()), QPointF(n - 14, c.y()));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 1, n, 14), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("N"));
    p.drawText(QRectF(0, n - 15, n, 14), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("S"));
    p.drawText(QRectF(3, 0, 14, n), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("W"));
    p.drawText(QRectF(n - 15, 0, 13, n), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("E"));
    return pm;
}

QPixmap buttonGlyph(Glyph g) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (g) {
        case Glyph::Start: {
            QPainterPath tri;
            tri.moveTo(5, 3);
            tri.lineTo(17, 10);
            tri.lineTo(5, 17);
            tri.closeSubpath();
            p.fillPath(tri, QColor(0x00, 0x90, 0x00));
            break;
        }
        case Glyph::Stop: p.fillRect(QRectF(4, 4, 12, 12), QColor(0xC0, 0x00, 0x00)); break;
        case Glyph::Reset: {
            p.setPen(QPen(QColor(0x00, 0x00, 0x90), 2));
            p.drawArc(QRectF(3, 3, 14, 14), 90 * 16, 270 * 16);
            QPainterPath head;
            head.moveTo(10, 0);
            head.lineTo(15, 3);
            head.lineTo(10, 6);
            head.closeSubpath();
            p.fillPath(head, QColor(0x00, 0x00, 0x90));
            break;
        }
    }
    return pm;
}

}  // namespace uav
