#include "app/application.h"

#include <exception>

#include "app/guarded.h"

namespace uav {

bool UavApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showError(activeWindow(), QString::fromUtf8(e.what()));
    } catch (...) {
        showError(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace uav
