// The stabilisation settings window "Стабилизация": gains and limits of the
// bank, pitch, airspeed and rate loops, and the relay tuning of the bank and
// pitch loops. It starts with its default texts, which the program's start-up
// applies, so the autopilot has valid gains and limits from the start. Always
// on top, modeless.
#pragma once

#include <QWidget>
#include <array>

#include "app/simapp.h"
#include "control/apsettings.h"

class QLineEdit;
class QToolButton;
class QPushButton;

namespace uav {

class TForm5 : public QWidget {
    Q_OBJECT
public:
    TForm5(SimApp& sim, QWidget* mainWindow);

    // The texts as the fields hold them now, and filling the fields.
    StabiliserTexts texts() const;
    void setTexts(const StabiliserTexts& t);

    // The apply button: converts the texts in their order. Throws SimError.
    void SpeedButton4Click();
    // "Start AT": the relay takes over the bank and pitch loops at the next
    // simulation tick.
    void SpeedButton1Click();
    // "Stpop AT": tuning off, the proposed gains written into the fields
    // (pitch first). Throws SimError on a division by zero; the proposals
    // written before it stay in the fields.
    void SpeedButton2Click();

    // Fields by conversion order (StabiliserField); each is named after its
    // window field ("Edit13").
    std::array<QLineEdit*, STABILISER_FIELD_COUNT> fields{};
    QToolButton* SpeedButton4 = nullptr;  // apply
    QPushButton* SpeedButton1 = nullptr;  // "Start AT"
    QPushButton* SpeedButton2 = nullptr;  // "Stpop AT"

private:
    void buildLayout();

    SimApp& sim_;
};

}  // namespace uav
