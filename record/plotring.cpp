#include "record/plotring.h"

#include <algorithm>

#include "control/autopilot.h"

namespace uav {

TelemetryRing::TelemetryRing(std::size_t capacity, double dtSeconds)
    : capacity_(std::max<std::size_t>(capacity, 1)),
      dt_(dtSeconds),
      ticks_(capacity_),
      data_(capacity_ * PLOT_QUANTITY_COUNT) {}

void TelemetryRing::push(std::int64_t tick, const SimState& s, const Autopilot& ap) {
    double* row = &data_[head_ * PLOT_QUANTITY_COUNT];
    ticks_[head_] = tick;
    telemetryValues(s, row);
    loopValues(ap, row + TELEMETRY_COUNT);
    head_ = (head_ + 1) % capacity_;
    if (size_ < capacity_) ++size_;
}

void TelemetryRing::push(std::int64_t tick, const double* values) {
    ticks_[head_] = tick;
    std::copy(values, values + PLOT_QUANTITY_COUNT, &data_[head_ * PLOT_QUANTITY_COUNT]);
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

std::size_t TelemetryRing::nearest(double t) const {
    if (size_ == 0) return 0;
    const std::size_t after = firstAtOrAfter(t);
    if (after == 0) return 0;
    if (after == size_) return size_ - 1;
    return (t - time(after - 1) <= time(after) - t) ? after - 1 : after;
}

std::vector<std::size_t> plotSamples(const TelemetryRing& r, int q, std::size_t first, std::size_t last,
                                     std::size_t columns) {
    std::vector<std::size_t> out;
    last = std::min(last, r.size());
    if (first >= last) return out;
    const std::size_t n = last - first;
    columns = std::max<std::size_t>(columns, 1);
    if (n <= 2 * columns) {
        for (std::size_t i = first; i < last; ++i) out.push_back(i);
        return out;
    }
    out.reserve(2 * columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t a = first + n * c / columns, b = first + n * (c + 1) / columns;
        std::size_t iMin = a, iMax = a;
        for (std::size_t i = a; i < b; ++i) {
            if (r.value(i, q) < r.value(iMin, q)) iMin = i;
            if (r.value(i, q) > r.value(iMax, q)) iMax = i;
        }
        out.push_back(std::min(iMin, iMax));
        if (iMax != iMin) out.push_back(std::max(iMin, iMax));
    }
    return out;
}

}  // namespace uav
