#include "app/locations.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/errors.h"

namespace uav {

namespace fs = std::filesystem;

namespace {

const char* const TXT_FOLDER = "TXT";
const char* const CONF_FILE = "conf.ini";
const char* const REFERENCE_MODEL = "models/trainer.mdl";

bool isDir(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_directory(p, ec);
}

bool isFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

bool existsAtAll(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// "a/b/../c" -> "a/c", so messages name the folder a user would look in.
std::string clean(const fs::path& p) { return p.lexically_normal().string(); }

std::string withSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// The data folder of an installation: <prefix>/share/uavsim for an
// executable in <prefix>/bin.
fs::path shareDirOf(const std::string& exeDir) {
    if (exeDir.empty()) return {};
    return fs::path(exeDir) / ".." / "share" / "uavsim";
}

// A text with every decimal point between two digits made `sep`.
std::string withSeparator(std::string text, char sep) {
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        if (text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i - 1])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])))
            text[i] = sep;
    return text;
}

}  // namespace

FileLocations locateFiles(const LocateInput& in) {
    FileLocations f;
    const fs::path exeTxt = in.exeDir.empty() ? fs::path() : fs::path(in.exeDir) / TXT_FOLDER;
    const fs::path workTxt = in.workDir.empty() ? fs::path() : fs::path(in.workDir) / TXT_FOLDER;
    const fs::path share = shareDirOf(in.exeDir);
    const bool installation = isDir(share);
    const bool exeHasTxt = isDir(exeTxt);
    // An installed executable started in the source tree (or any folder with
    // TXT/) still keeps its settings in the user's folder: conf.ini beside it
    // could not be written.
    const bool workHasTxt = !installation && isDir(workTxt);
    for (const fs::path& p : {workTxt, exeTxt})
        if (!p.empty()) f.txtTried.push_back(clean(p));

    std::vector<fs::path> models;
    if (exeHasTxt || workHasTxt) {
        f.portable = true;
        f.confPath.clear();  // beside the executable
        f.txtDir = workHasTxt ? std::string(TXT_FOLDER) + "/" : withSlash(clean(exeTxt));
        f.dialogDir.clear();
        if (exeHasTxt) models.push_back(fs::path(in.exeDir) / REFERENCE_MODEL);
        if (workHasTxt) models.push_back(fs::path(in.workDir) / REFERENCE_MODEL);
    } else {
        f.portable = false;
        if (!share.empty()) f.txtTried.push_back(clean(share / TXT_FOLDER));
        // A relative $XDG_CONFIG_HOME is to be ignored, as the XDG base directory
        // rules say.
        fs::path config;
        if (!in.xdgConfigHome.empty() && fs::path(in.xdgConfigHome).is_absolute())
            config = fs::path(in.xdgConfigHome) / "uavsim";
        else if (!in.home.empty())
            config = fs::path(in.home) / ".config" / "uavsim";
        else
            config = fs::path("/nonexistent") / "uavsim";  // no home at all: the first write fails and says so
        f.configDir = clean(config);
        f.confPath = clean(config / CONF_FILE);
        f.txtDir = withSlash(share.empty() ? std::string(TXT_FOLDER) : clean(share / TXT_FOLDER));
        f.dialogDir = isDir(in.documentsDir) ? in.documentsDir : in.home;
    }
    if (!share.empty()) models.push_back(share / "models" / "trainer.mdl");

    const fs::path conf = f.confPath.empty() ? fs::path(in.exeDir) / CONF_FILE : fs::path(f.confPath);
    if (!existsAtAll(conf))
        for (const fs::path& m : models)
            if (isFile(m)) {
                f.firstStartModel = clean(m);
                break;
            }
    return f;
}

std::string ensureConfigDir(const std::string& dir) {
    if (dir.empty()) return {};
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return {};
    // Each folder made here (~/.config too, when missing) is the user's
    // alone, as the XDG base directory rules ask (0700).
    fs::path made;
    for (const fs::path& part : fs::path(dir)) {
        made /= part;
        if (fs::is_directory(made, ec)) continue;
        if (!fs::create_directory(made, ec) && ec) return "cannot create " + dir + ": " + ec.message();
        fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    if (!fs::is_directory(dir, ec)) return "cannot create " + dir;
    return {};
}

ModelTexts referenceModelTexts(const std::string& path, char decimalSep) {
    ModelTexts t = loadModelFile(path);
    if (decimalSep == '.') return t;
    for (std::string& s : t.scalars) s = withSeparator(s, decimalSep);
    for (auto& element : t.params)
        for (int j = 0; j < PARAM_COUNT; ++j)
            if (j != P_NAME) element[j] = withSeparator(element[j], decimalSep);
    for (auto& row : t.mix)
        for (std::string& s : row) s = withSeparator(s, decimalSep);
    return t;
}

std::string missingImagesNote(const FileLocations& f) {
    const fs::path dir = f.txtDir;
    if (dir.is_relative() || isDir(dir)) return {};
    std::string tried;
    for (const std::string& t : f.txtTried) tried += (tried.empty() ? "" : ", ") + t;
    return "uavsim: no TXT folder with the maps and the sky was found (looked in " + tried +
           "); the 3D view has only its built-in map";
}

}  // namespace uav
