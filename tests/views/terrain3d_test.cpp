// The 3D view's terrain and camera without OpenGL: map decoding, the mirrored
// tiling, the cell shift and the zoom steps.
#include "views/terrain3d.h"

#include <cmath>
#include <memory>

#include "tests/testutil.h"
#include "views/mapimage.h"

using namespace uav;
using namespace uav::test;

namespace {

RgbImage blankMap(int w = MAP_SIZE, int h = MAP_SIZE) { return RgbImage::black(w, h); }

// Every pixel a different height, so a misplaced index shows.
RgbImage rampMap() {
    RgbImage img = blankMap();
    for (int y = 0; y < MAP_SIZE; ++y)
        for (int x = 0; x < MAP_SIZE; ++x) {
            const int v = y * MAP_SIZE + x;  // < 65536 * 3: wraps into G·256 + R below
            std::uint8_t* p = &img.rgb[static_cast<std::size_t>(v) * 3];
            p[0] = static_cast<std::uint8_t>(v & 0xFF);
            p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
            p[2] = 0;
        }
    return img;
}

float mapHeight(const RgbImage& m, int x, int y) {
    const std::uint8_t* p = m.pixel(x, y);
    return static_cast<float>((p[1] * 256.0 + p[0]) / 65536.0);
}

std::unique_ptr<Terrain3d> terrainOf(const RgbImage& map) {
    auto t = std::make_unique<Terrain3d>();
    CrMainBuff(*t, map);
    CreateBuf(*t, 5, 1);
    CreateBufT(*t, 0, 0, 150);
    return t;
}

SimState at(double north, double east, double altitude) {
    SimState s;
    s.posX = north;
    s.posZ = east;
    s.posH = altitude;
    s.posD = std::hypot(north, east);
    return s;
}

}  // namespace

TEST(MapDecoding, ClassesColoursAndTrees) {
    struct Row {
        std::uint8_t b;
        int i, j;
        float extraHeight;
        ColourF colour;
        const char* why;
    } rows[] = {
        {30, 0, 0, 0, {0, 0.75f, 0}, "30/60 = 0.5 rounds to 0: grass, i even, j mod 4 = 0"},
        {0, 0, 1, 0, {0, 0.8f, 0}, "grass, i even, j mod 4 != 0"},
        {0, 1, 2, 0, {0, 0.65f, 0}, "grass, i odd, j mod 4 = 2"},
        {0, 1, 3, 0, {0, 0.75f, 0}, "grass, i odd, otherwise"},
        {60, 0, 0, 0.05f, {0, 0.4f, 0}, "forest: tree at i mod 4 = 0, j even"},
        {60, 2, 1, 0.05f, {0, 0.4f, 0}, "forest: tree at i mod 4 = 2, j odd"},
        {60, 2, 0, 0, {0, 0, 0}, "forest floor between the trees"},
        {60, 1, 1, 0, {0, 0, 0}, "forest floor, odd column"},
        {90, 3, 5, 0, {0, 0, 1}, "90/60 = 1.5 rounds to 2: water, i + j even"},
        {150, 3, 4, 0, {0, 0, 0.7f}, "150/60 = 2.5 rounds to 2: water, i + j odd"},
        {180, 2, 4, 0, {0.6f, 0.3f, 0.1f}, "soil, i and j even"},
        {180, 2, 3, 0, {0.7f, 0.4f, 0.2f}, "soil otherwise"},
        {210, 7, 7, 0, {1, 1, 1}, "210/60 = 3.5 rounds to 4: snow or buildings"},
    };
    for (const Row& r : rows) {
        const MapCell c = decodeMapPixel(0x34, 0x12, r.b, r.i, r.j);
        EXPECT_FLOAT_EQ(c.h, 0x1234 / 65536.0f + r.extraHeight) << r.why;
        EXPECT_EQ(c.c, r.colour) << r.why;
    }
}

TEST(MapDecoding, HomeIsOverPixel200_199WithNorthUpAndEastRight) {
    const RgbImage map = rampMap();
    const auto t = terrainOf(map);
    // Grid [i][j]: i east, j north; heights divided by 5 at zoom 1.
    EXPECT_FLOAT_EQ(t->grid2.H(200, 200), mapHeight(map, 200, 199) / 5);
    EXPECT_FLOAT_EQ(t->grid2.H(200, 210), mapHeight(map, 200, 189) / 5);  // 10 cells north: 10 rows up
    EXPECT_FLOAT_EQ(t->grid2.H(210, 200), mapHeight(map, 210, 199) / 5);  // 10 cells east: 10 columns right
    // Row and column 400 stay zero (the disc's last strip reaches row 400).
    EXPECT_EQ(t->grid2.H(400, 17), 0.0f);
    EXPECT_EQ(t->grid2.C(17, 400), ColourF{});
}

TEST(MapDecoding, OnlyA400By400MapIsTaken) {
    EXPECT_EQ(errorOf([] { checkMapImage(blankMap(512, 256), "TXT/big.bmp"); }),
              "Couldn't load \"TXT/big.bmp\". The map must be 400 x 400 pixels, this one is 512 x 256.");
    EXPECT_EQ(errorOf([] { checkMapImage(blankMap(), "m.bmp"); }), "no error");
}

TEST(Folding, EveryIndexLandsInTheMapAndTheTilingIsMirrored) {
    for (long long a = -2000; a <= 2000; ++a) {
        ASSERT_GE(foldShifted(a), 0) << a;
        ASSERT_LT(foldShifted(a), MAP_SIZE) << a;
        ASSERT_EQ(foldShifted(a), foldShifted(a + 800)) << a;
        ASSERT_GE(foldScaled(a + 2000), 0) << a;
        ASSERT_LT(foldScaled(a + 2000), MAP_SIZE) << a;
    }
    EXPECT_EQ(foldShifted(399), 399);
    EXPECT_EQ(foldShifted(400), 399);  // mirrored at the map's edge
    EXPECT_EQ(foldShifted(799), 0);
    EXPECT_EQ(foldShifted(-1), 0);     // west or south of home: the mirror image of column 0
    EXPECT_EQ(foldShifted(-400), 399);
    EXPECT_EQ(foldScaled(400), 398);
    EXPECT_EQ(foldScaled(798), 0);
    EXPECT_EQ(foldScaled(799), 0);     // would be -1
    // Zoom 13 samples index 123 · 13 = 1599, which is 799 after the period.
    Terrain3d t;
    CrMainBuff(t, rampMap());
    CreateBuf(t, 1, 13);
    EXPECT_EQ(t.grid1.H(123, 123), t.grid0.H(0, 0));
}

// One cell further east, the drawn grid is the old one moved one row west:
// everywhere, across home, west of it and across the tiling's period. (Cell
// numbers truncate toward zero, so the home cell reaches from -50 to 50 m; the
// eye's offset within it keeps the picture continuous.)
TEST(Folding, TheTerrainMovesOneCellPerCellFlown) {
    Terrain3d t;
    CrMainBuff(t, rampMap());
    CreateBuf(t, 5, 1);
    for (double bz : {-1602.0, -801.0, -800.0, -799.0, -2.0, 0.0, 1.0, 398.0, 399.0, 400.0, 798.0, 799.0,
                      800.0, 1599.0}) {
        PosModel(t, at(10, (bz + 0.5) * 50.0, 100), 0);
        const std::vector<float> before = t.grid2.h;
        PosModel(t, at(10, (bz + 1.5) * 50.0, 100), 0);
        for (int i = 0; i + 1 < MAP_SIZE; ++i)
            for (int j = 0; j < MAP_SIZE; j += 37)
                ASSERT_EQ(t.grid2.H(i, j), before[static_cast<std::size_t>(i + 1) * GRID_N + j])
                    << "cell " << bz << ", row " << i;
    }
}

TEST(Camera, EyeWithinItsCellAndHomePole) {
    auto t = terrainOf(rampMap());
    // 1234 m north, 75 m west, 300 m up; cells of 50 m, scene unit 10 km.
    const Camera3d c = PosModel(*t, at(1234, -75, 300), 150);
    EXPECT_NEAR(c.ey, (1234 - 24 * 50) / 10000.0, 1e-7);
    EXPECT_NEAR(c.ex, (-75 + 50) / 10000.0, 1e-7);  // the cell of -75 m is -1 (truncated toward zero)
    EXPECT_NEAR(c.ez, 0.03, 1e-7);
    EXPECT_EQ(t->ci, 24);
    EXPECT_EQ(t->cj, -1);
    EXPECT_TRUE(c.gridChanged);
    // Home: 24 cells south and one cell east of the scene origin; pole 150 m.
    EXPECT_FLOAT_EQ(t->hy, -24 / 200.0f);
    EXPECT_FLOAT_EQ(t->hx, 1 / 200.0f);
    EXPECT_FLOAT_EQ(t->hp, 0.015f);
    EXPECT_TRUE(c.poleShown);
    EXPECT_EQ(homeCaption(at(1234, -75, 300), true), "y  75  -1234");
    // The same cell again: no shift.
    EXPECT_FALSE(PosModel(*t, at(1240, -60, 300), 150).gridChanged);
    // More than 10 km from home at zoom 1: no pole.
    EXPECT_FALSE(PosModel(*t, at(10001, 0, 300), 150).poleShown);
    EXPECT_EQ(homeCaption(at(10001, 0, 300), false), "n");
}

TEST(Camera, ZoomStepsUpAbove1000MAndBackBelow950M) {
    const RgbImage map = rampMap();
    auto t = terrainOf(map);
    struct Step {
        double altitude;
        int k;
        const char* why;
    } steps[] = {
        {999, 1, "below 1000 m: zoom 1"},       {1001, 5, "above 1000 m: zoom 5"},
        {960, 5, "down to 960 m: still 5"},    {951, 5, "951 m: still 5"},
        {949, 1, "below 950 m: back to 1"},    {5001, 5, "one step per frame"},
        {5001, 9, "the next frame the next step"},
    };
    for (const Step& s : steps) {
        const Camera3d c = PosModel(*t, at(0, 0, s.altitude), 150);
        EXPECT_EQ(t->k, s.k) << s.why;
        EXPECT_NEAR(c.ez, s.altitude / (10000.0 * s.k), 1e-6) << s.why;
    }
    // At zoom 9: cells of 450 m, heights / 45, every 9th map cell.
    PosModel(*t, at(0, 0, 5001), 150);
    EXPECT_EQ(t->k, 9);
    EXPECT_DOUBLE_EQ(t->cell, 450.0);
    EXPECT_FLOAT_EQ(t->grid1.H(3, 4), t->grid0.H(27, 36) / 45.0f);
    EXPECT_FLOAT_EQ(t->grid2.H(200, 200), t->grid1.H(200, 200));
    EXPECT_FLOAT_EQ(t->hp, static_cast<float>(2 * 150 / 180000.0));
}

TEST(Camera, PositionsFarBeyondAnyMapStayInside) {
    auto t = terrainOf(rampMap());
    for (double d : {-1e12, -123456789.0, -40000.0, 39999.0, 1e15}) {
        PosModel(*t, at(d, -d / 3, 500), 150);
        EXPECT_GT(t->ci, -800);
        EXPECT_LT(t->ci, 800);
        EXPECT_GT(t->cj, -800);
        EXPECT_LT(t->cj, 800);
    }
    // A position that is not a number changes nothing.
    const int k = t->k, ci = t->ci;
    PosModel(*t, at(std::nan(""), 0, 500), 150);
    EXPECT_EQ(t->k, k);
    EXPECT_EQ(t->ci, ci);
}
