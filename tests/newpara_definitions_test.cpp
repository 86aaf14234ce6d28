// Extended parameter definitions: finding and reading the definition files,
// the identification codes and the single-parameter accessors; and what the
// sets of every family do alike (EveryFamily: comments, names, refused files,
// titles).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "fixtures/para_fixtures.h"
#include "fixtures/temp_dirs.h"
#include "iti/iti.h"
#include "itivv/itivv.h"
#include "newpara/newpara.h"
#include "para/para.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using namespace tav::newpara;
using Texts = std::vector<std::string>;

class Definitions : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample_definitions(home, false);
    }
    // A definition file of our own under id 530.
    void write_def(const std::string& body) { home.write("def/530.def", "header\r\n" + body); }
    // The result and the number found for the nth parameter of a code.
    std::pair<int, int> find_code(int code, int nth) {
        int no = -1;
        return {NewPara_Skubun_No_Rd(set.get(), code, nth, &no), no};
    }
    // The result and the code of a parameter.
    std::pair<int, int> code_of(int no) {
        int code = -1;
        return {NewPara_No_Skubun_Rd(set.get(), no, &code), code};
    }

    tavtest::TempInstall home;
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
};

TEST_F(Definitions, KestaParameterPageOfTheLType) {
    ASSERT_EQ(NewParaIni_Rd(2, 0, 0, set.get()), 0);
    EXPECT_EQ(std::make_tuple(+set->nParaCount, +set->nGroupCount, +set->nFamily, +set->nModel, +set->nInfoWord,
                              +set->byInfo9),
              std::make_tuple(297, 10, 0x30, 2, -1, 3));
    EXPECT_TRUE(std::string(set->szDefPath).ends_with("/def/520.def"));
    EXPECT_EQ(find_code(kSS, 0), std::make_pair(0, 112));
    EXPECT_EQ(find_code(kS2, 0), std::make_pair(0, 113));
    const NewParaRecord* p = set->para;
    EXPECT_STREQ(p[172].szTag, "PA2_74");
    EXPECT_NE(+p[172].wAttr, 0);
    // Every slot is a parameter line: unused ones carry the unused name and attribute 0.
    for (int i = 0; i < 297; ++i) EXPECT_EQ(+p[i].nParaNo, i + 1);
    EXPECT_EQ(std::make_tuple(+p[296].wAttr, +p[98].wAttr, std::string(p[98].szName), +p[0].dValue),
              std::make_tuple(0x0003, 0, tav::text::Text(10010), +p[0].dInitial));
    EXPECT_STREQ(p[0].szItemComment, p[0].szItemCommentBase);
}

TEST_F(Definitions, FileNumbersOfBothFamiliesAndTheHiddenPage) {
    const auto file = [&] { return std::filesystem::path(set->szDefPath).filename().string(); };
    ASSERT_EQ(NewParaIni_Rd2(3, 1, 1, set.get()), 0);
    EXPECT_EQ(std::make_pair(file(), +set->nFamily), std::make_pair(std::string("1631.def"), 0x40));
    ASSERT_EQ(NewParaIni_Rd(1, 0, 2, set.get()), 0);
    EXPECT_EQ(file(), "710.def");
    ASSERT_EQ(NewParaIni_Rd2(0, 0, 5, set.get()), 0);
    EXPECT_EQ(std::make_pair(file(), +set->nKind), std::make_pair(std::string("710.def"), 5));
}

TEST_F(Definitions, MissingFileLeavesTheSetAsItWas) {
    set->nParaCount = 12;
    fs::remove(home.file("def/531.def"));
    EXPECT_EQ(NewParaIni_Rd(3, 1, 0, set.get()), -3);
    EXPECT_EQ(+set->nParaCount, 12);
    EXPECT_GT(NewParaIni_Rd(200, 9, 0, set.get()), 0);  // no such path id
}

TEST_F(Definitions, LineCountsAndMissingFields) {
    std::string body;
    for (int i = 1; i <= 300; ++i) body += std::to_string(i) + "\t0\tN" + std::to_string(i) + "\t0x0001\t" + std::to_string(i) + "\t9\t0\t1\r\n";
    write_def(body);
    ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
    EXPECT_EQ(std::make_pair(+set->para[296].nParaNo, +set->para[296].dValue), std::make_pair(297, 297.0));

    write_def("1\t1\tName only\t\t5\r\n2\t0\tTwo\t0x0011\t1.5\t3\t-3\t0.1\tcomment\td1\td2\td3\tTAG\tmm\tSS\tsub\r\n");
    ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
    const NewParaRecord* p = set->para;
    // A short file leaves the rest zero.
    EXPECT_EQ(std::make_tuple(+p[0].wAttr, +p[0].dInitial, +p[0].nChgFlag, +p[1].wAttr, +p[1].dMin, +p[2].nParaNo,
                              +set->nParaCount),
              std::make_tuple(0, 0.0, 1, 0x0011, -3.0, 0, 297));
    EXPECT_EQ((std::vector<std::string>{p[0].szName, p[1].szDetail, p[1].szTag, p[1].szNote, p[1].szIdCode, p[1].szSubTitle}),
              (std::vector<std::string>{"Name only", "d1d2d3", "TAG", "mm", "SS", "sub"}));
}

// A definition is parsed once while its file stays the same; a rewrite in
// place with the same size and modification time still shows at once.
TEST_F(Definitions, AKeptDefinitionFollowsARewriteInPlace) {
    write_def("1\t0\tfirst\t0x0001\t5\t9\t0\t1\r\n2\t0\tsecond\t0x0001\t6\t9\t0\t1\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // settled files may be kept
    for (int load = 0; load < 2; ++load) {
        ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
        EXPECT_EQ(std::make_tuple(std::string(set->para[1].szName), +set->para[1].dValue, +set->para[2].nParaNo),
                  std::make_tuple(std::string("second"), 6.0, 0));
        set->para[1].dValue = 99;  // an edit of the set never reaches the kept records
    }
    std::string text = home.read("def/530.def");
    text.replace(text.find("second"), 6, "SECOND");
    tavtest::rewrite_in_place(home.file("def/530.def"), text);
    ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
    EXPECT_EQ(std::make_pair(std::string(set->para[1].szName), +set->para[1].dValue), std::make_pair(std::string("SECOND"), 6.0));
}

TEST_F(Definitions, OverlongFieldsAreCutInsideTheirAreas) {
    // Within the 4000-byte line limit, but every text longer than its area.
    const std::string huge(1200, 'x');
    std::string line = "1\t0\t" + huge + "\t0x0001\t1\t2\t0\t1\t" + huge + "\t\t\t\t" + huge + "\t" + std::string(60, 'n');
    for (int i = 0; i < 12; ++i) line += "\tv" + std::to_string(i + 1);
    write_def(line + "\r\n" + std::string(9000, 'y') + "\r\n");
    ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
    const NewParaRecord& r = set->para[0];
    EXPECT_EQ((std::vector<std::size_t>{std::strlen(r.szName), std::strlen(r.szItemComment), std::strlen(r.szTag), std::strlen(r.szNote)}),
              (std::vector<std::size_t>{sizeof r.szName - 1, sizeof r.szItemComment - 1, sizeof r.szTag - 1, sizeof r.szNote - 1}));
    // The line of 9000 bytes arrives in pieces of the line limit, each read as a line.
    EXPECT_EQ(std::make_pair(+set->para[1].nParaNo, +set->para[3].wAttr), std::make_pair(0, 0));
}

TEST_F(Definitions, CodesAndValueTexts) {
    write_def("1\t0\tA\t0x0001\t0\t1\t0\t1\t\t\t\t\tT\t\tC1\t\tone\ttwo\tthree\tfour\tfive\tsix\tseven\teight\tnine\tten\televen\r\n"
              "2\t0\tB\t0x0001\t0\t1\t0\t1\t\t\t\t\tT\t\tOP\r\n"
              "3\t0\tC\t0x0001\t0\t1\t0\t1\t\t\t\t\tT\t\tC1\r\n"
              "4\t0\tD\t0x0001\t0\t1\t0\t1\t\t\t\t\tT\t\tXX\r\n");
    ASSERT_EQ(NewParaIni_Rd(3, 0, 0, set.get()), 0);
    EXPECT_EQ(std::make_pair(find_code(kOP, 0).first, find_code(11, 0).first), std::make_pair(-1, -1));  // OP: known, not searchable
    EXPECT_EQ(std::make_pair(find_code(kC1, 0), find_code(kC1, 1)), std::make_pair(std::make_pair(0, 1), std::make_pair(0, 3)));
    EXPECT_EQ((std::vector<std::pair<int, int>>{code_of(2), code_of(4)}), (std::vector<std::pair<int, int>>{{0, int{kOP}}, {0, 100}}));
    EXPECT_EQ(code_of(298).first, -1);

    // Parameter, text number, result, text: past the last text the buffer is kept, without texts it is emptied.
    for (auto [no, index, code, text] : {std::tuple{1, 10, 0, "ten"}, {1, 11, -1, "keep"}, {2, 1, -1, ""}}) {
        char out[40] = "keep";
        EXPECT_EQ(NewPara_ValueString_Rd(set.get(), no, index, out), code) << no << "/" << index;
        EXPECT_STREQ(out, text) << no << "/" << index;
    }
}

TEST_F(Definitions, ChangeResetAndReadAccessors) {
    ASSERT_EQ(NewParaIni_Rd(2, 0, 0, set.get()), 0);
    // No range check on a change: the value is stored as given.
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 3, 99999), 0);
    EXPECT_EQ(std::make_pair(+set->para[2].dValue, +set->para[2].nChgFlag), std::make_pair(99999.0, 1));
    for (int no : {0, 298}) EXPECT_EQ(NewPara_Dat_Chg(set.get(), no, 1), -1) << no;

    set->para[2].nResult = -15;
    EXPECT_EQ(NewPara_Dat_Init(set.get(), 3), 0);
    EXPECT_EQ(std::make_pair(+set->para[2].dValue, +set->para[2].nResult), std::make_pair(5000.0, 0));
    set->para[98].dValue = 4;  // an unused slot away from its initial value
    EXPECT_EQ(NewPara_Dat_Init(set.get(), 99), -6);
    set->para[98].dValue = 0;
    EXPECT_EQ(NewPara_Dat_Init(set.get(), 99), 0);

    auto rec = std::make_unique<NewParaRecord>();
    std::memset(rec.get(), 0x5A, sizeof *rec);
    ASSERT_EQ(NewPara_Dat_Rd(set.get(), 3, rec.get()), 0);
    EXPECT_EQ(std::make_tuple(+rec->nParaNo, +rec->dMax, std::string(rec->szIdCode)),
              std::make_tuple(0x5A5A5A5A, 5000.0, std::string("KK")));  // the number is not copied
    EXPECT_EQ(NewPara_Dat_Rd(set.get(), 99, rec.get()), -6);
    char sub[40];
    EXPECT_EQ(NewPara_SubTile_Rd(set.get(), 99, sub), -6);
}

// One set of each family, for what they all do alike (with no file name).
class EveryFamily : public ::testing::Test {
protected:
    std::unique_ptr<ParaSet> para = std::make_unique<ParaSet>();
    std::unique_ptr<NewParaSet> ext = std::make_unique<NewParaSet>();
    std::unique_ptr<ItiDatSet> iti = std::make_unique<ItiDatSet>();
    std::unique_ptr<ItiVvDatSet> vv = std::make_unique<ItiVvDatSet>();
};

// A comment of up to 2047 characters is kept and read back, a longer one refused (the old one kept); an
// empty file name is refused.
TEST_F(EveryFamily, CommentLimitAndFileName) {
    const std::string ok(2047, 'c'), over(2048, 'd');
    const auto check = [&](auto* set, auto commentWt, auto commentRd, auto nameChg) {
        EXPECT_EQ(commentWt(set, ok.c_str()), TAV_OK);
        EXPECT_EQ(commentWt(set, over.c_str()), TAV_E_PARAMETER);
        char back[2058];
        ASSERT_EQ(commentRd(set, back), TAV_OK);
        EXPECT_EQ(std::string(back), ok);
        for (const char* bad : {"", static_cast<const char*>(nullptr)}) EXPECT_EQ(nameChg(set, bad), TAV_E_PARAMETER);
        EXPECT_EQ(+set->szFileName[0], '\0');
        EXPECT_EQ(nameChg(set, "/tmp/a.k7l"), TAV_OK);
        EXPECT_STREQ(set->szFileName, "/tmp/a.k7l");
    };
    check(para.get(), tav::para::Para_FileCmt_Wt, tav::para::Para_FileCmt_Rd, tav::para::Para_FileName_Chg);
    check(ext.get(), NewPara_FileCmt_Wt, NewPara_FileCmt_Rd, NewPara_FileName_Chg);
    check(iti.get(), tav::iti::FileCmt_Wt<ItiDatSet>, tav::iti::FileCmt_Rd<ItiDatSet>, tav::iti::FileName_Chg<ItiDatSet>);
    check(vv.get(), tav::itivv::FileCmt_Wt, tav::itivv::FileCmt_Rd, tav::itivv::FileName_Chg);
}

// Every family's writer wants a target, a name of its kinds and a folder that is there; its reader refuses
// an empty or foreign file of its kind (-5) and finds no missing one (-3).
TEST_F(EveryFamily, WrongNamesAndUnreadableFilesAreRefused) {
    tavtest::TempInstall home;
    const auto check = [&](auto* set, auto write, auto read, const std::string& ext, const char* wrongKind) {
        SCOPED_TRACE(ext);
        EXPECT_EQ(write(nullptr, set), TAV_E_NO_TARGET_FILE);
        for (auto [name, code] : {std::pair{std::string(wrongKind), TAV_E_FILE_NAME}, {home.file("x.txt"), TAV_E_FILE_NAME},
                                  {home.file("no/such/dir" + ext), TAV_E_READ_ONLY}})
            EXPECT_EQ(write(name.c_str(), set), code) << name;
        home.write("empty" + ext, ""), home.write("foreign" + ext, "NOT A DATA FILE\r\n");
        for (auto [name, code] : {std::pair{"empty", TAV_E_FILE_NAME}, {"foreign", TAV_E_FILE_NAME}, {"missing", TAV_E_NO_FILE}})
            EXPECT_EQ(read(home.file(name + ext).c_str(), set), code) << name;
    };
    check(para.get(), tav::para::Para_Wt, [](const char* f, ParaSet* s) { return tav::para::Para_Rd(f, 0, s); }, ".k7p", "a.k7");
    check(ext.get(), NewPara_Wt, [](const char* f, NewParaSet* s) { return NewPara_Rd(f, 0, s); }, ".k7p", "a.k7");
    check(iti.get(), tav::iti::DatFil_Wt, tav::iti::DatFil_Rd, ".k7l", "a.kl");
    check(vv.get(), tav::itivv::DatFil_Wt, tav::itivv::DatFil_Rd, ".k7v", "a.kv");
}

// Every title function splits a file name alike: the drive letter, the folder
// after it, the name without its extension (the standard parameters end it at
// its last dot, the others at the first), and the page's name with that name
// as the title.
TEST_F(EveryFamily, TitlesSplitTheFileNameAlike) {
    struct Case {
        const char *file, *drive, *dir, *lastDot, *firstDot;
    };
    ext->nKind = 1;
    // Drive, folder, name, title and the two spare parts (one byte each: only a terminator fits).
    const auto split = [](auto* set, auto titleRd, const char* file) {
        std::strcpy(set->szFileName, file);
        char drive[TAV_PATH_MAX], dir[TAV_PATH_MAX], name[TAV_PATH_MAX], o4[1] = {'x'}, o5[1] = {'x'}, title[400];
        EXPECT_EQ(titleRd(set, drive, dir, name, o4, o5, title), TAV_OK) << file;
        return Texts{drive, dir, name, title, std::string{o4[0], o5[0]}};
    };
    for (Case c : {Case{"C:\\data\\axis.one.k7l", "C:", "\\data\\", "axis.one", "axis"},
                   Case{"\\data\\axis1.k7l", "", "\\data\\", "axis1", "axis1"},
                   Case{"/home/u/x.y.k7l", "", "/home/u/", "x.y", "x"}, Case{"axis1.k7l", "", "", "axis1", "axis1"},
                   Case{"C:axis1.k7l", "C:", "", "axis1", "axis1"}, Case{"", "", "", "", ""}}) {
        const auto want = [&](unsigned page, const std::string& base) {
            const std::string title = tav::text::Text(page) + (base.empty() ? "" : "    " + base);
            return Texts{c.drive, c.dir, base, title, std::string(2, '\0')};
        };
        EXPECT_EQ(split(para.get(), tav::para::ParaTitle_Rd, c.file), want(10005, c.lastDot));
        EXPECT_EQ(split(ext.get(), NewParaTitle_Rd, c.file), want(10006, c.firstDot));
        EXPECT_EQ(split(iti.get(), tav::iti::Title_Rd, c.file), want(10007, c.firstDot));
        EXPECT_EQ(split(vv.get(), tav::itivv::Title_Rd, c.file), want(10007, c.firstDot));
    }
    // The VV table's caller may leave the spare parts out; a page of no known kind has a title of its own.
    char drive[TAV_PATH_MAX], dir[TAV_PATH_MAX], name[TAV_PATH_MAX], title[400];
    EXPECT_EQ(tav::itivv::Title_Rd(vv.get(), drive, dir, name, nullptr, nullptr, title), TAV_OK);
    ext->nKind = 7;
    NewParaTitle_Rd(ext.get(), drive, dir, name, nullptr, nullptr, title);
    EXPECT_EQ(std::string(title), tav::text::Text(10036));
}

}  // namespace
