#include "app/tform5.h"

#include "app/guarded.h"
#include "app/toolwindow.h"
#include "control/autopilot.h"

namespace uav {

TForm5::TForm5(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form5"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Стабилизация"));
    resize(420, 360);
    // Applied by the program's start-up (startFlight), after the model.
    texts_ = defaultStabiliserTexts(sim_.decimalSep);
}

void TForm5::SpeedButton4Click() {
    applyStabiliserTexts(texts_, sim_.decimalSep, sim_.ap.stabiliser, sim_.ap.loops);
}

}  // namespace uav
