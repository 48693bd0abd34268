#include "transmitter/hidapi_platform.h"

#include <hidapi/hidapi.h>
#include <libudev.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <set>

#include "transmitter/reportdesc.h"

namespace uav {

namespace {

std::string utf8FromWide(const wchar_t* w) {
    std::string out;
    if (!w) return out;
    for (; *w; ++w) {
        const auto c = static_cast<std::uint32_t>(*w);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;  // a lone surrogate is not a character
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The report descriptor of /dev/hidrawN, from sysfs: readable without access
// to the device itself, so an unreadable device is described too.
bool readDescriptor(const std::string& devPath, HidDeviceInfo& info) {
    const auto slash = devPath.rfind('/');
    const std::string node = devPath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (node.rfind("hidraw", 0) != 0) return false;
    std::ifstream in("/sys/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
    if (!in) return false;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ReportDescriptorInfo d = parseReportDescriptor(bytes.data(), bytes.size());
    info.numberedReports = d.numberedReports;
    info.inputReportLength = d.inputReportLength;
    return true;
}

class HidapiConnection final : public HidConnection {
public:
    explicit HidapiConnection(hid_device* d) : dev_(d) {}
    ~HidapiConnection() override { hid_close(dev_); }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override {
        const int n = hid_read_timeout(dev_, buffer, capacity, timeoutMs);
        return n < 0 ? -1 : n;
    }

private:
    hid_device* dev_;
};

class HidapiPlatform final : public HidPlatform {
public:
    HidapiPlatform() {
        hid_init();
        udev_ = udev_new();
        if (!udev_) return;
        // With a udev daemon, its events come after the rules have set the
        // node's permissions; without one (containers) only the kernel's
        // own events arrive.
        const bool daemon = access("/run/udev/control", F_OK) == 0;
        monitor_ = udev_monitor_new_from_netlink(udev_, daemon ? "udev" : "kernel");
        if (!monitor_) return;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    ~HidapiPlatform() override {
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
    }

    std::vector<HidDeviceInfo> enumerate() override {
        std::vector<HidDeviceInfo> out;
        std::set<std::string> seen;  // one entry per device node
        hid_device_info* all = hid_enumerate(0, 0);
        for (const hid_device_info* d = all; d; d = d->next) {
            if (!d->path || !seen.insert(d->path).second) continue;
            HidDeviceInfo info;
            info.path = d->path;
            info.vendorId = d->vendor_id;
            info.productId = d->product_id;
            info.productString = utf8FromWide(d->product_string);
            info.serialNumber = utf8FromWide(d->serial_number);
            readDescriptor(info.path, info);
            out.push_back(std::move(info));
        }
        hid_free_enumeration(all);
        return out;
    }

    OpenResult open(const HidDeviceInfo& device) override {
        OpenResult r;
        if (hid_device* h = hid_open_path(device.path.c_str())) {
            r.connection = std::make_unique<HidapiConnection>(h);
            return r;
        }
        // The short reason ("Permission denied") for the window; hidapi's own
        // message when the node itself is accessible.
        if (access(device.path.c_str(), R_OK | W_OK) != 0)
            r.error = std::strerror(errno);
        else
            r.error = utf8FromWide(hid_error(nullptr));
        if (r.error.empty()) r.error = "cannot be opened";
        return r;
    }

    int changeFd() const override { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

    void drainChanges() override {
        if (!monitor_) return;
        // The monitor's socket is non-blocking: receive until it is empty.
        while (udev_device* d = udev_monitor_receive_device(monitor_)) udev_device_unref(d);
    }

private:
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<HidPlatform> makeSystemHidPlatform() { return std::make_unique<HidapiPlatform>(); }

}  // namespace uav
