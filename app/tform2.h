// The model settings window "Настройка модели". At creation it fills its texts
// from conf.ini (the program's start-up defaults for missing keys); the
// program's start-up (startFlight) then applies them and runs one dynamics
// tick, so the forces exist before the first timer event and a first start
// writes the default model into conf.ini.
//
// The window's fields are the master copy of the model texts: the nine scalar
// fields, eight element panels (check box and thirteen fields each) and the
// mixer grid. A live check colours every checked field white or red on each
// change and enables "Применить" and "Сохранить" only while all pass.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <array>

#include "app/simapp.h"
#include "model/modeltext.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTableWidget;

namespace uav {

class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(SimApp& sim, TForm1& main);

    // Shown modal from the main menu; the main window's timers keep running.
    void showModalWindow();

    // The texts as the fields hold them now.
    ModelTexts texts() const;
    // Fills every field; the live check runs as if the user had typed them.
    void setTexts(const ModelTexts& t);

    // The apply button: texts to the model records, outlines, conf.ini.
    // Throws SimError with the system's message on a bad text.
    void applyModel();
    // After an apply that got through: the side view draws the model's
    // outlines, and a conf.ini that could not be written is told once.
    void modelApplied(const ApplyResult& r);

    // Colours the checked fields and returns whether all pass.
    bool validateModelFields();

    // Menu "Файл": the file halves with their dialogs; errors are shown.
    void saveModelFile();
    void loadModelFile();

    // Components, named as the rest of the program refers to them.
    std::array<QLineEdit*, SCALAR_COUNT> Edit{};  // Edit1..Edit9: Ix, Iy, Iz, M, Kvis, TV, Vycos, Xm, Ym
    QPushButton* Button1 = nullptr;               // "Применить"
    std::array<QGroupBox*, ELEMENT_COUNT> panels{};
    std::array<QCheckBox*, ELEMENT_COUNT> activeBoxes{};           // "Активный"
    std::array<std::array<QLineEdit*, PARAM_COUNT>, ELEMENT_COUNT> paramEdits{};
    QTableWidget* SGMix = nullptr;  // 9 x 5; cell (column j + 1, row r) is channel r, element j
    QMenuBar* MainMenu1 = nullptr;
    QAction* menuOpen = nullptr;    // "Файл" / "Открыть"
    QAction* menuSave = nullptr;    // "Файл" / "Сохранить"
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    QWidget* client = nullptr;      // the area under the menu; a click on it shows the window size

    // The mixer grid's cell text: column 0..8, row 0..4 (row 0 and column 0 are captions).
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);

private:
    void buildLayout();
    void FormCreate();
    void fieldChanged();
    void FormClick();
    void showNotice(QMessageBox::Icon icon, const QString& text);
    bool eventFilter(QObject* watched, QEvent* event) override;

    SimApp& sim_;
    TForm1& main_;
    bool storeErrorShown_ = false;
    bool filling_ = false;  // setTexts runs the check once, at its end
};

}  // namespace uav
