#include "app/tform3.h"

namespace uav {

TForm3::TForm3(SimApp& sim, QWidget* mainWindow) : QDialog(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Настройка пульта"));
    resize(520, 420);
}

void TForm3::showModalWindow() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
}

}  // namespace uav
