#include "app/application.h"

#include <QLibraryInfo>
#include <cstdio>
#include <exception>

#include "app/guarded.h"

namespace uav {

QTranslator* installQtTranslations(QCoreApplication& app) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* qt = new QTranslator(&app);
    if (!qt->load(QStringLiteral("qtbase_ru"), dir) || !QCoreApplication::installTranslator(qt)) {
        std::fprintf(stderr, "uavsim: Qt's Russian translations (qtbase_ru.qm) not found in %s; standard dialogs "
                             "stay in English (install qt6-translations-l10n)\n",
                     qPrintable(dir));
        delete qt;
        return nullptr;
    }
    return qt;
}

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
