// RC transmitter channels: decoding of the adapter's input reports into four
// normalised channel values, the three-step calibration wizard, and the
// channel settings of conf.ini (section "Pult").
//
// Channel order everywhere: 0 Ale (ailerons), 1 Ele (elevator), 2 Rud
// (rudder), 3 Tro (throttle). A channel value is nominally -1..1: +1 at the
// calibrated maximum, -1 at the minimum, 0 at the centre. Raw values are the
// report's data bytes (0..255); the report identifier is never part of them.
//
// Reports and conf.ini are untrusted: a report keeps at most RAW_REPORT_SIZE
// data bytes, a stored byte index is clamped into the raw buffer on load, and
// all differences of calibration values are taken in 64 bits, so no input
// reaches outside a buffer, overflows an integer or gives a non-finite value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace uav {

class IniFile;

constexpr int CHANNEL_COUNT = 4;
constexpr int RAW_REPORT_SIZE = 33;   // data bytes kept of one report
constexpr int CHANNEL_INDEX_MAX = 16; // what the channel selectors offer
constexpr int CALIBRATION_DEFAULT = 50;

struct TransmitterConfig {
    std::array<int, CHANNEL_COUNT> channelIndex{};  // data byte of the channel, 0..RAW_REPORT_SIZE-1
    std::array<int, CHANNEL_COUNT> channelMid{CALIBRATION_DEFAULT, CALIBRATION_DEFAULT, CALIBRATION_DEFAULT,
                                              CALIBRATION_DEFAULT};
    std::array<int, CHANNEL_COUNT> channelMax = channelMid;
    std::array<int, CHANNEL_COUNT> channelMin = channelMid;
    std::array<bool, CHANNEL_COUNT> channelReverse{};
    std::array<double, CHANNEL_COUNT> scalePos{};  // 1 / (max - mid), 0 for a zero span
    std::array<double, CHANNEL_COUNT> scaleNeg{};  // 1 / (mid - min), 0 for a zero span
};

struct TransmitterState {
    std::array<int, RAW_REPORT_SIZE> rawReport{};  // data bytes of the last accepted report
    std::array<double, CHANNEL_COUNT> channelValue{};
};

enum class CalibrationStep { Idle = 0, Centre = 1, Extremes = 2 };

// 1 / span, or 0 when the span is 0.
double scaleFor(long long span);
// Both scales of every channel from its centre and extremes.
void updateScales(TransmitterConfig& c);

// Takes one report's data bytes into the state and decodes it: the first
// min(size, RAW_REPORT_SIZE) bytes replace the raw values (bytes beyond a
// short report keep their older values); in the Extremes step each channel's
// maximum and minimum widen to its raw value; then every channel value is
// (raw - mid) times the scale of its side, negated when reversed.
void acceptReport(TransmitterState& s, TransmitterConfig& c, CalibrationStep step, const std::uint8_t* data,
                  std::size_t size);

// Slider position of a channel value: 100 x value to the nearest integer,
// halves to even, held to the slider's -100..100.
int sliderPosition(double value);

// The main window's sliders a decoded report sets.
struct SliderTargets {
    int ailerons = 0;  // TrackBar1, from Ale
    int rudder = 0;    // TrackBar2, from Rud
    int elevator = 0;  // TrackBar3, from Ele
    int throttle = 0;  // TrackBar4, from Tro (-100 is full throttle)
};
SliderTargets sliderTargets(const TransmitterState& s);

// Display texts, lines separated by a single CR.
// The report size, then "i=value" for each data byte kept of it.
std::string rawReportText(const TransmitterState& s, std::size_t reportSize);
// Each channel value in general format and a CR.
std::string channelValuesText(const TransmitterState& s, char decimalSep);
// "Num[k]=", "Max[k]=", "Min[k]=", "Mid[k]=" of each channel, a blank line after each.
std::string configText(const TransmitterConfig& c);

// A device list entry: the product string, or the identifiers when it is empty.
std::string deviceEntryText(const std::string& productString, std::uint16_t vendorId, std::uint16_t productId);

// The name a device is saved under ("Dev") and matched by: its entry text when
// conf.ini can hold it (Windows-1251, no line break), else what identifies
// it in a form the file holds: "Device VID=0a1b PID=00c2 SN=<serial>" (the
// serial only when it has one the file can hold). "Émetteur RC" or a Chinese
// product string is thus saved, and found again, by its identifiers.
std::string savedDeviceName(const std::string& entryText, std::uint16_t vendorId, std::uint16_t productId,
                            const std::string& serialNumber);

// The line under the device list about the selected entry: its identifiers
// and report length, or why it cannot be read; and, when its saved name
// (savedDeviceName) is not the saved device name, that its reports are not used.
std::string deviceStatusText(const std::string& entryText, std::uint16_t vendorId, std::uint16_t productId,
                             int inputReportLength, bool readable, const std::string& openError,
                             const std::string& selectedDeviceName);

// The calibration wizard: one button and one prompt.
struct WizardView {
    CalibrationStep step = CalibrationStep::Idle;
    std::string caption;  // Button2
    std::string prompt;   // Label6
};
// What the window shows each time it is opened.
WizardView wizardStart();
// One click on the wizard button: Idle -> Centre; Centre -> Extremes, taking
// the centre from the last report and resetting the extremes to it;
// Extremes -> Idle, deriving both scales of every channel.
WizardView wizardClick(CalibrationStep step, TransmitterConfig& c, const TransmitterState& s);

// The section "Pult" of conf.ini.
struct PultSettings {
    std::string deviceName = " ";                   // "Dev": the entry whose reports are used
    std::array<int, CHANNEL_COUNT> selector{0, 1, 2, 3};  // what SpinEdit1..4 show
    TransmitterConfig config;                        // with its scales
};
// Reads the section; a missing key or an integer that does not parse gives
// its default. A stored byte index outside the raw buffer is clamped into it
// (and the selectors into their 0..CHANNEL_INDEX_MAX).
PultSettings loadPultSettings(const IniFile& ini);
// Writes "Dev" and the five keys of each channel in one file write. Throws
// SimError when the file cannot be written (nothing is changed then).
void savePultSettings(IniFile& ini, const std::string& deviceName, const TransmitterConfig& c, char decimalSep);
// The error of a save with no selected list entry.
std::string listIndexError(int index);

}  // namespace uav
