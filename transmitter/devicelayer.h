// The device layer as the transmitter window uses it: change notices,
// attaching every present device, and one reader thread per readable device
// that hands each input report to the user-interface thread and waits until
// it has been handled there.
//
// Threads: the layer and its attached devices are used from the
// user-interface thread only; the reader threads touch nothing but their
// connection and the hand-off. Releasing a device ends its reader: a reader
// waiting for a hand-off that will now never be handled is woken, and a
// hand-off still queued on the user-interface thread does nothing.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "transmitter/hidplatform.h"

namespace uav {

// Runs a task on the user-interface thread, later (never inline).
using UiPoster = std::function<void(std::function<void()>)>;
// One input report, identifier split off; called on the user-interface thread.
using ReportHandler = std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)>;

constexpr int READ_RETRY_MS = 100;  // wait after a failed read
constexpr int READ_POLL_MS = 50;    // longest a release waits for a read in progress
constexpr std::size_t READ_BUFFER_SIZE = 4096;  // above any report; hidraw returns one report per read

class AttachedDevice {
public:
    AttachedDevice(HidDeviceInfo info, OpenResult opened, const UiPoster& post, ReportHandler handler);
    ~AttachedDevice();  // stops the reader and waits for it
    AttachedDevice(const AttachedDevice&) = delete;
    AttachedDevice& operator=(const AttachedDevice&) = delete;

    const HidDeviceInfo& info() const { return info_; }
    bool readable() const { return reader_.joinable(); }
    const std::string& openError() const { return openError_; }
    long failedReads() const;
    // Tells the reader to end without waiting for it (a release of many
    // devices then waits for all of them at once).
    void requestStop();

    struct Shared;  // the reader's side, defined in devicelayer.cpp

private:
    HidDeviceInfo info_;
    std::string openError_;
    std::shared_ptr<Shared> shared_;
    std::thread reader_;
};

class DeviceLayer {
public:
    DeviceLayer(std::unique_ptr<HidPlatform> platform, UiPoster post);

    // A device-change notice: brings the set of present devices up to date.
    // Returns true: every notice rebuilds the window's list. A device
    // unplugged and plugged back before the notices are handled may come
    // back under the same path, so a list that looks the same can hold dead
    // connections.
    bool deviceChange();
    // Opens the present devices in enumeration order. Each readable one gets
    // a reader thread delivering its reports to `handler`.
    std::vector<std::unique_ptr<AttachedDevice>> attachAll(const ReportHandler& handler);

    HidPlatform& platform() { return *platform_; }

private:
    std::unique_ptr<HidPlatform> platform_;
    UiPoster post_;
    std::vector<HidDeviceInfo> present_;
};

// Releases every device of a list: all readers are told first, then waited for.
void releaseAll(std::vector<std::unique_ptr<AttachedDevice>>& devices);

}  // namespace uav
