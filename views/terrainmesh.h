// How the 3D view submits its terrain: the disc of radius 200 cells as one
// triangle strip per grid row, cut into square tiles, and the test that skips a
// tile lying wholly outside the view frustum. Plain C++; the GL window turns
// each tile into a display list.
//
// A row's strip is only ever cut an even number of vertex pairs after its first
// pair, so every triangle keeps the vertex order it has in the uncut strip:
// the tiles draw exactly the triangles of the whole disc.
#pragma once

#include <array>
#include <vector>

#include "views/terrain3d.h"

namespace uav {

constexpr int TILE_CELLS = 16;  // tile side, cells (even)

// First column of row i's strip: round(200 − sqrt(200² − (i − 200)²)); the
// strip runs from it to 399 minus it.
int discFirstColumn(int i);

// Vertex pairs j = j0 .. j1 of the strip between rows i and i + 1.
struct StripSegment {
    int i = 0, j0 = 0, j1 = 0;
};

struct TerrainTile {
    std::vector<StripSegment> segments;
    std::array<float, 3> lo{}, hi{};  // bounding box, scene units
};

// The disc cut into tiles of TILE_CELLS rows; each row's strip is cut every
// TILE_CELLS columns counted from its first column. Boxes from grid2's heights.
std::vector<TerrainTile> terrainTiles(const TerrainGrid& g);

// Column-major 4 x 4 matrices as OpenGL keeps them.
using Mat4 = std::array<double, 16>;
Mat4 perspective(double fovyDeg, double aspect, double zNear, double zFar);  // gluPerspective
Mat4 lookAt(const Camera3d& c);                                            // gluLookAt(eye, eye + nose, up)
Mat4 mul(const Mat4& a, const Mat4& b);

// The six clip planes of projection · model-view (a·x + b·y + c·z + d ≥ 0 inside).
struct Frustum {
    std::array<std::array<double, 4>, 6> planes{};
};
Frustum frustumOf(const Mat4& projectionModelView);

// True when every corner of the box lies outside one plane by a margin larger
// than single-precision rounding: then no triangle inside it can reach a pixel.
bool outsideFrustum(const Frustum& f, const TerrainTile& t);

}  // namespace uav
