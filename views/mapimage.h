// Terrain map files: Windows BMP images of 24 or 32 bits per pixel,
// uncompressed, read into an RGB image without any window system. A file that
// is not such a BMP, or ends before its last row, is refused with a message
// naming it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "views/terrain3d.h"

namespace uav {

// Decodes BMP bytes; `name` goes into the message of the SimError it throws.
RgbImage decodeBmp(const std::string& name, const std::uint8_t* data, std::size_t size);

// Encodes an RGB image as a 24-bit bottom-up BMP (what the asset generator writes).
std::vector<std::uint8_t> encodeBmp(const RgbImage& img);

// Reads, decodes and checks a terrain map file (400 x 400). Throws SimError.
RgbImage loadMapFile(const std::string& path);

}  // namespace uav
