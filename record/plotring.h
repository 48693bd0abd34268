// The live plots' memory: the last few minutes of every plot quantity, one
// sample per dynamics tick, in a fixed ring that the tick fills and the plot
// window reads (both on the user-interface thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record/telemetry.h"

namespace uav {

class TelemetryRing {
public:
    // Room for `capacity` samples (at least 1); the oldest is dropped first.
    explicit TelemetryRing(std::size_t capacity);

    // One sample at time `t` (s): the telemetry of the state, then the loops.
    void push(double t, const SimState& s, const Autopilot& ap);
    // One sample from its values (PLOT_QUANTITY_COUNT of them).
    void push(double t, const double* values);

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    // Sample i, 0 the oldest held.
    double time(std::size_t i) const { return data_[slot(i) * STRIDE]; }
    double value(std::size_t i, int quantity) const { return data_[slot(i) * STRIDE + 1 + quantity]; }
    // The first sample at or after time t (size() if none); times rise with i.
    std::size_t firstAtOrAfter(double t) const;

private:
    static constexpr std::size_t STRIDE = 1 + PLOT_QUANTITY_COUNT;
    std::size_t slot(std::size_t i) const { return (head_ + capacity_ - size_ + i) % capacity_; }

    std::size_t capacity_;
    std::vector<double> data_;  // capacity_ x STRIDE: time, then the quantities
    std::size_t head_ = 0;      // the slot the next sample goes to
    std::size_t size_ = 0;
};

}  // namespace uav
