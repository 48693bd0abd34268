// The seam between the transmitter window and the operating system's HID
// devices: enumeration, opening, reading one input report at a time, and a
// notice when devices come or go. The system implementation uses hidapi's
// hidraw backend and a libudev monitor (hidapi_platform.h); tests use
// FakeHidPlatform (fakehid.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace uav {

struct HidDeviceInfo {
    std::string path;           // unique while the device is present (/dev/hidrawN)
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string productString;  // UTF-8, may be empty
    std::string serialNumber;   // UTF-8, may be empty
    int inputReportLength = 0;  // bytes, identifier byte included (0: unknown)
    bool numberedReports = false;
};

// An opened device. read() is called from one reader thread only.
class HidConnection {
public:
    virtual ~HidConnection() = default;
    // Waits up to timeoutMs for one input report and copies it, as the device
    // delivered it (identifier byte first only for numbered reports), into
    // buffer. Returns its length, 0 when none came in time, -1 when the read
    // failed (for example the device was unplugged).
    virtual int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) = 0;
};

struct OpenResult {
    std::unique_ptr<HidConnection> connection;  // null when the device cannot be read
    std::string error;                          // why not, for the window
};

class HidPlatform {
public:
    virtual ~HidPlatform() = default;
    // Present HID devices in enumeration order.
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    virtual OpenResult open(const HidDeviceInfo& device) = 0;
    // A file descriptor that becomes readable when HID devices came or went;
    // -1 when the platform cannot tell (then only the start-up enumeration
    // happens).
    virtual int changeFd() const = 0;
    // Consumes the pending change notices once the descriptor is readable.
    virtual void drainChanges() = 0;
};

}  // namespace uav
