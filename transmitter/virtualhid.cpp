#include "transmitter/virtualhid.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace uav {

namespace {

bool writeEvent(int fd, const uhid_event& ev) {
    const ssize_t n = write(fd, &ev, sizeof ev);
    return n == static_cast<ssize_t>(sizeof ev);
}

}  // namespace

bool uhidAvailable(std::string& why) {
    const int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("/dev/uhid cannot be opened: ") + std::strerror(errno) +
              (errno == ENOENT ? " (the kernel has no uhid module loaded)" : "");
        return false;
    }
    close(fd);
    return true;
}

VirtualHidDevice::VirtualHidDevice(const std::string& name, std::uint16_t vendorId, std::uint16_t productId,
                                   const std::vector<std::uint8_t>& reportDescriptor) {
    if (!uhidAvailable(error_)) return;
    fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    std::strncpy(reinterpret_cast<char*>(ev.u.create2.name), name.c_str(), sizeof ev.u.create2.name - 1);
    const std::size_t rd = std::min(reportDescriptor.size(), sizeof ev.u.create2.rd_data);
    std::memcpy(ev.u.create2.rd_data, reportDescriptor.data(), rd);
    ev.u.create2.rd_size = static_cast<std::uint16_t>(rd);
    // hidapi takes the product string of a non-USB device from its HID name;
    // a USB device without a USB parent it would not list at all.
    ev.u.create2.bus = BUS_BLUETOOTH;
    ev.u.create2.vendor = vendorId;
    ev.u.create2.product = productId;
    if (!writeEvent(fd_, ev)) {
        error_ = std::string("UHID_CREATE2 failed: ") + std::strerror(errno);
        close(fd_);
        fd_ = -1;
    }
}

VirtualHidDevice::~VirtualHidDevice() { destroy(); }

bool VirtualHidDevice::send(const std::vector<std::uint8_t>& report) {
    if (fd_ < 0) return false;
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    const std::size_t n = std::min(report.size(), sizeof ev.u.input2.data);
    std::memcpy(ev.u.input2.data, report.data(), n);
    ev.u.input2.size = static_cast<std::uint16_t>(n);
    return writeEvent(fd_, ev);
}

void VirtualHidDevice::destroy() {
    if (fd_ < 0) return;
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    writeEvent(fd_, ev);
    close(fd_);
    fd_ = -1;
}

std::vector<std::uint8_t> eightAxisDescriptor() {
    return {
        0x06, 0x00, 0xFF,  // Usage Page (vendor defined)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8 bits)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x01,        //   Usage (1)
        0x81, 0x02,        //   Input (data, variable, absolute)
        0xC0,              // End Collection
    };
}

}  // namespace uav
