#include "views/qtpaint.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QString>

namespace uav {

namespace {

QColor toQt(Rgb c) { return QColor(c.r, c.g, c.b); }

QPen toQt(const Pen& p) {
    QPen pen(toQt(p.colour));
    pen.setWidth(p.width);
    pen.setStyle(p.style == PenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
    return pen;
}

QBrush toQt(const Brush& b) {
    if (b.style == BrushStyle::Clear) return Qt::NoBrush;
    return QBrush(toQt(b.colour));
}

QRect box(const Primitive& p) {
    const Pixel a = p.pts[0], b = p.pts[1];
    return QRect(QPoint(a.x, a.y), QSize(b.x - a.x, b.y - a.y));
}

}  // namespace

void paintDrawing(QPainter& painter, const Drawing& drawing) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Primitive& p : drawing) {
        switch (p.kind) {
            case PrimKind::FillRect:
                if (p.pts.size() >= 2) painter.fillRect(box(p), toQt(p.brush));
                break;
            case PrimKind::Line:
                if (p.pts.size() >= 2) {
                    painter.setPen(toQt(p.pen));
                    painter.drawLine(p.pts[0].x, p.pts[0].y, p.pts[1].x, p.pts[1].y);
                }
                break;
            case PrimKind::Polygon: {
                QPolygon poly;
                poly.reserve(static_cast<qsizetype>(p.pts.size()));
                for (const Pixel& q : p.pts) poly << QPoint(q.x, q.y);
                painter.setPen(toQt(p.pen));
                painter.setBrush(toQt(p.brush));
                painter.drawPolygon(poly);
                break;
            }
            case PrimKind::Ellipse:
                if (p.pts.size() >= 2) {
                    painter.setPen(toQt(p.pen));
                    painter.setBrush(toQt(p.brush));
                    // The outline lies inside the box, as the bottom-right edge is exclusive.
                    painter.drawEllipse(box(p).adjusted(0, 0, -1, -1));
                }
                break;
            case PrimKind::Text:
                if (!p.pts.empty()) {
                    painter.setPen(QPen(Qt::black));
                    painter.drawText(QRect(p.pts[0].x, p.pts[0].y, 200, 100), Qt::AlignLeft | Qt::AlignTop,
                                     QString::fromUtf8(p.text.data(), static_cast<qsizetype>(p.text.size())));
                }
                break;
        }
    }
}

void paintDrawing(QImage& image, const Drawing& drawing) {
    QPainter painter(&image);
    paintDrawing(painter, drawing);
}

}  // namespace uav
