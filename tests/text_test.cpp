// Message catalogue: language selection from the RSC folder and result-code
// messages, run against copies of the built language modules.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/recording_wyn.h"
#include "fixtures/temp_dirs.h"
#include "platform/platform.h"
#include "text/text.h"

namespace {

const std::string kNormalEnd = "\x90\xb3\x8f\xed\x8f\x49\x97\xb9";            // 正常終了
const std::string kCommCodeLabel = "\x92\xca\x90\x4d\xb4\xd7\xb0\xba\xb0\xc4\xde";  // 通信ｴﾗｰｺｰﾄﾞ
const std::string kErrorCodeLabel = "\xb4\xd7\xb0\xba\xb0\xc4\xde";          // ｴﾗｰｺｰﾄﾞ

struct Box {
    std::string text, caption;
    unsigned type;
};
std::vector<Box> g_boxes;
int g_answer = tavplat::IDYES;
int record_box(const char* text, const char* caption, unsigned type) {
    g_boxes.push_back({text, caption, type});
    return g_answer;
}

std::string message(int code, int size = 512) {
    std::string buf(static_cast<size_t>(size), '\x7f');
    tav::text::ErrString_Get(code, size, buf.data());
    return std::string(buf.c_str());
}

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

// Two lookups after the files settled: from here on the kept copies answer.
void two_settled_lookups() {
    for (int i = 0; i < 2; ++i) {
        settle();
        EXPECT_EQ(message(0), kNormalEnd);
    }
}

struct stat stat_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// The first `from` in the file becomes `to` (as long), with the file's size and time kept.
void edit_in_place(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = tavtest::read_file(path);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    tavtest::rewrite_in_place(path, text.replace(at, from.size(), to));
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        g_boxes.clear();
        g_answer = tavplat::IDYES;
        tavplat::set_message_box_hook(record_box);
        set_current("0x0411");
    }
    void TearDown() override { tavplat::set_message_box_hook(nullptr); }
    void set_current(const char* id) {
        tavplat::WritePrivateProfileStringA("LangID", "CurrentLangID", id, host.rsc("user.ini").c_str());
    }
    void set_default(const char* id) {
        tavplat::WritePrivateProfileStringA("LangID", "DefaultLangID", id, host.rsc("user.ini").c_str());
    }
    tavtest::TempHost host;
};

}  // namespace

// Library codes (negative), communication codes (positive) and their
// fallback texts, cut to the caller's size.
TEST_F(Catalogue, ResultCodeMessagesAndTheirFallbackTexts) {
    EXPECT_EQ(message(0), kNormalEnd);
    EXPECT_EQ(message(-45), kErrorCodeLabel + " = -45");  // -45 has no text of its own
    EXPECT_NE(message(-18), message(-45));
    EXPECT_EQ(message(300), kCommCodeLabel + " = 0x012C");
    {
        tavtest::RecordingWyn wyn;
        wyn.cmdStsErr = 0x1AB;  // only the low byte is shown
        EXPECT_EQ(message(15), kCommCodeLabel + " = 0x000F = 0xab");
    }
    EXPECT_NE(message(2), kCommCodeLabel + " = 0x0002");
    EXPECT_TRUE(g_boxes.empty());

    char buf[8] = "xxxxxxx";
    EXPECT_EQ(tav::text::ErrString_Get(0, 0, buf), 0);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(tav::text::ErrString_Get(0, 5, nullptr), 0);
    EXPECT_EQ(tav::text::ErrString_Get(0, 1, buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(message(0, 5), kNormalEnd.substr(0, 4));
    EXPECT_EQ(message(-45, 6), (kErrorCodeLabel + " = -45").substr(0, 5));
    EXPECT_EQ(message(-2147483647 - 1).substr(0, kErrorCodeLabel.size()), kErrorCodeLabel);
}

TEST_F(Catalogue, UserIniListsTheModulesInTheSheetsOrder) {
    message(0);
    const std::string ini = host.rsc("user.ini");
    for (auto [section, key, want] : {std::tuple{"UserLangID", "Lang0000", "0x0411"}, {"UserLangID", "Lang0001", "0x0409"},
                                      {"UserLangDomain", "Lang0001", "English"}}) {
        char buf[64];
        tavplat::GetPrivateProfileStringA(section, key, "", buf, sizeof buf, ini.c_str());
        EXPECT_STREQ(buf, want) << section << "/" << key;
    }
    EXPECT_EQ(tavplat::GetPrivateProfileIntA("UserLangNum", "LangNum", 0, ini.c_str()), 2u);
}

// A module file that is missing, or that is no shared object: one box, then the default.
TEST_F(Catalogue, AMissingOrBrokenModuleFallsBackToTheDefaultAfterOneBox) {
    set_default("0x0409");
    std::remove(host.rsc("tav0411.DLL").c_str());
    EXPECT_NE(message(0), "");
    EXPECT_EQ(g_boxes.size(), 1u);
    host.write("RSC/tav0411.DLL", "this is not an ELF file");
    set_current("0x0411");
    EXPECT_FALSE(message(0).empty());
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1].text.rfind("The Resource DLL( ", 0), 0u) << g_boxes[1].text;
    EXPECT_NE(g_boxes[1].text.find("tav0411.DLL"), std::string::npos);
}

TEST_F(Catalogue, ManyModuleFilesAreCappedWithoutHarm) {
    for (int i = 0; i < 600; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "RSC/x%04X.dll", i + 0x1000);
        host.write(name, "");
    }
    EXPECT_EQ(message(0), kNormalEnd);
}

using CatalogueDeathTest = Catalogue;

// No usable module at all, or No to the question: the process ends with code 1.
TEST_F(CatalogueDeathTest, NoUsableModuleOrAnsweringNoEndsTheProcessWithCode1) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::remove(host.rsc("tav0411.DLL").c_str());
    set_current("0x0411");
    g_answer = tavplat::IDNO;
    EXPECT_EXIT(message(0), ::testing::ExitedWithCode(1), "") << "answered No";
    g_answer = tavplat::IDYES;
    std::remove(host.rsc("tav0409.DLL").c_str());
    set_current("0x0409");
    EXPECT_EXIT(message(0), ::testing::ExitedWithCode(1), "") << "no module";
}

TEST_F(Catalogue, ChangesToUserIniAndModulesShowAtTheNextLookup) {
    two_settled_lookups();  // the copied files settled: the lookups may keep them
    set_current("0x0409");  // same size as before: only the content differs
    const std::string english = message(0);
    EXPECT_NE(english, kNormalEnd);
    set_current("0x0411");
    two_settled_lookups();
    // The Japanese module file is replaced by the English one.
    host.write("RSC/tav0411.DLL", tavtest::read_file(host.rsc("tav0409.DLL")));
    EXPECT_EQ(message(0), english);
}

// ------------------------------------------------- what the cache must notice
// Lookups keep what they read from the RSC folder while its files stay the
// same; these change the files the ways that fool a cache keyed on less than
// the whole identity.


TEST_F(Catalogue, AModuleRewrittenInPlaceWithItsOldSizeAndTimeShowsAtTheNextLookup) {
    two_settled_lookups();
    edit_in_place(host.rsc("tav0411.DLL"), kNormalEnd, "REPLACED");
    EXPECT_EQ(message(0), "REPLACED");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Catalogue, UserIniEditedTwiceWithinOneSecondShowsBothEdits) {
    host.write("RSC/user.ini", "[LangID]\r\nCurrentLangID=0x0411\r\nDefaultLangID=0x0409\r\n");
    two_settled_lookups();  // the first lists the languages into user.ini
    edit_in_place(host.rsc("user.ini"), "CurrentLangID=0x0411", "CurrentLangID=0x0409");
    EXPECT_NE(message(0), kNormalEnd);
    edit_in_place(host.rsc("user.ini"), "CurrentLangID=0x0409", "CurrentLangID=0x0411");
    EXPECT_EQ(message(0), kNormalEnd);
    EXPECT_TRUE(g_boxes.empty());
}

// The lookups of listings and titles (Text) go straight to the module once a
// kept selection has found the current id listed; every input of that
// shortcut still shows at the next lookup.
TEST_F(Catalogue, TextLookupsFollowTheSystemLanguageUserIniAndTheQuestion) {
    auto text = [] { return tav::text::Text(10008); };
    host.write("RSC/user.ini", "[LangID]\r\nDefaultLangID=0x0409\r\n");  // no current id: the system's
    tavtest::ScopedEnv japanese("TAV_SYSTEM_LANGID", "0411");
    text();  // lists the languages into user.ini
    settle();
    EXPECT_EQ(text(), kCommCodeLabel);
    EXPECT_EQ(text(), kCommCodeLabel);  // by the shortcut from here on
    std::string english;
    {
        tavtest::ScopedEnv system("TAV_SYSTEM_LANGID", "0409");
        english = text();
    }
    EXPECT_NE(english, kCommCodeLabel);
    EXPECT_EQ(text(), kCommCodeLabel);
    EXPECT_TRUE(g_boxes.empty());

    // CurrentLangID added in place with the old modification time: English.
    edit_in_place(host.rsc("user.ini"), "DefaultLangID=0x0409", "CurrentLangID=0x0409");
    EXPECT_EQ(text(), english);
    settle();
    EXPECT_EQ(text(), english);

    // A current id no module has: the question at every lookup.
    edit_in_place(host.rsc("user.ini"), "CurrentLangID=0x0409", "CurrentLangID=0x0809");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(text(), english);
    EXPECT_EQ(g_boxes.size(), 3u);
}

TEST_F(Catalogue, ARenamedRscFolderIsReadAfreshAtTheNextLookup) {
    // A second folder whose Japanese module file holds the English texts.
    host.write("RSC.en/tav0411.DLL", tavtest::read_file(host.rsc("tav0409.DLL")));
    host.write("RSC.en/tav0409.DLL", tavtest::read_file(host.rsc("tav0409.DLL")));
    host.write("RSC.en/LangIdSheet.ini", tavtest::read_file(host.rsc("LangIdSheet.ini")));
    host.write("RSC.en/user.ini", tavtest::read_file(host.rsc("user.ini")));
    two_settled_lookups();
    ASSERT_EQ(std::rename(host.file("RSC").c_str(), host.file("RSC.ja").c_str()), 0);
    ASSERT_EQ(std::rename(host.file("RSC.en").c_str(), host.file("RSC").c_str()), 0);
    const std::string english = message(0);
    EXPECT_NE(english, kNormalEnd);
    ASSERT_EQ(std::rename(host.file("RSC").c_str(), host.file("RSC.en").c_str()), 0);
    ASSERT_EQ(std::rename(host.file("RSC.ja").c_str(), host.file("RSC").c_str()), 0);
    EXPECT_EQ(message(0), kNormalEnd);
    EXPECT_TRUE(g_boxes.empty());
}

// A current language the sheet does not list: the question at every lookup.
// Yes makes it 1033 (US English), whose module exists; user.ini is listed
// once and not written again while nothing changes.
TEST_F(Catalogue, ALanguageTheSheetDoesNotListLeadsToTheQuestionAtEveryLookup) {
    host.write("RSC/LangIdSheet.ini", "[LangIdSort]\r\nLang0000=0x0411\r\n[LangIdSheet]\r\n0x0411=Japanese\r\n");
    set_current("0x0809");
    set_default("0x0411");
    const std::string english = message(0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(std::make_tuple(g_boxes[0].caption, g_boxes[0].text, g_boxes[0].type),
              std::make_tuple(std::string("Quimbel Multi-language"),
                              std::string("Current language invalid, use the default language?"),
                              unsigned{tavplat::MB_YESNO | tavplat::MB_ICONQUESTION}));
    EXPECT_TRUE(english != kNormalEnd && !english.empty()) << english;
    EXPECT_EQ(tavplat::GetPrivateProfileIntA("UserLangNum", "LangNum", 0, host.rsc("user.ini").c_str()), 1u);
    settle();
    message(0);
    const struct stat before = stat_of(host.rsc("user.ini"));
    g_boxes.clear();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(message(0), english);
    EXPECT_EQ(g_boxes.size(), 3u);
    const struct stat after = stat_of(host.rsc("user.ini"));
    EXPECT_EQ(std::make_pair(after.st_ino, after.st_mtim.tv_nsec), std::make_pair(before.st_ino, before.st_mtim.tv_nsec));
}

TEST_F(CatalogueDeathTest, AnRscFolderRenamedAwayEndsTheProcessAsAMissingOneDoes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    two_settled_lookups();
    ASSERT_EQ(std::rename(host.file("RSC").c_str(), host.file("RSC.old").c_str()), 0);
    EXPECT_EXIT(message(0), ::testing::ExitedWithCode(1), "");
}
