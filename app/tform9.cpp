#include "app/tform9.h"

namespace uav {

TForm9::TForm9(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form9"));
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Form9"));
    resize(640, 480);
}

void TForm9::PosModel() {}

}  // namespace uav
