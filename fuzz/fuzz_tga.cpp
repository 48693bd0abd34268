// libFuzzer target for the image readers of the 3D view: the bytes are read
// as a TGA file (the sky) and as a BMP file (a terrain map). Either gives an
// image whose buffer matches its size, or a message; nothing else.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/errors.h"
#include "views/mapimage.h"
#include "views/textures.h"

namespace {
void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const uav::TextureLoad t = uav::decodeTga("f.tga", data, size);
    if (t.ok) {
        check(t.image.channels == 3 || t.image.channels == 4, "TGA channels");
        check(t.image.width > 0 && t.image.height > 0, "TGA size");
        check(t.image.pixels.size() == static_cast<std::size_t>(t.image.width) * t.image.height * t.image.channels,
              "TGA buffer size");
    } else {
        check(!t.message.empty(), "TGA failure has a message");
    }
    try {
        const uav::RgbImage m = uav::decodeBmp("f.bmp", data, size);
        check(m.rgb.size() == static_cast<std::size_t>(m.width) * m.height * 3, "BMP buffer size");
    } catch (const uav::SimError& e) {
        check(e.what()[0] != '\0', "BMP failure has a message");
    }
    return 0;
}
