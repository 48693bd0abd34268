#include "tools/txtassets.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace uav {

namespace {

constexpr int N = MAP_SIZE;
constexpr double HOME_X = 200, HOME_Y = 199;  // image pixel under home
constexpr double AIRFIELD_R = 12;             // pixels of flat ground around home
constexpr double PI_D = 3.14159265358979323846;

enum Surface : int { GRASS = 0, FOREST = 1, WATER = 2, SOIL = 3, WHITE = 4 };

std::uint32_t hash(int x, int y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(x) * 0x85EBCA6Bu ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}
double rnd(int x, int y, std::uint32_t seed) { return hash(x, y, seed) / 4294967296.0; }

// Smooth value noise, 0..1, lattice spacing `scale` pixels.
double valueNoise(double x, double y, double scale, std::uint32_t seed) {
    const double fx = x / scale, fy = y / scale;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const double tx = fx - x0, ty = fy - y0;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = rnd(x0, y0, seed), b = rnd(x0 + 1, y0, seed);
    const double c = rnd(x0, y0 + 1, seed), d = rnd(x0 + 1, y0 + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Fractal sum of octaves, 0..1.
double fbm(double x, double y, double scale, int octaves, std::uint32_t seed) {
    double sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * valueNoise(x, y, scale, seed + static_cast<std::uint32_t>(o) * 101u);
        norm += amp;
        amp *= 0.5;
        scale *= 0.5;
    }
    return sum / norm;
}

// 0 on the airfield, rising to 1 over the next 20 pixels.
double airfieldBlend(int x, int y) {
    const double d = std::hypot(x - HOME_X, y - HOME_Y);
    return std::clamp((d - AIRFIELD_R) / 20.0, 0.0, 1.0);
}

void put(RgbImage& img, int x, int y, double h, int surface) {
    const long v = std::lround(std::clamp(h, 0.0, 0.999) * 65536.0);
    std::uint8_t* p = &img.rgb[(static_cast<std::size_t>(y) * N + x) * 3];
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(surface * 60);
}

// The airfield: grass with a soil runway along the north-south axis.
bool airfield(RgbImage& img, int x, int y) {
    if (std::hypot(x - HOME_X, y - HOME_Y) > AIRFIELD_R) return false;
    const bool runway = std::abs(x - HOME_X) < 1.5 && std::abs(y - HOME_Y) < AIRFIELD_R - 2;
    put(img, x, y, 0.0, runway ? SOIL : GRASS);
    return true;
}

RgbImage blank() { return RgbImage::black(N, N); }

RgbImage mountains() {
    // Mountain lakes fill the deepest valleys: the lowest part of the land
    // outside the airfield's surroundings, up to one flat water level.
    constexpr double LAKE_SHARE = 0.03;
    std::vector<double> height(static_cast<std::size_t>(N) * N, -1.0);  // -1: airfield
    std::vector<double> valleyFloor;                                    // heights where a lake may lie
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (std::hypot(x - HOME_X, y - HOME_Y) <= AIRFIELD_R) continue;
            // Ridged noise: sharp crests, broad valleys.
            const double r = 1.0 - std::abs(2.0 * fbm(x, y, 160, 5, 11) - 1.0);
            const double blend = airfieldBlend(x, y);
            const double h = (0.02 + 0.85 * std::pow(r, 2.2)) * blend;
            height[static_cast<std::size_t>(y) * N + x] = h;
            if (blend >= 1.0) valleyFloor.push_back(h);
        }
    const auto level = valleyFloor.begin() + static_cast<std::ptrdiff_t>(LAKE_SHARE * double(valleyFloor.size()));
    std::nth_element(valleyFloor.begin(), level, valleyFloor.end());
    const double waterLevel = *level;

    RgbImage img = blank();
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (airfield(img, x, y)) continue;
            const double h = height[static_cast<std::size_t>(y) * N + x];
            if (airfieldBlend(x, y) >= 1.0 && h < waterLevel) {
                put(img, x, y, waterLevel, WATER);
                continue;
            }
            const double jitter = fbm(x, y, 24, 3, 12) - 0.5;
            int s;
            if (h > 0.66 + 0.08 * jitter) s = WHITE;               // snow above ~1300 m
            else if (h > 0.46 + 0.08 * jitter) s = SOIL;           // bare rock and scree
            else if (h > 0.08 + 0.05 * jitter) s = FOREST;
            else s = GRASS;
            put(img, x, y, h, s);
        }
    return img;
}

RgbImage fieldLake() {
    RgbImage img = blank();
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (airfield(img, x, y)) continue;
            const double blend = airfieldBlend(x, y);
            double h = (0.004 + 0.03 * fbm(x, y, 120, 4, 21)) * blend;
            // Fields of 24 x 16 pixels (1.2 x 0.8 km), each sown with one crop.
            const int fx = x / 24, fy = y / 16;
            const double crop = rnd(fx, fy, 22);
            int s = crop < 0.55 ? GRASS : crop < 0.8 ? SOIL : FOREST;
            // Hedges along the field edges, a village of white roofs.
            if ((x % 24 == 0 || y % 16 == 0) && rnd(x, y, 23) < 0.5) s = FOREST;
            if (std::hypot(x - 290, y - 110) < 14 && rnd(x, y, 24) < 0.35) s = WHITE;
            // Lakes: where the lake field is high, flat water.
            const double lake = fbm(x, y, 90, 3, 25) * blend;
            if (lake > 0.64) {
                s = WATER;
                h = 0.002;
            }
            put(img, x, y, h, s);
        }
    return img;
}

RgbImage desert() {
    RgbImage img = blank();
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (airfield(img, x, y)) continue;
            const double blend = airfieldBlend(x, y);
            // Dunes: long crests across the wind, bent by noise.
            const double phase = (x * 0.8 + y * 0.35) / 9.0 + 6.0 * fbm(x, y, 100, 3, 31);
            const double dune = std::pow(0.5 + 0.5 * std::sin(phase), 2.0);
            double h = (0.01 + 0.02 * dune + 0.05 * fbm(x, y, 150, 3, 32)) * blend;
            int s = SOIL;
            // An oasis west of home: a pool ringed by grass and palms.
            const double d = std::hypot(x - 120, y - 240);
            if (d < 10) {
                s = WATER;
                h = 0.005;
            } else if (d < 22) {
                s = rnd(x, y, 33) < 0.4 ? FOREST : GRASS;
                h = 0.008;
            }
            // Salt flats, white.
            if (fbm(x, y, 70, 2, 34) > 0.7 && d >= 22) s = WHITE;
            put(img, x, y, h, s);
        }
    return img;
}

// The built-in map: rolling hills, a river, woods and meadows.
RgbImage defaultMap() {
    RgbImage img = blank();
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (airfield(img, x, y)) continue;
            const double blend = airfieldBlend(x, y);
            double h = (0.01 + 0.12 * std::pow(fbm(x, y, 140, 5, 41), 1.5)) * blend;
            int s = fbm(x, y, 50, 3, 42) > 0.55 ? FOREST : GRASS;
            if (rnd(x / 20, y / 20, 43) < 0.12) s = SOIL;
            // A river winding from south to north, east of home.
            const double riverX = 260 + 40 * std::sin(y / 45.0) + 20 * fbm(0, y, 80, 2, 44);
            if (std::abs(x - riverX) < 3.5) {
                s = WATER;
                h = 0.003 * blend;
            }
            put(img, x, y, h, s);
        }
    return img;
}

void skyColour(double u, double v, std::uint8_t* bgr) {
    // v: 0 nadir, 0.5 horizon, 1 zenith. Below the horizon a hazy grey-blue.
    double r, g, b;
    if (v < 0.5) {
        r = 0.62, g = 0.68, b = 0.74;
    } else {
        const double e = (v - 0.5) * 2.0;  // 0 horizon .. 1 zenith
        const double t = std::pow(e, 0.6);
        r = 0.78 + (0.18 - 0.78) * t;
        g = 0.86 + (0.38 - 0.86) * t;
        b = 0.97 + (0.80 - 0.97) * t;
        // Clouds: noise that wraps around in longitude (u in 0..1).
        const double ang = u * 2 * PI_D;
        const double cx = 60 * std::cos(ang), cy = 60 * std::sin(ang);
        const double c = fbm(cx + 200, cy + 200 + e * 140, 40, 5, 51);
        const double cover = std::clamp((c - 0.52) * 4.0, 0.0, 1.0) * std::clamp(e * 6.0, 0.0, 1.0) *
                             std::clamp((1.0 - e) * 3.0, 0.0, 1.0);
        const double shade = 0.92 + 0.08 * fbm(cx + 300, cy + 300, 10, 2, 52);
        r = r + (shade - r) * cover;
        g = g + (shade - g) * cover;
        b = b + (shade - b) * cover;
    }
    bgr[0] = static_cast<std::uint8_t>(std::lround(255 * b));
    bgr[1] = static_cast<std::uint8_t>(std::lround(255 * g));
    bgr[2] = static_cast<std::uint8_t>(std::lround(255 * r));
}

}  // namespace

RgbImage makeMap(MapKind kind) {
    switch (kind) {
    case MapKind::Mountains: return mountains();
    case MapKind::FieldLake: return fieldLake();
    case MapKind::Desert: return desert();
    case MapKind::Default: break;
    }
    return defaultMap();
}

std::vector<std::uint8_t> makeSkyTga() {
    constexpr int W = 512, H = 256;
    std::vector<std::uint8_t> f(18, 0);
    f[2] = 2;  // uncompressed true-colour
    f[12] = W & 0xFF;
    f[13] = W >> 8;
    f[14] = H & 0xFF;
    f[15] = H >> 8;
    f[16] = 24;
    f[17] = 0;  // origin bottom-left: the first row is the nadir
    f.reserve(18 + W * H * 3);
    for (int row = 0; row < H; ++row)
        for (int x = 0; x < W; ++x) {
            std::uint8_t bgr[3];
            skyColour((x + 0.5) / W, (row + 0.5) / H, bgr);
            f.insert(f.end(), bgr, bgr + 3);
        }
    return f;
}

}  // namespace uav
