#include "views/terrain3d.h"

#include <cmath>
#include <cstdio>

#include "core/errors.h"
#include "core/vecmath.h"

namespace uav {

namespace {
constexpr double SCENE_UNIT_M = 10000.0;   // m per scene unit at zoom 1
constexpr double ZOOM_UP_M = 1000.0;       // climb above k·this: next zoom level
constexpr double ZOOM_DOWN_M = 950.0;      // descend below (k − 4)·this: previous level
constexpr int ZOOM_STEP = 4;
constexpr int TILE_PERIOD = 2 * MAP_SIZE;  // the mirrored tiling repeats every 800 cells
constexpr float TREE_HEIGHT = 0.05f;       // map units: 100 m after scaling
}  // namespace

int foldScaled(long long a) {
    const long long m = ((a % TILE_PERIOD) + TILE_PERIOD) % TILE_PERIOD;
    if (m < MAP_SIZE) return static_cast<int>(m);
    // 400..798 mirror to 398..0; 799 would be -1 and takes the edge value.
    return m == TILE_PERIOD - 1 ? 0 : static_cast<int>(798 - m);
}

int foldShifted(long long a) {
    const long long m = ((a % TILE_PERIOD) + TILE_PERIOD) % TILE_PERIOD;
    return static_cast<int>(m < MAP_SIZE ? m : TILE_PERIOD - 1 - m);
}

MapCell decodeMapPixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, int i, int j) {
    MapCell cell;
    cell.h = static_cast<float>((g * 256.0 + r) / 65536.0);
    const int t = static_cast<int>(roundHalfEven(b / 60.0));
    switch (t) {
    case 1:  // forest: a tree on every other cell of alternate rows
        if ((i % 4 == 0 && j % 2 == 0) || (i % 4 == 2 && j % 2 == 1)) {
            cell.h += TREE_HEIGHT;
            cell.c = {0.0f, 0.4f, 0.0f};
        } else {
            cell.c = {0.0f, 0.0f, 0.0f};
        }
        break;
    case 2:  // water
        cell.c = (i + j) % 2 == 0 ? ColourF{0.0f, 0.0f, 1.0f} : ColourF{0.0f, 0.0f, 0.7f};
        break;
    case 3:  // soil
        cell.c = (i % 2 == 0 && j % 2 == 0) ? ColourF{0.6f, 0.3f, 0.1f} : ColourF{0.7f, 0.4f, 0.2f};
        break;
    case 4:  // snow or buildings
        cell.c = {1.0f, 1.0f, 1.0f};
        break;
    default:  // grass
        if (i % 2 == 0)
            cell.c = j % 4 == 0 ? ColourF{0.0f, 0.75f, 0.0f} : ColourF{0.0f, 0.8f, 0.0f};
        else
            cell.c = j % 4 == 2 ? ColourF{0.0f, 0.65f, 0.0f} : ColourF{0.0f, 0.75f, 0.0f};
        break;
    }
    return cell;
}

void checkMapImage(const RgbImage& img, const std::string& name) {
    if (img.width == MAP_SIZE && img.height == MAP_SIZE &&
        img.rgb.size() == static_cast<std::size_t>(MAP_SIZE) * MAP_SIZE * 3)
        return;
    char buf[160];
    std::snprintf(buf, sizeof buf, "\". The map must be %d x %d pixels, this one is %d x %d.", MAP_SIZE,
                  MAP_SIZE, img.width, img.height);
    throw SimError("Couldn't load \"" + name + buf);
}

void CrMainBuff(Terrain3d& t, const RgbImage& map) {
    checkMapImage(map, "map");
    for (int i = 0; i < MAP_SIZE; ++i)
        for (int j = 0; j < MAP_SIZE; ++j) {
            const std::uint8_t* p = map.pixel(i, MAP_SIZE - 1 - j);
            const MapCell cell = decodeMapPixel(p[0], p[1], p[2], i, j);
            t.grid0.H(i, j) = cell.h;
            t.grid0.C(i, j) = cell.c;
        }
}

void CreateBuf(Terrain3d& t, double divisor, int zoom) {
    for (int i = 0; i < MAP_SIZE; ++i) {
        const int a = foldScaled(static_cast<long long>(i) * zoom);
        for (int j = 0; j < MAP_SIZE; ++j) {
            const int b = foldScaled(static_cast<long long>(j) * zoom);
            t.grid1.H(i, j) = static_cast<float>(t.grid0.H(a, b) / divisor);
            t.grid1.C(i, j) = t.grid0.C(a, b);
        }
    }
}

void CreateBufT(Terrain3d& t, int di, int dj, double returnAltitude) {
    for (int i = 0; i < MAP_SIZE; ++i) {
        const int a = foldShifted(static_cast<long long>(i) + di);
        for (int j = 0; j < MAP_SIZE; ++j) {
            const int b = foldShifted(static_cast<long long>(j) + dj);
            t.grid2.H(i, j) = t.grid1.H(a, b);
            t.grid2.C(i, j) = t.grid1.C(a, b);
        }
    }
    t.hp = static_cast<float>(2.0 * returnAltitude / t.S);
}

Camera3d PosModel(Terrain3d& t, const SimState& s, double returnAltitude) {
    Camera3d cam;
    if (!std::isfinite(s.posH) || !std::isfinite(s.posX) || !std::isfinite(s.posZ)) return cam;

    // 1-2. Zoom with hysteresis; a new level re-scales the grid and forces a shift.
    const int k0 = t.k;
    if (t.k * ZOOM_UP_M < s.posH)
        t.k += ZOOM_STEP;
    else if ((t.k - ZOOM_STEP) * ZOOM_DOWN_M > s.posH && t.k > 1)
        t.k -= ZOOM_STEP;
    if (t.k != k0) {
        t.S = static_cast<float>(20000.0 * t.k);
        t.cell = t.S / double(MAP_SIZE);
        CreateBuf(t, 5.0 * t.k, t.k);
        t.ci = FAR_CELL_INDEX;
    }
    const double unit = SCENE_UNIT_M * t.k;  // m per scene unit

    // 3-4. Eye: height, and the place within the cell. Cell numbers are kept as
    // doubles, so a position far beyond any map cannot overflow an integer.
    cam.ez = static_cast<float>(s.posH / unit);
    const double bx = std::trunc(s.posX / t.cell);  // north cells from home
    const double bz = std::trunc(s.posZ / t.cell);  // east cells from home
    cam.ey = static_cast<float>((s.posX - bx * t.cell) / unit);
    cam.ex = static_cast<float>((s.posZ - bz * t.cell) / unit);
    const int cx = static_cast<int>(std::fmod(bx, double(TILE_PERIOD)));
    const int cz = static_cast<int>(std::fmod(bz, double(TILE_PERIOD)));

    // 5. Home sits at the corner of its own cell: −b cells from the scene origin.
    t.hx = static_cast<float>(-bz / (MAP_SIZE / 2));
    t.hy = static_cast<float>(-bx / (MAP_SIZE / 2));
    if (cx != t.ci || cz != t.cj) {
        CreateBufT(t, cz, cx, returnAltitude);
        t.ci = cx;
        t.cj = cz;
        cam.gridChanged = true;
    } else {
        t.hp = static_cast<float>(2.0 * returnAltitude / t.S);
    }

    // 6. Nose and body y axis in scene axes (east, north, up).
    const Mat3& o = s.orient;
    cam.fx = static_cast<float>(o.m[0][2]);
    cam.fy = static_cast<float>(o.m[0][0]);
    cam.fz = static_cast<float>(o.m[0][1]);
    cam.ux = static_cast<float>(o.m[1][2]);
    cam.uy = static_cast<float>(o.m[1][0]);
    cam.uz = static_cast<float>(o.m[1][1]);
    cam.poleShown = t.S / 2.0 > s.posD;
    return cam;
}

double farPlane(const Camera3d& cam) {
    constexpr double MARGIN = 1.01;  // depth rounding at the far end must not clip the sphere either
    const double eyeFromCentre = std::sqrt(double(cam.ex) * cam.ex + double(cam.ey) * cam.ey + double(cam.ez) * cam.ez);
    return (SKY_RADIUS + (std::isfinite(eyeFromCentre) ? eyeFromCentre : 0.0)) * MARGIN;
}

std::string homeCaption(const SimState& s, bool poleShown) {
    if (!poleShown) return "n";
    char buf[80];
    std::snprintf(buf, sizeof buf, "y  %lld  %lld", static_cast<long long>(roundHalfEven(-s.posZ)),
                  static_cast<long long>(roundHalfEven(-s.posX)));
    return buf;
}

}  // namespace uav
