// Decoding, calibration and the "Pult" settings, against values worked out
// by hand.
#include "transmitter/transmitter.h"

#include "model/inifile.h"
#include "transmitter/reportdesc.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {

TransmitterConfig calibrated(int mid, int min, int max, bool reverse = false) {
    TransmitterConfig c;
    c.channelIndex = {0, 1, 2, 3};
    c.channelMid.fill(mid);
    c.channelMin.fill(min);
    c.channelMax.fill(max);
    c.channelReverse.fill(reverse);
    updateScales(c);
    return c;
}

TransmitterState decode(TransmitterConfig c, std::vector<std::uint8_t> report,
                        CalibrationStep step = CalibrationStep::Idle) {
    TransmitterState s;
    acceptReport(s, c, step, report.data(), report.size());
    return s;
}

}  // namespace

TEST(Decoding, CalibratedValues) {
    struct Row {
        int mid, min, max, raw;
        bool reverse;
        double value;
        int slider;
        const char* why;
    } rows[] = {
        {128, 28, 228, 178, false, 0.5, 50, "scale 0.01 both sides"},
        {128, 28, 228, 28, false, -1.0, -100, "calibrated minimum"},
        {128, 28, 228, 128, false, 0.0, 0, "centre"},
        {128, 28, 228, 255, false, 1.27, 100, "beyond the maximum: more than 1, slider held at 100"},
        {100, 0, 150, 125, false, 0.5, 50, "scalePos 0.02"},
        {100, 0, 150, 50, false, -0.5, -50, "scaleNeg 0.01"},
        {100, 0, 150, 150, true, -1.0, -100, "reversed maximum"},
        {50, 50, 50, 200, false, 0.0, 0, "default calibration: both scales 0"},
        {128, 128, 228, 0, false, 0.0, 0, "side never moved in calibration: scale 0"},
        {0, -8, 8, 1, false, 0.125, 12, "12.5 rounds to the even 12"},
        {0, -8, 8, 3, false, 0.375, 38, "37.5 rounds to the even 38"},
    };
    for (const Row& r : rows) {
        const std::uint8_t raw = static_cast<std::uint8_t>(r.raw);
        const TransmitterState s = decode(calibrated(r.mid, r.min, r.max, r.reverse), {raw, raw, raw, raw});
        EXPECT_NEAR(s.channelValue[0], r.value, 1e-12) << r.why;
        EXPECT_EQ(sliderTargets(s).ailerons, r.slider) << r.why;
    }
}

TEST(Decoding, ChannelsReachTheirSliders) {
    // Distinct bytes per channel so a swapped slider shows: Ale +1, Ele -1, Rud +0.5, Tro -0.5.
    TransmitterConfig c = calibrated(100, 0, 200);
    c.channelIndex = {5, 2, 7, 0};
    const TransmitterState s = decode(c, {50, 0, 0, 0, 0, 200, 0, 150});
    const SliderTargets t = sliderTargets(s);
    EXPECT_EQ(t.ailerons, 100);
    EXPECT_EQ(t.elevator, -100);
    EXPECT_EQ(t.rudder, 50);
    EXPECT_EQ(t.throttle, -50);
    // Throttle: the calibrated minimum is full throttle (-100), reversed the maximum is.
    c.channelIndex = {0, 0, 0, 0};
    EXPECT_EQ(sliderTargets(decode(c, {0})).throttle, -100);
    c.channelReverse[3] = true;
    EXPECT_EQ(sliderTargets(decode(c, {200})).throttle, -100);
    EXPECT_EQ(sliderTargets(decode(c, {0})).throttle, 100);
}

TEST(Decoding, UntrustedReportsAndConfigurations) {
    TransmitterConfig c = calibrated(0, -100, 100);
    TransmitterState s;
    std::vector<std::uint8_t> longReport(40);
    for (std::size_t i = 0; i < longReport.size(); ++i) longReport[i] = static_cast<std::uint8_t>(i + 1);
    acceptReport(s, c, CalibrationStep::Idle, longReport.data(), longReport.size());
    EXPECT_EQ(s.rawReport[32], 33) << "the first 33 bytes are kept";
    EXPECT_EQ(rawReportText(s, 3), "3\r0=1\r1=2\r2=3");

    const std::uint8_t shortReport[] = {200, 201};
    acceptReport(s, c, CalibrationStep::Idle, shortReport, 2);
    EXPECT_EQ(s.rawReport[1], 201);
    EXPECT_EQ(s.rawReport[2], 3) << "bytes beyond a short report keep their older values";
    acceptReport(s, c, CalibrationStep::Idle, nullptr, 0);
    EXPECT_EQ(s.rawReport[0], 200) << "an empty report changes no byte";
    EXPECT_EQ(rawReportText(s, 0), "0");

    // Indices outside the buffer and 32-bit extremes from a hand-edited file.
    c.channelIndex = {-5, 1000, 32, 0};
    c.channelMid = {INT32_MIN, INT32_MAX, 0, 0};
    c.channelMax = {INT32_MAX, INT32_MAX, 0, 0};
    c.channelMin = {INT32_MIN, INT32_MIN, 0, 0};
    updateScales(c);
    acceptReport(s, c, CalibrationStep::Extremes, longReport.data(), longReport.size());
    for (double v : s.channelValue) EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(s.channelValue[0], (1.0 + 2147483648.0) / 4294967295.0, 1e-12);
    EXPECT_EQ(sliderPosition(1e300), 100);
    EXPECT_EQ(sliderPosition(-1e300), -100);
}

TEST(Calibration, WizardRecordsCentreAndExtremes) {
    TransmitterConfig c = calibrated(50, 50, 50);
    c.channelIndex = {0, 1, 2, 3};
    TransmitterState s;
    const auto report = [&](std::vector<std::uint8_t> r, CalibrationStep step) {
        acceptReport(s, c, step, r.data(), r.size());
    };
    WizardView v = wizardStart();
    EXPECT_EQ(v.caption, "Калибровать");
    EXPECT_EQ(v.prompt, "");
    v = wizardClick(v.step, c, s);
    EXPECT_EQ(v.caption, "Далее");
    EXPECT_EQ(v.prompt, "Центральное положение");
    report({128, 100, 128, 128}, v.step);
    v = wizardClick(v.step, c, s);
    EXPECT_EQ(v.step, CalibrationStep::Extremes);
    EXPECT_EQ(v.prompt, "Крайние положение");
    EXPECT_EQ(c.channelMid[1], 100);
    EXPECT_EQ(c.channelMax[1], 100);
    report({28, 0, 128, 128}, v.step);
    report({228, 150, 128, 255}, v.step);
    EXPECT_EQ(s.channelValue[0], 0.0) << "the old (zero) scales hold until the last click";
    v = wizardClick(v.step, c, s);
    EXPECT_EQ(v.step, CalibrationStep::Idle);
    EXPECT_EQ(v.caption, "Калибровка");
    EXPECT_EQ(v.prompt, "Готово");
    EXPECT_EQ(c.channelMin[0], 28);
    EXPECT_EQ(c.channelMax[0], 228);
    EXPECT_DOUBLE_EQ(c.scaleNeg[1], 0.01);
    EXPECT_DOUBLE_EQ(c.scalePos[1], 0.02);
    EXPECT_EQ(c.scalePos[2], 0.0) << "rudder never moved";
    EXPECT_EQ(c.scaleNeg[3], 0.0) << "throttle moved to one side only";
    EXPECT_DOUBLE_EQ(c.scalePos[3], 1.0 / 127);
    EXPECT_EQ(configText(c).substr(0, 36), "Num[0]=0\rMax[0]=228\rMin[0]=28\rMid[0]");
    EXPECT_EQ(wizardClick(v.step, c, s).step, CalibrationStep::Centre) << "a new calibration starts";
}

TEST(PultSettings, DefaultsClampingAndRoundTrip) {
    const PultSettings none = loadPultSettings(IniFile::fromBytes(""));
    EXPECT_EQ(none.deviceName, " ");
    EXPECT_EQ(none.selector, (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(none.config.channelIndex, (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(none.config.channelMid[2], 50);
    EXPECT_EQ(none.config.scalePos[2], 0.0);

    const PultSettings bad = loadPultSettings(
        IniFile::fromBytes("[Pult]\r\nNum0=40\r\nNum1=-3\r\nNum2=20\r\nMid0=abc\r\nMax0=0x10\r\nRev3=7\r\n"));
    EXPECT_EQ(bad.config.channelIndex[0], 32) << "held inside the raw buffer";
    EXPECT_EQ(bad.selector[0], 16);
    EXPECT_EQ(bad.config.channelIndex[1], 0);
    EXPECT_EQ(bad.config.channelIndex[2], 20) << "an index the selectors cannot show still means the same byte";
    EXPECT_EQ(bad.config.channelMid[0], 50) << "not an integer: the default";
    EXPECT_EQ(bad.config.channelMax[0], 16);
    EXPECT_TRUE(bad.config.channelReverse[3]);

    TempDir dir;
    IniFile ini(dir / "conf.ini");
    TransmitterConfig c = calibrated(128, 28, 228);
    c.channelIndex = {4, 5, 6, 7};
    c.channelReverse = {false, true, false, true};
    savePultSettings(ini, "RC Adapter  ", c, ',');
    const std::string file = fileBytes(dir / "conf.ini");
    const std::string want =
        "[Pult]\r\nDev=\"RC Adapter  \"\r\nNum0=4\r\nMid0=128\r\nMax0=228\r\nMin0=28\r\nRev0=0\r\nNum1=5\r\nMid1=128\r\n";
    EXPECT_EQ(file.substr(0, want.size()), want);
    const PultSettings back = loadPultSettings(IniFile(dir / "conf.ini"));
    EXPECT_EQ(back.deviceName, "RC Adapter  ") << "padding blanks of a product string survive";
    EXPECT_EQ(back.config.channelIndex, c.channelIndex);
    EXPECT_EQ(back.config.channelReverse, c.channelReverse);
    EXPECT_EQ(back.config.scalePos, c.scalePos);
    EXPECT_EQ(listIndexError(-1), "List index out of bounds (-1)");
}

TEST(Reports, DescriptorDecidesTheIdentifierByte) {
    const std::vector<std::uint8_t> plain = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x75, 0x08,
                                             0x95, 0x08, 0x81, 0x02, 0xC0};
    ReportDescriptorInfo d = parseReportDescriptor(plain.data(), plain.size());
    EXPECT_FALSE(d.numberedReports);
    EXPECT_EQ(d.inputReportLength, 9) << "8 data bytes and the identifier byte Windows counts";

    // Report 1: 4 bytes, report 2: 6 bytes plus 4 bits; a long item and push/pop in between.
    const std::vector<std::uint8_t> numbered = {0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0xA4, 0xFE, 0x02,
                                                0x00, 0xAA, 0xBB, 0x85, 0x02, 0x95, 0x06, 0x81, 0x02, 0xB4,
                                                0x85, 0x02, 0x75, 0x04, 0x95, 0x01, 0x81, 0x02, 0x95};
    d = parseReportDescriptor(numbered.data(), numbered.size());
    EXPECT_TRUE(d.numberedReports);
    EXPECT_EQ(d.inputReportLength, 1 + 7);

    const std::uint8_t buf[] = {2, 10, 20};
    SplitReport r = splitReport(buf, 3, true);
    EXPECT_EQ(r.reportId, 2);
    EXPECT_EQ(r.size, 2u);
    EXPECT_EQ(r.data[0], 10) << "data byte 0 is the one after the identifier, as on Windows";
    r = splitReport(buf, 3, false);
    EXPECT_EQ(r.reportId, 0);
    EXPECT_EQ(r.size, 3u);
    EXPECT_EQ(splitReport(buf, 0, true).size, 0u);
}

TEST(Texts, EntriesAndValues) {
    EXPECT_EQ(deviceEntryText("", 0x0a1b, 0x00c2), "Device VID=0a1b PID=00c2");
    EXPECT_EQ(deviceEntryText("FrSky", 1, 2), "FrSky");
    TransmitterState s;
    s.channelValue = {0.5, -1, 0, 1.27};
    EXPECT_EQ(channelValuesText(s, ','), "0,5\r-1\r0\r1,27\r");
}

// The name "Dev" holds: the entry text when the file can hold it, the
// identifiers (and a serial the file can hold) when it cannot.
TEST(Texts, SavedDeviceNames) {
    struct Row { const char* entry; const char* serial; const char* saved; const char* why; };
    const Row rows[] = {
        {"RC Adapter", "X9", "RC Adapter", "a Latin name is kept, serial or not"},
        {"Пульт FlySky", "", "Пульт FlySky", "Cyrillic is what Windows-1251 holds"},
        {"Device VID=0a1b PID=00c2", "", "Device VID=0a1b PID=00c2", "no product string"},
        {"Émetteur RC", "A1B2", "Device VID=0a1b PID=00c2 SN=A1B2", "É has no Windows-1251 form"},
        {"遥控器", "", "Device VID=0a1b PID=00c2", "no serial"},
        {"遥控器", "序列号", "Device VID=0a1b PID=00c2", "a serial the file cannot hold is left out"},
        {"Pult\nRC", "7", "Device VID=0a1b PID=00c2 SN=7", "a line break cannot be stored"},
    };
    for (const Row& r : rows) EXPECT_EQ(savedDeviceName(r.entry, 0x0a1b, 0x00c2, r.serial), r.saved) << r.why;
}
