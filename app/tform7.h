// The auto-return settings window "Автовозврат". It starts with its default
// texts, which the program's start-up applies; the Return engagement applies
// them again. Always on top, modeless.
#pragma once

#include <QWidget>
#include <array>

#include "app/simapp.h"
#include "control/apsettings.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QToolButton;

namespace uav {

class TForm7 : public QWidget {
    Q_OBJECT
public:
    TForm7(SimApp& sim, QWidget* mainWindow);

    // The texts, check box and radio index as the window holds them now.
    ReturnTexts texts() const;
    void setTexts(const ReturnTexts& t);

    // The apply button. Throws SimError.
    void SpeedButton4Click();

    // Fields by conversion order (ReturnField), named after their window field.
    std::array<QLineEdit*, RETURN_FIELD_COUNT> fields{};
    QCheckBox* CheckBox1 = nullptr;        // "сразу занимать высоту"
    QGroupBox* RadioGroup1 = nullptr;      // "управление по курсу"
    QButtonGroup* RadioGroup1Buttons = nullptr;  // 0 "Элеронами", 1 "Рулем направления"
    QToolButton* SpeedButton4 = nullptr;   // apply

private:
    void buildLayout();

    SimApp& sim_;
};

}  // namespace uav
