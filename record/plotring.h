// The live plots' memory: the last few minutes of every plot quantity, one
// sample per dynamics tick, in a fixed ring that the tick fills and the plot
// window reads (both on the user-interface thread). Samples are stamped with
// the flight's clock: the dynamics tick count (time tick x dt), the clock of
// the runner's and the recording's CSV.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record/telemetry.h"

namespace uav {

class TelemetryRing {
public:
    // Room for `capacity` samples (at least 1); the oldest is dropped first.
    // dtSeconds: the time of one tick.
    explicit TelemetryRing(std::size_t capacity, double dtSeconds = 0.01);

    // One sample after dynamics tick `tick`: the telemetry of the state, then the loops.
    void push(std::int64_t tick, const SimState& s, const Autopilot& ap);
    // One sample from its values (PLOT_QUANTITY_COUNT of them).
    void push(std::int64_t tick, const double* values);

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    double dt() const { return dt_; }
    // Sample i, 0 the oldest held.
    std::int64_t tick(std::size_t i) const { return ticks_[slot(i)]; }
    double time(std::size_t i) const { return static_cast<double>(tick(i)) * dt_; }  // s
    double value(std::size_t i, int quantity) const { return data_[slot(i) * PLOT_QUANTITY_COUNT + quantity]; }
    // The first sample at or after time t (size() if none); times rise with i.
    std::size_t firstAtOrAfter(double t) const;
    // The sample nearest to time t (size() when the ring is empty).
    std::size_t nearest(double t) const;

private:
    std::size_t slot(std::size_t i) const { return (head_ + capacity_ - size_ + i) % capacity_; }

    std::size_t capacity_;
    double dt_;
    std::vector<std::int64_t> ticks_;  // capacity_
    std::vector<double> data_;         // capacity_ x PLOT_QUANTITY_COUNT
    std::size_t head_ = 0;             // the slot the next sample goes to
    std::size_t size_ = 0;
};

// The samples [first, last) of one quantity reduced to at most 2 x columns
// indexes for a line: each column keeps its minimum and maximum in time
// order, so a spike stays visible however long the window. All of them when
// they are few enough.
std::vector<std::size_t> plotSamples(const TelemetryRing& r, int quantity, std::size_t first, std::size_t last,
                                     std::size_t columns);

}  // namespace uav
