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
    texts_ = defaultStabiliserTexts(sim_.decimalSep);
    // The defaults always convert; an error here would still only be shown.
    guarded(mainWindow, [&] { SpeedButton4Click(); });
    sim_.ap.tuning.on = false;
}

void TForm5::SpeedButton4Click() {
    applyStabiliserTexts(texts_, sim_.decimalSep, sim_.ap.stabiliser, sim_.ap.loops);
}

}  // namespace uav
