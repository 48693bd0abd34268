// Small widgets the windows are built from: a drawing surface that keeps its
// last picture, a label that can be clicked, the wind marker, and the pictures
// the program draws for itself (compass, button glyphs).
#pragma once

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "views/primitives.h"

namespace uav {

// A fixed-size drawing surface. A refresh paints a primitive list into the
// kept picture at once (so the cost is paid inside the refresh) and schedules
// the screen update; between refreshes the last picture stays.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    PaintBox(int width, int height, QWidget* parent);
    void paintPrimitives(const Drawing& d);
    const QImage& picture() const { return image_; }

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QImage image_;
};

// A label that reports a press of the left mouse button.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// A picture that reports mouse presses in its own coordinates.
class ClickImage : public QLabel {
    Q_OBJECT
public:
    explicit ClickImage(QWidget* parent) : QLabel(parent) {}
signals:
    void pressed(Qt::MouseButton button, QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// The 8 x 8 purple circle over the compass; clicks go through to the picture.
class WindMarkerWidget : public QWidget {
public:
    explicit WindMarkerWidget(QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;
};

// The 120 x 120 compass picture: a ring with N at the top, E right, S bottom,
// W left.
QPixmap compassPicture();

enum class Glyph { Start, Stop, Reset };
QPixmap buttonGlyph(Glyph g);

}  // namespace uav
