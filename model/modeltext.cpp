#include "model/modeltext.h"

#include <filesystem>

#include "core/errors.h"
#include "model/inifile.h"

namespace uav {

ModelTexts defaultModelTexts(TextDefaults which) {
    ModelTexts t;
    if (which == TextDefaults::StartUp)
        t.scalars = {"1", "1", "1", "2", "150", "1", "5", "0", "0"};
    else
        t.scalars.fill("1");
    t.active.fill(false);
    for (auto& e : t.params) e.fill("1");
    for (auto& row : t.mix) row.fill("0");
    return t;
}

std::string elemSection(int element) { return "Elem" + std::to_string(element); }
std::string paramKey(int param) { return "Param" + std::to_string(param); }
std::string mixKey(int row, int element) {
    return "Mix" + std::to_string(row + 1) + "-" + std::to_string(element);
}

ModelTexts loadModelTexts(const IniFile& store, TextDefaults which) {
    ModelTexts t = defaultModelTexts(which);
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const std::string sec = elemSection(i);
        t.active[i] = store.readInteger(sec, "Act", 0) != 0;
        for (int j = 0; j < PARAM_COUNT; ++j) t.params[i][j] = store.readString(sec, paramKey(j), "1");
    }
    for (int k = 0; k < SCALAR_COUNT; ++k) t.scalars[k] = store.readString("Model", SCALAR_KEYS[k], t.scalars[k]);
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) t.mix[r][j] = store.readString("Mix", mixKey(r, j), "0");
    return t;
}

namespace {

bool holdsLineBreak(const std::string& text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos; }

// The first UTF-8 character Windows-1251 has no form for (the whole rest of
// the text when it is not valid UTF-8).
std::string firstUnencodable(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const std::string ch = text.substr(i, n);
        if (!cp1251Encodable(ch)) return ch;
        i += n;
    }
    return text;
}

}  // namespace

std::optional<std::string> unstorableReason(const std::string& text, const std::string& field) {
    if (holdsLineBreak(text)) return "a line break cannot be written to a file (" + field + ")";
    if (!cp1251Encodable(text)) return "'" + firstUnencodable(text) + "' cannot be written in Windows-1251 (" + field + ")";
    return std::nullopt;
}

void checkStorable(const ModelTexts& t) {
    auto check = [](const std::string& text, const std::string& section, const std::string& key) {
        const std::string field = section + " " + key;
        if (holdsLineBreak(text)) throw SimError("a line break cannot be written to a file (" + field + ")");
        if (!cp1251Encodable(text)) throw SimError("'" + text + "' cannot be written in Windows-1251 (" + field + ")");
    };
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        for (int j = 0; j < PARAM_COUNT; ++j) check(t.params[i][j], elemSection(i), paramKey(j));
    for (int k = 0; k < SCALAR_COUNT; ++k) check(t.scalars[k], "Model", SCALAR_KEYS[k]);
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) check(t.mix[r][j], "Mix", mixKey(r, j));
}

void saveModelTexts(IniFile& store, const ModelTexts& t) {
    checkStorable(t);
    IniFile::Batch batch(store);
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const std::string sec = elemSection(i);
        store.writeString(sec, "Act", t.active[i] ? "1" : "0");
        for (int j = 0; j < PARAM_COUNT; ++j) store.writeString(sec, paramKey(j), t.params[i][j]);
    }
    for (int k = 0; k < SCALAR_COUNT; ++k) store.writeString("Model", SCALAR_KEYS[k], t.scalars[k]);
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j) store.writeString("Mix", mixKey(r, j), t.mix[r][j]);
    batch.commit();
}

bool holdsModel(const IniFile& store) {
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const std::string sec = elemSection(i);
        if (store.hasKey(sec, "Act")) return true;
        for (int j = 0; j < PARAM_COUNT; ++j)
            if (store.hasKey(sec, paramKey(j))) return true;
    }
    for (const char* key : SCALAR_KEYS)
        if (store.hasKey("Model", key)) return true;
    for (int r = 0; r < MIX_ROWS; ++r)
        for (int j = 0; j < ELEMENT_COUNT; ++j)
            if (store.hasKey("Mix", mixKey(r, j))) return true;
    return false;
}

namespace {

IniFile openModelFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw SimError("Cannot open model file '" + path + "'");
    return IniFile(path);
}

}  // namespace

bool modelFileHoldsModel(const std::string& path) { return holdsModel(openModelFile(path)); }

std::string noModelWarning(const std::string& path) {
    return "'" + path + "' holds no model (none of its keys); it is applied as the model of all-default texts";
}

ModelTexts loadModelFile(const std::string& path) {
    return loadModelTexts(openModelFile(path), TextDefaults::ModelFile);
}

void saveModelFile(const std::string& path, const ModelTexts& texts) {
    IniFile store(path);
    saveModelTexts(store, texts);
}

}  // namespace uav
