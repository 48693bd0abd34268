// Run-time measurements for tuning the timers, switched on by the environment
// variable UAVSIM_DIAG (any value but "0"); the program takes no arguments.
// Once a wall-clock second it prints to standard error one line: the dynamics
// ticks of that second, the simulated and the wall time of that second, the
// longest display tick, and the totals since the simulation first ran (real-time factor,
// 99th percentile and maximum of the interval between dynamics ticks, resident
// memory).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace uav {

class Diagnostics {
public:
    using Clock = std::chrono::steady_clock;

    static std::unique_ptr<Diagnostics> fromEnvironment();

    // At the start of every dynamics tick; `simulated` is the simulated time
    // the tick advances (0 while stopped).
    void dynamicsTick(double simulated);
    // After every display tick, its duration.
    void displayTick(Clock::duration took);

    // The line for the second just ended (exposed for tests).
    std::string reportLine(Clock::time_point now) const;

    // Interval percentile over all ticks so far, ms (bins of 0.1 ms).
    double intervalPercentileMs(double fraction) const;

private:
    static constexpr int BINS = 10000;  // 0.1 ms each, up to 1 s; the last bin takes the rest
    Clock::time_point first_{}, last_{}, secondStart_{};
    bool started_ = false;
    bool running_ = false;  // the simulation has integrated at least once
    long ticksSecond_ = 0;
    double simSecond_ = 0.0;
    double displayMaxSecondMs_ = 0.0;
    long ticksTotal_ = 0;
    double simTotal_ = 0.0;
    double displayMaxTotalMs_ = 0.0;
    double intervalMaxMs_ = 0.0;
    std::array<std::uint32_t, BINS> hist_{};
    std::uint64_t intervals_ = 0;
};

// Resident memory of this process, kB (0 where unknown).
long residentKb();

}  // namespace uav
