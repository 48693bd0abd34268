#include "app/gl3d.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <cmath>

namespace uav {

namespace {
constexpr double FOV_Y_DEG = 50.0;
constexpr double ASPECT = 1.333;
constexpr double Z_NEAR = 0.0001;  // scene units
constexpr int SKY_SLICES = 30;
constexpr int SKY_STACKS = 30;
constexpr float HALF = MAP_SIZE / 2;

inline void emitPair(const TerrainGrid& g, int i, int j) {
    const ColourF& a = g.C(i, j);
    glColor3f(a.r, a.g, a.b);
    const float x = static_cast<float>(i) / HALF - 1.0f, y = static_cast<float>(j) / HALF - 1.0f;
    glVertex3f(x, y, g.H(i, j));
    const ColourF& b = g.C(i + 1, j);
    glColor3f(b.r, b.g, b.b);
    glVertex3f(static_cast<float>(i + 1) / HALF - 1.0f, y, g.H(i + 1, j));
}
}  // namespace

Viewport viewportFor(int w, int h) {
    Viewport v;
    if (w <= 0 || h <= 0) return v;
    if (w >= h * ASPECT) {
        v.h = h;
        v.w = static_cast<int>(std::lround(h * ASPECT));
    } else {
        v.w = w;
        v.h = static_cast<int>(std::lround(w / ASPECT));
    }
    v.x = (w - v.w) / 2;
    v.y = (h - v.h) / 2;
    return v;
}

Gl3dRenderer::~Gl3dRenderer() = default;

void Gl3dRenderer::initialise() {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    maxTextureSide_ = maxSide;
    glClearColor(1, 1, 1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    const GLfloat white[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT1, GL_SPECULAR, white);
    const GLfloat fromAboveSouth[4] = {0, 1, -1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, fromAboveSouth);
    glLightfv(GL_LIGHT1, GL_POSITION, fromAboveSouth);
    sphere_ = gluNewQuadric();
    gluQuadricTexture(sphere_, GL_TRUE);
}

void Gl3dRenderer::setSky(const TexturePixels& sky) {
    if (skyTexture_) glDeleteTextures(1, &skyTexture_);
    glGenTextures(1, &skyTexture_);
    glBindTexture(GL_TEXTURE_2D, skyTexture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const bool rgba = sky.channels == 4;
    gluBuild2DMipmaps(GL_TEXTURE_2D, rgba ? GL_RGBA : 3, sky.width, sky.height, rgba ? GL_RGBA : GL_RGB,
                      GL_UNSIGNED_BYTE, sky.pixels.data());
}

void Gl3dRenderer::resize(int w, int h) {
    const Viewport v = viewportFor(w, h);
    vpW_ = v.w;
    vpH_ = v.h;
    glViewport(v.x, v.y, v.w, v.h);
}

// All tiles go into one long triangle strip, the rows' segments joined by
// repeated vertices: the joining triangles have two equal corners and cover
// no pixel. Every segment starts at an even place in the strip, so each real
// triangle keeps the corner order it has in its own row strip, and a run of
// tiles next to each other in the array is drawn with one call.
void Gl3dRenderer::rebuild(const Terrain3d& t) {
    const auto t0 = std::chrono::steady_clock::now();
    const TerrainGrid& g = t.grid2;
    tiles_ = terrainTiles(g);
    tileRanges_.assign(tiles_.size(), {});
    vertexData_.clear();
    vertexData_.reserve(std::size_t{6} * 2 * GRID_N * GRID_N);
    auto count = [&] { return static_cast<int>(vertexData_.size() / 6); };
    auto put = [&](int i, int j) {
        const ColourF& c = g.C(i, j);
        vertexData_.insert(vertexData_.end(), {c.r, c.g, c.b, static_cast<float>(i) / HALF - 1.0f,
                                               static_cast<float>(j) / HALF - 1.0f, g.H(i, j)});
    };
    auto repeatLast = [&] {
        const std::size_t at = vertexData_.size() - 6;
        for (std::size_t k = 0; k < 6; ++k) vertexData_.push_back(vertexData_[at + k]);
    };
    for (std::size_t n = 0; n < tiles_.size(); ++n) {
        for (std::size_t k = 0; k < tiles_[n].segments.size(); ++k) {
            const StripSegment& s = tiles_[n].segments[k];
            if (count() > 0) {
                do repeatLast();
                while (count() % 2 == 0);  // the segment's first vertex lands on an even place
                put(s.i, s.j0);            // join: the segment's first vertex, twice
            }
            if (k == 0) tileRanges_[n].first = count();
            for (int j = s.j0; j <= s.j1; ++j) {
                put(s.i, j);
                put(s.i + 1, j);
            }
        }
        tileRanges_[n].end = count();
    }
    stale_ = false;
    lastRebuildMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void Gl3dRenderer::drawDiscImmediate(const TerrainGrid& g) {
    for (int i = 0; i < MAP_SIZE; ++i) {
        const int j0 = discFirstColumn(i);
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = j0; j <= MAP_SIZE - 1 - j0; ++j) emitPair(g, i, j);
        glEnd();
    }
}

void Gl3dRenderer::drawTerrain(const Terrain3d& t, const Camera3d& cam) {
    if (submit == TerrainSubmit::Immediate) {
        drawDiscImmediate(t.grid2);
        tilesDrawn = 0;
        return;
    }
    if (stale_) rebuild(t);
    const Frustum f = frustumOf(mul(perspective(FOV_Y_DEG, ASPECT, Z_NEAR, farPlane_), lookAt(cam)));
    glInterleavedArrays(GL_C3F_V3F, 0, vertexData_.data());
    tilesDrawn = 0;
    int runFirst = -1, runEnd = -1;  // tiles in view next to each other: one call
    auto flush = [&] {
        if (runFirst >= 0) glDrawArrays(GL_TRIANGLE_STRIP, runFirst, runEnd - runFirst);
        runFirst = -1;
    };
    for (std::size_t n = 0; n < tiles_.size(); ++n) {
        if (submit == TerrainSubmit::Culled && outsideFrustum(f, tiles_[n])) {
            flush();
            continue;
        }
        if (runFirst < 0) runFirst = tileRanges_[n].first;
        runEnd = tileRanges_[n].end;
        ++tilesDrawn;
    }
    flush();
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void Gl3dRenderer::render(const Terrain3d& t, const Camera3d& cam) {
    // Projection: the far plane moves with the eye, so the whole sky sphere
    // stays inside it.
    farPlane_ = farPlane(cam);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FOV_Y_DEG, ASPECT, Z_NEAR, farPlane_);
    // Model-view: the cockpit looking along the nose, the body y axis up.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(cam.ex, cam.ey, cam.ez, cam.ex + cam.fx, cam.ey + cam.fy, cam.ez + cam.fz, cam.ux, cam.uy, cam.uz);
    // Light 1 shines along the nose (it lights the sky ahead); light 0 from below.
    const GLfloat nose[4] = {cam.fx, cam.fy, cam.fz, 0};
    glLightfv(GL_LIGHT1, GL_POSITION, nose);
    const GLfloat below[4] = {0, 0, -1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, below);

    // DrawPic.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_COLOR_MATERIAL);
    // The terrain has no normals of its own: it takes the one the sky sphere
    // leaves behind (its last vertex, the nadir: straight down), set here so
    // the first frame looks as every later one.
    glNormal3f(0, 0, -1);
    drawTerrain(t, cam);
    if (cam.poleShown) {
        glColor3f(1, 0, 0);
        glBegin(GL_LINES);
        glVertex3f(t.hx, t.hy, 0);
        glVertex3f(t.hx, t.hy, t.hp);
        glEnd();
    }
    glColor3f(1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);
    if (skyTexture_) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, skyTexture_);
    }
    gluSphere(sphere_, SKY_RADIUS, SKY_SLICES, SKY_STACKS);
    glDisable(GL_TEXTURE_2D);
}

void Gl3dRenderer::release() {
    if (skyTexture_) glDeleteTextures(1, &skyTexture_);
    skyTexture_ = 0;
    if (sphere_) gluDeleteQuadric(sphere_);
    sphere_ = nullptr;
    stale_ = true;
}

}  // namespace uav
