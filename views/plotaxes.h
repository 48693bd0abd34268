// The live plots' geometry without a window system: round tick steps and
// their labels, the value range that follows the data, zoom and pan of a
// range within limits, and the mapping between pixels and values.
//
// Ranges are [lo, hi] in the axis' unit (time in s of the flight's clock,
// values in the quantity's unit); pixels run left to right and top to bottom.
#pragma once

#include <string>
#include <vector>

namespace uav {

struct AxisRange {
    double lo = 0.0, hi = 1.0;
    double span() const { return hi - lo; }
    friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

// The time axis' step: the smallest of 1, 2, 5, 10, 20, 30 and 60 s that
// leaves at most `maxIntervals` intervals across `spanSeconds` (60 s beyond).
double timeTickStep(double spanSeconds, int maxIntervals = 8);

// A value axis' step: 1, 2 or 5 times a power of ten, the smallest that
// leaves at most `maxIntervals` intervals across `span` (a positive span).
double valueTickStep(double span, int maxIntervals = 5);

// The decimals a label needs so that labels one step apart differ: 0 for a
// step of 1 or more, 1 for 0.5 .. 0.1, 2 for 0.05 .. 0.01, ...
int labelDecimals(double step);

// The label of a tick: `decimals` digits after the point, "0" never "-0".
std::string tickLabel(double value, int decimals);

// The multiples of `step` within [lo, hi] (at most 1000 of them).
std::vector<double> tickPositions(AxisRange r, double step);

// A value axis: its range (whole steps), step and label decimals.
struct ValueAxis {
    AxisRange range;
    double step = 1.0;
    int decimals = 0;
};

// The value axis for data between dataLo and dataHi: whole steps around it,
// with room above and below, at most maxIntervals steps (a chart elides every
// label when they do not fit its height). Flat data (lo == hi) gets a range
// around the value; no data (lo > hi, or not finite) the range 0 .. 1.
ValueAxis valueAxisFor(double dataLo, double dataHi, int maxIntervals = 5);

// How many value steps a plot area of that height shows legibly.
int valueIntervalsFor(double heightPixels);

// The live plots' value axis: kept while the data stays inside it and fills
// more than a quarter of it (a chart lays its labels out again on every
// change), otherwise valueAxisFor the data.
ValueAxis followValueAxis(const ValueAxis& current, double dataLo, double dataHi, int maxIntervals = 5);

// The axis for a range the user chose (zoomed or dragged): the step and
// decimals its span needs.
ValueAxis valueAxisOver(AxisRange r, int maxIntervals = 5);

// Zoom about `anchor` (the value under the pointer stays under it): factor
// < 1 zooms in. The span stays within [minSpan, maxSpan].
AxisRange zoomRange(AxisRange r, double anchor, double factor, double minSpan, double maxSpan);
// Moves the range by `delta` (its unit), keeping its span.
AxisRange panRange(AxisRange r, double delta);
// The range moved (never resized) to lie inside `limits`; a range longer than
// the limits ends at limits.hi. Non-finite input gives `limits`.
AxisRange clampToLimits(AxisRange r, AxisRange limits);

// Pixels and values along one axis: the axis' range spread over pixels
// [p0, p1] (p1 < p0 for a value axis, whose values grow upwards).
double valueAtPixel(double pixel, double p0, double p1, AxisRange r);
double pixelOfValue(double value, double p0, double p1, AxisRange r);

}  // namespace uav
