#include "views/mapimage.h"

#include <filesystem>

#include "core/errors.h"
#include "views/textures.h"

namespace uav {

namespace {

constexpr std::size_t FILE_HEADER = 14;
constexpr std::size_t INFO_HEADER_MIN = 40;
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;
constexpr std::size_t MAX_MAP_FILE = std::size_t{64} << 20;  // far above a 400 x 400 map

std::uint32_t u32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
    throw SimError("Couldn't load \"" + name + "\"" + why);
}
[[noreturn]] void unreadable(const std::string& name) { throw SimError("Couldn't read file \"" + name + "\"."); }

void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}

}  // namespace

RgbImage decodeBmp(const std::string& name, const std::uint8_t* data, std::size_t size) {
    if (size < FILE_HEADER + INFO_HEADER_MIN || data[0] != 'B' || data[1] != 'M')
        refuse(name, ". Not a BMP image.");
    const std::uint32_t offset = u32(data + 10);
    const std::uint32_t infoSize = u32(data + 14);
    if (infoSize < INFO_HEADER_MIN) refuse(name, ". Only Windows BMP images are supported.");
    const auto width = static_cast<std::int32_t>(u32(data + 18));
    const auto rawHeight = static_cast<std::int32_t>(u32(data + 22));
    const int bits = u16(data + 28);
    const std::uint32_t compression = u32(data + 30);
    if (bits != 24 && bits != 32) refuse(name, ". Only 24 and 32 bit BMP images are supported.");
    if (compression == BI_BITFIELDS && bits == 32) {
        // Only the usual byte order B, G, R, (A) in the masks after the header.
        if (size < FILE_HEADER + INFO_HEADER_MIN + 12) unreadable(name);
        const std::uint8_t* m = data + FILE_HEADER + INFO_HEADER_MIN;
        if (u32(m) != 0x00FF0000u || u32(m + 4) != 0x0000FF00u || u32(m + 8) != 0x000000FFu)
            refuse(name, ". Only uncompressed BMP images are supported.");
    } else if (compression != BI_RGB) {
        refuse(name, ". Only uncompressed BMP images are supported.");
    }
    // A negative height means rows top-down; INT32_MIN has no positive twin.
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 65535 || rawHeight > 65535 ||
        rawHeight < -65535)
        refuse(name, ". The image size is not valid.");
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    const std::size_t bpp = static_cast<std::size_t>(bits) / 8;
    const std::size_t stride = (static_cast<std::size_t>(width) * bpp + 3) / 4 * 4;
    if (offset > size || size - offset < stride * static_cast<std::size_t>(height)) unreadable(name);

    RgbImage img;
    img.width = width;
    img.height = height;
    img.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        const std::uint8_t* src = data + offset + static_cast<std::size_t>(fileRow) * stride;
        std::uint8_t* dst = &img.rgb[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x, src += bpp, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return img;
}

std::vector<std::uint8_t> encodeBmp(const RgbImage& img) {
    const std::size_t stride = (static_cast<std::size_t>(img.width) * 3 + 3) / 4 * 4;
    const auto dataSize = static_cast<std::uint32_t>(stride * img.height);
    std::vector<std::uint8_t> v;
    v.reserve(54 + dataSize);
    v.push_back('B');
    v.push_back('M');
    put32(v, 54 + dataSize);
    put32(v, 0);
    put32(v, 54);
    put32(v, 40);
    put32(v, static_cast<std::uint32_t>(img.width));
    put32(v, static_cast<std::uint32_t>(img.height));
    put16(v, 1);
    put16(v, 24);
    put32(v, BI_RGB);
    put32(v, dataSize);
    put32(v, 2835);  // 72 dpi
    put32(v, 2835);
    put32(v, 0);
    put32(v, 0);
    for (int y = img.height - 1; y >= 0; --y) {
        const std::size_t rowStart = v.size();
        for (int x = 0; x < img.width; ++x) {
            const std::uint8_t* p = img.pixel(x, y);
            v.push_back(p[2]);
            v.push_back(p[1]);
            v.push_back(p[0]);
        }
        while (v.size() - rowStart < stride) v.push_back(0);
    }
    return v;
}

RgbImage loadMapFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw SimError("File not found  - " + path);
    if (!readWholeFile(path, MAX_MAP_FILE, bytes)) unreadable(path);
    RgbImage img = decodeBmp(path, bytes.data(), bytes.size());
    checkMapImage(img, path);
    return img;
}

}  // namespace uav
