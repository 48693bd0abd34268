// uavsim-gen-txt: writes the images of the TXT folder.
//   uavsim-gen-txt OUTDIR
// OUTDIR gets Sky.tga, mountains.bmp, field_lake.bmp, desert.bmp and
// default.bmp (the map the 3D view starts with, built into the program).
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/txtassets.h"
#include "views/mapimage.h"

namespace {

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        f.flush();
        if (!f) {
            std::fprintf(stderr, "uavsim-gen-txt: cannot write %s\n", tmp.c_str());
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "uavsim-gen-txt: cannot rename %s to %s\n", tmp.c_str(), path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: uavsim-gen-txt OUTDIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = writeFile(dir + "Sky.tga", uav::makeSkyTga());
    for (const auto& m : uav::MAP_FILES) ok = writeFile(dir + m.name, uav::encodeBmp(uav::makeMap(m.kind))) && ok;
    return ok ? 0 : 1;
}
