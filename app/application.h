// The application object. Every window handler already catches the errors it
// can raise (see guarded.h); this is the last line, so that nothing unexpected
// ever unwinds through Qt's event loop: the message is shown and the program
// carries on.
#pragma once

#include <QApplication>
#include <QTranslator>

namespace uav {

// Installs Qt's own Russian translations (qtbase_ru.qm, Debian's
// qt6-translations-l10n) on `app`, so file dialogs, message box buttons and
// context menus speak Russian as the program's own texts do. Returns the
// translator (owned by `app`), or null with a note on standard error where
// they are not installed: the standard dialogs then stay in English and
// everything else works.
QTranslator* installQtTranslations(QCoreApplication& app);

// The program's application object; it installs the translations above.
class UavApplication : public QApplication {
public:
    UavApplication(int& argc, char** argv) : QApplication(argc, argv) { installQtTranslations(*this); }
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace uav
