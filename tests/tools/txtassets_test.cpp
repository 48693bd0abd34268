// The generated TXT images: what the maps promise, and that the committed
// files are the generator's own output.

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "tests/testutil.h"
#include "tools/txtassets.h"
#include "views/mapimage.h"

using namespace uav;

namespace {

double heightOf(const std::uint8_t* p) { return (p[1] * 256.0 + p[0]) / 65536.0; }
int surfaceOf(const std::uint8_t* p) { return static_cast<int>(std::lround(p[2] / 60.0)); }

// Connected areas (4-neighbourhood) of the pixels where `in` holds.
int areas(const RgbImage& img, const std::vector<bool>& in) {
    std::vector<bool> seen(in.size(), false);
    int n = 0;
    for (std::size_t start = 0; start < in.size(); ++start) {
        if (!in[start] || seen[start]) continue;
        ++n;
        std::vector<std::size_t> todo{start};
        seen[start] = true;
        while (!todo.empty()) {
            const std::size_t k = todo.back();
            todo.pop_back();
            const int x = static_cast<int>(k % img.width), y = static_cast<int>(k / img.width);
            const std::array<std::array<int, 2>, 4> next{{{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}};
            for (const auto& [nx, ny] : next) {
                if (nx < 0 || ny < 0 || nx >= img.width || ny >= img.height) continue;
                const std::size_t m = static_cast<std::size_t>(ny) * img.width + nx;
                if (in[m] && !seen[m]) {
                    seen[m] = true;
                    todo.push_back(m);
                }
            }
        }
    }
    return n;
}

}  // namespace

TEST(TxtAssets, MountainLakesLieFlatInTheDeepestValleys) {
    const RgbImage img = makeMap(MapKind::Mountains);
    std::vector<bool> water(static_cast<std::size_t>(img.width) * img.height, false);
    double level = -1, lowestLand = 1;
    int waterPixels = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const std::uint8_t* p = img.pixel(x, y);
            if (surfaceOf(p) == 2) {
                water[static_cast<std::size_t>(y) * img.width + x] = true;
                ++waterPixels;
                if (level < 0) level = heightOf(p);
                EXPECT_EQ(heightOf(p), level) << "a lake's surface is flat, pixel " << x << ", " << y;
            } else if (std::hypot(x - 200, y - 199) > 40) {  // beyond the airfield and its slopes
                lowestLand = std::min(lowestLand, heightOf(p));
            }
        }
    const double share = double(waterPixels) / double(img.width * img.height);
    EXPECT_GT(share, 0.01) << "lakes a pilot can see";
    EXPECT_LT(share, 0.05) << "still a mountain map";
    EXPECT_GE(lowestLand, level) << "no valley floor lies below the lakes";
    EXPECT_GE(areas(img, water), 3) << "several lakes, not one sea";
}

TEST(TxtAssets, CommittedFilesAreTheGeneratorsOutput) {
    const std::string txt = std::string(std::getenv("UAVSIM_SOURCE_DIR")) + "/TXT/";
    for (const auto& m : MAP_FILES) {
        const std::vector<std::uint8_t> want = encodeBmp(makeMap(m.kind));
        EXPECT_TRUE(test::fileBytes(txt + m.name) == std::string(want.begin(), want.end()))
            << m.name << " differs: run build/release/tools/uavsim-gen-txt TXT";
    }
    const std::vector<std::uint8_t> sky = makeSkyTga();
    EXPECT_TRUE(test::fileBytes(txt + "Sky.tga") == std::string(sky.begin(), sky.end()));
}
