// Standard-parameter definitions: what the loader takes from a definition
// line (and what it refuses), the range check, reset and code look-ups.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "para/para.h"
#include "tests/fixtures/para_fixtures.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

namespace para = tav::para;
namespace fs = std::filesystem;

namespace {

using Texts = std::vector<std::string>;

class Definitions : public tavtest::OperatorInstall {
protected:
    void SetUp() override {
        install_operator_files();
    }
    std::unique_ptr<ParaSet> set = std::make_unique<ParaSet>();
};

const std::string kFull =
    "7\t1\tGain\t0280\t1.50\t20.00\t-5.00\t0.1\tcomment\td1\td2\td3\tTAG\tms\tKK\tSub\tv1\tv2\n";

}  // namespace

TEST_F(Definitions, ShippedDefinitionFillsFortySlotsWithDefaults) {
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    EXPECT_EQ(std::make_tuple(+set->nParaCount, +set->nGroupCount, +set->nKind, +set->nModel, +set->byInfo1,
                              +set->byInfo9, +set->nInfoWord, +set->byInfo12),
              std::make_tuple(40, 10, 0, 0, 0xFF, 3, -1, 0xFF));
    EXPECT_NE(std::string(set->szDefPath).find("500.def"), std::string::npos);
    for (int i = 0; i < 39; ++i) {
        const ParaRecord r = set->para[i];  // a copy: the packed members bind to no reference
        EXPECT_EQ(std::make_pair(+r.nParaNo, +r.dValue), std::make_pair(i + 1, +r.dInitial)) << i;
        EXPECT_TRUE(r.wAttr != 0 && r.dMin <= r.dInitial && r.dInitial <= r.dMax) << i;
    }
    int no = 0;
    for (int code : {0, 1, 2, 3, 4, 5, 6, 9, 10, 15, 16}) EXPECT_EQ(para::Para_Skubun_No_Rd(set.get(), code, 0, &no), 0);
    // Every shipped file loads; the hidden page has unused slots at its end.
    for (auto [n, kind] : {std::pair{10, 0}, {20, 0}, {30, 0}, {0, 1}, {10, 1}, {20, 1}, {30, 1}, {0, 2}})
        EXPECT_EQ(para::ParaIni_Rd(n, kind, set.get()), 0) << n << "," << kind;
    EXPECT_EQ(+set->para[39].wAttr, 0);
}

TEST_F(Definitions, EveryFieldOfALine) {
    write_definition(500, kFull);
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    const ParaRecord& r = set->para[0];
    // Number, change flag, attribute, initial, maximum, minimum, scale, and the value from the initial.
    EXPECT_EQ(std::make_tuple(+r.nParaNo, +r.nChgFlag, +r.wAttr, +r.dInitial, +r.dMax, +r.dMin, +r.dScale, +r.dValue),
              std::make_tuple(7, 1, 0x0280, 1.5, 20.0, -5.0, 0.1, 1.5));
    EXPECT_EQ((Texts{r.szName, r.szItemComment, r.szDetail, r.szTag, r.szNote, r.szIdCode, r.szSubTitle,
                     r.szValueText[0], r.szValueText[1], r.szValueText[2]}),
              (Texts{"Gain", "comment", "d1d2d3", "TAG", "ms", "KK", "Sub", "v1", "v2", ""}));
    // A short file leaves the other slots zero while the count stays 40.
    EXPECT_EQ(std::make_pair(+set->nParaCount, +set->para[1].nParaNo), std::make_pair(40, 0));
}

TEST_F(Definitions, MoreThanFortyLinesFillForty) {
    std::string body;
    for (int i = 1; i <= 45; ++i) body += std::to_string(i) + "\t0\tP\t0080\t1\t9\t0\t1\t\t\t\t\tT\n";
    write_definition(600, body);
    ASSERT_EQ(para::ParaIni_Rd(0, 1, set.get()), 0);
    EXPECT_EQ(std::make_pair(+set->para[39].nParaNo, +set->para[40].nParaNo), std::make_pair(40, 0));
}

TEST_F(Definitions, BrokenLinesStopAtTheBrokenFieldAndNeverOverrun) {
    const std::string longName(2500, 'N');
    write_definition(720,
        "1\t0\tKeepsName\t\t5\t9\t0\t1\tc\n"                                   // field 4 empty
        "2\t0\tShort\t0080\t3\t9\t0\t1\tc\tx\ty\tz\n"                           // ends before the tag
        "3\t0\tBadNumber\t0080\tabc\t9\t0\t1\tc\t\t\t\tT\tu\n"                  // non-numeric initial value
        "4\t0\tHigh\t0080\t\x82\xa0\t9\t0\t1\n"                                 // double-byte text in a token
        "5\t0\t" + longName + "\t0080\t1\t9\t0\t1\tc\t\t\t\tT\tu\n"             // over-long line, cut
        "6\t0\tAfterLong\t0080\t4\t9\t0\t1\tc\t\t\t\tTAGTOOLONG_TAGTOOLONG_TAGTOOLONG_TAGTOOLONG\tu\n"
        "7\t0\tLast\t0080\t2\t9\t0\t1\tc\t\t\t\tT\tunit");                      // no final line feed
    ASSERT_EQ(para::ParaIni_Rd(0, 2, set.get()), 0);
    const ParaRecord* p = set->para;
    // Line 2 is read up to field 12; the bad number ended line 3.
    EXPECT_EQ(std::make_tuple(+p[0].wAttr, +p[0].dInitial, +p[1].dInitial, +p[2].wAttr, +p[2].dMax, +p[3].dInitial,
                              +p[4].nParaNo, +p[6].dValue),
              std::make_tuple(0, 0.0, 3.0, 0x0080, 0.0, 0.0, 5, 2.0));
    // The rest of the over-long line did not become a parameter of its own.
    EXPECT_EQ((Texts{p[0].szName, p[1].szDetail, p[1].szTag, p[1].szNote, p[5].szName, p[6].szNote}),
              (Texts{"KeepsName", "xyz", "", "", "AfterLong", "unit"}));
    EXPECT_EQ(std::make_pair(std::strlen(p[4].szName), std::strlen(p[5].szTag)),
              std::make_pair(sizeof p[4].szName - 1, sizeof p[5].szTag - 1));
}

TEST_F(Definitions, MissingFileAndUnknownIdLeaveTheSetAlone) {
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    fs::remove(home.file("def/610.def"));
    EXPECT_EQ(para::ParaIni_Rd(10, 1, set.get()), TAV_E_NO_FILE);
    EXPECT_EQ(+set->nKind, 0);
    EXPECT_GT(para::ParaIni_Rd(5000, 0, set.get()), 0);  // no path for the id
}

TEST_F(Definitions, ChangeChecksTheRangeAndMarksTheParameter) {
    write_definition(500,
        "1\t0\tA\t0080\t5\t100\t0\t1\tc\t\t\t\tT\n"
        "2\t0\tB\t0080\t0\t100\t0\t1\tc\t\t\t\tT\t\tZZ\n");
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    // Parameter, value, result; "ZZ" (parameter 2) compares the magnitude and stores the sign.
    for (auto [no, value, code] : {std::tuple{1, 0.0, 0}, {1, 100.0, 0}, {1, 100.5, int{TAV_E_RANGE}}, {1, -1.0, int{TAV_E_RANGE}},
                                   {0, 1.0, int{TAV_E_PARAMETER}}, {41, 1.0, int{TAV_E_PARAMETER}}, {2, -50.0, 0},
                                   {2, -150.0, int{TAV_E_RANGE}}})
        EXPECT_EQ(para::Para_Dat_Chg(set.get(), no, value), code) << no << " " << value;
    // The refused values changed nothing.
    EXPECT_EQ(std::make_tuple(+set->para[0].nChgFlag, +set->para[0].dValue, +set->para[1].dValue), std::make_tuple(1, 100.0, -50.0));
}

TEST_F(Definitions, SelectorChangeReDerivesTheRangeTexts) {
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    int ss = 0;
    ASSERT_EQ(para::Para_Skubun_No_Rd(set.get(), para::kSS, 0, &ss), 0);
    EXPECT_EQ(para::Para_Dat_Chg(set.get(), ss, 2), 0);
    // Parameter 5 (unit Hz, 1..2000) now carries its range text.
    EXPECT_EQ(std::string(set->para[4].szItemComment), "1" + tav::text::Text(10016) + "2000Hz");
}

TEST_F(Definitions, ResetAndReadersOfOneParameter) {
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    ParaRecord out;
    std::memset(&out, 0x5A, sizeof out);
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 99), 0);
    set->para[4].nResult = -15;
    ASSERT_EQ(para::Para_Dat_Rd(set.get(), 5, &out), 0);
    // The number and the reserved bytes are not copied.
    EXPECT_EQ(std::make_tuple(+out.dValue, +out.nParaNo, +out.byReserved[0]), std::make_tuple(99.0, 0x5A5A5A5A, 0x5A));
    EXPECT_EQ(para::Para_Dat_Init(set.get(), 5), 0);
    EXPECT_EQ(std::make_pair(+set->para[4].dValue, +set->para[4].nResult), std::make_pair(80.0, 0));
    // Parameter 40 has attribute 0: readers refuse it, a reset to its own
    // initial value is fine, one that would change it is refused.
    EXPECT_EQ(para::Para_Dat_Rd(set.get(), 40, &out), TAV_E_FIXED_PARAMETER);
    EXPECT_EQ(para::Para_Dat_Init(set.get(), 40), 0);
    set->para[39].dValue = 3;
    EXPECT_EQ(para::Para_Dat_Init(set.get(), 40), TAV_E_FIXED_PARAMETER);
    char text[40];
    EXPECT_EQ(para::Para_SubTile_Rd(set.get(), 40, text), TAV_E_FIXED_PARAMETER);
    for (auto [index, code] : {std::pair{0, int{TAV_E_PARAMETER}}, {9, int{TAV_E_PARAMETER}}, {4, 0}, {5, int{TAV_E_PARAMETER}}})
        EXPECT_EQ(para::Para_ValueString_Rd(set.get(), 1, index, text), code) << index;
    EXPECT_STREQ(text, "");
}

TEST_F(Definitions, CodeLookUps) {
    write_definition(500,
        "1\t0\tA\t0080\t0\t1\t0\t1\tc\t\t\t\tT\t\tC1\n"
        "2\t0\tB\t0080\t0\t1\t0\t1\tc\t\t\t\tT\t\tKK\n"
        "3\t0\tC\t0080\t0\t1\t0\t1\tc\t\t\t\tT\t\tC1\n"
        "4\t0\tD\t0080\t0\t1\t0\t1\tc\t\t\t\tT\t\tKK\n"
        "5\t0\tE\t0080\t0\t1\t0\t1\tc\t\t\t\tT\t\tKKX\n");
    ASSERT_EQ(para::ParaIni_Rd(0, 0, set.get()), 0);
    // The result and the parameter number found for the nth parameter of a code.
    const auto find = [&](int code, int nth) {
        int no = -1;
        return std::make_pair(+para::Para_Skubun_No_Rd(set.get(), code, nth, &no), no);
    };
    // C1 first and second, KK second (only the listed codes search backwards).
    EXPECT_EQ((std::vector<std::pair<int, int>>{find(para::kC1, 0), find(para::kC1, 1), find(para::kKK, 1)}),
              (std::vector<std::pair<int, int>>{{0, 1}, {0, 3}, {0, 2}}));
    for (int code : {11, 17, int{para::kFF}}) EXPECT_EQ(find(code, 0).first, TAV_E_PARAMETER) << code;
    int code = -1;
    EXPECT_EQ(para::Para_No_Skubun_Rd(set.get(), 5, &code), 0);
    EXPECT_EQ(code, 100);  // "KKX" is no known code
    EXPECT_EQ(para::Para_No_Skubun_Rd(set.get(), 41, &code), TAV_E_PARAMETER);
}

TEST_F(Definitions, GroupNamesComeFromTheCatalogue) {
    ASSERT_EQ(para::ParaIni_Rd(0, 1, set.get()), 0);
    set->nModel = 1;  // 9000 + 100 x kind + 10 x model + group
    char name[100];
    EXPECT_EQ(para::StdSyp_GrpNmae_Rd(set.get(), 3, name), 0);
    EXPECT_EQ(std::string(name), tav::text::Text(9113));
    EXPECT_NE(std::string(name), "");
    set->nKind = 2;
    EXPECT_EQ(para::StdSyp_GrpNmae_Rd(set.get(), 3, name), 0);
    EXPECT_EQ(std::string(name), tav::text::Text(9213));
}
