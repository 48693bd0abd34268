#include "transmitter/devicelayer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "transmitter/reportdesc.h"

namespace uav {

// What the reader thread and its queued hand-offs share with the device.
// Hand-offs hold it by shared pointer, so one that runs after the release
// finds `stop` set and does nothing.
struct AttachedDevice::Shared {
    std::mutex m;
    std::condition_variable cv;
    bool stop = false;     // the device is released
    bool handled = false;  // the last hand-off has run
    std::atomic<bool> stopping{false};
    std::atomic<long> failedReads{0};
    std::unique_ptr<HidConnection> connection;
    bool numberedReports = false;
    UiPoster post;
    ReportHandler handler;
};

namespace {

void readLoop(const std::shared_ptr<AttachedDevice::Shared>& sh);

}  // namespace

AttachedDevice::AttachedDevice(HidDeviceInfo info, OpenResult opened, const UiPoster& post, ReportHandler handler)
    : info_(std::move(info)), openError_(std::move(opened.error)), shared_(std::make_shared<Shared>()) {
    if (!opened.connection) return;  // listed, delivers nothing
    shared_->connection = std::move(opened.connection);
    shared_->numberedReports = info_.numberedReports;
    shared_->post = post;
    shared_->handler = std::move(handler);
    reader_ = std::thread([sh = shared_] { readLoop(sh); });
}

AttachedDevice::~AttachedDevice() {
    requestStop();
    if (reader_.joinable()) reader_.join();
    shared_->connection.reset();  // closes the device
}

void AttachedDevice::requestStop() {
    {
        std::lock_guard<std::mutex> l(shared_->m);
        shared_->stop = true;
    }
    shared_->stopping = true;
    shared_->cv.notify_all();
}

long AttachedDevice::failedReads() const { return shared_->failedReads; }

namespace {

void readLoop(const std::shared_ptr<AttachedDevice::Shared>& sh) {
    using namespace std::chrono;
    std::vector<std::uint8_t> buffer(READ_BUFFER_SIZE);
    while (!sh->stopping) {
        const int n = sh->connection->read(buffer.data(), buffer.size(), READ_POLL_MS);
        if (sh->stopping) break;
        if (n == 0) continue;
        if (n < 0) {
            ++sh->failedReads;
            std::unique_lock<std::mutex> l(sh->m);
            sh->cv.wait_for(l, milliseconds(READ_RETRY_MS), [&] { return sh->stop; });
            continue;
        }
        const std::size_t got = std::min(static_cast<std::size_t>(n), buffer.size());
        const SplitReport r = splitReport(buffer.data(), got, sh->numberedReports);
        {
            std::lock_guard<std::mutex> l(sh->m);
            sh->handled = false;
        }
        sh->post([sh, id = r.reportId, data = std::vector<std::uint8_t>(r.data, r.data + r.size)] {
            {
                std::lock_guard<std::mutex> l(sh->m);
                if (sh->stop) return;
            }
            // The reader goes on however the handler ends.
            struct Done {
                AttachedDevice::Shared& s;
                ~Done() {
                    {
                        std::lock_guard<std::mutex> l(s.m);
                        s.handled = true;
                    }
                    s.cv.notify_all();
                }
            } done{*sh};
            sh->handler(id, data.data(), data.size());
        });
        std::unique_lock<std::mutex> l(sh->m);
        sh->cv.wait(l, [&] { return sh->handled || sh->stop; });
    }
}

}  // namespace

DeviceLayer::DeviceLayer(std::unique_ptr<HidPlatform> platform, UiPoster post)
    : platform_(std::move(platform)), post_(std::move(post)) {}

bool DeviceLayer::deviceChange() {
    present_ = platform_->enumerate();
    return true;
}

std::vector<std::unique_ptr<AttachedDevice>> DeviceLayer::attachAll(const ReportHandler& handler) {
    std::vector<std::unique_ptr<AttachedDevice>> out;
    out.reserve(present_.size());
    for (const HidDeviceInfo& d : present_)
        out.push_back(std::make_unique<AttachedDevice>(d, platform_->open(d), post_, handler));
    return out;
}

void releaseAll(std::vector<std::unique_ptr<AttachedDevice>>& devices) {
    for (auto& d : devices) d->requestStop();
    devices.clear();
}

}  // namespace uav
