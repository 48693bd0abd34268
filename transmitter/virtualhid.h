// A virtual HID device created from user space through /dev/uhid, for the
// end-to-end test and the latency bench: the kernel makes a real hidraw node
// for it, so it is found, opened and read like a plugged-in adapter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace uav {

class VirtualHidDevice {
public:
    // Creates the device; on failure (no /dev/uhid, no permission) valid() is
    // false and error() says why.
    VirtualHidDevice(const std::string& name, std::uint16_t vendorId, std::uint16_t productId,
                     const std::vector<std::uint8_t>& reportDescriptor);
    ~VirtualHidDevice();  // removes the device
    VirtualHidDevice(const VirtualHidDevice&) = delete;
    VirtualHidDevice& operator=(const VirtualHidDevice&) = delete;

    bool valid() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // Delivers one input report (identifier byte first for numbered reports).
    bool send(const std::vector<std::uint8_t>& report);
    // Removes the device now (as an unplug); the destructor then does nothing.
    void destroy();

private:
    int fd_ = -1;
    std::string error_;
};

// Whether /dev/uhid can be opened here; `why` says why not.
bool uhidAvailable(std::string& why);

// A transmitter adapter's descriptor: one unnumbered input report of eight
// 8-bit axes (vendor page).
std::vector<std::uint8_t> eightAxisDescriptor();

}  // namespace uav
