// Textures: the Truevision TGA reader behind the sky texture, without any
// OpenGL. It turns file bytes into a pixel buffer (RGB or RGBA, 8 bits per
// channel, rows in file order: the first row in the file becomes the bottom
// row of the texture) or into the message box the user sees. The GL upload
// with mipmaps lives with the 3D window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace uav {

struct TexturePixels {
    int width = 0;
    int height = 0;
    int channels = 0;                 // 3: RGB, 4: RGBA
    std::vector<std::uint8_t> pixels; // width·height·channels bytes
};

// What a load gives: the pixels, or the message box to show (no texture then).
struct TextureLoad {
    bool ok = false;
    TexturePixels image;
    std::string caption;  // "TGA Texture" or "TGA File Error"
    std::string message;
};

// The largest texture side ever accepted, whatever the OpenGL context takes:
// 16384 x 16384 RGBA pixels are 1 GiB already.
inline constexpr int MAX_TEXTURE_SIDE = 16384;

// Decodes a whole TGA file. `name` is the file name as the messages show it.
// Uncompressed (type 2) and run-length encoded (type 10) true-colour images of
// 24 or 32 bits per pixel; everything else is refused with its message, and a
// file that ends before its last pixel gives the read message. An image wider
// or higher than `maxSide` (the context's largest texture; never more than
// MAX_TEXTURE_SIDE) is refused from its header, before anything is allocated.
// Never reads or writes past a buffer; the pixel buffer is allocated only once
// the file is known to be long enough to fill it.
TextureLoad decodeTga(const std::string& name, const std::uint8_t* data, std::size_t size,
                      int maxSide = MAX_TEXTURE_SIDE);

// The loader by extension: a name whose last four characters, upper-cased, are
// ".TGA" is read from disk and decoded ("File not found  - " when it does not
// exist). Any other name gives no texture and no message (ok false, message empty).
// The header is read and checked first; of the rest only as many bytes are
// read as the image it declares can use, so a huge file costs no more memory
// than its picture.
TextureLoad loadTextureFile(const std::string& fileName, int maxSide = MAX_TEXTURE_SIDE);

// Reads a regular file of at most maxBytes into `out`; false when it cannot
// be opened or read, or is larger.
bool readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out);

}  // namespace uav
