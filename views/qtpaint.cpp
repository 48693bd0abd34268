#include "views/qtpaint.h"

#include <QImage>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
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

// Qt flattens a very large ellipse (the camera view's ground disc is 16000
// pixels across) into few segments, which shows as a kinked horizon. Such an
// ellipse is drawn as a polygon with vertices about 16 pixels apart instead:
// at a radius of 8000 pixels the arc then strays less than 0.01 pixel.
constexpr int LARGE_ELLIPSE = 2048;  // pixels, bounding-box side

QPolygonF ellipsePolygon(const QRectF& r) {
    const double a = r.width() / 2.0, b = r.height() / 2.0;
    const QPointF c = r.center();
    const int n = std::max(64, static_cast<int>(std::ceil(2.0 * M_PI * std::max(a, b) / 16.0)));
    QPolygonF poly;
    poly.reserve(n);
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * M_PI * i / n;
        poly << QPointF(c.x() + a * std::cos(t), c.y() + b * std::sin(t));
    }
    return poly;
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
                    const QRect r = box(p).adjusted(0, 0, -1, -1);
                    if (r.width() > LARGE_ELLIPSE || r.height() > LARGE_ELLIPSE)
                        painter.drawPolygon(ellipsePolygon(r));
                    else
                        painter.drawEllipse(r);
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
