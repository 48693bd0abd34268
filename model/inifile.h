// INI settings store for model files and conf.ini.
//
// On disk: Windows-1251 text, CR LF line ends (LF alone is accepted on
// reading). In memory and through this interface: UTF-8 strings.
// Section and key names match without regard to case (ASCII and Cyrillic).
// Reading drops blanks around a value, removes one pair of enclosing double or
// single quotes and cuts the value to 2047 characters. Writing replaces an
// existing key's value in place, appends a new key at the end of its section
// and a new section at the end of the file; every other line stays byte for
// byte. Each write goes to disk at once, atomically: a temporary file beside
// the target is written, flushed and renamed over it, so the file on disk is
// always either the old or the new one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace uav {

class IniFile {
public:
    // Opens the store on `path`. A missing file is an empty store (the file is
    // created at the first write). An unreadable existing file throws SimError.
    explicit IniFile(std::string path);

    // Builds a store from raw bytes (Windows-1251), with no file behind it;
    // writes then only change memory. Used by tests and fuzzing.
    static IniFile fromBytes(std::string_view bytes);

    const std::string& path() const { return path_; }

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Integer reading as the Windows profile API does: decimal, or hex with a
    // leading 0x; a value that is not an integer, or a missing key, gives the default.
    long readInteger(std::string_view section, std::string_view key, long defaultValue) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // Writes and commits to disk. On failure (read-only folder, full disk, a
    // text that cannot be encoded in Windows-1251) throws SimError and leaves
    // both the file and the store in memory as they were.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    // The current content as it would be written (Windows-1251, CR LF).
    std::string bytes() const;

private:
    IniFile() = default;
    std::string path_;
    std::vector<std::string> lines_;  // UTF-8, without line ends
    bool finalNewline_ = true;
};

// Encoding helpers (iconv), exposed for tests.
std::string cp1251ToUtf8(std::string_view bytes);
// Throws SimError when a character has no Windows-1251 form.
std::string utf8ToCp1251(std::string_view text);

}  // namespace uav
