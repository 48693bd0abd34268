#include "views/plotaxes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace uav {

double timeTickStep(double spanSeconds, int maxIntervals) {
    const int intervals = std::max(maxIntervals, 1);
    for (double step : {1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0})
        if (spanSeconds / step <= intervals) return step;
    // Beyond eight minutes: whole minutes.
    if (!std::isfinite(spanSeconds)) return 60.0;
    return 60.0 * std::ceil(spanSeconds / 60.0 / intervals);
}

double valueTickStep(double span, int maxIntervals) {
    const int intervals = std::max(maxIntervals, 1);
    if (!(span > 0.0) || !std::isfinite(span)) return 1.0;
    const double raw = span / intervals;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    // pow and log10 may land a hair off: step down so that the loop finds the smallest.
    if (p > raw) p /= 10.0;
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            if (m * p * (1.0 + 1e-12) >= raw) return m * p;
        p *= 10.0;
    }
}

int labelDecimals(double step) {
    if (!(step > 0.0) || !std::isfinite(step) || step >= 1.0) return 0;
    return std::min(15, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
}

std::string tickLabel(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 15), value);
    std::string s = buf;
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
    return s;
}

std::vector<double> tickPositions(AxisRange r, double step) {
    std::vector<double> out;
    if (!(step > 0.0) || !std::isfinite(r.lo) || !std::isfinite(r.hi) || r.hi < r.lo) return out;
    const double first = std::ceil(r.lo / step - 1e-9);
    const double last = std::floor(r.hi / step + 1e-9);
    if (last - first > 1000) return out;
    // k x step rather than a running sum: no drift, and 0 is exactly 0.
    for (double k = first; k <= last; ++k) out.push_back(k * step + 0.0);
    return out;
}

namespace {

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

}  // namespace

int valueIntervalsFor(double heightPixels) {
    constexpr double PIXELS_PER_STEP = 24.0;  // a label line and room around it
    if (!std::isfinite(heightPixels)) return 2;
    return static_cast<int>(std::clamp(std::floor(heightPixels / PIXELS_PER_STEP), 2.0, 10.0));
}

ValueAxis valueAxisFor(double lo, double hi, int maxIntervals) {
    if (!finite(lo, hi) || lo > hi) {
        lo = 0.0;
        hi = 1.0;
    }
    if (lo == hi) {
        // Flat data: a tenth of its size around it (1 around zero).
        const double half = lo == 0.0 ? 1.0 : std::abs(lo) * 0.05;
        lo -= half;
        hi += half;
    }
    // Labels of a range narrower than a millionth of its size would need more
    // digits than a double holds.
    const double minSpan = std::max(std::max(std::abs(lo), std::abs(hi)) * 1e-6, 1e-12);
    if (hi - lo < minSpan) {
        const double mid = lo + (hi - lo) / 2;
        lo = mid - minSpan / 2;
        hi = mid + minSpan / 2;
    }
    const int most = std::max(maxIntervals, 1);
    ValueAxis a;
    // Rounding out to whole steps and the room at the ends may add steps:
    // the next round step until the range holds no more than allowed.
    for (double step = valueTickStep(hi - lo, most);; step = valueTickStep(step * 1.5, 1)) {
        a.step = step;
        a.range.lo = std::floor(lo / step) * step;
        a.range.hi = std::ceil(hi / step) * step;
        // Data touching the frame is hard to read: half a step of room.
        if (lo - a.range.lo < step * 0.05) a.range.lo -= step / 2;
        if (a.range.hi - hi < step * 0.05) a.range.hi += step / 2;
        if (a.range.span() / step <= most + 1e-9) break;
    }
    a.decimals = labelDecimals(a.step);
    return a;
}

ValueAxis followValueAxis(const ValueAxis& current, double lo, double hi, int maxIntervals) {
    if (!finite(lo, hi) || lo > hi) return current;  // no data: nothing to follow
    const AxisRange& r = current.range;
    const bool inside = lo >= r.lo && hi <= r.hi && r.lo < r.hi;
    const bool loose = hi - lo < 0.25 * r.span();
    // A plot made smaller: fewer steps.
    const bool crowded = r.span() / current.step > std::max(maxIntervals, 1) + 1e-9;
    if (inside && !loose && !crowded) return current;
    const ValueAxis fresh = valueAxisFor(lo, hi, maxIntervals);
    // Flat data stays loose in any range: keep the range it already has.
    if (inside && fresh.range == r) return current;
    return fresh;
}

ValueAxis valueAxisOver(AxisRange r, int maxIntervals) {
    ValueAxis a;
    a.range = r;
    a.step = valueTickStep(r.span(), maxIntervals);
    a.decimals = labelDecimals(a.step);
    return a;
}

AxisRange zoomRange(AxisRange r, double anchor, double factor, double minSpan, double maxSpan) {
    const double span = r.span();
    if (!finite(r.lo, r.hi) || !(span > 0.0) || !(factor > 0.0) || !std::isfinite(factor) || !std::isfinite(anchor))
        return r;
    const double want = std::clamp(span * factor, minSpan, std::max(minSpan, maxSpan));
    const double keep = std::clamp((anchor - r.lo) / span, 0.0, 1.0);  // where the anchor sits
    const double lo = anchor - keep * want;
    return {lo, lo + want};
}

AxisRange panRange(AxisRange r, double delta) {
    if (!std::isfinite(delta)) return r;
    return {r.lo + delta, r.hi + delta};
}

AxisRange clampToLimits(AxisRange r, AxisRange limits) {
    if (!finite(r.lo, r.hi) || r.hi < r.lo) return limits;
    const double span = r.span();
    if (span >= limits.span()) return {limits.hi - span, limits.hi};
    if (r.lo < limits.lo) return {limits.lo, limits.lo + span};
    if (r.hi > limits.hi) return {limits.hi - span, limits.hi};
    return r;
}

double valueAtPixel(double pixel, double p0, double p1, AxisRange r) {
    if (p1 == p0) return r.lo;
    return r.lo + (pixel - p0) / (p1 - p0) * r.span();
}

double pixelOfValue(double value, double p0, double p1, AxisRange r) {
    if (!(r.span() > 0.0)) return p0;
    return p0 + (value - r.lo) / r.span() * (p1 - p0);
}

}  // namespace uav
