#include "model/inifile.h"

#include <algorithm>
#include <csignal>
#include <random>

#include <iconv.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/testutil.h"

namespace fs = std::filesystem;
using uav::IniFile;
using namespace uav::test;

namespace {

// Windows-1251 spellings, written out byte by byte so the tests do not rely
// on the converter under test.
#define CP_IMYA "\xC8\xEC\xFF"                                     // Имя
#define CP_NASTROYKI "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8"        // Настройки
#define CP_YOLKA "\xA8\xEB\xEA\xE0"                                // Ёлка
#define CP_LEFT_WING "\xCB\xE5\xE2\xEE\xE5\x20\xEA\xF0\xFB\xEB\xEE"  // Левое крыло

long tempFileCount(const fs::path& dir) {
    return std::count_if(fs::directory_iterator(dir), {},
                         [](const auto& e) { return e.path().filename().string().find(".uavsim-tmp.") != std::string::npos; });
}

TEST(IniFile, ReadsOddContentAndCutsLongValues) {
    const IniFile f = IniFile::fromBytes(
        "; comment=not a key\r\norphan=before any section\r\n"
        "  [ Elem0 ]  \r\n  Act = 1  \r\nPARAM0=\"0,25\"\r\nparam1='x y'\r\nParam2= \"unpaired'\r\n"
        "Param3=\r\nParam4 = a = b\r\nParam5=\"\r\nno equals sign here\r\n"
        "[elem0]\r\nAct=0\r\nParam6=only in the second copy\r\n"
        "[Unknown Section]\nKey=Value\n"
        "[" CP_NASTROYKI "]\r\n" CP_IMYA "=" CP_LEFT_WING "\r\n" CP_YOLKA "=1\r\n"
        "[Model]\nIx=1,5");
    struct Row { const char *section, *key, *expected, *why; };
    const Row rows[] = {
        {"Elem0", "Act", "1", "blanks around key and value"},
        {"ELEM0", "act", "1", "names match without regard to case"},
        {"Elem0", "Param0", "0,25", "double quotes removed"},
        {"Elem0", "Param1", "x y", "single quotes removed"},
        {"Elem0", "Param2", "\"unpaired'", "unpaired quotes stay"},
        {"Elem0", "Param3", "", "empty value"},
        {"Elem0", "Param4", "a = b", "the first '=' splits"},
        {"Elem0", "Param5", "\"", "a lone quote stays"},
        {"Elem0", "no equals sign here", "dflt", "a line without '=' is no key"},
        {"Elem0", "Param6", "dflt", "the first of two equal sections counts"},
        {"Elem0", "; comment", "dflt", "comments are no keys"},
        {"", "orphan", "dflt", "keys before any section are never read"},
        {"Unknown Section", "key", "Value", "LF line ends"},
        {"Настройки", "Имя", "Левое крыло", "Cyrillic in Windows-1251"},
        {"настройки", "ёЛКА", "1", "Cyrillic case pairs, Ё and ё among them"},
        {"Model", "Ix", "1,5", "last line without a line end"},
        {"Mix", "Mix1-0", "dflt", "missing section"},
        {"Model", "Ix\xE6\x97\xA5", "dflt", "a name with no Windows-1251 form"},
    };
    for (const Row& r : rows) EXPECT_EQ(f.readString(r.section, r.key, "dflt"), r.expected) << r.why;
    EXPECT_TRUE(f.hasKey("elem0", "PARAM3"));
    EXPECT_FALSE(f.hasKey("Elem0", "Param6"));

    // Long values are cut to 2047 characters.
    const std::string ascii(3000, 'a');
    const std::string cyr(3000, '\xE6');  // ж
    const IniFile g = IniFile::fromBytes("[S]\r\na=" + ascii + "\r\nq=\"" + ascii + "\"\r\nc=" + cyr + "\r\n");
    EXPECT_EQ(g.readString("S", "a", ""), std::string(2047, 'a'));
    EXPECT_EQ(g.readString("S", "q", ""), std::string(2047, 'a')) << "quotes go before the cut";
    std::string zh;
    for (int i = 0; i < 2047; ++i) zh += "ж";
    EXPECT_EQ(g.readString("S", "c", ""), zh) << "characters, not UTF-8 bytes";
}

// The code page table against the system's converter, byte by byte; the one
// byte it leaves undefined (0x98) maps to U+0098 so that it survives.
TEST(IniFile, CodePageMatchesIconvAndKeepsEveryByte) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0x80; b <= 0xFF; ++b) {
        char in[1] = {static_cast<char>(b)}, out[8];
        char *ip = in, *op = out;
        std::size_t il = 1, ol = sizeof out;
        const std::string ours = uav::cp1251ToUtf8(std::string(1, in[0]));
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1))
            EXPECT_EQ(b, 0x98) << "only 0x98 is undefined";
        else
            EXPECT_EQ(ours, std::string(out, op)) << std::hex << b;
        EXPECT_TRUE(uav::cp1251Encodable(ours));
        EXPECT_EQ(uav::utf8ToCp1251(ours), std::string(1, in[0])) << std::hex << b;
    }
    iconv_close(cd);
    EXPECT_EQ(uav::cp1251ToUtf8("\x98"), "\xC2\x98");
    struct Row { const char* text; bool encodable; const char* why; };
    const Row rows[] = {
        {"Левое крыло №1 «ё»", true, "Cyrillic and the code page's symbols"},
        {"日本", false, "Chinese"},
        {"é", false, "Latin letter outside the code page"},
        {"\xC0\x80", false, "overlong NUL"},
        {"\xD0", false, "sequence cut short"},
        {"\xED\xA0\x80", false, "surrogate"},
    };
    for (const Row& r : rows) EXPECT_EQ(uav::cp1251Encodable(r.text), r.encodable) << r.why;
}

TEST(IniFile, WritesInPlaceAtSectionEndAndAtFileEnd) {
    TempDir dir;
    const std::string comment = "; \x98 undefined byte and trailing blanks  ";
    putFile(dir / "conf.ini", comment + "\r\n[A]\r\nx=1\r\n  Y = 2 \r\n; about B\r\n\r\n[B]\nz=3\n[Empty]\n");
    IniFile f(dir / "conf.ini");
    f.writeString("A", "x", "1");  // the same text again changes nothing
    f.writeString("a", "y", "20");
    f.writeString("A", "w", "new");
    f.writeString("b", "Z", "\"30\"");
    f.writeString("Empty", "e", "1");
    f.writeString("Настройки", "Имя", "Левое крыло");
    const std::string expected = comment + "\r\n[A]\r\nx=1\r\nY=20\r\nw=new\r\n; about B\r\n\r\n[B]\r\nz=\"30\"\r\n"
                                           "[Empty]\r\ne=1\r\n[" CP_NASTROYKI "]\r\n" CP_IMYA "=" CP_LEFT_WING "\r\n";
    EXPECT_EQ(f.bytes(), expected);
    EXPECT_EQ(fileBytes(f.path()), expected);
    EXPECT_EQ(tempFileCount(dir.path), 0);
}

// Every refused write leaves the file and the store as they were.
void expectRefusedWrite(IniFile& f, const std::string& section, const std::string& key, const std::string& value,
                        const std::string& messagePart) {
    const std::string before = f.bytes(), onDisk = fileBytes(f.path());
    const std::string message = errorOf([&] { f.writeString(section, key, value); });
    EXPECT_NE(message.find(messagePart), std::string::npos) << message;
    EXPECT_EQ(f.bytes(), before);
    EXPECT_EQ(fileBytes(f.path()), onDisk);
}

TEST(IniFile, RefusedFailedAndBatchedWrites) {
    TempDir dir;
    putFile(dir / "conf.ini", "[S]\r\nk=old\r\n");
    IniFile f(dir / "conf.ini");
    // Texts that would not read back as the same entry.
    expectRefusedWrite(f, "S", "k", "日本", "cannot be written in Windows-1251");
    expectRefusedWrite(f, "S", "k", "a\r\nb=c", "line break");
    expectRefusedWrite(f, "S", "a=b", "1", "invalid key name 'a=b'");
    expectRefusedWrite(f, "S", ";k", "1", "invalid key name");
    expectRefusedWrite(f, "x]y", "k", "1", "invalid section name 'x]y'");
    // A folder that does not exist (root cannot write there either).
    IniFile nowhere("/nonexistent-uavsim-dir/conf.ini");
    expectRefusedWrite(nowhere, "S", "k", "v", "Unable to write to '/nonexistent-uavsim-dir/conf.ini': ");
    EXPECT_FALSE(nowhere.hasKey("S", "k"));
    // A full disk: a file-size limit makes write() stop part-way.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1000, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    expectRefusedWrite(f, "S", "k", std::string(5000, 'n'), "File too large");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    // Batches write the file once, when the outermost one ends.
    {
        IniFile::Batch outer(f);
        {
            IniFile::Batch inner(f);
            f.writeString("S", "k", "new");
            f.writeString("T", "x", "1");
        }
        EXPECT_EQ(fileBytes(f.path()), "[S]\r\nk=old\r\n") << "nothing on disk before the outermost batch ends";
        EXPECT_EQ(f.readString("S", "k", ""), "new");
    }
    EXPECT_EQ(fileBytes(f.path()), "[S]\r\nk=new\r\n[T]\r\nx=1\r\n");
    // A batch left by an exception takes its writes back: nothing reaches the
    // file, also when an outer batch goes on and commits.
    const std::string committed = fileBytes(f.path());
    EXPECT_THROW(
        {
            IniFile::Batch b(f);
            f.writeString("S", "k", "half");
            f.writeString("T", "y", "2");
            f.writeString("S", "k", "a\nb");  // refused: the operation stops here
        },
        uav::SimError);
    EXPECT_EQ(fileBytes(f.path()), committed);
    EXPECT_EQ(f.readString("S", "k", ""), "new");
    EXPECT_FALSE(f.hasKey("T", "y"));
    {
        IniFile::Batch outer(f);
        f.writeString("S", "k", "outer");
        try {
            IniFile::Batch inner(f);
            f.writeString("U", "z", "1");
            throw uav::SimError("stopped");
        } catch (const uav::SimError&) {
        }
        f.writeString("V", "w", "2");
    }
    EXPECT_EQ(fileBytes(f.path()), "[S]\r\nk=outer\r\n[T]\r\nx=1\r\n[V]\r\nw=2\r\n");
    {
        IniFile::Batch b(f);
        f.writeString("S", "k", "cancelled");
        b.cancel();
        b.commit();
    }
    EXPECT_EQ(f.readString("S", "k", ""), "outer");
    EXPECT_EQ(fileBytes(f.path()), "[S]\r\nk=outer\r\n[T]\r\nx=1\r\n[V]\r\nw=2\r\n");
    // A batch opened while another exception unwinds (in a destructor) and
    // ended normally commits: only an exception of its own takes it back.
    struct SavesOnUnwind {
        IniFile& file;
        ~SavesOnUnwind() {
            IniFile::Batch b(file);
            file.writeString("S", "k", "saved while unwinding");
        }
    };
    try {
        SavesOnUnwind s{f};
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(IniFile(f.path()).readString("S", "k", ""), "saved while unwinding");
    f.writeString("S", "k", "new");
    f.writeString("T", "x", "1");

    // A batch that cannot be written reports the failure and keeps the texts in memory.
    IniFile::Batch batch(nowhere);
    nowhere.writeString("S", "k", "kept");
    EXPECT_THROW(batch.commit(), uav::SimError);
    EXPECT_EQ(nowhere.readString("S", "k", ""), "kept");

    // The rename fails: the file was replaced by a folder after loading.
    fs::remove(dir / "conf.ini");
    fs::create_directory(dir / "conf.ini");
    putFile(dir / "conf.ini/inside", "");
    expectRefusedWrite(f, "S", "k", "newer", "Unable to write to");
    EXPECT_EQ(f.readString("S", "k", ""), "new");
    EXPECT_EQ(tempFileCount(dir.path), 0) << "the temporary files are removed";
    EXPECT_THROW(IniFile(dir / "conf.ini"), uav::SimError) << "a folder cannot be read";
}

// A writer killed at any moment leaves the old or the new file, never a
// mixture or a truncated one. The writer alternates two 40 kB contents; each
// kill may leave the writer's own temporary file, which the next writer
// removes, so at most one is ever found.
TEST(IniFileAtomicWrite, KilledWriterLeavesACompleteVersion) {
    TempDir dir;
    const std::string p = dir / "conf.ini";
    std::string filler;
    for (int i = 0; i < 400; ++i) filler += "; filler line " + std::to_string(i) + std::string(80, '-') + "\r\n";
    const std::string valueA(1000, 'A'), valueB(1000, 'B');
    const std::string versionA = filler + "[S]\r\nv=" + valueA + "\r\n", versionB = filler + "[S]\r\nv=" + valueB + "\r\n";
    putFile(p, versionA);

    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> delayMicros(0, 4000);
    long killsDuringWrite = 0;
    for (int round = 0; round < 200; ++round) {
        // The writer says when its store is open, so the kill delay counts from
        // the first write whatever the start-up costs (sanitizers, load).
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {  // the writer; an exception aborts it, which the parent tells from the kill
            ::close(ready[0]);
            IniFile f(p);
            if (::write(ready[1], "g", 1) != 1) ::_exit(1);
            for (int i = 0; i < 100000; ++i) f.writeString("S", "v", i % 2 ? valueA : valueB);
            ::_exit(0);
        }
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(delayMicros(rng)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer failed on its own in round "
                                                                          << round;

        const std::string now = fileBytes(p);
        ASSERT_TRUE(now == versionA || now == versionB) << "round " << round << ": " << now.size() << " bytes";
        const long temps = tempFileCount(dir.path);
        ASSERT_LE(temps, 1) << "round " << round;
        killsDuringWrite += temps;
    }
    EXPECT_GT(killsDuringWrite, 0) << "no kill landed inside a write: the test proved nothing";
    IniFile(p).writeString("S", "v", "done");
    EXPECT_EQ(tempFileCount(dir.path), 0);
}

}  // namespace

namespace {

// Files saved by other editors: a UTF-8 mark, bare CR or bare LF line ends.
TEST(IniFileForeign, ByteOrderMarkAndEveryLineEndReadTheSame) {
    const std::string cp = "[" CP_NASTROYKI "]\r\n" CP_IMYA "=" CP_LEFT_WING "\r\n[Model]\r\nM=2\r\n";
    const std::string utf8 = "[Настройки]\r\nИмя=Левое крыло\r\n[Model]\r\nM=2\r\n";
    auto without = [](std::string s, const std::string& what) {
        for (std::size_t at; (at = s.find(what)) != std::string::npos;) s.erase(at, what.size());
        return s;
    };
    const std::string variants[] = {"\xEF\xBB\xBF" + utf8, without(cp, "\n"), without(cp, "\r"),
                                    "\xEF\xBB\xBF" + without(utf8, "\n")};
    for (const std::string& bytes : variants) {
        const IniFile f = IniFile::fromBytes(bytes);
        EXPECT_EQ(f.readString("Настройки", "Имя", ""), "Левое крыло") << bytes;
        EXPECT_EQ(f.readString("Model", "M", ""), "2") << bytes;
        EXPECT_EQ(f.bytes(), cp) << "written in Windows-1251 with CR LF, no mark";
    }
    // Marks saved over marks, also one misread as Windows-1251 ("п»ї"), all go:
    // what is written back never starts with a mark.
    EXPECT_EQ(IniFile::fromBytes("\xEF\xBB\xBF\xEF\xBB\xBF" "п»ї[A]\nx=1\n").bytes(), "[A]\r\nx=1\r\n");
    // A character Windows-1251 lacks keeps its UTF-8 bytes through a rewrite.
    EXPECT_EQ(IniFile::fromBytes("\xEF\xBB\xBF; 日本\n[A]\nx=1\n").bytes(), "; 日本\r\n[A]\r\nx=1\r\n");
}

// Every byte 0x80..0xFF in a name, 0x98 (undefined in the code page) among
// them, reads and writes back unchanged.
TEST(IniFileForeign, EveryHighByteSurvivesAReadAndAWrite) {
    std::string name;
    for (int b = 0x80; b <= 0xFF; ++b) name += static_cast<char>(b);
    const TempDir dir;
    const std::string original = "[Elem0]\r\nParam9=" + name + "\r\nParam0=1\r\n";
    putFile(dir / "m.mdl", original);
    IniFile f(dir / "m.mdl");
    const std::string text = f.readString("Elem0", "Param9", "");
    EXPECT_EQ(uav::utf8ToCp1251(text), name);
    f.writeString("Elem0", "Param0", "2");
    EXPECT_EQ(fileBytes(dir / "m.mdl"), "[Elem0]\r\nParam9=" + name + "\r\nParam0=2\r\n");
    IniFile copy(dir / "copy.mdl");
    copy.writeString("Elem0", "Param9", text);
    EXPECT_EQ(fileBytes(dir / "copy.mdl"), "[Elem0]\r\nParam9=" + name + "\r\n");
}

// Only a regular file of at most 16 MiB is read; nothing else is waited on.
TEST(IniFileForeign, RefusesSpecialAndHugeFilesNamingThem) {
    const TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "zero.ini");
    std::string big(std::size_t{16} << 20, '\n');
    putFile(dir / "limit.ini", big + "[A]\nx=1\n");
    big.resize(big.size() - 8);
    putFile(dir / "fits.ini", big + "[A]\nx=1\n");
    struct Row { const char* name; const char* reason; };
    for (const Row& r : {Row{"fifo.ini", "not a regular file"}, Row{"zero.ini", "not a regular file"},
                         Row{"limit.ini", "the file is larger than 16 MiB"}}) {
        const std::string message = errorOf([&] { IniFile f(dir / r.name); });
        EXPECT_EQ(message, "Unable to read '" + dir / r.name + "': " + r.reason);
    }
    EXPECT_EQ(IniFile(dir / "fits.ini").readString("a", "X", ""), "1");
}

// Only the store's own leftovers are removed, never a user's file.
TEST(IniFileForeign, RemovesOnlyItsOwnTemporaryFiles) {
    const TempDir dir;
    const char* users[] = {"conf.ini.tmp.backup", "conf.ini.tmp.AbCdEf", "conf.ini.uavsim-tmp.bak",
                           "conf.ini.uavsim-tmp.a-b_cd", "other.ini.uavsim-tmp.Ab12Cd"};
    for (const char* u : users) putFile(dir / u, "mine");
    putFile(dir / "conf.ini.uavsim-tmp.Ab12Cd", "[S]\r\nk=half-writ");  // a killed writer's
    IniFile(dir / "conf.ini").writeString("S", "k", "v");
    for (const char* u : users) EXPECT_EQ(fileBytes(dir / u), "mine") << u;
    EXPECT_FALSE(fs::exists(dir / "conf.ini.uavsim-tmp.Ab12Cd"));
}

}  // namespace
