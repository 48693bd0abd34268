// INI settings store for model files and conf.ini.
//
// On disk: Windows-1251 text, CR LF line ends (LF or CR alone are accepted on
// reading). A file that starts with a UTF-8 byte-order mark (as Windows
// Notepad saves) is read as UTF-8 and written back in Windows-1251 without the
// mark. In memory and through this interface: UTF-8 strings. Only a regular
// file of at most 16 MiB is read (a real one is a few kilobytes); reading
// takes time linear in its size.
// Section and key names match without regard to case (ASCII and Cyrillic).
// Reading drops blanks around a value, removes one pair of enclosing double or
// single quotes and cuts the value to 2047 characters. Writing replaces an
// existing key's value in place, appends a new key at the end of its section
// and a new section at the end of the file; every other line stays byte for
// byte. Each write goes to disk at once, atomically: a temporary file beside
// the target is written, flushed and renamed over it, so the file on disk is
// always either the old or the new one.
//
// Layout rules beyond the above: a line "[name]" (blanks allowed around the
// name and the brackets) opens a section; "key=value" lines belong to the
// section above them; lines starting with ';', lines without '=' and key
// lines before the first section are kept but never read. When a section or
// key occurs twice, the first one counts. Every line is written back ending
// with CR LF, the last one included.
//
// A writer killed half-way leaves a temporary file "<name>.uavsim-tmp.XXXXXX"
// beside the target; the next write to the same file removes such leftovers
// and no other file (a live writer holds a lock on its own temporary file, so
// only dead ones go).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace uav {

class IniFile {
public:
    // Opens the store on `path`. A missing file is an empty store (the file is
    // created at the first write). An unreadable existing file, one that is not
    // a regular file (a FIFO, a device) or one over 16 MiB throws SimError
    // naming it.
    explicit IniFile(std::string path);

    // Builds a store from raw bytes (Windows-1251), with no file behind it;
    // writes then only change memory. Used by tests and fuzzing.
    static IniFile fromBytes(std::string_view bytes);

    const std::string& path() const { return path_; }

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Integer reading as the Windows profile API does: decimal, or hex with a
    // leading 0x; a value that is not an integer, or a missing key, gives the default.
    // An optional sign is allowed, "$" works like "0x", and the value must fit
    // 32 bits (hex up to 0xFFFFFFFF, read as a signed 32-bit pattern: -1).
    long readInteger(std::string_view section, std::string_view key, long defaultValue) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // Writes and commits to disk. On failure (read-only folder, full disk, a
    // text that cannot be encoded in Windows-1251) throws SimError and leaves
    // both the file and the store in memory as they were. Names and values
    // that would not read back as the same entry are refused the same way:
    // an empty name, a line break in any text, blanks at the ends of a name,
    // ']' in a section name, '=' in a key or a key starting with '[' or ';'.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    // The current content as it would be written (Windows-1251, CR LF).
    std::string bytes() const;

    // Groups many writes into one file write. While a batch is open, writes
    // change the store in memory only; the file is replaced once (atomically, as
    // always) when the outermost batch commits or ends. An operation that writes
    // a hundred keys then costs one file write instead of a hundred, and a kill
    // leaves the file as it was before the batch or after it.
    //
    // All or nothing: a batch left by an exception, or cancelled, takes back
    // every write made since it opened (in memory; the file never saw them),
    // so an operation stopped half-way writes none of its texts.
    class Batch {
    public:
        explicit Batch(IniFile& file);
        // Commits when the batch ended normally (a failure here is swallowed:
        // call commit() to see it); takes the batch's writes back when it is
        // left by an exception.
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Writes what the batch changed so far; throws SimError on failure (the
        // store in memory keeps the changes, so a later commit tries again).
        void commit();
        // Takes back every write since the batch opened; the batch then
        // writes nothing when it ends.
        void cancel();

    private:
        IniFile& file_;
        std::string savedText_;  // the store as the batch found it
        bool savedPending_ = false;
        int uncaught_ = 0;       // exceptions in flight when it opened
        bool cancelled_ = false;
    };

private:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    IniFile() = default;
    void flush();
    void reindex();
    std::string_view lineAt(std::size_t offset) const;   // without its '\n'
    std::size_t findSection(std::string_view section) const;  // ordinal of the first header, or NONE
    std::size_t sectionEnd(std::size_t section) const;        // offset one past its last line
    std::size_t findKey(std::string_view section, std::string_view key) const;  // line offset, or NONE

    std::string path_;       // empty for a store built from bytes
    int batchDepth_ = 0;
    bool pending_ = false;   // memory holds writes the file does not have yet
    // Windows-1251 lines as on disk, each ending in '\n' here (CR LF on disk).
    std::string text_;
    // Lookup index, rebuilt after every change: names are found by their
    // case-folded hash, so reading takes time linear in the file's size.
    struct Ref {
        std::uint64_t hash;
        std::uint32_t section;  // ordinal of the section header (above the key)
        std::uint32_t offset;   // of the line in text_ (a store stays far below 4 GiB)
    };
    std::vector<std::uint32_t> headers_;  // offsets of the section headers, in file order
    std::vector<Ref> sections_;         // by hash, then offset
    std::vector<Ref> keys_;             // by hash of (key, section ordinal), then offset
};

// Encoding helpers. Every byte decodes to a character that encodes back to
// the same byte: 0x98, which Windows-1251 leaves undefined, becomes U+0098.
std::string cp1251ToUtf8(std::string_view bytes);
// Throws SimError when a character has no Windows-1251 form (or the text is
// not valid UTF-8).
std::string utf8ToCp1251(std::string_view text);
// True when the UTF-8 text can be written in Windows-1251, that is when
// utf8ToCp1251 would not throw. Windows check a field with it before any
// write, so a text the file cannot hold is shown, not half-saved.
bool cp1251Encodable(std::string_view utf8);

}  // namespace uav
