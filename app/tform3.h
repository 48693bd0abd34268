// The transmitter settings window "Настройка пульта": the attached HID
// devices, the raw bytes and decoded channels of the reports, which byte
// carries which channel, reverse flags, the calibration wizard and Save.
// Opened modal from the main menu; created at start-up and alive until exit,
// so device changes and reports are handled whether it is shown or not.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "app/simapp.h"
#include "transmitter/devicelayer.h"
#include "transmitter/transmitter.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSocketNotifier;
class QSpinBox;
class QTimer;

namespace uav {

// The longest lines the value column (a channel value in the general number
// format: sign, 15 digits, three-digit exponent) and the configuration column
// ("Mid[3]=" and the widest stored integer) can show; their widths follow.
inline constexpr const char* LONGEST_VALUE_TEXT = "-8,88888888888888E-308";
inline constexpr const char* LONGEST_CONFIG_LINE = "Mid[3]=-2147483648";

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // Without a platform the system's HID devices are used.
    TForm3(SimApp& sim, QWidget* mainWindow, std::unique_ptr<HidPlatform> platform = nullptr);
    ~TForm3() override;
    // Shown modal from the main menu; the main window's timers keep running.
    void showModalWindow();

    QListWidget* DevListBox = nullptr;
    QLabel* LabelDevice = nullptr;   // the selected device: identifiers, or why it cannot be read
    QSpinBox* SpinEdit1 = nullptr;   // "Ale" byte
    QSpinBox* SpinEdit2 = nullptr;   // "Ele" byte
    QSpinBox* SpinEdit3 = nullptr;   // "Rud" byte
    QSpinBox* SpinEdit4 = nullptr;   // "Tro" byte
    QCheckBox* CheckBox1 = nullptr;  // "rev", channels 0..3
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QLabel* Label1 = nullptr;        // raw report
    QLabel* Label8 = nullptr;        // channel values
    QLabel* Label7 = nullptr;        // configuration
    QLabel* Label6 = nullptr;        // wizard prompt
    QPushButton* Button2 = nullptr;  // wizard
    QPushButton* Button1 = nullptr;  // "Save"
    QTimer* Timer1 = nullptr;        // 200 ms configuration display

    // Handlers.
    void deviceChangeNotice();
    void rebuildDeviceList();
    void onInputReport(std::uint8_t reportId, const std::uint8_t* bytes, std::size_t size);
    void Timer1Timer();
    void Button1Click();
    void Button2Click();

    const TransmitterConfig& config() const { return config_; }
    const TransmitterState& state() const { return state_; }
    CalibrationStep calibrationStep() const { return step_; }
    const std::string& selectedDeviceName() const { return selectedDeviceName_; }
    const std::vector<std::unique_ptr<AttachedDevice>>& devices() const { return devices_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void buildLayout();
    void FormCreate();
    void showWizard(const WizardView& v);
    void showDeviceStatus();

    SimApp& sim_;
    DeviceLayer layer_;
    QSocketNotifier* changeNotifier_ = nullptr;
    std::vector<std::unique_ptr<AttachedDevice>> devices_;  // one per list entry, same order
    TransmitterConfig config_;
    TransmitterState state_;
    CalibrationStep step_ = CalibrationStep::Idle;
    std::string selectedDeviceName_ = " ";
};

}  // namespace uav
