// Extended parameter files and listings: the writer's layout, the reader's
// documented behaviour, the header accessors, the print page and the CSV export.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fixtures/para_fixtures.h"
#include "fixtures/temp_dirs.h"
#include "frame/frame.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "text/text.h"

namespace {

using namespace tav::newpara;
using Texts = std::vector<std::string>;


class ParaFile : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample_definitions(home, true);
        tav::line::set_amp_name_for_file("");
        ASSERT_EQ(NewPara_Create(2, 0, set.get()), 0);
    }
    std::string first_line(const std::string& rel) {
        const std::string all = home.read(rel);
        return all.substr(0, all.find("\r\n"));
    }
    tavtest::TempInstall home;
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
    std::unique_ptr<NewParaSet> back = std::make_unique<NewParaSet>();
    std::unique_ptr<NewParaPrint> page = std::make_unique<NewParaPrint>();
};

TEST_F(ParaFile, RoundTripKeepsValuesResultsNotesAndComment) {
    std::strcpy(set->szAmpNo, "001");
    std::strcpy(set->szReadDate, "2024/05/01 - 10:20:30");
    set->byInfo10 = 2;
    set->nInterface = 1;
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 8, 123.4), TAV_OK);
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 201, 1200), TAV_OK);
    set->para[9].nResult = -15;
    std::strcpy(set->para[9].szFileNote, "note, with comma");
    std::strcpy(set->szComment, "line one\r\nline two");
    tav::line::set_amp_name_for_file("AXIS-1");
    const std::string path = home.file("axis.k7p");
    set->nProgressDone = 0;
    ASSERT_EQ(NewPara_Wt(path.c_str(), set.get()), 0);
    EXPECT_EQ(+set->nProgressDone, 297);
    EXPECT_TRUE(first_line("axis.k7p").starts_with("SERVO,LIN, 001,2024/05/01 - 10:20:30,"));
    EXPECT_NE(home.read("axis.k7p").find("\r\n  8, 000000123.4, 0101,"), std::string::npos);  // zero-padded form

    ASSERT_EQ(NewPara_Rd(path.c_str(), 0, back.get()), 0);
    EXPECT_EQ((Texts{back->szAmpNo, back->szReadDate, back->szComment, back->para[9].szFileNote, tav::line::amp_name_from_file()}),
              (Texts{"001", "2024/05/01 - 10:20:30", "line one\r\nline two", "note, with comma", "AXIS-1"}));
    // The information word as read: not sign-extended.
    EXPECT_EQ(std::make_tuple(+back->byInfo10, +back->nInterface, +back->nInfoWord, +back->para[9].nResult,
                              +back->nProgressTotal),
              std::make_tuple(2, 1, 0xFFFF, -15, 594));
    for (int i = 0; i < 297; ++i) {
        EXPECT_DOUBLE_EQ(+back->para[i].dValue, +set->para[i].dValue) << i + 1;
        EXPECT_EQ(+back->para[i].wAttr, +set->para[i].wAttr) << i + 1;
    }
}

TEST_F(ParaFile, EmptyAmplifierNumberAndBlankDate) {
    set->szAmpNo[0] = '\0';
    const std::string path = home.file("a.k7p");
    ASSERT_EQ(NewPara_Wt(path.c_str(), set.get()), 0);
    EXPECT_TRUE(first_line("a.k7p").starts_with("SERVO,LIN, ,,FF,"));
    set->byInfo1 = 0x12;
    ASSERT_EQ(NewPara_Rd(path.c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_tuple(std::string(back->szAmpNo), std::string(back->szReadDate), +back->byInfo1),
              std::make_tuple(std::string(), std::string(), 0xFF));

    std::strcpy(set->szAmpNo, "001");
    set->szReadDate[0] = '\0';
    ASSERT_EQ(NewPara_Wt(path.c_str(), set.get()), 0);
    ASSERT_EQ(NewPara_Rd(path.c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_pair(std::string(back->szReadDate), +back->byInfo1), std::make_pair(std::string(" "), 0x12));
}

TEST_F(ParaFile, ShortParameterLinesAmpNameAndComment) {
    const std::string path = home.file("b.k7p");
    ASSERT_EQ(NewPara_Wt(path.c_str(), set.get()), 0);
    std::string text = home.read("b.k7p");
    const std::size_t at = text.find("\r\n  3,");
    text.replace(at, text.find("\r\n", at + 2) - at, "\r\n  3, 777");
    home.write("b.k7p", text + "ampname=AB\r\nfirst\r\nsecond");
    ASSERT_EQ(NewPara_Rd(path.c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_tuple(+back->para[2].dValue, +back->para[2].wAttr, +back->para[2].dMax),
              std::make_tuple(777.0, +set->para[2].wAttr, 5000.0));
    EXPECT_EQ((Texts{back->para[2].szNote, tav::line::amp_name_from_file(), back->szComment}),
              (Texts{"r/min", "AB", "first\r\nsecond"}));

    home.write("b.k7p", text);
    ASSERT_EQ(NewPara_Rd(path.c_str(), 0, back.get()), 0);
    EXPECT_STREQ(tav::line::amp_name_from_file(), "");
}

TEST_F(ParaFile, MalformedFilesGiveCodesAndStayInBounds) {
    std::string bad = "SERVO,LIN, 001," + std::string(400, 'd') + "\r\nheader\r\n";
    bad += "  1, nan, FFFF, 1e308, -1e999, x, 99999999999999999999," + std::string(700, 'n') + "\r\n";
    bad += "  2\r\n  3, 5\r\n";
    home.write("c.k7p", bad + std::string(5000, 'c'));
    ASSERT_EQ(NewPara_Rd(home.file("c.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_tuple(+back->para[0].dValue, +back->para[0].wAttr, +back->para[0].nResult),
              std::make_tuple(0.0, 0xFFFF, 2147483647));
    // The overlong line arrives in two pieces: its rest ends the parameter lines,
    // and what follows is comment, cut at the area.
    EXPECT_EQ(std::make_tuple(std::strlen(back->para[0].szFileNote), std::strlen(back->szComment),
                              std::string(back->szComment).substr(0, 6)),
              std::make_tuple(std::size_t{80}, std::size_t{2047}, std::string("  2\r\n ")));
    EXPECT_EQ(+back->para[1].dValue, +back->para[1].dInitial);
}

// Names refused, comments and names: EveryFamily's tests.
TEST_F(ParaFile, ACsvNameExports) {
    ASSERT_EQ(NewPara_Wt(home.file("x.csv").c_str(), set.get()), 0);  // a ".csv" name exports
    EXPECT_TRUE(home.exists("x.csv"));
}

// The composition itself is Identification's (MotorNameFollowsTheEncoderCode); here the set's four
// bytes must reach it as series, voltage, capacity and encoder, and 0xFF gives the placeholder.
TEST_F(ParaFile, MotorLineIsTheIdentificationsMotorName) {
    for (auto [series, name] : {std::pair<uint8_t, const char*>{1, "NVS 371DC1 - C6"}, {0xFF, "NV* ****** - ***"}}) {
        set->byInfo10 = series, set->byInfo11 = 2, set->byInfo12 = 4, set->byInfo14 = 2;
        char out[2200];  // an information line's size
        int lines = 0;
        ASSERT_EQ(NewPara_Ctl_Inf_Rd(set.get(), 8, &lines, out), 0);
        EXPECT_EQ(std::string(out), tav::text::Text(10029) + name) << int(series);
    }
}

TEST_F(ParaFile, PropertiesSwapTheExtensionWithTheKind) {
    ASSERT_EQ(NewPara_FileName_Chg(set.get(), "/data/axis.k7p"), 0);
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 8, 99999), TAV_OK);  // beyond its maximum
    NewParaProperty prop{};
    ASSERT_EQ(NewPara_Property_Rd(set.get(), &prop), 0);
    ASSERT_EQ(NewPara_Property_Wt(set.get(), &prop), 0);
    EXPECT_EQ(+set->para[7].nResult, -15);
    prop.nKind = 1;
    ASSERT_EQ(NewPara_Property_Wt(set.get(), &prop), 0);
    EXPECT_EQ(std::make_pair(std::string(set->szFileName), +set->nKind), std::make_pair(std::string("/data/axis.syp"), 1));
    ASSERT_EQ(NewPara_Property_Rd(set.get(), &prop), 0);
    prop.nKind = 0;
    ASSERT_EQ(NewPara_Property_Wt(set.get(), &prop), 0);
    EXPECT_STREQ(set->szFileName, "/data/axis.k7p");
}

TEST_F(ParaFile, ListingPagesNumbersAndHexadecimalValues) {
    set->nPrintCount = 5;
    ASSERT_EQ(NewParaPrint_Mak(set.get(), page.get()), 0);
    EXPECT_EQ(page->nLines, 297);
    EXPECT_EQ(+set->nPrintFirst, 0);
    EXPECT_TRUE(std::string(page->szLine[0]).starts_with("1_01  "));
    EXPECT_TRUE(std::string(page->szLine[99]).starts_with("2_01  "));
    EXPECT_TRUE(std::string(page->szLine[296]).starts_with("3_99  "));
    // Parameter 297 is hexadecimal: value FFFF would print as "      FFFFH".
    set->para[296].dValue = 0xFFFF;
    ASSERT_EQ(NewParaPrint_Mak(set.get(), page.get()), 0);
    EXPECT_NE(std::string(page->szLine[296]).find("      FFFFH"), std::string::npos);
    EXPECT_EQ(tav::text::Text(10015), page->szFileTitle);
    EXPECT_TRUE(std::string(page->szAmpType).starts_with(tav::text::Text(10021) + "QMH "));
    EXPECT_EQ(tav::text::Text(10005), page->szTitle);
}

TEST_F(ParaFile, ListingCsvFileHoldsInformationHeaderAndEveryParameter) {
    std::strcpy(set->szFileName, "/x/axis1.k7p");
    std::strcpy(set->szComment, "comment");
    const std::string path = home.file("out.csv");
    ASSERT_EQ(NewParaCsvType_Wt(path.c_str(), set.get()), 0);
    const std::string text = home.read("out.csv");
    int lines = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++lines;
    EXPECT_EQ(lines, 5 + 1 + 1 + 297);
    EXPECT_NE(text.find("\r\n3_99 ,"), std::string::npos);
    EXPECT_NE(text.find(tav::text::Text(10031) + "comment\r\nPA No. ,"), std::string::npos);
    EXPECT_NE(text.find("\r\n1_01 ,"), std::string::npos);
    // The CSV line carries the range text of the parameter.
    EXPECT_NE(text.find(set->para[2].szItemComment), std::string::npos);

    EXPECT_EQ(NewParaCsvType_Wt("", set.get()), -1);
    EXPECT_EQ(NewParaCsvType_Wt(home.file("none/out.csv").c_str(), set.get()), -3);
    EXPECT_FALSE(home.exists("none"));
}

}  // namespace
