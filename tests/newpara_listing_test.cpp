// Listing and CSV export of an extended parameter set.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "fixtures/para_fixtures.h"
#include "fixtures/temp_dirs.h"
#include "newpara/newpara.h"
#include "text/text.h"

namespace {

namespace fs = std::filesystem;
using namespace tav::newpara;


class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample_definitions(home, true);
        ASSERT_EQ(NewPara_Create(2, 0, set.get()), 0);
    }
    tavtest::TempInstall home;
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
    std::unique_ptr<NewParaPrint> print = std::make_unique<NewParaPrint>();
};

TEST_F(Listing, PagesNumbersAndHexadecimalValues) {
    set->nPrintCount = 5;
    ASSERT_EQ(NewParaPrint_Mak(set.get(), print.get()), 0);
    EXPECT_EQ(print->nLines, 297);
    EXPECT_EQ(+set->nPrintFirst, 0);
    EXPECT_TRUE(std::string(print->szLine[0]).starts_with("1_01  "));
    EXPECT_TRUE(std::string(print->szLine[99]).starts_with("2_01  "));
    EXPECT_TRUE(std::string(print->szLine[296]).starts_with("3_99  "));
    // Parameter 297 is hexadecimal: value FFFF would print as "      FFFFH".
    set->para[296].dValue = 0xFFFF;
    ASSERT_EQ(NewParaPrint_Mak(set.get(), print.get()), 0);
    EXPECT_NE(std::string(print->szLine[296]).find("      FFFFH"), std::string::npos);
    EXPECT_EQ(tav::text::Text(10015), print->szFileTitle);
    EXPECT_TRUE(std::string(print->szAmpType).starts_with(tav::text::Text(10021) + "QMH "));
    EXPECT_EQ(tav::text::Text(10005), print->szTitle);
}

TEST_F(Listing, CsvFileHoldsInformationHeaderAndEveryParameter) {
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
