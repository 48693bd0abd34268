// Every window handler runs through `guarded`: an error raised inside stops
// that action where it is and shows the system's message; nothing crosses the
// Qt event loop.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <exception>

#include "core/errors.h"

namespace uav {

// The message box of a failed action (modal, as the action's own box).
inline void showError(QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QStringLiteral("uavsim"), message);
}

// Runs f; on an exception shows its message and returns false.
template <class F>
bool guarded(QWidget* parent, F&& f) {
    try {
        f();
        return true;
    } catch (const SimError& e) {
        showError(parent, QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        showError(parent, QString::fromUtf8(e.what()));
    }
    return false;
}

}  // namespace uav
