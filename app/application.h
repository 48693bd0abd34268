// The application object. Every window handler already catches the errors it
// can raise (see guarded.h); this is the last line, so that nothing unexpected
// ever unwinds through Qt's event loop: the message is shown and the program
// carries on.
#pragma once

#include <QApplication>

namespace uav {

class UavApplication : public QApplication {
public:
    UavApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace uav
