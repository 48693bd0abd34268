#include "app/tform7.h"

#include "app/guarded.h"
#include "app/toolwindow.h"
#include "control/autopilot.h"

namespace uav {

TForm7::TForm7(SimApp& sim, QWidget* mainWindow) : QWidget(mainWindow), sim_(sim) {
    setObjectName(QStringLiteral("Form7"));
    makeToolWindow(this, true);
    setWindowTitle(QStringLiteral("Автовозврат"));
    resize(420, 360);
    // Applied by the program's start-up (startFlight), after the stabilisation texts.
    texts_ = defaultReturnTexts(sim_.decimalSep);
}

void TForm7::SpeedButton4Click() {
    applyReturnTexts(texts_, sim_.decimalSep, sim_.state, sim_.ap.returnSettings, sim_.ap.returnState,
                     sim_.ap.loops);
}

}  // namespace uav
