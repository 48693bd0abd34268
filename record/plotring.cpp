#include "record/plotring.h"

#include <algorithm>

#include "control/autopilot.h"

namespace uav {

TelemetryRing::TelemetryRing(std::size_t capacity)
    : capacity_(std::max<std::size_t>(capacity, 1)), data_(capacity_ * STRIDE) {}

void TelemetryRing::push(double t, const SimState& s, const Autopilot& ap) {
    double* row = &data_[head_ * STRIDE];
    row[0] = t;
    telemetryValues(s, row + 1);
    loopValues(ap, row + 1 + TELEMETRY_COUNT);
    head_ = (head_ + 1) % capacity_;
    if (size_ < capacity_) ++size_;
}

void TelemetryRing::push(double t, const double* values) {
    double* row = &data_[head_ * STRIDE];
    row[0] = t;
    std::copy(values, values + PLOT_QUANTITY_COUNT, row + 1);
    head_ = (head_ + 1) % capacity_;
    if (size_ < capacity_) ++size_;
}

std::size_t TelemetryRing::firstAtOrAfter(double t) const {
    std::size_t lo = 0, hi = size_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (time(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace uav
