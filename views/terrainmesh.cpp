#include "views/terrainmesh.h"

#include <algorithm>
#include <cmath>

#include "core/vecmath.h"

namespace uav {

namespace {
constexpr float HALF = MAP_SIZE / 2;
constexpr double CULL_MARGIN = 1e-4;  // relative to the plane's norm
}  // namespace

int discFirstColumn(int i) {
    const double d = i - double(HALF);
    return static_cast<int>(roundHalfEven(HALF - std::sqrt(double(HALF) * HALF - d * d)));
}

std::vector<TerrainTile> terrainTiles(const TerrainGrid& g) {
    constexpr int PER_SIDE = (MAP_SIZE + TILE_CELLS - 1) / TILE_CELLS;
    std::vector<TerrainTile> tiles(PER_SIDE * PER_SIDE);
    for (int i = 0; i < MAP_SIZE; ++i) {
        const int first = discFirstColumn(i);
        const int last = MAP_SIZE - 1 - first;
        for (int s = first; s < last; s += TILE_CELLS) {
            const int e = std::min(last, s + TILE_CELLS);
            const int col = std::clamp((s + e) / 2 / TILE_CELLS, 0, PER_SIDE - 1);
            TerrainTile& t = tiles[static_cast<std::size_t>(i / TILE_CELLS * PER_SIDE + col)];
            if (t.segments.empty()) {
                t.lo = {1e30f, 1e30f, 1e30f};
                t.hi = {-1e30f, -1e30f, -1e30f};
            }
            t.segments.push_back({i, s, e});
            for (int r = i; r <= i + 1; ++r)
                for (int j = s; j <= e; ++j) {
                    const float v[3] = {static_cast<float>(r) / HALF - 1.0f, static_cast<float>(j) / HALF - 1.0f, g.H(r, j)};
                    for (int a = 0; a < 3; ++a) {
                        t.lo[a] = std::min(t.lo[a], v[a]);
                        t.hi[a] = std::max(t.hi[a], v[a]);
                    }
                }
        }
    }
    std::erase_if(tiles, [](const TerrainTile& t) { return t.segments.empty(); });
    return tiles;
}

Mat4 perspective(double fovyDeg, double aspect, double zNear, double zFar) {
    const double f = 1.0 / std::tan(fovyDeg * PI / 360.0);
    Mat4 m{};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (zFar + zNear) / (zNear - zFar);
    m[11] = -1.0;
    m[14] = 2.0 * zFar * zNear / (zNear - zFar);
    return m;
}

Mat4 lookAt(const Camera3d& c) {
    Vec3 fwd{c.fx, c.fy, c.fz};
    fwd = VecScale(fwd, 1.0 / VecNorm(fwd));
    const Vec3 up{c.ux, c.uy, c.uz};
    Vec3 side = VecCross(fwd, up);
    side = VecScale(side, 1.0 / VecNorm(side));
    const Vec3 u = VecCross(side, fwd);
    Mat4 m{};
    m[0] = side.x, m[4] = side.y, m[8] = side.z;
    m[1] = u.x, m[5] = u.y, m[9] = u.z;
    m[2] = -fwd.x, m[6] = -fwd.y, m[10] = -fwd.z;
    m[15] = 1.0;
    const Vec3 eye{c.ex, c.ey, c.ez};
    m[12] = -(side.x * eye.x + side.y * eye.y + side.z * eye.z);
    m[13] = -(u.x * eye.x + u.y * eye.y + u.z * eye.z);
    m[14] = fwd.x * eye.x + fwd.y * eye.y + fwd.z * eye.z;
    return m;
}

Mat4 mul(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[col * 4 + k];
            r[col * 4 + row] = s;
        }
    return r;
}

Frustum frustumOf(const Mat4& m) {
    // Row r of the clip matrix: m[r], m[4 + r], m[8 + r], m[12 + r].
    auto row = [&](int r) { return std::array<double, 4>{m[r], m[4 + r], m[8 + r], m[12 + r]}; };
    const auto w = row(3);
    Frustum f;
    int n = 0;
    for (int r = 0; r < 3; ++r) {
        const auto x = row(r);
        std::array<double, 4> plus{}, minus{};
        for (int k = 0; k < 4; ++k) {
            plus[k] = w[k] + x[k];   // x ≥ −w
            minus[k] = w[k] - x[k];  // x ≤ w
        }
        f.planes[n++] = plus;
        f.planes[n++] = minus;
    }
    return f;
}

bool outsideFrustum(const Frustum& f, const TerrainTile& t) {
    for (const auto& p : f.planes) {
        const double margin = CULL_MARGIN * (std::abs(p[0]) + std::abs(p[1]) + std::abs(p[2]) + std::abs(p[3]));
        bool allOut = true;
        for (int c = 0; c < 8 && allOut; ++c) {
            const double x = (c & 1) ? t.hi[0] : t.lo[0];
            const double y = (c & 2) ? t.hi[1] : t.lo[1];
            const double z = (c & 4) ? t.hi[2] : t.lo[2];
            allOut = p[0] * x + p[1] * y + p[2] * z + p[3] < -margin;
        }
        if (allOut) return true;
    }
    return false;
}

}  // namespace uav
