// The terrain and camera of the 3D cockpit view, without any OpenGL: the map
// decoding, the zoom-scaled and cell-shifted grids, and the camera of one
// frame. The GL window only draws what these functions leave in the grids.
//
// Scene coordinates: x east, y north, z up. One scene unit is 10000·k m, k the
// zoom level (1, 5, 9, ...). The terrain is a 400 x 400 cell grid of S =
// 20000·k m (cell 50·k m) centred under the aircraft; it is re-centred in
// whole cells, so the drawn grid only changes when the aircraft crosses a cell
// or the zoom changes.
//
// Grid index [i][j]: i runs east (scene x), j north (scene y); the vertex of
// [i][j] is at (i/200 − 1, j/200 − 1, height). Heights are in map units
// (1 map unit = 2000 m once divided by 5·k), colours are floats 0..1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/simstate.h"

namespace uav {

constexpr int MAP_SIZE = 400;          // map pixels per side, grid cells per side
constexpr int GRID_N = MAP_SIZE + 1;   // grid entries per side; row and column 400 stay zero
constexpr int FAR_CELL_INDEX = 1500;   // a cell index no position gives: forces the next shift

struct ColourF {
    float r = 0, g = 0, b = 0;
    friend bool operator==(const ColourF&, const ColourF&) = default;
};

// An RGB image, rows top-down, 3 bytes per pixel (R, G, B).
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* pixel(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
    // A black image of w x h pixels.
    static RgbImage black(int w, int h) {
        return {w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0)};
    }
};

// One height grid with its colour grid, GRID_N x GRID_N.
struct TerrainGrid {
    TerrainGrid() : h(GRID_N * GRID_N, 0.0f), c(GRID_N * GRID_N) {}
    float& H(int i, int j) { return h[static_cast<std::size_t>(i) * GRID_N + j]; }
    float H(int i, int j) const { return h[static_cast<std::size_t>(i) * GRID_N + j]; }
    ColourF& C(int i, int j) { return c[static_cast<std::size_t>(i) * GRID_N + j]; }
    const ColourF& C(int i, int j) const { return c[static_cast<std::size_t>(i) * GRID_N + j]; }
    std::vector<float> h;
    std::vector<ColourF> c;
};

// The view's state: zoom, cells, home pole and the three grid pairs.
struct Terrain3d {
    int k = 1;                   // zoom level 1, 5, 9, ...
    float S = 20000.0f;          // terrain size, m
    double cell = 50.0;          // cell size, m
    int ci = FAR_CELL_INDEX;     // last north cell index (folded)
    int cj = FAR_CELL_INDEX;     // last east cell index (folded)
    float hx = 0, hy = 0;        // home, scene units
    float hp = 0;                // home pole height, scene units
    TerrainGrid grid0;           // HGrid0 / CGrid0: decoded from the map
    TerrainGrid grid1;           // HGrid1 / CGrid1: scaled for the zoom
    TerrainGrid grid2;           // HGrid2 / CGrid2: shifted under the aircraft, drawn
};

// Folds a CreateBuf index (i·zoom, any non-negative value) into 0..399:
// mirrored tiling 0..399, 398..0, period 800; the odd one out, 799, folds to 0.
int foldScaled(long long a);
// Folds a CreateBufT index (any value, negative ones west and south of home
// included) into 0..399: the mirrored tiling 0..399, 399..0 of period 800.
int foldShifted(long long a);

// The map encoding of one pixel at image column i and row j counted from the
// bottom: height in map units and colour.
struct MapCell {
    float h = 0;
    ColourF c;
};
MapCell decodeMapPixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, int i, int j);

// Throws SimError unless the image is MAP_SIZE x MAP_SIZE; `name` goes into the message.
void checkMapImage(const RgbImage& img, const std::string& name);

// Decodes the map into grid0. The image must be 400 x 400 (checkMapImage).
void CrMainBuff(Terrain3d& t, const RgbImage& map);
// grid1 := grid0 sampled every `zoom` cells as a mirrored tiling, heights / divisor.
void CreateBuf(Terrain3d& t, double divisor, int zoom);
// grid2 := grid1 shifted by (di east, dj north) cells; pole height from the
// auto-return altitude (m).
void CreateBufT(Terrain3d& t, int di, int dj, double returnAltitude);

// Everything one frame needs besides the grids.
struct Camera3d {
    float ex = 0, ey = 0, ez = 0;      // eye, scene units
    float fx = 0, fy = 0, fz = 0;      // nose direction, scene axes
    float ux = 0, uy = 0, uz = 0;      // body y axis, scene axes
    bool gridChanged = false;          // grid2 was rebuilt by this step
    bool poleShown = false;            // home within half the terrain size
};

// The camera step of one frame: zoom with hysteresis (up above 1000·k m, down
// below 950·(k − 4) m), the re-scaled grid on a zoom change, the eye within its
// cell, and the shift of grid2 when the aircraft is over another cell. A
// position that is not finite leaves the terrain as it is.
Camera3d PosModel(Terrain3d& t, const SimState& s, double returnAltitude);

// The sky sphere round the scene origin, scene units.
constexpr double SKY_RADIUS = 1.0;

// The far clipping distance of one frame, scene units: a little beyond the
// furthest point of the sky sphere seen from the eye (its radius plus the
// eye's distance from its centre). With the far plane at the radius itself the
// eye, anywhere but at the centre, loses the sphere and the terrain's edge
// straight ahead to the clear colour: a white notch on the horizon.
double farPlane(const Camera3d& cam);

// The window caption: "y  " and the home's offset from the aircraft east and
// north in metres while the pole is drawn, "n" otherwise.
std::string homeCaption(const SimState& s, bool poleShown);

}  // namespace uav
