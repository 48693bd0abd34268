// The images of the TXT folder, drawn procedurally: three terrain maps, the
// built-in default map and the sky texture. Deterministic: the same program
// gives the same bytes, so the committed files can be regenerated on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "views/terrain3d.h"

namespace uav {

enum class MapKind { Mountains, FieldLake, Desert, Default };

// The TXT folder's map files and the map each holds.
struct MapFile {
    const char* name;
    MapKind kind;
};
inline constexpr MapFile MAP_FILES[] = {{"mountains.bmp", MapKind::Mountains},
                                        {"field_lake.bmp", MapKind::FieldLake},
                                        {"desert.bmp", MapKind::Desert},
                                        {"default.bmp", MapKind::Default}};

// A 400 x 400 map in the terrain encoding: height (G·256 + R) / 65536 map
// units (1 map unit = 2000 m), surface class B / 60 (0 grass, 1 forest,
// 2 water, 3 soil, 4 snow or buildings). Home, over pixel (200, 199), lies on
// a flat airfield at height 0.
RgbImage makeMap(MapKind kind);

// The sky for a GLU sphere: longitude across, from the nadir (first row) to
// the zenith (last row), 512 x 256, as an uncompressed 24-bit TGA file.
std::vector<std::uint8_t> makeSkyTga();

}  // namespace uav
