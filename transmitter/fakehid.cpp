#include "transmitter/fakehid.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace uav {

class FakeConnection final : public HidConnection {
public:
    FakeConnection(FakeHidPlatform& p, std::shared_ptr<FakeHidPlatform::Device> d) : p_(p), d_(std::move(d)) {}
    ~FakeConnection() override {
        std::lock_guard<std::mutex> l(p_.m_);
        --p_.openConnections_;
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override {
        std::unique_lock<std::mutex> l(p_.m_);
        const auto failing = [&] { return !d_->present || d_->failure == FakeFailure::ReadsFail; };
        p_.cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return failing() || !d_->reports.empty(); });
        if (failing()) {
            ++d_->failedReads;
            return -1;
        }
        if (d_->reports.empty()) return 0;
        std::vector<std::uint8_t> r = std::move(d_->reports.front());
        d_->reports.pop_front();
        const std::size_t n = std::min(r.size(), capacity);
        if (n > 0) std::memcpy(buffer, r.data(), n);
        return static_cast<int>(n);
    }

private:
    FakeHidPlatform& p_;
    std::shared_ptr<FakeHidPlatform::Device> d_;
};

FakeHidPlatform::FakeHidPlatform() : eventFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

FakeHidPlatform::~FakeHidPlatform() {
    if (eventFd_ >= 0) close(eventFd_);
}

void FakeHidPlatform::notifyChange() {
    const std::uint64_t one = 1;
    if (eventFd_ >= 0 && write(eventFd_, &one, sizeof one) != sizeof one) { /* counter full: a notice is pending anyway */ }
}

void FakeHidPlatform::plug(const HidDeviceInfo& device, FakeFailure failure) {
    {
        std::lock_guard<std::mutex> l(m_);
        auto d = std::make_shared<Device>();
        d->info = device;
        d->failure = failure;
        if (auto old = devices_.find(device.path); old != devices_.end()) old->second->present = false;
        devices_[device.path] = d;
        order_.erase(std::remove(order_.begin(), order_.end(), device.path), order_.end());
        order_.push_back(device.path);
    }
    cv_.notify_all();
    notifyChange();
}

void FakeHidPlatform::unplug(const std::string& path) {
    {
        std::lock_guard<std::mutex> l(m_);
        if (auto d = devices_.find(path); d != devices_.end()) d->second->present = false;
        order_.erase(std::remove(order_.begin(), order_.end(), path), order_.end());
    }
    cv_.notify_all();
    notifyChange();
}

void FakeHidPlatform::setFailure(const std::string& path, FakeFailure failure) {
    {
        std::lock_guard<std::mutex> l(m_);
        if (auto d = devices_.find(path); d != devices_.end()) d->second->failure = failure;
    }
    cv_.notify_all();
}

void FakeHidPlatform::send(const std::string& path, std::vector<std::uint8_t> report) {
    {
        std::lock_guard<std::mutex> l(m_);
        if (auto d = devices_.find(path); d != devices_.end() && d->second->present)
            d->second->reports.push_back(std::move(report));
    }
    cv_.notify_all();
}

std::size_t FakeHidPlatform::queued(const std::string& path) {
    std::lock_guard<std::mutex> l(m_);
    const auto d = devices_.find(path);
    return d == devices_.end() ? 0 : d->second->reports.size();
}

long FakeHidPlatform::failedReads(const std::string& path) {
    std::lock_guard<std::mutex> l(m_);
    const auto d = devices_.find(path);
    return d == devices_.end() ? 0 : d->second->failedReads;
}

int FakeHidPlatform::openConnections() {
    std::lock_guard<std::mutex> l(m_);
    return openConnections_;
}

std::vector<HidDeviceInfo> FakeHidPlatform::enumerate() {
    std::lock_guard<std::mutex> l(m_);
    std::vector<HidDeviceInfo> out;
    for (const std::string& p : order_) out.push_back(devices_.at(p)->info);
    return out;
}

OpenResult FakeHidPlatform::open(const HidDeviceInfo& device) {
    std::lock_guard<std::mutex> l(m_);
    OpenResult r;
    const auto d = devices_.find(device.path);
    if (d == devices_.end() || !d->second->present) {
        r.error = "No such device";
    } else if (d->second->failure == FakeFailure::CannotOpen) {
        r.error = "Permission denied";
    } else {
        ++openConnections_;
        r.connection = std::make_unique<FakeConnection>(*this, d->second);
    }
    return r;
}

void FakeHidPlatform::drainChanges() {
    std::uint64_t n = 0;
    while (eventFd_ >= 0 && ::read(eventFd_, &n, sizeof n) == sizeof n) {
    }
}

}  // namespace uav
