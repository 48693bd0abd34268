#include "app/diagnostics.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace uav {

namespace {
double ms(Diagnostics::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
}  // namespace

std::unique_ptr<Diagnostics> Diagnostics::fromEnvironment() {
    const char* v = std::getenv("UAVSIM_DIAG");
    if (!v || !*v || std::strcmp(v, "0") == 0) return nullptr;
    return std::make_unique<Diagnostics>();
}

void Diagnostics::dynamicsTick(double simulated) {
    const Clock::time_point now = Clock::now();
    if (!started_) {
        started_ = true;
        secondStart_ = now;
    }
    // The totals cover the time since the simulation first ran.
    if (!running_ && simulated > 0.0) {
        running_ = true;
        first_ = now;
    } else if (running_) {
        const double gap = ms(now - last_);
        const int bin = gap * 10.0 >= BINS ? BINS - 1 : static_cast<int>(gap * 10.0);
        ++hist_[static_cast<std::size_t>(bin)];
        ++intervals_;
        if (gap > intervalMaxMs_) intervalMaxMs_ = gap;
    }
    last_ = now;
    ++ticksSecond_;
    if (running_) ++ticksTotal_;
    simSecond_ += simulated;
    simTotal_ += simulated;
    if (now - secondStart_ >= std::chrono::seconds(1)) {
        std::fputs(reportLine(now).c_str(), stderr);
        std::fflush(stderr);
        secondStart_ = now;
        ticksSecond_ = 0;
        simSecond_ = 0.0;
        displayMaxSecondMs_ = 0.0;
    }
}

void Diagnostics::displayTick(Clock::duration took) {
    const double t = ms(took);
    if (t > displayMaxSecondMs_) displayMaxSecondMs_ = t;
    if (running_ && t > displayMaxTotalMs_) displayMaxTotalMs_ = t;
}

double Diagnostics::intervalPercentileMs(double fraction) const {
    if (intervals_ == 0) return 0.0;
    const double want = fraction * static_cast<double>(intervals_);
    std::uint64_t seen = 0;
    for (int i = 0; i < BINS; ++i) {
        seen += hist_[static_cast<std::size_t>(i)];
        if (static_cast<double>(seen) >= want) return (i + 1) / 10.0;  // upper edge of the bin
    }
    return BINS / 10.0;
}

std::string Diagnostics::reportLine(Clock::time_point now) const {
    const double wallSecond = ms(now - secondStart_) / 1000.0;
    const double wallTotal = running_ ? ms(now - first_) / 1000.0 : 0.0;
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "uavsim diag: ticks %ld sim %.3f s wall %.3f s display max %.2f ms | total: ticks %ld "
                  "sim %.2f s wall %.2f s rtf %.3f interval p50 %.1f p99 %.1f ms max %.1f ms display max %.2f ms "
                  "rss %ld kB\n",
                  ticksSecond_, simSecond_, wallSecond, displayMaxSecondMs_, ticksTotal_, simTotal_, wallTotal,
                  wallTotal > 0 ? simTotal_ / wallTotal : 0.0, intervalPercentileMs(0.5), intervalPercentileMs(0.99), intervalMaxMs_,
                  displayMaxTotalMs_, residentKb());
    return buf;
}

long residentKb() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    long size = 0, resident = 0;
    const int n = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    if (n != 2) return 0;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace uav
