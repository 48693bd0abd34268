// A HID platform in memory, for tests and the latency bench: devices are
// plugged and unplugged by hand, reports are queued per device, and each
// device can fail in a named way. Change notices go through an eventfd, so
// the window's notifier path is the same as with real devices.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "transmitter/hidplatform.h"

namespace uav {

enum class FakeFailure {
    None,        // opens and delivers every queued report
    CannotOpen,  // present but not readable (no permission on the device node)
    ReadsFail,   // opens, but every read fails (an adapter in a bad state)
};

class FakeHidPlatform final : public HidPlatform {
public:
    FakeHidPlatform();
    ~FakeHidPlatform() override;

    // A device appears at the end of the enumeration order; a change notice is posted.
    void plug(const HidDeviceInfo& device, FakeFailure failure = FakeFailure::None);
    // The device disappears: open connections fail every read from now on
    // (as hidraw gives EIO), and a change notice is posted.
    void unplug(const std::string& path);
    // Switches a device's failure mode (for example a read failure that clears).
    void setFailure(const std::string& path, FakeFailure failure);
    // Queues one report as the device delivers it (identifier byte first only
    // for numbered reports).
    void send(const std::string& path, std::vector<std::uint8_t> report);
    // Reports still queued for a device (not read yet).
    std::size_t queued(const std::string& path);
    long failedReads(const std::string& path);
    int openConnections();

    std::vector<HidDeviceInfo> enumerate() override;
    OpenResult open(const HidDeviceInfo& device) override;
    int changeFd() const override { return eventFd_; }
    void drainChanges() override;

private:
    friend class FakeConnection;
    struct Device {
        HidDeviceInfo info;
        FakeFailure failure = FakeFailure::None;
        bool present = true;
        std::deque<std::vector<std::uint8_t>> reports;
        long failedReads = 0;
    };
    void notifyChange();
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::string> order_;  // present devices in enumeration order
    std::map<std::string, std::shared_ptr<Device>> devices_;
    int openConnections_ = 0;
    int eventFd_ = -1;
};

}  // namespace uav
