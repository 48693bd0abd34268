// Drawing primitives: what the 2-D views hand to whatever paints them.
//
// A view is computed by a plain function into a list of primitives in painting
// order, each carrying its own pen and brush, with integer pixel positions
// (x to the right, y downwards). The painter layer only replays the list, so
// the geometry can be checked without a window system.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/vecmath.h"

namespace uav {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb BLACK{0, 0, 0};
inline constexpr Rgb WHITE{255, 255, 255};
inline constexpr Rgb SKY_BLUE{0xA6, 0xCA, 0xF0};
inline constexpr Rgb OLIVE{0x80, 0x80, 0x00};
inline constexpr Rgb SILVER{0xC0, 0xC0, 0xC0};
inline constexpr Rgb GREY{0x80, 0x80, 0x80};
inline constexpr Rgb BLUE{0x00, 0x00, 0xFF};
inline constexpr Rgb LIME{0x00, 0xFF, 0x00};
inline constexpr Rgb RED{0xFF, 0x00, 0x00};
inline constexpr Rgb YELLOW{0xFF, 0xFF, 0x00};
inline constexpr Rgb NAVY{0x00, 0x00, 0x80};
inline constexpr Rgb MAGENTA{0xFF, 0x00, 0xFF};

enum class PenStyle { Solid, Dot };
enum class BrushStyle { Solid, Clear };

struct Pen {
    Rgb colour = BLACK;
    int width = 1;  // pixels
    PenStyle style = PenStyle::Solid;
    friend bool operator==(const Pen&, const Pen&) = default;
};

struct Brush {
    Rgb colour = WHITE;
    BrushStyle style = BrushStyle::Solid;
    friend bool operator==(const Brush&, const Brush&) = default;
};

struct Pixel {
    int x = 0, y = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

enum class PrimKind {
    FillRect,  // pts[0]..pts[1]: top-left and bottom-right (exclusive), brush only
    Line,      // pts[0] to pts[1], pen
    Polygon,   // pts, closed, filled with the brush and outlined with the pen
    Ellipse,   // bounding box pts[0]..pts[1] (bottom-right exclusive), brush and pen
    Text,      // text with its top-left at pts[0], in the view's font colour
};

struct Primitive {
    PrimKind kind = PrimKind::Line;
    Pen pen;
    Brush brush;
    std::vector<Pixel> pts;
    std::string text;  // UTF-8, Text only
};

using Drawing = std::vector<Primitive>;

// A real length in pixels to a pixel coordinate: nearest integer, halves to
// even. Values beyond the int range (a state gone wild) are clamped far outside
// any view rather than overflowing.
inline int px(double v) {
    if (std::isnan(v)) return 0;
    constexpr double LIMIT = 1.0e9;
    if (v > LIMIT) v = LIMIT;
    if (v < -LIMIT) v = -LIMIT;
    return static_cast<int>(roundHalfEven(v));
}

// Builders used by the views; each appends one primitive.
inline void addFillRect(Drawing& d, const Brush& b, Pixel tl, Pixel br) {
    d.push_back({PrimKind::FillRect, Pen{}, b, {tl, br}, {}});
}
inline void addLine(Drawing& d, const Pen& p, Pixel a, Pixel b) {
    d.push_back({PrimKind::Line, p, Brush{}, {a, b}, {}});
}
inline void addEllipse(Drawing& d, const Pen& p, const Brush& b, Pixel tl, Pixel br) {
    d.push_back({PrimKind::Ellipse, p, b, {tl, br}, {}});
}
inline void addPolygon(Drawing& d, const Pen& p, const Brush& b, std::vector<Pixel> pts) {
    d.push_back({PrimKind::Polygon, p, b, std::move(pts), {}});
}
inline void addText(Drawing& d, Pixel at, std::string text) {
    d.push_back({PrimKind::Text, Pen{}, Brush{BLACK, BrushStyle::Clear}, {at}, std::move(text)});
}

}  // namespace uav
