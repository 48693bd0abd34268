#include "app/tform6.h"

#include "app/toolwindow.h"

namespace uav {

TForm6::TForm6(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form6"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Соединение"));
    resize(360, 300);
}

}  // namespace uav
