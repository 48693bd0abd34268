// Window flags shared by the tool windows: a small frame, above the main
// window, owned by it (so closing the main window ends the program).
#pragma once

#include <QWidget>

namespace uav {

inline void makeToolWindow(QWidget* w, bool stayOnTop) {
    Qt::WindowFlags f = Qt::Tool;
    if (stayOnTop) f |= Qt::WindowStaysOnTopHint;
    w->setWindowFlags(f);
}

}  // namespace uav
