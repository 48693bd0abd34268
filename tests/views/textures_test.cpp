// The TGA reader behind the sky texture, and the BMP reader of the terrain
// maps: hand-made bytes for each rule, and files written by ImageMagick.
#include "views/textures.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/testutil.h"
#include "views/mapimage.h"

using namespace uav;
using namespace uav::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes tgaHeader(int type, int w, int h, int depth, int idLength = 0, int colourMapType = 0) {
    Bytes b(18, 0);
    b[0] = static_cast<std::uint8_t>(idLength);
    b[1] = static_cast<std::uint8_t>(colourMapType);
    b[2] = static_cast<std::uint8_t>(type);
    b[12] = static_cast<std::uint8_t>(w & 0xFF);
    b[13] = static_cast<std::uint8_t>(w >> 8);
    b[14] = static_cast<std::uint8_t>(h & 0xFF);
    b[15] = static_cast<std::uint8_t>(h >> 8);
    b[16] = static_cast<std::uint8_t>(depth);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TextureLoad decode(const Bytes& b) { return decodeTga("sky.tga", b.data(), b.size()); }

std::string failureOf(const Bytes& b) {
    const TextureLoad r = decode(b);
    return r.ok ? "loaded" : r.caption + ": " + r.message;
}

const std::string READ_FAILED = "TGA File Error: Couldn't read file \"sky.tga\".";

}  // namespace

TEST(Tga, UncompressedPixelsBecomeRgbInFileOrder) {
    const TextureLoad r = decode(tgaHeader(2, 2, 1, 24) + Bytes{1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.image.channels, 3);
    EXPECT_EQ(r.image.pixels, (Bytes{3, 2, 1, 6, 5, 4}));
    // 32 bits: RGBA; the five bytes of the image ID field are skipped.
    const TextureLoad a = decode(tgaHeader(2, 1, 2, 32, 5) + Bytes{9, 9, 9, 9, 9} + Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(a.ok) << a.message;
    EXPECT_EQ(a.image.channels, 4);
    EXPECT_EQ(a.image.pixels, (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(Tga, RunLengthPackets) {
    // 0x81: a run of two copies; 0x00: one raw pixel; 0x01: two raw pixels.
    const TextureLoad r =
        decode(tgaHeader(10, 5, 1, 24) + Bytes{0x81, 1, 2, 3, 0x00, 4, 5, 6, 0x01, 7, 8, 9, 10, 11, 12});
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.image.pixels, (Bytes{3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
    // A run longer than the image stops at its last pixel; bytes after it are ignored.
    const TextureLoad over = decode(tgaHeader(10, 2, 1, 32) + Bytes{0xFF, 1, 2, 3, 4, 0x55, 0x66});
    ASSERT_TRUE(over.ok) << over.message;
    EXPECT_EQ(over.image.pixels, (Bytes{3, 2, 1, 4, 3, 2, 1, 4}));
    // An RLE image with an ID field.
    const TextureLoad id = decode(tgaHeader(10, 1, 1, 24, 3) + Bytes{7, 7, 7} + Bytes{0x00, 1, 2, 3});
    ASSERT_TRUE(id.ok) << id.message;
    EXPECT_EQ(id.image.pixels, (Bytes{3, 2, 1}));
}

TEST(Tga, RefusedFilesAndTheirMessages) {
    const std::string load = "TGA File Error: Couldn't load \"sky.tga\"";
    struct Row {
        Bytes file;
        std::string message;
        const char* why;
    } rows[] = {
        {tgaHeader(3, 2, 2, 8) + Bytes(4, 0), load + ". Only 24 and 32bit TGA supported.", "grey-scale"},
        {tgaHeader(1, 2, 2, 24, 0, 1), load + ". Only 24 and 32bit TGA supported.", "colour-mapped type 1"},
        {tgaHeader(2, 2, 2, 24, 0, 1), load + ". Colormapped TGA files not supported.", "colour map present"},
        {tgaHeader(2, 2, 2, 16) + Bytes(8, 0), load + ". Only 24 and 32 bit TGA files supported.", "16 bits"},
        {tgaHeader(2, 1, 1, 25) + Bytes(4, 0), load + ". Only 24 and 32 bit TGA files supported.",
         "25 bits: 3-byte pixels, not the 4 of an RGBA texture"},
        {tgaHeader(2, 0, 5, 24), load + ". The image has no pixels.", "zero width"},
        {Bytes(10, 0), READ_FAILED, "shorter than the header"},
        {tgaHeader(2, 2, 2, 24, 200) + Bytes(12, 0), READ_FAILED, "ends inside the ID field"},
        {tgaHeader(2, 2, 2, 24) + Bytes(11, 0), READ_FAILED, "uncompressed, one byte short"},
        {tgaHeader(10, 3, 1, 24) + Bytes{0x80, 1, 2, 3}, READ_FAILED, "RLE, packets end early"},
        {tgaHeader(10, 3, 1, 24) + Bytes{0x02, 1, 2, 3, 4, 5, 6, 7, 8}, READ_FAILED, "RLE, raw packet cut short"},
        {tgaHeader(10, 2, 1, 24) + Bytes{0x81, 1, 2}, READ_FAILED, "RLE, run pixel cut short"},
        // 16384 x 16384 x 4 bytes would be 1 GiB: refused from the file size, nothing allocated.
        {tgaHeader(10, 16384, 16384, 32) + Bytes{0xFF, 1, 2, 3, 4}, READ_FAILED, "RLE, impossible size"},
        {tgaHeader(2, 16384, 16384, 32) + Bytes(64, 0), READ_FAILED, "uncompressed, impossible size"},
        // Larger than any texture: refused from the header alone, whatever the file holds.
        {tgaHeader(10, 65535, 65535, 32) + Bytes{0xFF, 1, 2, 3, 4},
         load + ". The image is 65535 x 65535 pixels; the largest texture here is 16384 x 16384.", "65535 square"},
        {tgaHeader(2, 16385, 1, 24) + Bytes(16385 * 3, 0),
         load + ". The image is 16385 x 1 pixels; the largest texture here is 16384 x 16384.", "one pixel too wide"},
    };
    for (const Row& r : rows) EXPECT_EQ(failureOf(r.file), r.message) << r.why;

    // The context's own limit, when smaller; never more than 16384.
    Bytes wide = tgaHeader(10, 4097, 2, 24);
    for (int packet = 0; packet < 65; ++packet) wide = wide + Bytes{0xFF, 1, 2, 3};  // 65 runs of 128 pixels
    const TextureLoad small = decodeTga("sky.tga", wide.data(), wide.size(), 4096);
    EXPECT_EQ(small.message, "Couldn't load \"sky.tga\". The image is 4097 x 2 pixels; the largest texture here is "
                             "4096 x 4096.");
    EXPECT_TRUE(decodeTga("sky.tga", wide.data(), wide.size(), 8192).ok);
    const Bytes huge = tgaHeader(2, 20000, 1, 24) + Bytes(60000, 0);
    EXPECT_FALSE(decodeTga("sky.tga", huge.data(), huge.size(), 32768).ok) << "a context claiming more is held to 16384";
}

TEST(Tga, FilesByExtensionAndOnDisk) {
    TempDir dir;
    const Bytes one = tgaHeader(2, 1, 1, 24) + Bytes{1, 2, 3};
    putFile(dir / "sky.tga", std::string(one.begin(), one.end()));
    putFile(dir / "sky.png", std::string(one.begin(), one.end()));
    EXPECT_TRUE(loadTextureFile(dir / "sky.tga").ok) << "a lower-case extension is a TGA file";
    const TextureLoad other = loadTextureFile(dir / "sky.png");
    EXPECT_FALSE(other.ok);
    EXPECT_EQ(other.message, "") << "another extension: no texture and no message";
    const TextureLoad missing = loadTextureFile(dir / "none.TGA");
    EXPECT_EQ(missing.caption, "TGA Texture");
    EXPECT_EQ(missing.message, "File not found  - " + (dir / "none.TGA"));
    const TextureLoad folder = loadTextureFile(dir.path.string() + "/x.tga/..");
    EXPECT_FALSE(folder.ok);

    // From disk the header is checked first and only the bytes the image can
    // use are read: a 2 x 1 image followed by 4 MB of something else loads, a
    // file declaring 65535 x 65535 is refused with its name.
    const Bytes two = tgaHeader(2, 2, 1, 24) + Bytes{1, 2, 3, 4, 5, 6} + Bytes(4 << 20, 0x33);
    putFile(dir / "long.tga", std::string(two.begin(), two.end()));
    const TextureLoad longFile = loadTextureFile(dir / "long.tga");
    ASSERT_TRUE(longFile.ok) << longFile.message;
    EXPECT_EQ(longFile.image.pixels, (Bytes{3, 2, 1, 6, 5, 4}));
    const Bytes vast = tgaHeader(10, 65535, 65535, 32) + Bytes(1 << 20, 0x7F);
    putFile(dir / "vast.tga", std::string(vast.begin(), vast.end()));
    EXPECT_EQ(loadTextureFile(dir / "vast.tga", 8192).message,
              "Couldn't load \"" + (dir / "vast.tga") + "\". The image is 65535 x 65535 pixels; the largest texture "
              "here is 8192 x 8192.");
    const Bytes cut = tgaHeader(2, 100, 100, 24) + Bytes(100, 0);
    putFile(dir / "cut.tga", std::string(cut.begin(), cut.end()));
    EXPECT_EQ(loadTextureFile(dir / "cut.tga").message, "Couldn't read file \"" + (dir / "cut.tga") + "\".");
}

TEST(Bmp, RowsBothWaysAndRefusals) {
    RgbImage img;
    img.width = 3;
    img.height = 2;
    img.rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    Bytes file = encodeBmp(img);
    EXPECT_EQ(decodeBmp("m.bmp", file.data(), file.size()).rgb, img.rgb);
    // Top-down: negative height, rows in the opposite order in the file.
    Bytes topDown = file;
    const int h = -2;
    for (int k = 0; k < 4; ++k) topDown[22 + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(h) >> (8 * k));
    const RgbImage flipped = decodeBmp("m.bmp", topDown.data(), topDown.size());
    EXPECT_EQ(Bytes(flipped.rgb.begin(), flipped.rgb.begin() + 9), Bytes(img.rgb.begin() + 9, img.rgb.end()));

    Bytes bits16 = file;
    bits16[28] = 16;
    Bytes rle = file;
    rle[30] = 1;
    EXPECT_EQ(errorOf([&] { decodeBmp("m.bmp", file.data(), file.size() - 1); }), "Couldn't read file \"m.bmp\".");
    EXPECT_EQ(errorOf([&] { decodeBmp("m.bmp", bits16.data(), bits16.size()); }),
              "Couldn't load \"m.bmp\". Only 24 and 32 bit BMP images are supported.");
    EXPECT_EQ(errorOf([&] { decodeBmp("m.bmp", rle.data(), rle.size()); }),
              "Couldn't load \"m.bmp\". Only uncompressed BMP images are supported.");
    EXPECT_EQ(errorOf([&] { decodeBmp("m.bmp", file.data(), 20); }), "Couldn't load \"m.bmp\". Not a BMP image.");
    EXPECT_EQ(errorOf([] { loadMapFile("/nonexistent/map.bmp"); }), "File not found  - /nonexistent/map.bmp");
}

// Files written by a real encoder, compared pixel by pixel with their source.
TEST(ImageMagick, TgaAndBmpFilesDecodeToTheirSourcePixels) {
    if (std::system("convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed (scripts/deps.sh installs it)";
    TempDir dir;
    // 37 x 23 pixels: runs of equal pixels (RLE run packets) among noise (raw packets).
    constexpr int W = 37, H = 23;
    Bytes rgba(W * H * 4);
    std::uint32_t seed = 12345;
    for (int p = 0; p < W * H; ++p) {
        seed = seed * 1103515245u + 12345u;
        const bool run = (p / 7) % 3 == 0;
        for (int c = 0; c < 4; ++c)
            rgba[p * 4 + c] = run ? static_cast<std::uint8_t>(40 * c + p / 7) : static_cast<std::uint8_t>(seed >> (8 * c));
    }
    std::string pam = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    pam.append(rgba.begin(), rgba.end());
    putFile(dir / "src.pam", pam);

    struct Variant {
        const char* args;
        int type, channels;
    } variants[] = {{"-alpha off -compress None", 2, 3},
                    {"-alpha off -compress RLE", 10, 3},
                    {"-compress None", 2, 4},
                    {"-compress RLE", 10, 4}};
    for (const Variant& v : variants) {
        const std::string out = dir / "out.tga";
        const std::string cmd = "convert " + (dir / "src.pam") + " " + v.args + " " + out;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const TextureLoad r = loadTextureFile(out);
        ASSERT_TRUE(r.ok) << v.args << ": " << r.message;
        const std::string file = fileBytes(out);
        EXPECT_EQ(file[2], v.type) << v.args;
        ASSERT_EQ(r.image.channels, v.channels) << v.args;
        ASSERT_EQ(r.image.width, W);
        ASSERT_EQ(r.image.height, H);
        // The reader keeps the rows in file order, and convert writes the top
        // row first whatever its header's origin bit says: compare both ways.
        int mismatches[2] = {0, 0};  // rows as in the source, rows upside down
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < v.channels; ++c) {
                    const std::uint8_t got = r.image.pixels[(y * W + x) * v.channels + c];
                    mismatches[0] += got != rgba[(y * W + x) * 4 + c];
                    mismatches[1] += got != rgba[((H - 1 - y) * W + x) * 4 + c];
                }
        EXPECT_TRUE(mismatches[0] == 0 || mismatches[1] == 0)
            << v.args << ": " << mismatches[0] << " and " << mismatches[1] << " bytes differ";
    }

    const std::string bmp = dir / "out.bmp";
    ASSERT_EQ(std::system(("convert " + (dir / "src.pam") + " -alpha off BMP3:" + bmp).c_str()), 0);
    const std::string bytes = fileBytes(bmp);
    const RgbImage img = decodeBmp("out.bmp", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    int mismatches = 0;
    for (int p = 0; p < W * H; ++p)
        for (int c = 0; c < 3; ++c) mismatches += img.rgb[p * 3 + c] != rgba[p * 4 + c];
    EXPECT_EQ(mismatches, 0);
}
