#include "views/textures.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace uav {

namespace {

constexpr std::size_t TGA_HEADER = 18;
constexpr int TGA_UNCOMPRESSED = 2;
constexpr int TGA_RLE = 10;

const char* const FILE_ERROR = "TGA File Error";

TextureLoad failure(const char* caption, std::string message) {
    TextureLoad r;
    r.caption = caption;
    r.message = std::move(message);
    return r;
}

TextureLoad refused(const std::string& name, const std::string& why) {
    return failure(FILE_ERROR, "Couldn't load \"" + name + "\"" + why);
}

TextureLoad unreadable(const std::string& name) {
    return failure(FILE_ERROR, "Couldn't read file \"" + name + "\".");
}

// Copies one file pixel (B, G, R[, A]) as R, G, B[, A].
inline void putSwapped(std::uint8_t* dst, const std::uint8_t* src, int bpp) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    if (bpp == 4) dst[3] = src[3];
}

// The header's checks, in the order the user sees their messages; ok when
// the image may be decoded.
struct TgaHeader {
    std::size_t idLength = 0;
    int imageType = 0, width = 0, height = 0, depth = 0;
};

TextureLoad checkHeader(const std::string& name, const std::uint8_t* data, std::size_t size, int maxSide,
                        TgaHeader& h) {
    if (size < TGA_HEADER) return unreadable(name);
    h.idLength = data[0];
    const int colourMapType = data[1];
    h.imageType = data[2];
    h.width = data[12] | (data[13] << 8);
    h.height = data[14] | (data[15] << 8);
    h.depth = data[16];

    if (h.imageType != TGA_UNCOMPRESSED && h.imageType != TGA_RLE)
        return refused(name, ". Only 24 and 32bit TGA supported.");
    if (colourMapType != 0) return refused(name, ". Colormapped TGA files not supported.");
    // Only 24 and 32 bits: any other depth would not match the pixel size of
    // the texture made from it.
    if (h.depth != 24 && h.depth != 32) return refused(name, ". Only 24 and 32 bit TGA files supported.");
    if (h.width == 0 || h.height == 0) return refused(name, ". The image has no pixels.");
    const int side = std::clamp(maxSide, 1, MAX_TEXTURE_SIDE);
    if (h.width > side || h.height > side)
        return refused(name, ". The image is " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                                 " pixels; the largest texture here is " + std::to_string(side) + " x " +
                                 std::to_string(side) + ".");
    TextureLoad ok;
    ok.ok = true;
    return ok;
}

}  // namespace

TextureLoad decodeTga(const std::string& name, const std::uint8_t* data, std::size_t size, int maxSide) {
    TgaHeader h;
    if (TextureLoad c = checkHeader(name, data, size, maxSide, h); !c.ok) return c;
    const std::size_t idLength = h.idLength;
    const int imageType = h.imageType, width = h.width, height = h.height, depth = h.depth;

    const int bpp = depth / 8;
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t bytes = pixelCount * static_cast<std::size_t>(bpp);
    if (size < TGA_HEADER + idLength) return unreadable(name);
    const std::uint8_t* p = data + TGA_HEADER + idLength;  // the image ID field is skipped
    const std::size_t avail = size - TGA_HEADER - idLength;

    TextureLoad r;
    r.image.width = width;
    r.image.height = height;
    r.image.channels = bpp;

    if (imageType == TGA_UNCOMPRESSED) {
        if (avail < bytes) return unreadable(name);
        r.image.pixels.resize(bytes);
        std::uint8_t* out = r.image.pixels.data();
        for (std::size_t i = 0; i < pixelCount; ++i) putSwapped(out + i * bpp, p + i * bpp, bpp);
    } else {
        // A packet carries at most 128 pixels in 1 + bpp bytes: a shorter file
        // cannot fill the image, whatever its header says.
        const std::size_t minBytes = (pixelCount + 127) / 128 * static_cast<std::size_t>(1 + bpp);
        if (avail < minBytes) return unreadable(name);
        r.image.pixels.resize(bytes);
        std::uint8_t* out = r.image.pixels.data();
        std::size_t done = 0;  // pixels written
        std::size_t pos = 0;   // bytes read
        while (done < pixelCount) {
            if (pos >= avail) return unreadable(name);
            const int header = p[pos++];
            const std::size_t count = std::min<std::size_t>(header < 128 ? header + 1 : header - 127, pixelCount - done);
            if (header < 128) {
                if (avail - pos < count * bpp) return unreadable(name);
                for (std::size_t i = 0; i < count; ++i, pos += bpp, ++done) putSwapped(out + done * bpp, p + pos, bpp);
            } else {
                if (avail - pos < static_cast<std::size_t>(bpp)) return unreadable(name);
                for (std::size_t i = 0; i < count; ++i, ++done) putSwapped(out + done * bpp, p + pos, bpp);
                pos += bpp;
            }
        }
    }
    r.ok = true;
    return r;
}

bool readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > maxBytes) return false;
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.resize(static_cast<std::size_t>(size));
    f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
    if (static_cast<std::size_t>(f.gcount()) != size) return false;
    return true;
}

TextureLoad loadTextureFile(const std::string& fileName, int maxSide) {
    std::string ext = fileName.size() >= 4 ? fileName.substr(fileName.size() - 4) : fileName;
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext != ".TGA") return {};

    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) return failure("TGA Texture", "File not found  - " + fileName);
    if (!std::filesystem::is_regular_file(fileName, ec)) return unreadable(fileName);
    const auto fileSize = std::filesystem::file_size(fileName, ec);
    std::ifstream f(fileName, std::ios::binary);
    if (ec || !f) return unreadable(fileName);
    std::vector<std::uint8_t> bytes(TGA_HEADER);
    f.read(reinterpret_cast<char*>(bytes.data()), TGA_HEADER);
    if (static_cast<std::size_t>(f.gcount()) != TGA_HEADER) return unreadable(fileName);
    TgaHeader h;
    if (TextureLoad c = checkHeader(fileName, bytes.data(), bytes.size(), maxSide, h); !c.ok) return c;
    // The most the declared image can use: every pixel in full, and for
    // run-length encoding a packet header in front of each.
    const std::size_t pixelCount = static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height);
    const std::size_t bpp = static_cast<std::size_t>(h.depth / 8);
    const std::size_t useful =
        TGA_HEADER + h.idLength + pixelCount * (h.imageType == TGA_RLE ? 1 + bpp : bpp);
    const std::size_t take = std::min<std::size_t>(useful, fileSize);
    bytes.resize(take);
    f.read(reinterpret_cast<char*>(bytes.data() + TGA_HEADER), static_cast<std::streamsize>(take - TGA_HEADER));
    if (static_cast<std::size_t>(f.gcount()) != take - TGA_HEADER) return unreadable(fileName);
    return decodeTga(fileName, bytes.data(), bytes.size(), maxSide);
}

}  // namespace uav
