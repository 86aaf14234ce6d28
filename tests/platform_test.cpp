// Windows services on Linux: text-mode files, INI files, language modules,
// host and language, message boxes, window messages, locks, serial ports.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/fixtures/temp_dirs.h"

using namespace tavplat;
using tavtest::ScopedEnv;
using tavtest::TempDir;

namespace {

std::string read_text(FILE* f) {
    std::string s;
    char buf[777];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

// Everything a text-mode reader of path sees; "<none>" when it cannot open.
std::string read_text(const std::string& path, size_t stdioBuffer = 0) {
    FILE* f = fopen_text(path.c_str(), "r");
    if (f == nullptr) return "<none>";
    if (stdioBuffer > 0) std::setvbuf(f, nullptr, _IOFBF, stdioBuffer);
    std::string s = read_text(f);
    std::fclose(f);
    return s;
}

// CR LF -> LF, every other byte as it is.
std::string expected_translation(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        out += raw[i];
    }
    return out;
}

std::string module_path(const char* name) { return std::string(TAV_BUILD_DIR) + "/bin/RSC/" + name; }

}  // namespace

// ------------------------------------------------------------------ text mode

TEST(TextFile, WritesCrLfAndCutsLinesAtTheFgetsLimit) {
    TempDir dir;
    FILE* f = fopen_text(dir.file("a.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("line1\nline2\n", f);
    std::fprintf(f, "%s\r%d\n", "lone", 7);
    std::fputs("tail", f);
    ASSERT_EQ(std::fclose(f), 0);
    EXPECT_EQ(dir.read("a.txt"), "line1\r\nline2\r\nlone\r7\r\ntail");

    // The fgets limit cuts lines as Windows does.
    dir.write("l.txt", "abcdef\r\nabc\r\nxy");
    f = fopen_text(dir.file("l.txt").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[4];
    std::vector<std::string> got;
    while (std::fgets(buf, sizeof buf, f) != nullptr) got.emplace_back(buf);
    std::fclose(f);
    EXPECT_EQ(got, (std::vector<std::string>{"abc", "def", "\n", "abc", "\n", "xy"}));
}

TEST(TextFile, CrLfSplitAcrossReadChunksIsStillOneLineFeed) {
    TempDir dir;
    std::mt19937 rng(42);
    const char alphabet[] = {'a', '\r', '\n', 'b', '\r'};
    std::string raw;
    for (int i = 0; i < 20000; ++i) raw += alphabet[rng() % sizeof alphabet];
    // Pairs that straddle every power-of-two boundary a buffer could have.
    for (size_t edge : {4095u, 4096u, 8191u, 8192u, 16383u}) {
        raw[edge - 1] = 'x';
        raw[edge] = '\r';
        raw[edge + 1] = '\n';
    }
    raw += '\r';  // a CR that ends the file stays
    dir.write("r.txt", raw);
    const std::string want = expected_translation(raw);
    for (size_t bufSize : {1u, 2u, 3u, 7u, 4096u, 65536u})
        EXPECT_EQ(read_text(dir.file("r.txt"), bufSize), want) << "stdio buffer " << bufSize;
}

TEST(TextFile, AppendUpdateAndPositions) {
    TempDir dir;
    const std::string path = dir.file("m.txt");
    dir.write("m.txt", "one\r\ntwo\r\n");

    // a+: reads from the start, writes at the end.
    FILE* f = fopen_text(path.c_str(), "a+");
    ASSERT_NE(f, nullptr);
    char line[64];
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "one\n");
    std::fputs("three\n", f);
    std::rewind(f);
    EXPECT_EQ(read_text(f), "one\ntwo\nthree\n");
    std::fclose(f);
    f = fopen_text(path.c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs("four\n", f);
    std::fclose(f);

    // r+: a position taken with ftell comes back with fseek, and a write
    // after a seek lands there.
    f = fopen_text(path.c_str(), "r+");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    long second = std::ftell(f);
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    ASSERT_EQ(std::fseek(f, second, SEEK_SET), 0);
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "two\n");
    ASSERT_EQ(std::fseek(f, -4, SEEK_CUR), 0);
    std::fputs("TWO\n", f);
    ASSERT_EQ(std::fseek(f, 0, SEEK_END), 0);
    EXPECT_EQ(std::ftell(f), 19);  // stream bytes: "one\nTWO\nthree\nfour\n"
    std::fclose(f);
    EXPECT_EQ(dir.read("m.txt"), "one\r\nTWO\r\nthree\r\nfour\r\n");
}

TEST(TextFile, RefusesBadModesAndMissingFiles) {
    TempDir dir;
    errno = 0;
    EXPECT_EQ(fopen_text(dir.file("none.txt").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(dir.exists("none.txt"));
    for (const char* mode : {"x", "rw"}) EXPECT_EQ(fopen_text(dir.file("none.txt").c_str(), mode), nullptr) << mode;

    FILE* f = fopen_binary(dir.file("bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("a\nb", f);
    std::fclose(f);
    EXPECT_EQ(dir.read("bin"), "a\nb");
}

// ----------------------------------------------------------------- file ops

TEST(FileOps, CopyDeleteReplaceAndExistence) {
    TempDir dir;
    dir.write("src", std::string("bytes\r\n\0x", 9));
    dir.write("dst", "old");
    const std::string src = dir.file("src"), dst = dir.file("dst");

    EXPECT_FALSE(copy_file(src.c_str(), dst.c_str(), true));
    EXPECT_EQ(dir.read("dst"), "old");
    EXPECT_TRUE(copy_file(src.c_str(), dst.c_str(), false));
    EXPECT_EQ(dir.read("dst"), dir.read("src"));
    // Onto itself must not truncate the file it reads.
    EXPECT_FALSE(copy_file(src.c_str(), src.c_str(), false));
    EXPECT_EQ(dir.read("src").size(), 9u);
    for (auto [from, to] : {std::pair{dir.file("missing"), dst}, {src, dir.file("no/such/dir")}})
        EXPECT_FALSE(copy_file(from.c_str(), to.c_str(), false)) << from << " -> " << to;

    dir.write("next", "fresh");
    EXPECT_TRUE(replace_file(dir.file("next").c_str(), dst.c_str()));
    EXPECT_EQ(dir.read("dst"), "fresh");
    EXPECT_FALSE(dir.exists("next"));
    EXPECT_FALSE(replace_file(dir.file("next").c_str(), dst.c_str()));

    EXPECT_TRUE(file_exists(dst.c_str()) && file_exists_rw(dst.c_str()));
    EXPECT_FALSE(file_exists(dir.path().c_str()));  // a folder is not a file
    ::chmod(dst.c_str(), 0444);
    EXPECT_TRUE(file_exists(dst.c_str()));
    if (::geteuid() != 0) {
        EXPECT_FALSE(file_exists_rw(dst.c_str()));
    }

    EXPECT_TRUE(delete_file(dst.c_str()));
    EXPECT_FALSE(file_exists(dst.c_str()));
    for (const std::string& gone : {dst, dir.path()}) EXPECT_FALSE(delete_file(gone.c_str())) << gone;
}

// ---------------------------------------------------------------- INI files

class Profile : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir.file("t.ini");
    std::string get(const char* section, const char* key, const char* def = "-") {
        char buf[256];
        GetPrivateProfileStringA(section, key, def, buf, sizeof buf, ini.c_str());
        return buf;
    }
};

TEST_F(Profile, ReadsWithWindowsRules) {
    dir.write("t.ini",
              "top=ignored\r\n"
              "[LangID]\r\n"
              "; CurrentLangID=comment\r\n"
              "  currentlangid =  0x0411  \r\n"
              "Quoted=\"  two words  \"\r\n"
              "bare\r\n"
              "Empty=\r\n"
              "[langid]\n"
              "Later=second section of the same name\n"
              "[Other]\r\n"
              "CurrentLangID=1033");
    // Section, key, default -> value. A word without '=' has no value, only the first section of a
    // name counts, the last line needs no line end, and a default loses its trailing blanks.
    const char* const cases[][4] = {
        {"LANGID", "CurrentLangID", "-", "0x0411"}, {"LangID", "quoted", "-", "  two words  "},
        {"LangID", "Empty", "-", ""}, {"LangID", "bare", "-", "-"}, {"LangID", "Later", "-", "-"},
        {"Other", "CurrentLangID", "-", "1033"}, {"LangID", "missing", "def  ", "def"},
        {"LangID", "missing", nullptr, ""}, {"Nowhere", "top", "-", "-"}};
    for (const auto& c : cases) EXPECT_EQ(get(c[0], c[1], c[2]), c[3]) << c[0] << "/" << c[1];

    ini = dir.file("absent.ini");
    EXPECT_EQ(get("LangID", "CurrentLangID", "1033"), "1033");
    EXPECT_FALSE(dir.exists("absent.ini"));
}

TEST_F(Profile, CutsLongValuesAndListsNames) {
    dir.write("t.ini", "[A]\r\nkey=0123456789\r\nk2=v\r\n[B]\r\n[C]\r\n");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("A", "key", "", buf, 5, ini.c_str()), 4u);
    EXPECT_EQ(std::string(buf, 6), std::string("0123\0#", 6));

    char list[64];
    unsigned n = GetPrivateProfileStringA(nullptr, "ignored", "", list, sizeof list, ini.c_str());
    EXPECT_EQ(std::string(list, n + 1), std::string("A\0B\0C\0", 7));
    n = GetPrivateProfileStringA("a", nullptr, "", list, sizeof list, ini.c_str());
    EXPECT_EQ(std::string(list, n + 1), std::string("key\0k2\0", 8));
    // A list that does not fit is cut, double-terminated, and reports size-2.
    std::memset(list, '#', sizeof list);
    EXPECT_EQ(GetPrivateProfileStringA("A", nullptr, "", list, 6, ini.c_str()), 4u);
    EXPECT_EQ(std::string(list, 7), std::string("key\0\0\0#", 7));
    EXPECT_EQ(GetPrivateProfileStringA("None", nullptr, "", list, sizeof list, ini.c_str()), 0u);
    EXPECT_EQ(std::string(list, 2), std::string("\0\0", 2));
}

TEST_F(Profile, ReadsNumbers) {
    dir.write("t.ini", "[N]\r\nhex=0x0411\r\nup=0XfF\r\ndec=1033\r\nneg=-5\r\n"
                       "junk=12abc\r\nword=abc\r\nempty=\r\nbig=99999999999\r\n");
    auto num = [&](const char* key) { return GetPrivateProfileIntA("N", key, 77, ini.c_str()); };
    for (auto [key, want] : {std::pair{"hex", 0x411u}, {"up", 0xFFu}, {"dec", 1033u}, {"neg", static_cast<unsigned>(-5)},
                             {"junk", 12u}, {"word", 0u}, {"empty", 77u}, {"missing", 77u}})
        EXPECT_EQ(num(key), want) << key;
    num("big");  // wraps, but must not trap under the sanitizer
    EXPECT_EQ(GetPrivateProfileIntA("N", "hex", 5, dir.file("absent.ini").c_str()), 5u);
}

TEST_F(Profile, WriteChangesOnlyTheLineConcerned) {
    const std::string before =
        "; header comment\r\n"
        "[LangID]\r\n"
        "CurrentLangID = 0x0409   \r\n"
        "Other=keep\n"
        "\r\n"
        "[UserLangNum]\r\n"
        "LangNum=0x0002";
    dir.write("t.ini", before);
    ASSERT_TRUE(WritePrivateProfileStringA("langid", "currentlangid", "0x0411", ini.c_str()));
    EXPECT_EQ(dir.read("t.ini"), "; header comment\r\n[LangID]\r\nCurrentLangID=0x0411\r\nOther=keep\n\r\n"
                                 "[UserLangNum]\r\nLangNum=0x0002");
    // A new key goes after the section's last entry, before the blank line.
    ASSERT_TRUE(WritePrivateProfileStringA("LangID", "DefaultLangID", "1033", ini.c_str()));
    // A new key in the last section, whose last line has no line end.
    ASSERT_TRUE(WritePrivateProfileStringA("UserLangNum", "Extra", "1", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("New", "Lang0000", "0x0411", ini.c_str()));
    EXPECT_EQ(dir.read("t.ini"),
              "; header comment\r\n[LangID]\r\nCurrentLangID=0x0411\r\nOther=keep\n"
              "DefaultLangID=1033\r\n\r\n[UserLangNum]\r\nLangNum=0x0002\r\nExtra=1\r\n"
              "[New]\r\nLang0000=0x0411\r\n");

    ASSERT_TRUE(WritePrivateProfileStringA("LangID", "Other", nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("UserLangNum", nullptr, nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("LangID", "NotThere", nullptr, ini.c_str()));
    EXPECT_EQ(dir.read("t.ini"), "; header comment\r\n[LangID]\r\nCurrentLangID=0x0411\r\n"
                                 "DefaultLangID=1033\r\n\r\n[New]\r\nLang0000=0x0411\r\n");
    EXPECT_EQ(get("langid", "DEFAULTLANGID"), "1033");
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", ini.c_str()));
    EXPECT_EQ(find_files(dir.path(), "").size(), 1u) << "a temporary copy was left behind";
    if (::geteuid() != 0) {
        ::chmod(ini.c_str(), 0444);
        EXPECT_FALSE(WritePrivateProfileStringA("LangID", "CurrentLangID", "0", ini.c_str()));
        EXPECT_EQ(get("LangID", "CurrentLangID"), "0x0411");
    }
}

TEST_F(Profile, WriteCreatesTheFileButNotItsFolder) {
    ini = dir.file("fresh.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("UserLangID", "Lang0000", "0x0411", ini.c_str()));
    EXPECT_EQ(dir.read("fresh.ini"), "[UserLangID]\r\nLang0000=0x0411\r\n");
    EXPECT_EQ(GetPrivateProfileIntA("UserLangID", "Lang0000", 0, ini.c_str()), 0x411u);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", dir.file("no/dir.ini").c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("S", nullptr, nullptr, dir.file("gone.ini").c_str()));
    EXPECT_FALSE(dir.exists("gone.ini"));
}

// ---------------------------------------------------------- language modules

TEST(Module, LoadsStringsOfBothLanguages) {
    HMODULE ja = LoadLibraryA(module_path("tav0411.DLL").c_str());
    HMODULE en = LoadLibraryA(module_path("tav0409.DLL").c_str());
    ASSERT_NE(ja, nullptr);
    ASSERT_NE(en, nullptr);
    char buf[64];
    // The length and the text a module gives for an id into a buffer of the given size.
    const auto load = [&buf](HMODULE m, unsigned id, int size) {
        const int n = LoadStringA(m, id, buf, size);
        return std::make_pair(n, std::string(buf));
    };
    EXPECT_EQ(load(ja, 3000, sizeof buf), std::make_pair(8, std::string("\x90\xb3\x8f\xed\x8f\x49\x97\xb9")));  // 正常終了 in code page 932
    EXPECT_EQ(load(en, 3000, sizeof buf), std::make_pair(10, std::string("Normal end")));
    EXPECT_EQ(load(ja, 3000, 4), std::make_pair(2, std::string("\x90\xb3")));  // a cut never leaves half a character

    std::strcpy(buf, "stale");
    EXPECT_EQ(load(ja, 2999, sizeof buf), std::make_pair(0, std::string()));
    EXPECT_EQ(LoadStringA(nullptr, 3000, buf, sizeof buf), 0);

    EXPECT_TRUE(FreeLibrary(ja));
    EXPECT_FALSE(FreeLibrary(ja));  // a freed handle is refused, not used
    EXPECT_EQ(LoadStringA(ja, 3000, buf, sizeof buf), 0);
    EXPECT_EQ(LoadStringA(en, 3000, buf, sizeof buf), 10);
    EXPECT_TRUE(FreeLibrary(en));
}

TEST(Module, AHandleKeepsItsTextsWhenTheFileIsReplacedAndFreedLater) {
    TempDir dir;
    const std::string path = dir.file("tav0411.DLL");
    dir.write("tav0411.DLL", tavtest::read_file(module_path("tav0411.DLL")));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // settled: the next load keeps a copy
    HMODULE first = LoadLibraryA(path.c_str());
    ASSERT_NE(first, nullptr);
    HMODULE fromCopy = LoadLibraryA(path.c_str());
    ASSERT_NE(fromCopy, nullptr);
    dir.write("tav0411.DLL", tavtest::read_file(module_path("tav0409.DLL")));  // in place
    HMODULE replaced = LoadLibraryA(path.c_str());
    ASSERT_NE(replaced, nullptr);
    char buf[64];
    EXPECT_EQ(LoadStringA(replaced, 3000, buf, sizeof buf), 10);
    EXPECT_STREQ(buf, "Normal end");
    // The handles taken before still read the texts they were loaded with.
    for (HMODULE before : {fromCopy, first}) EXPECT_EQ(LoadStringA(before, 3000, buf, sizeof buf), 8);
    EXPECT_TRUE(FreeLibrary(fromCopy));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(LoadStringA(replaced, 3000, buf, sizeof buf), 10);
    EXPECT_TRUE(FreeLibrary(replaced));
    EXPECT_FALSE(FreeLibrary(fromCopy));
}

TEST(Module, RefusesWhatIsNotALanguageModule) {
    TempDir dir;
    const std::string good = tavtest::read_file(module_path("tav0409.DLL"));
    ASSERT_FALSE(good.empty());
    // Same object with the table's magic spoiled: loads as ELF, fails the check.
    std::string bad = good;
    const std::string magic("SVAT", 4);  // TAV_STRING_TABLE_MAGIC in memory order
    size_t at = bad.find(magic);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bad.find(magic, at + 1), std::string::npos);
    bad[at] = 'X';
    dir.write("tav0001.DLL", bad);
    dir.write("tav0002.DLL", good.substr(0, 700));
    dir.write("tav0003.DLL", "MZ not an ELF object\r\n");

    for (const char* name : {"tav0001.DLL", "tav0002.DLL", "tav0003.DLL", "missing.DLL"}) {
        std::string path = dir.file(name);
        EXPECT_EQ(LoadLibraryA(path.c_str()), nullptr) << name;
        EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << name << " left open";
    }
    EXPECT_EQ(LoadLibraryA(dir.path().c_str()), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

// ------------------------------------------------------- host and language

TEST(Host, DirectoryFilesAndLanguage) {
    TempDir dir;
    {
        ScopedEnv env("TAV_HOST_DIR", dir.path() + "/");
        EXPECT_EQ(host_directory(), dir.path());
    }
    {
        ScopedEnv env("TAV_HOST_DIR", "");
        char exe[4096];
        ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        ASSERT_GT(n, 0);
        EXPECT_EQ(host_directory(), std::filesystem::path(std::string(exe, n)).parent_path().string());
    }

    for (const char* f : {"tav0411.DLL", "tav0409.dll", "x.Dll", "y.dllx", "z.txt"}) dir.write(f, "");
    std::filesystem::create_directory(dir.file("folder.dll"));
    std::vector<std::string> found = find_files(dir.path(), ".dll");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"tav0409.dll", "tav0411.DLL", "x.Dll"}));
    EXPECT_TRUE(find_files(dir.file("none"), ".dll").empty());

    // An id that is no hex number leaves the choice to LANG.
    ScopedEnv lang("LANG", "ja_JP.UTF-8");
    ScopedEnv id("TAV_SYSTEM_LANGID", "not hex");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0411);
    ScopedEnv en("LANG", "en_US.UTF-8");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);
}

// ------------------------------------------------ message boxes and messages

namespace {
std::string g_boxText, g_boxCaption;
unsigned g_boxType = 0;
int record_box(const char* text, const char* caption, unsigned type) {
    g_boxText = text;
    g_boxCaption = caption;
    g_boxType = type;
    return IDNO;
}
}  // namespace

TEST(MessageBox, HookDefaultAndExit) {
    set_message_box_hook(record_box);
    EXPECT_EQ(MessageBoxA(nullptr, "question?", "Title", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(std::make_tuple(g_boxText, g_boxCaption, g_boxType),
              std::make_tuple(std::string("question?"), std::string("Title"), unsigned{MB_YESNO | MB_ICONQUESTION}));

    set_message_box_hook(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "question?", "Title", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "No valid DLL to use!", nullptr, MB_OK | MB_ICONERROR), IDOK);
    std::string err = testing::internal::GetCapturedStderr();
    for (const char* shown : {"Title", "No valid DLL to use!"}) EXPECT_NE(err.find(shown), std::string::npos) << shown;

    EXPECT_EXIT(exit_process(1), ::testing::ExitedWithCode(1), "");
}

TEST(WindowMessage, PostsThroughTheHostCallback) {
    static uintptr_t seen[4];
    TavWindow window{[](void* ctx, unsigned msg, uintptr_t w, intptr_t l) {
                         seen[0] = reinterpret_cast<uintptr_t>(ctx), seen[1] = msg, seen[2] = w;
                         seen[3] = static_cast<uintptr_t>(l);
                     },
                     &seen};
    EXPECT_TRUE(PostMessageA(&window, TAV_WM_PROGRESS, 42, -1));
    // The context, the message and both parameters reach the callback.
    EXPECT_EQ(std::vector<uintptr_t>(seen, seen + 4), (std::vector<uintptr_t>{reinterpret_cast<uintptr_t>(&seen),
                                                                            TAV_WM_PROGRESS, 42u, static_cast<uintptr_t>(-1)}));
    EXPECT_FALSE(PostMessageA(nullptr, TAV_WM_CMD_DONE, 0, 0));
    TavWindow deaf{nullptr, nullptr};
    EXPECT_FALSE(PostMessageA(&deaf, TAV_WM_CMD_DONE, 0, 0));
}

// ---------------------------------------------------------------- locks

TEST(Locks, ASecondHandleIsRefusedOverlappingRegions) {
    TempDir dir;
    const std::string path = dir.file("COM1.lck");
    EXPECT_EQ(lock_file_open(path.c_str(), false), kInvalidFile);
    FileHandle a = lock_file_open(path.c_str(), true);
    ASSERT_NE(a, kInvalidFile);
    FileHandle b = lock_file_open(path.c_str(), false);
    ASSERT_NE(b, kInvalidFile);

    ASSERT_TRUE(lock_region(a, 1, 1));
    EXPECT_FALSE(lock_region(b, 1, 1));
    EXPECT_FALSE(lock_region(b, 0, 2));  // any overlap counts
    EXPECT_TRUE(lock_region(b, 0, 1));   // a neighbouring byte is free
    EXPECT_FALSE(lock_region(a, 1, 1));  // no second lock on the same bytes
    EXPECT_FALSE(unlock_region(b, 1, 1));  // b does not hold byte 1

    ASSERT_TRUE(unlock_region(a, 1, 1));
    EXPECT_TRUE(lock_region(b, 1, 1));
    lock_file_close(a);
    lock_file_close(b);
    EXPECT_FALSE(lock_region(kInvalidFile, 0, 1));
    EXPECT_EQ(lock_file_open(dir.path().c_str(), true), kInvalidFile);
}

// ------------------------------------------------------------- serial ports

TEST(SerialPort, PortMapOrder) {
    tavtest::TempInstall home;
    EXPECT_EQ(wyn_home(), home.path());
    for (auto [port, device] : {std::pair{1, "/dev/ttyS0"}, {9, "/dev/ttyS8"}, {0, ""}, {10, ""}})
        EXPECT_EQ(resolve_com_port(port), device) << port;
    home.write("wyn.ini", "[Ports]\r\ncom3=sim:/tmp/state\r\nCOM4=/dev/pts/9\r\n");
    EXPECT_EQ(resolve_com_port(3), "sim:/tmp/state");
    ScopedEnv env("WYN_COM4", "/dev/ttyUSB0");
    EXPECT_EQ(resolve_com_port(4), "/dev/ttyUSB0");
}

// ---------------------------------------------------- date, time and text

TEST(DateTimeAndText, BoundedResults) {
    char date[16], time[16];
    local_date(date, sizeof date);
    local_time(time, sizeof time);
    int y, mo, d, h, mi, sec;
    char end;
    EXPECT_EQ(std::sscanf(date, "%4d/%2d/%2d%c", &y, &mo, &d, &end), 3) << date;
    EXPECT_EQ(std::strlen(date), 10u);
    EXPECT_EQ(std::sscanf(time, "%2d:%2d:%2d%c", &h, &mi, &sec, &end), 3) << time;
    EXPECT_EQ(std::strlen(time), 8u);
    char small[5] = {'#', '#', '#', '#', '#'};
    local_date(small, 5);
    EXPECT_EQ(std::string(small), std::string(date, 4));

    char buf[6];
    EXPECT_EQ(copy_text(buf, "abcdefgh"), 5u);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(copy_text(buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(format_text(buf, sizeof buf, "%s = 0x%04X", "ab", 300), 11);  // the length it wanted, cut to the buffer
    EXPECT_STREQ(buf, "ab = ");
}
