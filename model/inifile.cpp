// INI settings store. The file's lines are held as the bytes read from disk;
// only the names and values crossing the interface are converted between
// UTF-8 and Windows-1251, so content this code does not understand (other
// sections, comments, bytes without a Unicode form) is written back as it was.
#include "model/inifile.h"

#include "core/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cctype>
#include <exception>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace uav {

namespace {

constexpr std::size_t MAX_VALUE_CHARS = 2047;  // the profile API's 2048-byte buffer less the NUL
// Temporary files are "<name>.uavsim-tmp.XXXXXX": only names of exactly that
// form are ever removed as a dead writer's leftovers.
constexpr std::string_view TEMP_INFIX = ".uavsim-tmp.";
constexpr std::size_t TEMP_SUFFIX_LEN = 6;  // mkstemp's XXXXXX
constexpr std::size_t MAX_FILE_BYTES = std::size_t{16} << 20;  // a real settings file is a few kilobytes

// ---- encoding ---------------------------------------------------------------

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// ---- case-insensitive names ---------------------------------------------------

// Upper case of one Windows-1251 byte: ASCII letters, the Russian alphabet
// (а..я at 0xE0..0xFF, А..Я at 0xC0..0xDF, ё 0xB8 / Ё 0xA8) and the other
// Cyrillic letters of the code page.
unsigned char upper1251(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0xB8: return 0xA8;  // ё
    case 0x90: return 0x80;  // ђ
    case 0x83: return 0x81;  // ѓ
    case 0x9A: return 0x8A;  // љ
    case 0x9C: return 0x8C;  // њ
    case 0x9D: return 0x8D;  // ќ
    case 0x9E: return 0x8E;  // ћ
    case 0x9F: return 0x8F;  // џ
    case 0xA2: return 0xA1;  // ў
    case 0xB3: return 0xB2;  // і
    case 0xB4: return 0xA5;  // ґ
    case 0xBA: return 0xAA;  // є
    case 0xBC: return 0xA3;  // ј
    case 0xBE: return 0xBD;  // ѕ
    case 0xBF: return 0xAF;  // ї
    default: return c;
    }
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper1251(static_cast<unsigned char>(a[i])) != upper1251(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// ---- lines --------------------------------------------------------------------

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

enum class LineKind { Other, Section, Key };

struct Line {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key lines: the raw value, trimmed
};

Line parseLine(std::string_view raw) {
    const std::string_view t = trim(raw);
    Line line;
    if (t.empty() || t.front() == ';') return line;
    if (t.front() == '[') {
        const std::size_t close = t.find(']');
        if (close == std::string_view::npos) return line;
        line.kind = LineKind::Section;
        line.name = trim(t.substr(1, close - 1));
        return line;
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return line;
    line.name = trim(t.substr(0, eq));
    if (line.name.empty()) return line;
    line.kind = LineKind::Key;
    line.value = trim(t.substr(eq + 1));
    return line;
}

// Case-folded FNV-1a hash of a name, for the lookup index.
std::uint64_t foldHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : name) {
        h ^= upper1251(static_cast<unsigned char>(c));
        h *= 1099511628211ull;
    }
    return h;
}

// A key's hash within the section whose first header has ordinal `section`.
std::uint64_t keyHash(std::string_view key, std::size_t section) {
    std::uint64_t h = foldHash(key) ^ ((section + 1) * 0x9E3779B97F4A7C15ull);
    h ^= h >> 29;
    return h * 0xBF58476D1CE4E5B9ull;
}

// The text with CR LF for every '\n'.
std::string toDisk(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4 + 16);  // grows on for a file of mostly blank lines
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        out.append(text.substr(0, nl));
        if (nl == std::string_view::npos) break;
        out += "\r\n";
        text.remove_prefix(nl + 1);
    }
    return out;
}

// A name from the interface in the file's encoding; false when it has no
// Windows-1251 form (and so cannot be in the file).
std::size_t encode1251(std::string_view text, std::string* out);  // below, with the code page

// `buf` holds the converted name when it is not plain ASCII; `out` views the
// result either way.
bool encodeName(std::string_view utf8, std::string& buf, std::string_view& out) {
    if (isAscii(utf8)) {
        out = utf8;
        return true;
    }
    buf.clear();
    if (encode1251(utf8, &buf) != std::string_view::npos) return false;
    out = buf;
    return true;
}

// ---- files --------------------------------------------------------------------

std::string osReason(int err) { return std::strerror(err); }

SimError writeError(const std::string& path, const std::string& reason) {
    return SimError("Unable to write to '" + path + "': " + reason);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Reads a regular file of at most MAX_FILE_BYTES. Anything else (a FIFO, a
// device, a link to /dev/zero) is refused without reading from it.
std::string readWholeFile(const std::string& path, bool& exists) {
    exists = false;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        // A path that names nothing (also through a component that is a
        // file) is a store not written yet.
        if (errno == ENOENT || errno == ENOTDIR) return {};
        throw SimError("Unable to read '" + path + "': " + osReason(errno));
    }
    exists = true;
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) throw SimError("Unable to read '" + path + "': " + osReason(errno));
    if (!S_ISREG(st.st_mode)) throw SimError("Unable to read '" + path + "': not a regular file");
    auto tooLarge = [&] { return SimError("Unable to read '" + path + "': the file is larger than 16 MiB"); };
    if (static_cast<std::uint64_t>(st.st_size) > MAX_FILE_BYTES) throw tooLarge();
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw SimError("Unable to read '" + path + "': " + osReason(errno));
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > MAX_FILE_BYTES) throw tooLarge();  // grew while being read
    }
    return data;
}

bool isTempOf(std::string_view entry, std::string_view base) {
    if (entry.size() != base.size() + TEMP_INFIX.size() + TEMP_SUFFIX_LEN || entry.substr(0, base.size()) != base ||
        entry.substr(base.size(), TEMP_INFIX.size()) != TEMP_INFIX)
        return false;
    // mkstemp's letters and digits only
    for (char c : entry.substr(base.size() + TEMP_INFIX.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// Removes temporary files that writers killed half-way left beside `base`.
// A live writer holds an exclusive lock on its temporary file; a file whose
// lock can be taken has no live writer.
void removeStaleTemps(const std::string& dir, const std::string& base) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        if (!isTempOf(e->d_name, base)) continue;
        const std::string p = dir + "/" + e->d_name;
        Fd fd(::open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        struct stat held{}, named{};
        if (::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) && ::lstat(p.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            ::unlink(p.c_str());
    }
    ::closedir(d);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces the file at `path` by `data` so that a reader, or the file after a
// crash at any moment, sees either the old or the new content in full.
// Order: temporary file beside the target (locked, mode of the old file),
// write every byte, fsync, rename over the target, fsync the folder.
void replaceFileAtomically(const std::string& path, std::string_view data) {
    std::string target = path;
    struct stat old{};
    if (::lstat(path.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) {
        // Write through a symbolic link instead of replacing the link.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool existed = ::stat(target.c_str(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : 0644;

    const std::filesystem::path tp(target);
    const std::string dir = tp.has_parent_path() ? tp.parent_path().string() : std::string(".");
    const std::string base = tp.filename().string();
    removeStaleTemps(dir, base);

    std::string temp;
    Fd fd;
    for (int attempt = 0;; ++attempt) {
        temp = target + std::string(TEMP_INFIX) + std::string(TEMP_SUFFIX_LEN, 'X');
        fd.reset(::mkostemp(temp.data(), O_CLOEXEC));
        if (fd.get() < 0) throw writeError(path, osReason(errno));
        // Another writer's clean-up may have taken the file between its
        // creation and the lock: then start again with a new one.
        struct stat held{}, named{};
        const bool locked = ::flock(fd.get(), LOCK_EX) == 0;
        const int err = errno;
        const bool ours = ::fstat(fd.get(), &held) == 0 && ::stat(temp.c_str(), &named) == 0 &&
                          held.st_ino == named.st_ino && held.st_dev == named.st_dev;
        if (locked && ours) break;
        // A file still under our name that we could not lock is ours to remove
        // before the next try; one taken away is gone already.
        if (ours) ::unlink(temp.c_str());
        if (attempt == 3) throw writeError(path, "cannot lock temporary file: " + osReason(locked ? EAGAIN : err));
    }

    auto fail = [&] {
        const std::string reason = osReason(errno);
        ::unlink(temp.c_str());
        return writeError(path, reason);
    };
    if (::fchmod(fd.get(), mode) != 0) throw fail();
    if (existed && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        // Only root may hand the file to its old owner; others keep their own.
    }
    if (!writeAll(fd.get(), data)) throw fail();
    if (::fsync(fd.get()) != 0) throw fail();
    // The rename happens while the lock is held, so no clean-up can take the
    // finished temporary file away; closing afterwards cannot lose data that
    // fsync has already put on disk.
    if (::rename(temp.c_str(), target.c_str()) != 0) throw fail();
    fd.reset();

    // Make the rename itself durable. Some file systems refuse fsync on a
    // folder; the new content is in place either way.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

}  // namespace

// ---- encoding helpers ----------------------------------------------------------

namespace {

// Unicode code points of the bytes 0x80..0xFF in Windows-1251. The code page
// leaves 0x98 undefined; it maps to the C1 control U+0098 (as Windows itself
// does), so a file holding that byte reads and writes back unchanged.
constexpr char16_t CP1251_HIGH[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    // C0..FF: А..я, U+0410..U+044F, computed below
};

char16_t highCodePoint(unsigned char b) {
    return b >= 0xC0 ? static_cast<char16_t>(0x0410 + (b - 0xC0)) : CP1251_HIGH[b - 0x80];
}

// Every code point of the table lies below U+2200.
constexpr char32_t TABLE_LIMIT = 0x2200;

struct ReverseTable {
    unsigned char byte[TABLE_LIMIT] = {};
};

constexpr ReverseTable makeReverseTable() {
    ReverseTable t;
    for (int i = 0; i < 0x40; ++i) t.byte[CP1251_HIGH[i]] = static_cast<unsigned char>(0x80 + i);
    for (int i = 0; i < 0x40; ++i) t.byte[0x0410 + i] = static_cast<unsigned char>(0xC0 + i);
    return t;
}

constexpr ReverseTable REVERSE = makeReverseTable();

// The Windows-1251 byte of a code point, or 0 when it has none.
unsigned char cp1251Byte(char32_t cp) {
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    return cp < TABLE_LIMIT ? REVERSE.byte[cp] : 0;
}

// Decodes one UTF-8 sequence at `s[i]`; returns false on a malformed one
// (overlong, surrogate, beyond U+10FFFF, cut short).
bool nextCodePoint(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    else return false;
    if (s.size() - i < static_cast<std::size_t>(len)) return false;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(len);
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-8 to Windows-1251; the position of the first character without a
// Windows-1251 form (or of malformed UTF-8), or npos when all converted.
std::size_t encode1251(std::string_view text, std::string* out) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t at = i;
        char32_t cp = 0;
        if (!nextCodePoint(text, i, cp)) return at;
        const unsigned char b = cp1251Byte(cp);
        if (b == 0 && cp != 0) return at;
        if (out) *out += static_cast<char>(b);
    }
    return std::string_view::npos;
}

}  // namespace

std::string cp1251ToUtf8(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, b < 0x80 ? char32_t(b) : char32_t(highCodePoint(b)));
    }
    return out;
}

std::string utf8ToCp1251(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    if (encode1251(text, &out) != std::string_view::npos)
        throw SimError("'" + std::string(text) + "' cannot be written in Windows-1251");
    return out;
}

bool cp1251Encodable(std::string_view utf8) {
    return isAscii(utf8) || encode1251(utf8, nullptr) == std::string_view::npos;
}

// ---- the store -------------------------------------------------------------------

namespace {

// A file saved with a UTF-8 byte-order mark holds UTF-8 texts: they are taken
// into Windows-1251 like every other store. A character the code page lacks
// (or a malformed sequence) keeps its bytes, so it is written back unchanged.
std::string fromUtf8File(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t at = i;
        char32_t cp = 0;
        if (!nextCodePoint(utf8, i, cp)) {
            out += utf8[at];
            i = at + 1;
            continue;
        }
        const unsigned char b = cp1251Byte(cp);
        if (b != 0 || cp == 0) out += static_cast<char>(b);
        else out.append(utf8.substr(at, i - at));
    }
    return out;
}

// File bytes to the text held in memory: Windows-1251, every line ending in
// '\n' (CR LF, LF and a lone CR all end a line).
std::string normalise(std::string_view bytes) {
    constexpr std::string_view BOM = "\xEF\xBB\xBF";
    std::string converted;
    if (bytes.substr(0, BOM.size()) == BOM) {
        // Every mark at the start goes (one saved over another), so the text
        // written back cannot start with one.
        while (bytes.substr(0, BOM.size()) == BOM) bytes.remove_prefix(BOM.size());
        converted = fromUtf8File(bytes);
        // "п»ї" at the start is a mark once misread as Windows-1251: its bytes
        // are the mark's own and would read back as one.
        std::size_t misread = 0;
        while (converted.compare(misread, BOM.size(), BOM) == 0) misread += BOM.size();
        converted.erase(0, misread);
        bytes = converted;
    }
    std::string text;
    text.reserve(bytes.size() + 1);
    while (!bytes.empty()) {
        const std::size_t cr = bytes.find('\r');
        text.append(bytes.substr(0, cr));
        if (cr == std::string_view::npos) break;
        text += '\n';
        bytes.remove_prefix(cr + 1);
        if (!bytes.empty() && bytes.front() == '\n') bytes.remove_prefix(1);
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
}

}  // namespace

std::string_view IniFile::lineAt(std::size_t offset) const {
    const std::size_t end = text_.find('\n', offset);
    return std::string_view(text_).substr(offset, end - offset);
}

void IniFile::reindex() {
    headers_.clear();
    sections_.clear();
    keys_.clear();
    // For a large text two passes, the first only counting, so the index takes
    // no more memory than it needs (a file of short key lines holds millions
    // of them); a small one is indexed at once.
    constexpr std::size_t COUNT_FIRST_BYTES = std::size_t{1} << 16;
    for (int pass = text_.size() > COUNT_FIRST_BYTES ? 0 : 1; pass < 2; ++pass) {
        std::size_t headerCount = 0, keyCount = 0;
        for (std::size_t off = 0; off < text_.size();) {
            const std::size_t end = text_.find('\n', off);
            const Line l = parseLine(std::string_view(text_).substr(off, end - off));
            const auto at = static_cast<std::uint32_t>(off);
            if (l.kind == LineKind::Section) {
                if (pass == 1) {
                    headers_.push_back(at);
                    sections_.push_back({foldHash(l.name), static_cast<std::uint32_t>(headerCount), at});
                }
                ++headerCount;
            } else if (l.kind == LineKind::Key && headerCount > 0) {
                const auto section = static_cast<std::uint32_t>(headerCount - 1);
                if (pass == 1) keys_.push_back({keyHash(l.name, section), section, at});
                ++keyCount;
            }
            off = end + 1;
        }
        if (pass == 0) {
            headers_.reserve(headerCount);
            sections_.reserve(headerCount);
            keys_.reserve(keyCount);
        }
    }
    auto byHash = [](const Ref& a, const Ref& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.offset < b.offset;
    };
    std::sort(sections_.begin(), sections_.end(), byHash);
    std::sort(keys_.begin(), keys_.end(), byHash);
}

std::size_t IniFile::findSection(std::string_view section) const {
    const std::uint64_t h = foldHash(section);
    auto it = std::lower_bound(sections_.begin(), sections_.end(), h,
                               [](const Ref& r, std::uint64_t v) { return r.hash < v; });
    for (; it != sections_.end() && it->hash == h; ++it)
        if (sameName(parseLine(lineAt(it->offset)).name, section)) return it->section;
    return NONE;
}

std::size_t IniFile::sectionEnd(std::size_t section) const {
    return section + 1 < headers_.size() ? headers_[section + 1] : text_.size();
}

std::size_t IniFile::findKey(std::string_view section, std::string_view key) const {
    const std::size_t sec = findSection(section);
    if (sec == NONE) return NONE;
    const std::uint64_t h = keyHash(key, sec);
    auto it = std::lower_bound(keys_.begin(), keys_.end(), h,
                               [](const Ref& r, std::uint64_t v) { return r.hash < v; });
    for (; it != keys_.end() && it->hash == h; ++it)
        if (it->section == sec && sameName(parseLine(lineAt(it->offset)).name, key)) return it->offset;
    return NONE;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    bool exists = false;
    text_ = normalise(readWholeFile(path_, exists));
    reindex();
}

IniFile IniFile::fromBytes(std::string_view bytes) {
    IniFile f;
    f.text_ = normalise(bytes);
    f.reindex();
    return f;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::string secBuf, keyBuf;
    std::string_view sec, k;
    if (!encodeName(section, secBuf, sec) || !encodeName(key, keyBuf, k)) return std::string(defaultValue);
    const std::size_t at = findKey(sec, k);
    if (at == NONE) return std::string(defaultValue);
    std::string_view v = parseLine(lineAt(at)).value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return cp1251ToUtf8(v.substr(0, MAX_VALUE_CHARS));
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    std::string secBuf, keyBuf;
    std::string_view sec, k;
    return encodeName(section, secBuf, sec) && encodeName(key, keyBuf, k) && findKey(sec, k) != NONE;
}

long IniFile::readInteger(std::string_view section, std::string_view key, long defaultValue) const {
    const std::string s = readString(section, key, "");
    std::string_view t = s;
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    bool hex = false;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        hex = true;
        t.remove_prefix(2);
    } else if (t.size() > 1 && t[0] == '$') {
        hex = true;
        t.remove_prefix(1);
    }
    if (t.empty()) return defaultValue;
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    std::uint64_t mag = 0;
    for (char c : t) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return defaultValue;
        mag = mag * (hex ? 16u : 10u) + static_cast<std::uint64_t>(digit);
        if (mag > limit) return defaultValue;
    }
    // Hex digits give a 32-bit pattern: 0xFFFFFFFF is -1.
    const auto value = static_cast<std::int64_t>(hex ? static_cast<std::int32_t>(static_cast<std::uint32_t>(mag))
                                                     : static_cast<std::int64_t>(mag));
    return static_cast<long>(negative ? -value : value);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string where = path_.empty() ? std::string("memory") : path_;
    std::string sec, k, v;
    try {
        sec = utf8ToCp1251(section);
        k = utf8ToCp1251(key);
        v = utf8ToCp1251(value);
    } catch (const SimError& e) {
        throw writeError(where, e.what());
    }
    auto hasAny = [](std::string_view s, std::string_view chars) {
        return s.find_first_of(chars) != std::string_view::npos;
    };
    const std::string_view breaks("\r\n\0", 3);
    if (sec.empty() || trim(sec) != sec || hasAny(sec, breaks) || hasAny(sec, "]"))
        throw writeError(where, "invalid section name '" + std::string(section) + "'");
    if (k.empty() || trim(k) != k || hasAny(k, breaks) || hasAny(k, "=") || k.front() == '[' || k.front() == ';')
        throw writeError(where, "invalid key name '" + std::string(key) + "'");
    if (hasAny(v, breaks)) throw writeError(where, "a value cannot hold a line break");
    if (text_.size() + sec.size() + k.size() + v.size() + 4 >= UINT32_MAX)
        throw writeError(where, "the file would be larger than 4 GiB");

    // Edit a copy when a file write follows (the store changes only once the
    // file holds the copy); in a batch or without a file nothing can fail
    // from here on, so the text is edited in place.
    const bool inPlace = batchDepth_ > 0 || path_.empty();
    std::string copy;
    if (!inPlace) copy = text_;
    std::string& next = inPlace ? text_ : copy;
    const std::size_t header = findSection(sec);
    if (header == NONE) {
        next += "[" + sec + "]\n" + k + "=" + v + "\n";
    } else if (const std::size_t at = findKey(sec, k); at != NONE) {
        const std::string_view line = lineAt(at);
        next.replace(at, line.size(), std::string(parseLine(line).name) + "=" + v);  // keeps the file's spelling of the key
    } else {
        // After the section's last key line (or its header).
        const std::size_t end = sectionEnd(header);
        std::size_t insertAt = headers_[header] + lineAt(headers_[header]).size() + 1;
        for (std::size_t off = insertAt; off < end;) {
            const std::string_view line = lineAt(off);
            off += line.size() + 1;
            if (parseLine(line).kind == LineKind::Key) insertAt = off;
        }
        next.insert(insertAt, k + "=" + v + "\n");
    }
    if (!inPlace) {
        replaceFileAtomically(path_, toDisk(next));
        text_ = std::move(next);
    }
    reindex();
    if (batchDepth_ > 0) pending_ = !path_.empty();
}

void IniFile::flush() {
    if (!pending_) return;
    replaceFileAtomically(path_, toDisk(text_));
    pending_ = false;
}

IniFile::Batch::Batch(IniFile& file)
    : file_(file), savedText_(file.text_), savedPending_(file.pending_), uncaught_(std::uncaught_exceptions()) {
    ++file_.batchDepth_;
}

IniFile::Batch::~Batch() {
    // Left by an exception: the operation did not complete, so none of its
    // writes may reach the file (an outer batch would otherwise commit them).
    if (!cancelled_ && std::uncaught_exceptions() > uncaught_) cancel();
    if (--file_.batchDepth_ > 0 || cancelled_) return;
    try {
        file_.flush();
    } catch (const SimError&) {
        // Reported by commit() where the caller wants to know; the texts stay in memory.
    }
}

void IniFile::Batch::commit() {
    if (cancelled_) return;
    if (file_.batchDepth_ == 1) file_.flush();
}

void IniFile::Batch::cancel() {
    if (cancelled_) return;
    cancelled_ = true;
    file_.text_ = savedText_;
    file_.pending_ = savedPending_;
    file_.reindex();
}

std::string IniFile::bytes() const { return toDisk(text_); }

}  // namespace uav
