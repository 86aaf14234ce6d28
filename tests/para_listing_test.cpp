// Standard-parameter listing: page image lines, information lines and the
// CSV file.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "para/para.h"
#include "tests/fixtures/para_fixtures.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

namespace para = tav::para;
using tav::text::Text;

namespace {

class Listing : public tavtest::OperatorInstall {
protected:
    void SetUp() override {
        install_operator_files();
        tav::frame::SetVersion("1.00");
        ASSERT_EQ(para::Para_Create(0, 0, set.get()), 0);
    }
    std::string info(int item) {
        char out[TAV_PARA_INFO_SIZE];
        EXPECT_EQ(para::Para_Ctl_Inf_Rd(set.get(), item, out, sizeof out), 0);
        return out;
    }
    std::unique_ptr<ParaSet> set = std::make_unique<ParaSet>();
    std::unique_ptr<ParaPrint> page = std::make_unique<ParaPrint>();
};

}  // namespace

TEST_F(Listing, PageImageOfANewSet) {
    set->para[17].dValue = 255;     // unsigned parameter 18
    set->para[4].dValue = 5000;     // beyond 2000
    ASSERT_EQ(para::ParaPrint_Mak(set.get(), page.get()), 0);
    EXPECT_EQ((std::vector<std::string>{page->szPrintName, page->szPrintHead, page->szPrintComment}),
              (std::vector<std::string>{Text(10015), Text(10011), Text(10031)}));
    // "0" is an amplifier number: an information line.
    EXPECT_EQ(std::make_tuple(+page->nPrintLines, std::string(page->szPrintInfo).empty(), +set->para[4].nResult),
              std::make_tuple(40, false, int{TAV_E_RANGE}));
    const std::string line5 = page->szPrintLine[4];
    EXPECT_EQ(line5.substr(0, 6), "1_05  ");
    EXPECT_NE(line5.find("        5000  "), std::string::npos) << line5;
    EXPECT_NE(std::string(page->szPrintLine[17]).find("         FFH"), std::string::npos);
    for (auto [i, tag] : {std::pair{17, "2_08"}, {39, "4_10"}}) EXPECT_EQ(std::string(page->szPrintLine[i]).substr(0, 4), tag);
    EXPECT_EQ(+tav::frame::switches().printForm, 0);

    set->szAmpNo[0] = '\0';
    set->nKind = 2;
    ASSERT_EQ(para::ParaPrint_Mak(set.get(), page.get()), 0);
    EXPECT_EQ((std::vector<std::string>{page->szPrintInfo, page->szPrintHead, std::string(page->szPrintLine[0]).substr(0, 4)}),
              (std::vector<std::string>{"", Text(10050), "01  "}));
}

TEST_F(Listing, InformationLines) {
    EXPECT_EQ((std::vector<std::string>{info(1), info(2), info(3), info(5), info(12)}),
              (std::vector<std::string>{Text(10005), Text(10032) + Text(10015), Text(10004) + Text(10022), "",
                                        Text(10041) + "HD-V1.00"}));
    // Unknown codes fall back to placeholders.
    set->byInfo10 = 200;
    EXPECT_EQ(info(8), Text(10029) + "NV* ****** - ***");
    set->byInfo2 = 200;
    EXPECT_EQ(info(4), Text(10021) + "QMH ** - ***");

    std::strcpy(set->szFileName, "C:\\data\\axis.one.k7p");
    EXPECT_EQ(info(2), Text(10032) + "axis.one.k7p");  // the title's split: Titles.AllSplitTheFileNameAlike
}

TEST_F(Listing, CsvFile) {
    std::strcpy(set->szComment, "line one\r\nline two");
    const std::string file = home.file("out.csv");
    ASSERT_EQ(para::Para_Wt(file.c_str(), set.get()), 0);  // a ".csv" name exports
    const std::string bytes = home.read("out.csv");
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    // Five information lines, two comment lines, the header, 40 parameters.
    EXPECT_EQ(lines, 5u + 2u + 1u + 40u);
    EXPECT_TRUE(bytes.starts_with(Text(10005)) && bytes.find("\r\r") == std::string::npos &&
                bytes.find(Text(10031) + "line one\r\nline two\r\nNo. ,") != std::string::npos &&
                bytes.find("\r\n  5 ,") != std::string::npos)
        << bytes;
    EXPECT_EQ(para::ParaCsvType_Wt(home.file("no/dir/x.csv").c_str(), set.get()), TAV_E_NO_FILE);
}
