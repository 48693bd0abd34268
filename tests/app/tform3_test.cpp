// The transmitter window driven through its widgets on the offscreen
// platform, with the fake HID platform (and, where the kernel offers
// /dev/uhid, a real virtual HID device through hidraw).
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform3.h"
#include "model/inifile.h"
#include "transmitter/fakehid.h"
#include "transmitter/virtualhid.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {

constexpr int WAIT_MS = 3000;

// Calibrated 28..128..228 on bytes 0..3 for the device "RC Adapter".
const char* CALIBRATED =
    "[Pult]\r\nDev=RC Adapter\r\n"
    "Num0=0\r\nMid0=128\r\nMax0=228\r\nMin0=28\r\nRev0=0\r\n"
    "Num1=1\r\nMid1=128\r\nMax1=228\r\nMin1=28\r\nRev1=0\r\n"
    "Num2=2\r\nMid2=128\r\nMax2=228\r\nMin2=28\r\nRev2=0\r\n"
    "Num3=3\r\nMid3=128\r\nMax3=228\r\nMin3=28\r\nRev3=0\r\n";

HidDeviceInfo device(const std::string& path, const std::string& product, std::uint16_t vid = 0x1209,
                     std::uint16_t pid = 0x0001) {
    HidDeviceInfo d;
    d.path = path;
    d.productString = product;
    d.vendorId = vid;
    d.productId = pid;
    d.inputReportLength = 9;
    return d;
}

class TransmitterWindow : public ::testing::Test {
protected:
    // The program's windows, with the transmitter window on the fake platform.
    void start(const std::string& confIni = {}, bool fakeDevices = true) {
        if (!confIni.empty()) putFile(dir / "conf.ini", confIni);
        sim.appDir = dir.path.string() + "/";
        sim.decimalSep = ',';
        w = createWindows(sim);
        if (fakeDevices) {
            delete w.form3;
            auto owned = std::make_unique<FakeHidPlatform>();
            fake = owned.get();
            w.form3 = sim.windows.form3 = new TForm3(sim, w.form1, std::move(owned));
        }
    }
    void TearDown() override { delete w.form1; }  // with readers still attached

    TForm3& f() { return *w.form3; }
    QStringList entries() {
        QStringList l;
        for (int i = 0; i < f().DevListBox->count(); ++i) l << f().DevListBox->item(i)->text();
        return l;
    }
    std::array<int, 4> sliders() {
        return {w.form1->TrackBar1->value(), w.form1->TrackBar2->value(), w.form1->TrackBar3->value(),
                w.form1->TrackBar4->value()};
    }
    // Sends a report twice and returns once the first has been handled: the
    // reader reads the next report only after the previous one was handled.
    void deliver(const std::string& path, std::vector<std::uint8_t> report) {
        fake->send(path, report);
        fake->send(path, report);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake->queued(path) == 0; }, WAIT_MS));
    }

    TempDir dir;
    SimApp sim;
    Windows w;
    FakeHidPlatform* fake = nullptr;
};

}  // namespace

TEST_F(TransmitterWindow, ListsDevicesAndMovesTheSlidersForTheSavedOne) {
    start(CALIBRATED);
    fake->plug(device("a", "RC Adapter"));
    fake->plug(device("b", "", 0x0a1b, 0x00c2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 2; }, WAIT_MS));
    EXPECT_EQ(entries(), (QStringList{"RC Adapter", "Device VID=0a1b PID=00c2"}));
    EXPECT_EQ(f().DevListBox->currentRow(), 0);

    // Ale +0.5, Ele -1, Rud +1, Tro 0 (half throttle).
    fake->send("a", {178, 28, 228, 128});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sliders() == std::array<int, 4>{50, 100, -100, 0}; }, WAIT_MS))
        << sliders()[0] << " " << sliders()[1] << " " << sliders()[2] << " " << sliders()[3];
    EXPECT_EQ(f().Label1->text(), "4\n0=178\n1=28\n2=228\n3=128");
    EXPECT_EQ(f().Label8->text(), "0,5\n-1\n1\n0\n");

    // While the selected entry matches, any device's reports are used.
    deliver("b", {128, 128, 128, 28});
    EXPECT_EQ(sliders()[3], -100) << "full throttle at the calibrated minimum";

    // Another entry selected: its name does not match, reports are ignored.
    f().DevListBox->setCurrentRow(1);
    deliver("a", {228, 228, 228, 228});
    EXPECT_EQ(sliders(), (std::array<int, 4>{0, 0, 0, -100}));
    EXPECT_TRUE(f().LabelDevice->text().contains("Не используется")) << f().LabelDevice->text().toStdString();
}

// Every line a column can show fits it whole, and the columns do not overlap.
TEST_F(TransmitterWindow, ColumnsShowTheirLongestTextsWhole) {
    // Mid 128, Max 227: one step below the middle is -1/99, "-0,0101010101010101".
    std::string conf = CALIBRATED;
    conf.replace(conf.find("Max0=228"), 8, "Max0=227");
    conf.replace(conf.find("Min0=28"), 7, "Min0=29");
    conf.replace(conf.find("Mid3=128"), 8, "Mid3=-2147483648");
    start(conf);
    fake->plug(device("a", "RC Adapter"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 1; }, WAIT_MS));
    deliver("a", {127, 128, 128, 128});
    f().Timer1Timer();
    ASSERT_TRUE(f().Label8->text().startsWith("-0,0101010101010101\n")) << f().Label8->text().toStdString();
    ASSERT_TRUE(f().Label7->text().contains("Mid[3]=-2147483648")) << f().Label7->text().toStdString();

    auto fitsWhole = [](const QLabel* l, const QString& text) {
        const QFontMetrics fm(l->font());
        for (const QString& line : text.split('\n'))
            if (fm.horizontalAdvance(line) > l->contentsRect().width()) return false;
        return true;
    };
    EXPECT_TRUE(fitsWhole(f().Label8, f().Label8->text()));
    EXPECT_TRUE(fitsWhole(f().Label8, QString::fromLatin1(LONGEST_VALUE_TEXT)));
    EXPECT_TRUE(fitsWhole(f().Label8, QStringLiteral("-1,23456789012345E-100")));
    EXPECT_TRUE(fitsWhole(f().Label7, f().Label7->text()));
    EXPECT_LT(f().Label8->geometry().right(), f().Label7->geometry().left());
    EXPECT_LT(f().Label7->geometry().right(), f().Label1->geometry().left());
    EXPECT_LE(f().Label1->geometry().right(), f().width());
}

TEST_F(TransmitterWindow, UnreadableDeviceIsListedAndSaysWhy) {
    start();
    fake->plug(device("locked", "RC Adapter"), FakeFailure::CannotOpen);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 1; }, WAIT_MS));
    EXPECT_FALSE(f().devices()[0]->readable());
    EXPECT_TRUE(f().LabelDevice->text().contains("Нет доступа к устройству (Permission denied)"));
}

TEST_F(TransmitterWindow, WizardSaveAndLoad) {
    start();
    fake->plug(device("a", "RC Adapter"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 1; }, WAIT_MS));
    f().show();
    EXPECT_EQ(f().Button2->text(), "Калибровать");
    EXPECT_EQ(f().Label6->text(), "");
    // Without a saved section the selectors show 0..3 while every channel reads byte 0.
    EXPECT_EQ(f().SpinEdit2->value(), 1);
    EXPECT_EQ(f().config().channelIndex, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(f().selectedDeviceName(), " ");
    f().Button2->click();
    EXPECT_EQ(f().Button2->text(), "Далее");
    EXPECT_EQ(f().Label6->text(), "Центральное положение");
    f().Button2->click();
    EXPECT_EQ(f().Label6->text(), "Крайние положение");
    f().Button2->click();
    EXPECT_EQ(f().Button2->text(), "Калибровка");
    EXPECT_EQ(f().Label6->text(), "Готово");
    f().hide();
    f().show();
    EXPECT_EQ(f().Button2->text(), "Калибровать") << "every opening starts the wizard afresh";
    EXPECT_EQ(f().Label6->text(), "");

    f().SpinEdit2->setValue(5);
    f().SpinEdit3->setValue(9);
    f().CheckBox2->setChecked(true);
    f().Timer1Timer();
    EXPECT_TRUE(f().Label7->text().startsWith("Num[0]=0\nMax[0]=0\nMin[0]=0\nMid[0]=0\n\nNum[1]=5\n"))
        << f().Label7->text().toStdString();
    f().Button1->click();

    // What the next start loads from the file.
    sim.confIni = std::make_unique<IniFile>(dir / "conf.ini");
    auto* again = new TForm3(sim, w.form1, std::make_unique<FakeHidPlatform>());
    EXPECT_EQ(again->selectedDeviceName(), "RC Adapter");
    EXPECT_EQ(again->config().channelIndex, (std::array<int, 4>{0, 5, 9, 0}));
    EXPECT_EQ(again->SpinEdit3->value(), 9);
    EXPECT_TRUE(again->CheckBox2->isChecked());
    EXPECT_TRUE(again->config().channelReverse[1]);
}

TEST_F(TransmitterWindow, SaveWithNoDeviceWritesNothing) {
    start(CALIBRATED);
    QTest::qWait(50);  // the first enumeration: no devices
    ASSERT_EQ(f().DevListBox->count(), 0);
    const std::string before = fileBytes(dir / "conf.ini");
    QString shown;
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    f().Button1->click();
    EXPECT_EQ(shown, "List index out of bounds (-1)");
    EXPECT_EQ(fileBytes(dir / "conf.ini"), before);
}

TEST_F(TransmitterWindow, UnplugAndReplugSelectTheFirstEntry) {
    start();
    fake->plug(device("a", "first"));
    fake->plug(device("b", "second"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 2; }, WAIT_MS));
    f().DevListBox->setCurrentRow(1);
    fake->unplug("a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 1; }, WAIT_MS));
    fake->plug(device("a", "first"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f().DevListBox->count() == 2; }, WAIT_MS));
    EXPECT_EQ(entries(), (QStringList{"second", "first"}));
    EXPECT_EQ(f().DevListBox->currentRow(), 0);
    EXPECT_EQ(fake->openConnections(), 2) << "the released devices were closed";
}

// A real kernel HID device: found by its product string, its reports read
// through hidraw reach the sliders, and removing it rebuilds the list.
TEST_F(TransmitterWindow, VirtualDeviceThroughUhid) {
    std::string why;
    if (!uhidAvailable(why)) GTEST_SKIP() << "no virtual HID device can be made here: " << why;
    const std::string name = "uavsim virtual transmitter";
    std::string conf = CALIBRATED;
    conf.replace(conf.find("RC Adapter"), 10, name);
    start(conf, false);
    VirtualHidDevice dev(name, 0x1209, 0x7a5e, eightAxisDescriptor());
    ASSERT_TRUE(dev.valid()) << dev.error();
    ASSERT_TRUE(QTest::qWaitFor([&] { return entries().contains(QString::fromStdString(name)); }, WAIT_MS))
        << "listed by its product string";
    f().DevListBox->setCurrentRow(static_cast<int>(entries().indexOf(QString::fromStdString(name))));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            dev.send({178, 28, 228, 128, 0, 0, 0, 0});
            return sliders() == std::array<int, 4>{50, 100, -100, 0};
        },
        WAIT_MS));
    dev.destroy();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !entries().contains(QString::fromStdString(name)); }, WAIT_MS));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
