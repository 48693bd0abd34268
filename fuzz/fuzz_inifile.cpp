// libFuzzer target for the INI store. The input up to the first NUL byte is
// the file; after it, lines "section|key|value" are written one by one
// (Windows-1251 bytes, converted to UTF-8 first unless the line starts with
// '!', which passes the raw bytes as possibly broken UTF-8).
//
// Invariants: reading never fails; hasKey agrees with readString (a missing
// key gives whatever default is asked for); a refused write changes nothing;
// a written value reads back as written (blanks trimmed, quotes removed, cut);
// other entries keep their values; re-reading bytes() gives the same values
// and the same bytes (checked on the input and after the last write).
#include "model/inifile.h"

#include "core/errors.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::vector<std::string_view> split(std::string_view s, char sep, std::size_t maxParts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const std::size_t at = s.find(sep);
        if (at == std::string_view::npos) break;
        parts.push_back(s.substr(0, at));
        s.remove_prefix(at + 1);
    }
    parts.push_back(s);
    return parts;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// What reading gives for a value written as `v` (Windows-1251 bytes).
std::string expectedRead(std::string_view v) {
    v = trimmed(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return uav::cp1251ToUtf8(v.substr(0, 2047));
}

using Probe = std::pair<std::string, std::string>;  // section, key (UTF-8)

// Section and key names as they stand in the file, to read back.
std::vector<Probe> probesOf(std::string_view file) {
    std::vector<Probe> probes{{"Elem0", "Act"}, {"Model", "Ix"}};
    std::string section;
    std::string lines(file);
    for (char& c : lines)
        if (c == '\r') c = '\n';
    for (std::string_view line : split(lines, '\n', 64)) {
        line = trimmed(line);
        if (!line.empty() && line.front() == '[') {
            section = uav::cp1251ToUtf8(trimmed(line.substr(1, line.find(']') - 1)));
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            probes.emplace_back(section, uav::cp1251ToUtf8(trimmed(line.substr(0, eq))));
        }
    }
    return probes;
}

using Value = std::optional<std::string>;  // nullopt: no such key

// A missing key gives back the default, whichever is asked for; a present one
// gives its value, whatever the default.
Value readValue(const uav::IniFile& f, const std::string& s, const std::string& k) {
    const bool has = f.hasKey(s, k);
    std::string v = f.readString(s, k, has ? "" : "?");
    check(has || v == "?", "hasKey agrees with readString");
    return has ? Value(std::move(v)) : std::nullopt;
}

std::vector<Value> readAll(const uav::IniFile& f, const std::vector<Probe>& probes) {
    std::vector<Value> values;
    values.reserve(probes.size());
    for (const auto& [s, k] : probes) values.push_back(readValue(f, s, k));
    return values;
}

// `values` are f's values of the probes.
void checkRoundTrip(const uav::IniFile& f, const std::vector<Probe>& probes, const std::vector<Value>& values) {
    const std::string bytes = f.bytes();
    const uav::IniFile again = uav::IniFile::fromBytes(bytes);
    check(again.bytes() == bytes, "bytes() is stable");
    check(readAll(again, probes) == values, "bytes() reads back the same values");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view file = input.substr(0, nul);
    const std::string_view ops = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    uav::IniFile f = uav::IniFile::fromBytes(file);
    std::vector<Probe> probes = probesOf(file);
    const std::vector<Value> initial = readAll(f, probes);
    for (const auto& [s, k] : probes) (void)f.readInteger(s, k, 0);
    checkRoundTrip(f, probes, initial);

    // Each write is read back at once; the other entries are compared after
    // the last one (an entry may only hold its first value or a written one).
    std::vector<std::string> writtenValues;
    std::string bytesNow = f.bytes();
    for (std::string_view op : split(ops, '\n', 16)) {
        const bool raw = !op.empty() && op.front() == '!';
        if (raw) op.remove_prefix(1);
        const auto parts = split(op, '|', 3);
        if (parts.size() != 3) continue;
        auto text = [raw](std::string_view s) { return raw ? std::string(s) : uav::cp1251ToUtf8(s); };
        const std::string section = text(parts[0]), key = text(parts[1]), value = text(parts[2]);

        try {
            f.writeString(section, key, value);
        } catch (const uav::SimError&) {
            check(f.bytes() == bytesNow, "a refused write changes nothing");
            continue;
        }
        const std::string written = expectedRead(uav::utf8ToCp1251(value));
        check(readValue(f, section, key) == written, "a written value reads back");
        writtenValues.push_back(written);
        probes.emplace_back(section, key);
        bytesNow = f.bytes();
    }
    if (writtenValues.empty()) return 0;
    const std::vector<Value> now = readAll(f, probes);
    for (std::size_t i = 0; i < initial.size(); ++i)
        check(now[i] == initial[i] ||
                  std::find(writtenValues.begin(), writtenValues.end(), now[i]) != writtenValues.end(),
              "other entries keep their values");
    checkRoundTrip(f, probes, now);
    return 0;
}
