#include "app/tform3.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>

#include "app/guarded.h"
#include "app/tform1.h"
#include "app/toolwindow.h"
#include "transmitter/hidapi_platform.h"

namespace uav {

namespace {

constexpr int CONFIG_DISPLAY_MS = 200;  // Timer1

QLabel* topLabel(QWidget* parent, int x, int y, int w, int h) {
    auto* l = new QLabel(parent);
    l->setGeometry(x, y, w, h);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

}  // namespace

TForm3::TForm3(SimApp& sim, QWidget* mainWindow, std::unique_ptr<HidPlatform> platform)
    : QDialog(mainWindow),
      sim_(sim),
      layer_(platform ? std::move(platform) : makeSystemHidPlatform(),
             // Called from reader threads: a queued call runs on this window's (the UI) thread.
             [this](std::function<void()> task) { QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection); }) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Настройка пульта"));
    buildLayout();
    FormCreate();
}

TForm3::~TForm3() { releaseAll(devices_); }

void TForm3::buildLayout() {
    DevListBox = new QListWidget(this);
    DevListBox->setGeometry(8, 8, 300, 96);
    LabelDevice = topLabel(this, 8, 108, 300, 58);
    LabelDevice->setWordWrap(true);

    const char* names[CHANNEL_COUNT] = {"Ale", "Ele", "Rud", "Tro"};
    QSpinBox** spins[CHANNEL_COUNT] = {&SpinEdit1, &SpinEdit2, &SpinEdit3, &SpinEdit4};
    QCheckBox** revs[CHANNEL_COUNT] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4};
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        const int y = 176 + 32 * k;
        topLabel(this, 8, y + 4, 32, 20)->setText(QString::fromLatin1(names[k]));
        QSpinBox* s = *spins[k] = new QSpinBox(this);
        s->setRange(0, CHANNEL_INDEX_MAX);
        s->setGeometry(44, y, 56, 24);
        QCheckBox* c = *revs[k] = new QCheckBox(QStringLiteral("rev"), this);
        c->setGeometry(108, y, 56, 24);
        c->setProperty("tag", k);
        connect(s, &QSpinBox::valueChanged, this, [this, k](int v) { config_.channelIndex[k] = v; });
        connect(c, &QCheckBox::toggled, this, [this, k](bool on) { config_.channelReverse[k] = on; });
    }
    // The channel values and the configuration texts get the width of the
    // longest line each can show: a value as the general number format gives it
    // at its longest (sign, 15 digits, three-digit exponent), a configuration
    // line with the widest stored integer. The columns to the right move over.
    const QFontMetrics fm(font());
    const int valuesW = std::max(132, fm.horizontalAdvance(QString::fromLatin1(LONGEST_VALUE_TEXT)) + 8);
    const int configW = std::max(110, fm.horizontalAdvance(QString::fromLatin1(LONGEST_CONFIG_LINE)) + 8);
    Label8 = topLabel(this, 176, 176, valuesW, 120);

    Button2 = new QPushButton(this);
    Button2->setGeometry(8, 312, 110, 28);
    Label6 = topLabel(this, 126, 318, 182, 20);
    Button1 = new QPushButton(QStringLiteral("Save"), this);
    Button1->setGeometry(8, 352, 110, 28);

    const int configX = std::max(320, Label8->geometry().right() + 12);
    Label7 = topLabel(this, configX, 8, configW, 524);
    Label1 = topLabel(this, configX + configW + 10, 8, 122, 524);
    resize(Label1->geometry().right() + 9, 540);

    Timer1 = new QTimer(this);
    Timer1->setInterval(CONFIG_DISPLAY_MS);

    connect(DevListBox, &QListWidget::currentRowChanged, this, [this] { showDeviceStatus(); });
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
}

void TForm3::FormCreate() {
    const PultSettings p = loadPultSettings(*sim_.confIni);
    selectedDeviceName_ = p.deviceName;
    QSpinBox* spins[CHANNEL_COUNT] = {SpinEdit1, SpinEdit2, SpinEdit3, SpinEdit4};
    QCheckBox* revs[CHANNEL_COUNT] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4};
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        spins[k]->setValue(p.selector[k]);
        revs[k]->setChecked(p.config.channelReverse[k]);
    }
    config_ = p.config;
    showWizard(wizardStart());
    Timer1->start();

    if (const int fd = layer_.platform().changeFd(); fd >= 0) {
        changeNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(changeNotifier_, &QSocketNotifier::activated, this, &TForm3::deviceChangeNotice);
    }
    // The first enumeration happens once the event loop runs.
    QTimer::singleShot(0, this, &TForm3::deviceChangeNotice);
}

void TForm3::deviceChangeNotice() {
    guarded(this, [&] {
        layer_.platform().drainChanges();
        if (layer_.deviceChange()) rebuildDeviceList();
    });
}

void TForm3::rebuildDeviceList() {
    releaseAll(devices_);
    DevListBox->clear();
    devices_ = layer_.attachAll([this](std::uint8_t id, const std::uint8_t* bytes, std::size_t size) {
        onInputReport(id, bytes, size);
    });
    for (const auto& d : devices_) {
        const HidDeviceInfo& i = d->info();
        DevListBox->addItem(QString::fromStdString(deviceEntryText(i.productString, i.vendorId, i.productId)));
    }
    if (DevListBox->count() > 0) DevListBox->setCurrentRow(0);
    showDeviceStatus();
}

void TForm3::showDeviceStatus() {
    const int row = DevListBox->currentRow();
    if (row < 0 || row >= static_cast<int>(devices_.size())) {
        LabelDevice->setText(QStringLiteral("Нет устройств HID"));
        return;
    }
    const AttachedDevice& d = *devices_[static_cast<std::size_t>(row)];
    const HidDeviceInfo& i = d.info();
    LabelDevice->setText(labelText(deviceStatusText(DevListBox->item(row)->text().toStdString(), i.vendorId,
                                                    i.productId, i.inputReportLength, d.readable(), d.openError(),
                                                    selectedDeviceName_)));
}

void TForm3::onInputReport(std::uint8_t /*reportId*/, const std::uint8_t* bytes, std::size_t size) {
    guarded(this, [&] {
        const QListWidgetItem* selected = DevListBox->currentItem();
        const std::string entry = selected ? selected->text().toStdString() : std::string();
        if (entry != selectedDeviceName_) return;
        acceptReport(state_, config_, step_, bytes, size);
        Label1->setText(labelText(rawReportText(state_, size)));
        Label8->setText(labelText(channelValuesText(state_, sim_.decimalSep)));
        const SliderTargets t = sliderTargets(state_);
        sim_.transmitterSliders = {t.ailerons, t.rudder, t.elevator, t.throttle};
        sim_.transmitterAtMs = sim_.nowMs();
        if (sim_.arduPilotFlying) return;  // ArduPilot's outputs hold the sliders; the sticks go to its RC input
        if (TForm1* main = sim_.windows.form1) {
            main->TrackBar1->setValue(t.ailerons);
            main->TrackBar2->setValue(t.rudder);
            main->TrackBar3->setValue(t.elevator);
            main->TrackBar4->setValue(t.throttle);
        }
    });
}

void TForm3::Timer1Timer() { Label7->setText(labelText(configText(config_))); }

void TForm3::Button1Click() {
    guarded(this, [&] {
        const int row = DevListBox->currentRow();
        if (row < 0) throw SimError(listIndexError(row));
        savePultSettings(*sim_.confIni, DevListBox->item(row)->text().toStdString(), config_, sim_.decimalSep);
    });
}

void TForm3::Button2Click() { showWizard(wizardClick(step_, config_, state_)); }

void TForm3::showWizard(const WizardView& v) {
    step_ = v.step;
    Button2->setText(QString::fromStdString(v.caption));
    Label6->setText(QString::fromStdString(v.prompt));
}

void TForm3::showEvent(QShowEvent* e) {
    showWizard(wizardStart());
    QDialog::showEvent(e);
}

void TForm3::showModalWindow() {
    setWindowModality(Qt::ApplicationModal);
    showToolWindow(this, parentWidget());
}

}  // namespace uav
