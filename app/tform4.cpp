#include "app/tform4.h"

#include "app/toolwindow.h"

namespace uav {

TForm4::TForm4(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form4"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Параметры"));
    resize(240, 300);
}

void TForm4::openPanel() {
    show();
    raise();
}

}  // namespace uav
