// The sensor parameter panel "Параметры": a small always-on-top tool window
// with a two-column value list, refreshed by its own timer while it is open.
#pragma once

#include <QWidget>

#include "app/simapp.h"

class QSpinBox;
class QTableWidget;
class QTimer;
class QToolButton;

namespace uav {

class TForm4 : public QWidget {
    Q_OBJECT
public:
    TForm4(SimApp& sim, QWidget* mainWindow);
    // Menu "показать параметры": starts the refresh timer, refreshes, shows.
    void openPanel();

    // Sets the timer's interval from the rate field and starts it.
    void SpeedButton4Click();
    // One refresh of the twelve values.
    void Timer1Timer();

    QTableWidget* ValueListEditor1 = nullptr;  // "параметр" | "значение", twelve rows
    QSpinBox* SpinEdit8 = nullptr;             // refreshes per second, 1..100; not shown
    QToolButton* SpeedButton4 = nullptr;       // not shown
    QTimer* Timer1 = nullptr;                  // the panel timer, off until the panel opens

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    SimApp& sim_;
};

}  // namespace uav
