// The OpenGL half of the 3D view: fixed-function GL 1.1 and GLU on the context
// the window makes current. It draws what views/terrain3d.h computed: the
// terrain tiles from client-side vertex arrays (refilled only when grid2
// changes), the home pole and the textured sky sphere.
#pragma once

#include <string>
#include <vector>

#include "views/terrain3d.h"
#include "views/terrainmesh.h"
#include "views/textures.h"

struct GLUquadric;

namespace uav {

// How the terrain goes to GL: tiles outside the view skipped (the default),
// every tile from the vertex arrays, or the whole disc in immediate mode.
enum class TerrainSubmit { Culled, AllTiles, Immediate };

class Gl3dRenderer {
public:
    Gl3dRenderer() = default;
    ~Gl3dRenderer();  // release() must have run with the context current
    Gl3dRenderer(const Gl3dRenderer&) = delete;
    Gl3dRenderer& operator=(const Gl3dRenderer&) = delete;

    // The context-wide state of the view's creation: clear colour, depth
    // test, lights (the projection is set by each frame). Needs the context current.
    void initialise();
    // The context's largest texture side (GL_MAX_TEXTURE_SIZE), known once
    // initialised; 0 before.
    int maxTextureSide() const { return maxTextureSide_; }
    // Uploads the sky (RGB or RGBA, with mipmaps); replaces an earlier one.
    void setSky(const TexturePixels& sky);
    bool hasSky() const { return skyTexture_ != 0; }
    // The largest centred 4:3 rectangle of a w x h pixel window.
    void resize(int w, int h);
    // Marks the terrain arrays stale (grid2 changed).
    void terrainChanged() { stale_ = true; }
    // Model-view, lights and the frame (DrawPic) without the swap.
    void render(const Terrain3d& t, const Camera3d& cam);
    // Frees texture and quadric; needs the context current.
    void release();

    TerrainSubmit submit = TerrainSubmit::Culled;
    int tilesDrawn = 0;         // of the last frame
    double lastRebuildMs = 0;   // of the last refill of the arrays

private:
    int maxTextureSide_ = 0;
    void rebuild(const Terrain3d& t);
    void drawTerrain(const Terrain3d& t, const Camera3d& cam);
    void drawDiscImmediate(const TerrainGrid& g);

    struct Range {
        int first = 0, end = 0;  // vertices of one tile in vertexData_
    };
    std::vector<TerrainTile> tiles_;
    std::vector<Range> tileRanges_;  // per tile
    std::vector<float> vertexData_;               // r, g, b, x, y, z per vertex (GL_C3F_V3F)
    bool stale_ = true;
    unsigned skyTexture_ = 0;
    GLUquadric* sphere_ = nullptr;
    int vpW_ = 4, vpH_ = 3;
    double farPlane_ = SKY_RADIUS;  // of the frame being drawn, scene units
};

// The viewport of a w x h window keeping the 4:3 aspect: x, y, width, height.
struct Viewport {
    int x = 0, y = 0, w = 0, h = 0;
};
Viewport viewportFor(int w, int h);

}  // namespace uav
