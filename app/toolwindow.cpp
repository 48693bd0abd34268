#include "app/toolwindow.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <algorithm>

namespace uav {

namespace {

// Marks a window placed once this run: later shows leave it where it is.
constexpr const char* PLACED_PROPERTY = "uavsimPlaced";

QPoint insideScreen(QPoint p, const QSize& tool, const QRect& screen) {
    p.setX(std::max(screen.left(), std::min(p.x(), screen.right() + 1 - tool.width())));
    p.setY(std::max(screen.top(), std::min(p.y(), screen.bottom() + 1 - tool.height())));
    return p;
}

}  // namespace

QPoint toolWindowPlace(const QRect& main, int menuBottom, const QSize& tool, const QRect& screen) {
    const QPoint centred(main.left() + (main.width() - tool.width()) / 2,
                         main.top() + (main.height() - tool.height()) / 2);
    if (centred.y() > menuBottom) return insideScreen(centred, tool, screen);
    // Beside the main window, level with its top, where the screen has room.
    const int top = std::max(screen.top(), std::min(main.top(), screen.bottom() + 1 - tool.height()));
    if (main.right() + tool.width() <= screen.right()) return {main.right() + 1, top};
    if (main.left() - tool.width() >= screen.left()) return {main.left() - tool.width(), top};
    return insideScreen({centred.x(), menuBottom + 1}, tool, screen);
}

void showToolWindow(QWidget* tool, const QWidget* main) {
    if (!tool->property(PLACED_PROPERTY).toBool() && main) {
        tool->setProperty(PLACED_PROPERTY, true);
        // Before the first show the tool's frame is not known yet: it gets the
        // main window's decoration.
        const QRect mainFrame = main->frameGeometry();
        const QSize decoration = mainFrame.size() - main->geometry().size();
        const QSize toolFrame = tool->size() + decoration;
        int menuBottom = main->geometry().top() - 1;
        if (const auto* mw = qobject_cast<const QMainWindow*>(main); mw && mw->menuWidget())
            menuBottom = mw->menuWidget()->mapToGlobal(QPoint(0, mw->menuWidget()->height() - 1)).y();
        const QScreen* sc = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
        const QRect screen = sc ? sc->availableGeometry() : mainFrame.united(QRect(mainFrame.topLeft(), toolFrame));
        tool->move(toolWindowPlace(mainFrame, menuBottom, toolFrame, screen));
    }
    tool->show();
    tool->raise();
    tool->activateWindow();
}

}  // namespace uav
