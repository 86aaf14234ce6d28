// The standard-parameter file and listing: bytes written, what survives a
// write and a read, the comment, the name rules, properties, damaged files,
// the page image, the information lines and the CSV file (the comment limit
// and name changes with every family's in EveryFamily).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "line/line.h"
#include "para/para.h"
#include "tests/fixtures/para_fixtures.h"
#include "tests/fixtures/set_matchers.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

namespace para = tav::para;
namespace fs = std::filesystem;
using tav::text::Text;

namespace {

using Texts = std::vector<std::string>;

// Lines from..to of a file (counted from 1), each with its line end.
std::string lines_of(const std::string& bytes, int from, int to) {
    std::string out;
    std::size_t at = 0;
    for (int n = 1; at < bytes.size() && n <= to; ++n) {
        const std::size_t stop = std::min(bytes.find('\n', at), bytes.size() - 1) + 1;
        if (n >= from) out += bytes.substr(at, stop - at);
        at = stop;
    }
    return out;
}

class ParaFile : public tavtest::OperatorInstall {
protected:
    void SetUp() override {
        install_operator_files();
        tav::frame::SetVersion("1.00");
        tav::line::set_amp_name_for_file("");
    }
    void TearDown() override { tav::line::set_amp_name_for_file(""); }
    std::unique_ptr<ParaSet> fresh(int model = 0, int kind = 0) {
        auto s = std::make_unique<ParaSet>();
        EXPECT_EQ(para::Para_Create(model, kind, s.get()), 0);
        return s;
    }
};

// A new set of model 0 and its page image.
class Listing : public ParaFile {
protected:
    void SetUp() override {
        ParaFile::SetUp();
        set = fresh();
    }
    std::string info(int item) {
        char out[TAV_PARA_INFO_SIZE];
        EXPECT_EQ(para::Para_Ctl_Inf_Rd(set.get(), item, out, sizeof out), 0);
        return out;
    }
    std::unique_ptr<ParaSet> set;
    std::unique_ptr<ParaPrint> page = std::make_unique<ParaPrint>();
};

}  // namespace

TEST_F(ParaFile, NewSetIsWrittenLineByLine) {
    auto set = fresh();
    EXPECT_EQ((std::make_tuple(std::string(set->szAmpNo), std::string(set->szReadDate), +set->nProgressTotal)),
              (std::make_tuple(std::string("0"), std::string(), 1)));
    ASSERT_EQ(para::Para_Wt(home.file("a.k7p").c_str(), set.get()), 0);
    const std::string bytes = home.read("a.k7p");
    EXPECT_EQ(lines_of(bytes, 1, 1),
              "SERVO,VEL, 0, ,FF,FF,00,00,00,00,00,03,FFFF,FF,FF,00,00,00000000,00000000,00,00,HD-V1.00\r\n");
    // Parameter 5 (80, 1..2000) and 4 (one decimal place, its maximum the
    // load-inertia ratio of the motor row), zero padded.
    EXPECT_EQ(lines_of(bytes, 6, 7), "  4, 000000001.0, 0180, 000000001.0, 000000300.0, 000000000.0, 0\r\n"
                                     "  5, 0000000080, 0080, 0000000080, 0000002000, 0000000001, 0\r\n");
    // Unsigned parameter 18: limits as "%12u".
    EXPECT_EQ(lines_of(bytes, 20, 20), " 18, 0000000000, 0082,            0,        65535,            0, 0\r\n");
    EXPECT_EQ(lines_of(bytes, 42, 42).substr(0, 5), " 40, ");
    EXPECT_EQ(+set->nProgressDone, 40);

    // Eleven decimal places are more than the formatter can give: the value
    // falls back to "%10.2f", the limits stay empty.
    set->para[0].wAttr = 0x0B00;
    set->para[0].dValue = 1.5;
    ASSERT_EQ(para::Para_Wt(home.file("a.k7p").c_str(), set.get()), 0);
    EXPECT_EQ(lines_of(home.read("a.k7p"), 3, 3), "  1,       1.50, 0B00, , , , 0\r\n");
    EXPECT_EQ(lines_of(bytes, 43, 43), "");
}

TEST_F(ParaFile, EverythingSurvivesAWriteAndARead) {
    auto set = fresh();
    tav::frame::PrintFormScope printForm;  // as the host's save does
    std::strcpy(set->szAmpNo, "001");
    std::strcpy(set->szReadDate, "2024/05/01 - 12:34:56");
    const tavtest::IdHeader header{1, 2, 3, 4, 5, 6, 8, 9, -2, 0x10, 0x11, 0x12, 0x13, 0x14, 0x12345678, 0x7FFFFFFF, 1};
    tavtest::put_id_header(*set, header);
    std::strcpy(set->szComment, "first line\r\n\r\nthird \x83\x52\x83\x81\x83\x93\x83\x67\r\n");
    for (int i = 0; i < 40; ++i) set->para[i].dValue = set->para[i].dMin + (i % 3), set->para[i].nResult = -(i % 4);
    set->para[3].dValue = -12.5;  // one decimal place
    set->para[6].wAttr = 0x0281, set->para[6].dMax = 123.45, set->para[6].dValue = -0.25;
    set->para[17].dValue = 65535;
    fs::copy_file(home.file("def/500.def"), home.file("def/503.def"));  // variant 3 has its own definition

    ASSERT_EQ(para::Para_Wt(home.file("a.k7p").c_str(), set.get()), 0);
    auto back = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Rd(home.file("a.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ((Texts{back->szAmpNo, back->szReadDate, back->szFileName, back->szComment}),
              (Texts{"001", "2024/05/01 - 12:34:56", home.file("a.k7p"), set->szComment}));
    EXPECT_EQ(tavtest::id_header(*back), header);
    // The attribute read from the file marks parameter 7.
    EXPECT_EQ(std::make_pair(+back->nProgressDone, back->para[6].szName[0]), std::make_pair(80, '*'));
    for (int i = 0; i < 40; ++i) {
        const ParaRecord &a = set->para[i], &b = back->para[i];
        EXPECT_EQ(std::make_tuple(+b.dValue, +b.wAttr, +b.dInitial, +b.dMax, +b.dMin, +b.nResult),
                  std::make_tuple(+a.dValue, +a.wAttr, +a.dInitial, +a.dMax, +a.dMin, +a.nResult))
            << i;
    }
}

TEST_F(ParaFile, EmptyAmplifierNumberKeepsTheDefinitionDefaults) {
    auto set = fresh();
    set->szAmpNo[0] = '\0';
    set->byInfo1 = 0x12;
    ASSERT_EQ(para::Para_Wt(home.file("e.k7p").c_str(), set.get()), 0);
    EXPECT_EQ(lines_of(home.read("e.k7p"), 1, 1).substr(0, 16), "SERVO,VEL, ,,12,");
    auto back = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Rd(home.file("e.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_tuple(std::string(back->szAmpNo), +back->byInfo1, +back->nInfoWord, +back->byInfo9),
              std::make_tuple(std::string(), 0xFF, -1, 3));
}

TEST_F(ParaFile, CreateWithoutLineSettingsTakesTheirDefaults) {
    fs::remove(home.file("servo.set"));
    auto set = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Create(2, 0, set.get()), 0);
    EXPECT_EQ((std::vector<int>{set->nModel, set->nInterface, set->nInfo17, set->byInfo14, set->nFamily}),
              (std::vector<int>{2, 0, 1, 0, 0}));
    EXPECT_EQ(std::string(set->szDefPath), home.file("def/520.def"));
    EXPECT_EQ(para::Para_Rd(nullptr, 0, set.get()), TAV_E_NO_FILE);  // only a create supplies the model
}

TEST_F(ParaFile, VariantOfAFileIsItsByInfo3Field) {
    fs::copy_file(home.file("def/520.def"), home.file("def/521.def"));
    auto set = fresh(2);
    set->byInfo3 = 1;
    set->byInfo6 = 3;  // the field before it
    ASSERT_EQ(para::Para_Wt(home.file("v.k7p").c_str(), set.get()), 0);
    auto back = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Rd(home.file("v.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::string(back->szDefPath), home.file("def/521.def"));

    // No clamp for files: variant 0xFF names definition 875, which the path service does not know.
    set = fresh(2, 1);
    set->byInfo3 = 0xFF;
    ASSERT_EQ(para::Para_Wt(home.file("v.syp").c_str(), set.get()), 0);
    std::memset(static_cast<void*>(back.get()), 0x5A, sizeof *back);
    const auto before = std::make_unique<ParaSet>(*back);
    before->nProgressTotal = 198;  // announced before the look-up
    EXPECT_EQ(para::Para_Rd(home.file("v.syp").c_str(), 1, back.get()), 20);
    EXPECT_EQ(std::memcmp(back.get(), before.get(), sizeof *back), 0);
}

TEST_F(ParaFile, AmplifierNameLineAndOverlongComment) {
    auto set = fresh();
    tav::line::set_amp_name_for_file("QMT 101D5");
    ASSERT_EQ(para::Para_Wt(home.file("n.k7p").c_str(), set.get()), 0);
    std::string bytes = home.read("n.k7p");
    EXPECT_EQ(lines_of(bytes, 43, 43), "ampname=QMT 101D5\r\n");
    // A comment longer than the set holds: the first 2047 bytes are kept.
    bytes += std::string(3000, 'c');
    home.write("n.k7p", bytes);
    auto back = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Rd(home.file("n.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_pair(std::string(tav::line::amp_name_from_file()), std::strlen(back->szComment)),
              std::make_pair(std::string("QMT 101D5"), std::size_t{2047}));
}

TEST_F(ParaFile, ShortAndDamagedParameterLines) {
    auto set = fresh();
    ASSERT_EQ(para::Para_Wt(home.file("d.k7p").c_str(), set.get()), 0);
    std::string bytes = lines_of(home.read("d.k7p"), 1, 2);
    bytes += "  1, 2\r\n";                                     // number and value only
    bytes += "  2, 77, 0080, 1, 9999, 0\r\n";                 // result missing: 0
    bytes += "  3, \x82\xa0, 0080, 1, 2, 3, 0\r\n";             // double-byte value ends the reading
    bytes += "  4, 9, 0080, 1, 2, 3, 0\r\n";
    home.write("d.k7p", bytes);
    auto back = std::make_unique<ParaSet>();
    ASSERT_EQ(para::Para_Rd(home.file("d.k7p").c_str(), 0, back.get()), 0);
    // Parameter 1 keeps the definition's limits.
    EXPECT_EQ(std::make_tuple(+back->para[0].dValue, +back->para[0].dMax, +back->para[0].wAttr, +back->para[1].dValue, +back->para[1].dMax),
              std::make_tuple(2.0, 3.0, 0x0081, 77.0, 9999.0));
    for (int i : {2, 3}) EXPECT_EQ(+back->para[i].dValue, +back->para[i].dInitial) << i;
    EXPECT_STREQ(back->szComment, "  4, 9, 0080, 1, 2, 3, 0\r\n");  // what follows is the comment

    // A file cut in its first line, and one without any line.
    home.write("t.k7p", "SERVO,VEL, 001,x,0");
    EXPECT_EQ(para::Para_Rd(home.file("t.k7p").c_str(), 0, back.get()), 0);
    EXPECT_EQ(std::make_tuple(std::string(back->szAmpNo), +back->byInfo1, +back->byInfo2), std::make_tuple(std::string("001"), 0, 0xFF));
}

TEST_F(ParaFile, NameRulesAndCancel) {
    auto set = fresh();  // the names refused: EveryFamily.WrongNamesAndUnreadableFilesAreRefused
    ASSERT_EQ(para::Para_FileName_Chg(set.get(), home.file("named.syp").c_str()), 0);
    EXPECT_EQ(para::Para_Wt("", set.get()), 0);
    EXPECT_TRUE(home.exists("named.syp"));
    set->nCancel = TAV_E_CANCELLED;
    EXPECT_EQ(para::Para_Wt(nullptr, set.get()), TAV_E_CANCELLED);
    EXPECT_EQ(para::Para_Rd(home.file("named.syp").c_str(), 0, set.get()), TAV_E_CANCELLED);
}

TEST_F(ParaFile, PropertiesSwapTheExtensionWithTheKind) {
    auto set = fresh();
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 1500), 0);
    ParaProperty p;
    std::memset(&p, 0, sizeof p);
    p.nInterface = 77;
    ASSERT_EQ(para::Para_Property_Rd(set.get(), &p), 0);
    EXPECT_EQ(std::make_pair(+p.nInterface, +p.nInfoWord), std::make_pair(77, -1));  // the interface as the caller had it
    std::strcpy(p.szFileName, "/x/data.k7p");
    p.nKind = 1;
    ASSERT_EQ(para::Para_Property_Wt(set.get(), &p), 0);
    EXPECT_EQ((Texts{set->szFileName, set->szAmpNo}), (Texts{"/x/data.syp", ""}));
    // Parameter 5 carried over, outside the system page's 0..60; 1 fits the retry count 0..10.
    EXPECT_EQ(std::make_tuple(+set->nKind, +set->para[4].dValue, +set->para[4].nResult, +set->para[3].nResult),
              std::make_tuple(1, 1500.0, int{TAV_E_RANGE}, 0));
    ASSERT_EQ(para::Para_Property_Rd(set.get(), &p), 0);
    p.nKind = 0;
    ASSERT_EQ(para::Para_Property_Wt(set.get(), &p), 0);
    EXPECT_STREQ(set->szFileName, "/x/data.k7p");
}

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
