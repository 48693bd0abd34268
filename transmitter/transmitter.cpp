#include "transmitter/transmitter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/errors.h"
#include "core/vecmath.h"
#include "model/inifile.h"
#include "model/numtext.h"

namespace uav {

namespace {

constexpr const char* SECTION = "Pult";
constexpr int SLIDER_LIMIT = 100;

std::string key(const char* name, int k) { return std::string(name) + static_cast<char>('0' + k); }

int readInt(const IniFile& ini, const std::string& k, int defaultValue) {
    // The store's integers fit 32 bits, so they fit an int.
    return static_cast<int>(ini.readInteger(SECTION, k, defaultValue));
}

// The store drops blanks around a value and one pair of enclosing quotes; a
// name that would lose either is written inside double quotes, so it reads
// back as the same text (product strings often end in padding blanks).
std::string storedName(const std::string& name) {
    if (name.empty()) return name;
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
    const bool quoted = name.size() >= 2 && name.front() == name.back() && (name.front() == '"' || name.front() == '\'');
    if (blank(name.front()) || blank(name.back()) || quoted) return '"' + name + '"';
    return name;
}

}  // namespace

double scaleFor(long long span) { return span == 0 ? 0.0 : 1.0 / static_cast<double>(span); }

void updateScales(TransmitterConfig& c) {
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        c.scaleNeg[k] = scaleFor(static_cast<long long>(c.channelMid[k]) - c.channelMin[k]);
        c.scalePos[k] = scaleFor(static_cast<long long>(c.channelMax[k]) - c.channelMid[k]);
    }
}

void acceptReport(TransmitterState& s, TransmitterConfig& c, CalibrationStep step, const std::uint8_t* data,
                  std::size_t size) {
    const std::size_t kept = std::min<std::size_t>(size, RAW_REPORT_SIZE);
    for (std::size_t i = 0; i < kept; ++i) s.rawReport[i] = data[i];
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        // The index is held inside the buffer however the configuration was made.
        const int raw = s.rawReport[std::clamp(c.channelIndex[k], 0, RAW_REPORT_SIZE - 1)];
        if (step == CalibrationStep::Extremes) {
            c.channelMax[k] = std::max(c.channelMax[k], raw);
            c.channelMin[k] = std::min(c.channelMin[k], raw);
        }
        const long long d = static_cast<long long>(raw) - c.channelMid[k];
        double v = static_cast<double>(d) * (d > 0 ? c.scalePos[k] : c.scaleNeg[k]);
        if (c.channelReverse[k]) v = -v;
        s.channelValue[k] = v;
    }
}

int sliderPosition(double value) {
    // Held before the conversion: a far-off calibration gives values beyond any int.
    const double p = std::clamp(100.0 * value, -static_cast<double>(SLIDER_LIMIT), static_cast<double>(SLIDER_LIMIT));
    if (std::isnan(p)) return 0;
    return static_cast<int>(roundHalfEven(p));
}

SliderTargets sliderTargets(const TransmitterState& s) {
    SliderTargets t;
    t.ailerons = sliderPosition(s.channelValue[0]);
    t.rudder = sliderPosition(s.channelValue[2]);
    t.elevator = sliderPosition(s.channelValue[1]);
    t.throttle = sliderPosition(s.channelValue[3]);
    return t;
}

std::string rawReportText(const TransmitterState& s, std::size_t reportSize) {
    std::string t = std::to_string(reportSize);
    const std::size_t kept = std::min<std::size_t>(reportSize, RAW_REPORT_SIZE);
    for (std::size_t i = 0; i < kept; ++i) t += "\r" + std::to_string(i) + "=" + std::to_string(s.rawReport[i]);
    return t;
}

std::string channelValuesText(const TransmitterState& s, char decimalSep) {
    std::string t;
    for (double v : s.channelValue) t += formatGeneral(v, decimalSep) + "\r";
    return t;
}

std::string configText(const TransmitterConfig& c) {
    std::string t;
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        const std::string n = std::to_string(k);
        t += "Num[" + n + "]=" + std::to_string(c.channelIndex[k]) + "\r";
        t += "Max[" + n + "]=" + std::to_string(c.channelMax[k]) + "\r";
        t += "Min[" + n + "]=" + std::to_string(c.channelMin[k]) + "\r";
        t += "Mid[" + n + "]=" + std::to_string(c.channelMid[k]) + "\r\r";
    }
    return t;
}

std::string deviceEntryText(const std::string& productString, std::uint16_t vendorId, std::uint16_t productId) {
    if (!productString.empty()) return productString;
    char buf[32];
    std::snprintf(buf, sizeof buf, "Device VID=%.4x PID=%.4x", vendorId, productId);
    return buf;
}

namespace {

bool fileCanHold(const std::string& text) {
    return cp1251Encodable(text) && text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

std::string savedDeviceName(const std::string& entryText, std::uint16_t vendorId, std::uint16_t productId,
                            const std::string& serialNumber) {
    if (fileCanHold(entryText)) return entryText;
    std::string name = deviceEntryText("", vendorId, productId);
    if (!serialNumber.empty() && fileCanHold(serialNumber)) name += " SN=" + serialNumber;
    return name;
}

std::string deviceStatusText(const std::string& entryText, std::uint16_t vendorId, std::uint16_t productId,
                             int inputReportLength, bool readable, const std::string& openError,
                             const std::string& selectedDeviceName) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "VID=%.4x PID=%.4x", vendorId, productId);
    std::string t = ids;
    if (!readable) {
        t += "\rНет доступа к устройству (" + openError + "): отчёты не читаются. Нужно правило udev, см. README.";
        return t;
    }
    if (inputReportLength > 0) t += ", отчёт " + std::to_string(inputReportLength) + " байт";
    if (entryText != selectedDeviceName)
        t += "\rНе используется: сохранено устройство \"" + selectedDeviceName +
             "\". Выбор действует после Save и перезапуска.";
    return t;
}

WizardView wizardStart() { return {CalibrationStep::Idle, "Калибровать", ""}; }

WizardView wizardClick(CalibrationStep step, TransmitterConfig& c, const TransmitterState& s) {
    switch (step) {
    case CalibrationStep::Idle:
        return {CalibrationStep::Centre, "Далее", "Центральное положение"};
    case CalibrationStep::Centre:
        for (int k = 0; k < CHANNEL_COUNT; ++k) {
            c.channelMid[k] = s.rawReport[std::clamp(c.channelIndex[k], 0, RAW_REPORT_SIZE - 1)];
            c.channelMax[k] = c.channelMin[k] = c.channelMid[k];
        }
        return {CalibrationStep::Extremes, "Далее", "Крайние положение"};
    case CalibrationStep::Extremes:
        break;
    }
    updateScales(c);
    return {CalibrationStep::Idle, "Калибровка", "Готово"};
}

PultSettings loadPultSettings(const IniFile& ini) {
    PultSettings p;
    p.deviceName = ini.readString(SECTION, "Dev", " ");
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        p.selector[k] = std::clamp(readInt(ini, key("Num", k), k), 0, CHANNEL_INDEX_MAX);
        TransmitterConfig& c = p.config;
        c.channelIndex[k] = std::clamp(readInt(ini, key("Num", k), 0), 0, RAW_REPORT_SIZE - 1);
        c.channelMid[k] = readInt(ini, key("Mid", k), CALIBRATION_DEFAULT);
        c.channelMax[k] = readInt(ini, key("Max", k), CALIBRATION_DEFAULT);
        c.channelMin[k] = readInt(ini, key("Min", k), CALIBRATION_DEFAULT);
        c.channelReverse[k] = readInt(ini, key("Rev", k), 0) != 0;
    }
    updateScales(p.config);
    return p;
}

void savePultSettings(IniFile& ini, const std::string& deviceName, const TransmitterConfig& c, char decimalSep) {
    // One batch: the file on disk is either the old section or the whole new one.
    IniFile::Batch batch(ini);
    ini.writeString(SECTION, "Dev", storedName(deviceName));
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        ini.writeString(SECTION, key("Num", k), std::to_string(c.channelIndex[k]));
        ini.writeString(SECTION, key("Mid", k), formatGeneral(c.channelMid[k], decimalSep));
        ini.writeString(SECTION, key("Max", k), formatGeneral(c.channelMax[k], decimalSep));
        ini.writeString(SECTION, key("Min", k), formatGeneral(c.channelMin[k], decimalSep));
        ini.writeString(SECTION, key("Rev", k), c.channelReverse[k] ? "1" : "0");
    }
    batch.commit();
}

std::string listIndexError(int index) { return "List index out of bounds (" + std::to_string(index) + ")"; }

}  // namespace uav
