// Window flags shared by the tool windows: a small frame, above the main
// window, owned by it (so closing the main window ends the program); and where
// a tool window opens.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace uav {

inline void makeToolWindow(QWidget* w, bool stayOnTop) {
    Qt::WindowFlags f = Qt::Tool;
    if (stayOnTop) f |= Qt::WindowStaysOnTopHint;
    w->setWindowFlags(f);
}

// Where a tool window's frame of `tool` size opens (its top-left corner, global
// pixels): centred on the main window's frame `main`; where that would cover
// the main window's menu bar (whose bottom edge is at global y `menuBottom`),
// beside the main window, right or left, where the screen area `screen` has
// room; otherwise centred across, just below the menu bar. Always inside
// `screen` as far as the window's size allows (top-left corner first).
QPoint toolWindowPlace(const QRect& main, int menuBottom, const QSize& tool, const QRect& screen);

// Shows a tool window and brings it to the front. The first time in a run it
// is placed by toolWindowPlace against `main`; after that it opens where it
// was last, wherever the user moved it.
void showToolWindow(QWidget* tool, const QWidget* main);

}  // namespace uav
