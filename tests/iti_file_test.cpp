// The positioning data file and listing: round trip, the two header variants,
// short and damaged files, the CSV hand-over, the writer's failures, the print
// record, the description lines and the CSV file; and both tables' templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "iti/iti.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "tests/fixtures/set_matchers.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

using namespace tav::iti;
using tavtest::IdHeader;
using tavtest::TempInstall;
using tav::text::Text;

namespace {

using tavtest::crlf;

const char kTitleLine[] = "\xC3\xDE\xB0\xC0NO";  // the column-title line starts "ﾃﾞｰﾀNO"

using Texts = std::vector<std::string>;

std::unique_ptr<ItiDatSet> new_set() { return std::make_unique<ItiDatSet>(); }

// The numbers of two points of a table.
// (copied by value: the packed members cannot bind to the pair's references)
std::pair<int, int> numbers(const ItiDatSet& s, int i, int j) {
    const int a = s.point[i].nDataNo, b = s.point[j].nDataNo;
    return {a, b};
}

std::string point_lines(int from, int to) {
    std::string s;
    char line[128];
    for (int n = from; n <= to; ++n) {
        std::snprintf(line, sizeof line, "%03d, 0, 01, 02, %d.5, 10.25, 1.50, %03d, 1, 0\n", n, n * 10, n);
        s += line;
    }
    return s;
}

class ItiFile : public ::testing::Test {
protected:
    void SetUp() override {
        tav::frame::SetVersion("1.00");
        tav::line::set_amp_name_for_file("");
    }
    void TearDown() override { tav::line::set_amp_name_for_file(""); }
    std::string path(const char* name) const { return home_.file(name); }
    TempInstall home_;
};

TEST_F(ItiFile, RoundTripKeepsEveryValue) {
    auto s = new_set();
    std::strcpy(s->szAmpNo, "017");
    s->nModel = 2;
    const IdHeader header{0x12, 0x34, 0x56, 0x78, 0x9A, 1, 2, 3, 0x1234, 4, 5, 6, 7, 8, 0xABCD, 0x0102, 1};
    tavtest::put_id_header(*s, header);
    s->nPointCount = 99;
    s->wStopPosDp = 3;
    s->wStopTimeDp = 1;
    for (int i = 0; i < 99; ++i) {
        const int sign = i % 2 ? -1 : 1;
        s->point[i] = {.nDataNo = i + 1, .nChgFlag = i % 3, .nCmdMode = i % 2, .nStepMode = i % 4,
                       .dStopPos = sign * (1234567.125 - i), .dSpeed = sign * (7999.99 - i),
                       .dStopTimer = 65.535 - i * 0.125, .nMCode = i * 2, .nMValid = (i / 2) % 2,
                       .nMTiming = (i / 3) % 2, .nStatus = 0};
    }
    std::strcpy(s->szComment, "first line\r\nsecond line\r\n");
    tav::line::set_amp_name_for_file("AMP-1");
    const std::string file = path("axis.k7l");
    ASSERT_EQ(DatFil_Wt(file.c_str(), s.get()), TAV_OK);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(+(s->point[i].nChgFlag), 0);

    auto r = new_set();
    ASSERT_EQ(DatFil_Rd(file.c_str(), r.get()), TAV_OK);
    // An empty date comes back as one blank.
    EXPECT_EQ((Texts{r->szAmpNo, r->szReadDate, r->szFileName, r->szComment, tav::line::amp_name_from_file()}),
              (Texts{"017", " ", file, "first line\r\nsecond line\r\n", "AMP-1"}));
    EXPECT_EQ(std::make_tuple(+r->nModel, +r->nFamily, +r->wStopPosDp, +r->wStopTimeDp, +r->nPointCount),
              std::make_tuple(2, 0x30u, 3, 1, 99));
    IdHeader narrowed = header;  // the three words keep their low byte only
    narrowed.infoWord = 0x34, narrowed.info15 = 0xCD, narrowed.info16 = 0x02;
    EXPECT_EQ(tavtest::id_header(*r), narrowed);
    tavtest::expect_same_points(*r, *s);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(+(r->point[i].nChgFlag), 0);

    // Print-form numbers (the transfer's file path) read back the same.
    {
        tav::frame::PrintFormScope pf;
        ASSERT_EQ(DatFil_Wt(file.c_str(), s.get()), TAV_OK);
    }
    auto q = new_set();
    ASSERT_EQ(DatFil_Rd(file.c_str(), q.get()), TAV_OK);
    for (int i = 0; i < 99; ++i) EXPECT_DOUBLE_EQ(+(q->point[i].dStopPos), +(s->point[i].dStopPos));
}

TEST_F(ItiFile, EmptyAmplifierNumberAndNoCommentEndWithTheLastPoint) {
    auto s = new_set();
    s->nPointCount = 99;
    for (int i = 0; i < 99; ++i) s->point[i].nDataNo = i + 1;
    ASSERT_EQ(DatFil_Wt(path("e.k7l").c_str(), s.get()), TAV_OK);
    const std::string bytes = home_.read("e.k7l");
    EXPECT_TRUE(bytes.starts_with("SERVO,VEL,  , ,0,0,") && bytes.find("HD-V1.00\r\n") != std::string::npos &&
                bytes.ends_with(", 0, 0\r\n"))
        << bytes.substr(0, 40) << "..." << bytes.substr(bytes.size() - 8);
    auto r = new_set();
    ASSERT_EQ(DatFil_Rd(path("e.k7l").c_str(), r.get()), TAV_OK);
    EXPECT_EQ((Texts{r->szAmpNo, r->szReadDate, r->szComment}), (Texts{"", " ", ""}));
}

TEST_F(ItiFile, OldTagHasNoColumnTitleLine) {
    const std::string first = "SERVO,LIN, 001,d,0,0,FF,FF,00,00,00,FF,00,03,FFFF,FF,FF,00,00,00000000,00000000,00,00,";
    // Any tag but the old one skips one line: a file without the title loses point 1.
    auto r = new_set();  // one set for all three reads: each read clears what the last left
    for (const auto& [tag, title, firstNo, lastNo] : {std::tuple{"K7-V1.3\n", std::string(), 1, 99},
                                                      {"HD-V1.00\n", std::string(), 2, 0},
                                                      {"HD-V1.00\n", kTitleLine + std::string(", x\n"), 1, 99}}) {
        home_.write("t.k7l", crlf(first + tag + title + point_lines(1, 99)));
        ASSERT_EQ(DatFil_Rd(path("t.k7l").c_str(), r.get()), TAV_OK) << tag << title;
        EXPECT_EQ(numbers(*r, 0, 98), std::make_pair(firstNo, lastNo)) << tag << title;
        if (firstNo == 1) {
            EXPECT_EQ(std::make_pair(+r->point[0].nStepMode, +r->point[0].dStopPos), std::make_pair(2, 10.5));
        }
    }
}

TEST_F(ItiFile, ShortFilesLeaveTheRestZero) {
    home_.write("half.k7l", crlf("SERVO,ETC, 002,x,1,0\ntitle\n" + point_lines(1, 50)));
    auto r = new_set();
    ASSERT_EQ(DatFil_Rd(path("half.k7l").c_str(), r.get()), TAV_OK);
    EXPECT_EQ(std::make_pair(+r->nModel, +r->point[49].nDataNo), std::make_pair(3, 50));  // an ETC file is read
    for (int i = 50; i < 99; ++i) EXPECT_EQ(std::make_pair(+r->point[i].nDataNo, +r->point[i].dStopPos), std::make_pair(0, 0.0));
    // A first line that ends early gives 0 to every later value, defaults included.
    EXPECT_EQ(std::make_tuple(+r->wStopPosDp, +r->byInfo1, +r->byInfo9), std::make_tuple(1, 0, 0));
}

TEST_F(ItiFile, DamagedFilesGiveCodesNeverOverruns) {
    auto r = new_set();
    home_.write("wrong.k7p", crlf("SERVO,LIN\n"));  // a parameter file (empty and foreign ones: EveryFamily)
    EXPECT_EQ(DatFil_Rd(path("wrong.k7p").c_str(), r.get()), TAV_E_FILE_NAME);

    // Letters in numbers, short lines, a blank inside a field, a huge first line.
    std::string junk = "SERVO,LIN, 001," + std::string(400, 'D') + ",zz,9q,GG\n";
    junk += "title\n";
    junk += "abc, x, 1e999, nan, inf, -inf, 12.5.5, 4294967296, ,\n";
    junk += "002\n";
    junk += "003,,5\n";
    junk += "004, 1 2, 3\n";
    home_.write("junk.k7l", crlf(junk));
    ASSERT_EQ(DatFil_Rd(path("junk.k7l").c_str(), r.get()), TAV_OK);
    // Point 1's "nan" is no number; an empty field ends point 3's line.
    EXPECT_EQ((std::vector<int>{r->point[0].nDataNo, r->point[0].nStepMode, r->point[1].nDataNo, r->point[2].nDataNo,
                                r->point[2].nChgFlag, r->point[3].nChgFlag}),
              (std::vector<int>{0, 0, 2, 3, 0, 1}));

    // A first line beyond the line limit goes on as the next line.
    home_.write("long.k7l", crlf("SERVO,LIN, 001," + std::string(3000, '9') + "\n" + point_lines(1, 99)));
    ASSERT_EQ(DatFil_Rd(path("long.k7l").c_str(), r.get()), TAV_OK);
    EXPECT_EQ(+(r->point[0].nDataNo), 2147483647);  // a run of digits saturates

    // A comment far beyond the area stops at 2047 characters; no final LF.
    r = new_set();
    std::string big = "SERVO,LIN, 001,d,0,0\ntitle\n" + point_lines(1, 99) + "comment\n";
    for (int i = 0; i < 800; ++i) big += "line\n";
    big += "tail without line feed";
    home_.write("big.k7l", crlf(big));
    ASSERT_EQ(DatFil_Rd(path("big.k7l").c_str(), r.get()), TAV_OK);
    const std::size_t len = strnlen(r->szComment, sizeof r->szComment);
    EXPECT_TRUE(len >= 2040u && len <= 2047u) << len;
    EXPECT_EQ(std::make_pair(std::string(r->szComment).substr(0, 15), +r->nProgressDone), std::make_pair(std::string("comment\r\nline\r\n"), 99));
}

TEST_F(ItiFile, CancelStopsAfterTheFirstPoint) {
    home_.write("c.k7l", crlf("SERVO,LIN, 001,d,0,0\ntitle\n" + point_lines(1, 99)));
    auto r = new_set();
    r->nCancel = TAV_E_CANCELLED;
    EXPECT_EQ(DatFil_Rd(path("c.k7l").c_str(), r.get()), TAV_E_CANCELLED);
    EXPECT_EQ(numbers(*r, 0, 1), std::make_pair(1, 0));
}

TEST_F(ItiFile, WriterNamesAndFailures) {
    auto s = new_set();
    s->nPointCount = 99;  // the names refused: EveryFamily.WrongNamesAndUnreadableFilesAreRefused
    std::strcpy(s->szFileName, path("own.K7L").c_str());
    EXPECT_EQ(DatFil_Wt("", s.get()), TAV_OK);
    EXPECT_TRUE(home_.exists("own.K7L"));
    // A name longer than the set's file-name field is written whole, never cut to another file.
    const std::string folder(250, 'd'), longName = folder + "/long.k7l";
    std::filesystem::create_directories(path(folder.c_str()));
    EXPECT_EQ(DatFil_Wt(path(longName.c_str()).c_str(), s.get()), TAV_OK);
    EXPECT_TRUE(home_.exists(longName.c_str()));

    ASSERT_EQ(DatFil_Wt(path("out.csv").c_str(), s.get()), TAV_OK);
    const std::string csv = home_.read("out.csv");
    EXPECT_EQ(csv.rfind(tav::text::Text(10007) + "\r\n", 0), 0u);
}

TEST_F(ItiFile, TooManyTimerPlacesWritesThePointsButNoComment) {
    auto s = new_set();
    s->nPointCount = 99;
    s->wStopTimeDp = 5;
    for (int i = 0; i < 99; ++i) s->point[i].nDataNo = i + 1, s->point[i].nChgFlag = 1, s->point[i].dStopTimer = 1.25;
    std::strcpy(s->szComment, "gone");
    tav::line::set_amp_name_for_file("NAME");
    EXPECT_EQ(DatFil_Wt(path("t.k7l").c_str(), s.get()), TAV_E_RANGE);
    const std::string bytes = home_.read("t.k7l");
    EXPECT_NE(bytes.find("099, 0, 00, 00, 0000000000, 0000.00,   1.25, 000, 0, 0\r\n"), std::string::npos);
    EXPECT_EQ(std::make_pair(bytes.find("gone"), bytes.find("ampname=")), std::make_pair(std::string::npos, std::string::npos));
    EXPECT_EQ(+(s->point[0].nChgFlag), 1);
}

// ------------------------------------------------------------------ listing
std::unique_ptr<ItiDatSet> sample() {
    auto s = std::make_unique<ItiDatSet>();
    s->nModel = 2;
    s->nFamily = 0x30;
    s->nPointCount = 99;
    s->wStopPosDp = 2;
    s->byInfo10 = 0xFF;
    for (int i = 0; i < 99; ++i)
        s->point[i] = {.nDataNo = i + 1, .nChgFlag = 0, .nCmdMode = i == 0, .nStepMode = 0, .dStopPos = -1.5 * i,
                       .dSpeed = 100.0, .dStopTimer = 0.25, .nMCode = 0x1F, .nMValid = i == 0, .nMTiming = 0, .nStatus = 0};
    std::strcpy(s->szComment, "note");
    return s;
}

TEST(ItiListing, PrintRecord) {
    auto s = sample();
    auto out = std::make_unique<ItiDatPrintData>();
    ASSERT_EQ(Print_mak(s.get(), out.get()), TAV_OK);
    // No file name: untitled; no amplifier number: no model line.
    EXPECT_EQ((std::vector<std::string>{out->szTitle, out->szColumnTitle1, out->szModelLine, out->szCommentLine}),
              (std::vector<std::string>{Text(10015), Text(10013), "", Text(10031) + "note"}));
    EXPECT_EQ(std::make_pair(+out->nLineCount, +tav::frame::switches().printForm), std::make_pair(99, 0));
    const std::string line1 = out->szPointLine[0], line2 = out->szPointLine[1];
    EXPECT_TRUE(line1.starts_with("  1  INC   ") && line1.find("     0.00") != std::string::npos &&
                line1.find(" 1F ") != std::string::npos) << line1;
    EXPECT_NE(line2.find("     -1.50"), std::string::npos) << line2;

    std::strcpy(s->szFileName, "/x/axis2.k7l");
    s->wStopTimeDp = 5;
    EXPECT_EQ(Print_mak(s.get(), out.get()), TAV_E_RANGE);
    EXPECT_STREQ(out->szTitle, "axis2");
}

TEST(ItiListing, DescriptionLines) {
    auto s = sample();
    char out[kCtlInfoSize];
    int count = 0;
    // The result and the text of a description line.
    const auto line = [&](int no) {
        const short rc = Ctl_Inf_Rd(s.get(), no, &count, out);
        return std::make_pair(int{rc}, std::string(out));
    };
    EXPECT_EQ(line(0), std::make_pair(int{TAV_E_PARAMETER}, std::string()));
    EXPECT_EQ(Ctl_Inf_Rd(s.get(), 13, &count, out), TAV_E_PARAMETER);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(line(11).first, TAV_E_STATION);
    std::strcpy(s->szAmpNo, "017");
    EXPECT_EQ(line(11), std::make_pair(0, Text(10040) + "1"));
    EXPECT_EQ(line(2), std::make_pair(0, Text(10032) + Text(10015)));
    std::strcpy(s->szFileName, "C:\\d\\axis.k7l");
    EXPECT_EQ(line(2), std::make_pair(0, Text(10032) + "axis.k7l"));
    EXPECT_EQ(line(3), std::make_pair(0, Text(10004) + Text(10024)));
    EXPECT_EQ(line(8), std::make_pair(0, Text(10029) + "NV* ****** - ***"));
    s->byInfo7 = 9;
    EXPECT_EQ(line(6), std::make_pair(0, Text(10027) + "?"));
    EXPECT_TRUE(line(4).second.starts_with(Text(10021) + "QMT ")) << out;
    EXPECT_EQ(line(4).first, TAV_OK);
    // Damaged identification values stay inside the catalogue.
    s->nModel = 0x7FFFFFFF;
    s->nInterface = 0xFFFFFFFFu;
    s->byInfo10 = 200;
    for (int i = 1; i <= 12; ++i) Ctl_Inf_Rd(s.get(), i, &count, out);
}

TEST(ItiListing, CsvFile) {
    tavtest::TempDir dir;
    tav::frame::SetVersion("1.00");
    auto s = sample();
    std::strcpy(s->szComment, "a\r\nb");
    const std::string file = dir.file("list.csv");
    ASSERT_EQ(CsvType_Wt(file.c_str(), s.get()), TAV_OK);
    const std::string csv = dir.read("list.csv");
    EXPECT_TRUE(csv.starts_with(Text(10007) + "\r\n" + Text(10004) + Text(10024) + "\r\n")) << csv.substr(0, 80);
    const std::string columns = "\r\n" + Text(10019) + "\r\n";
    const std::size_t at = csv.find(columns);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(csv.find(Text(10041) + "HD-V1.00\r\n" + Text(10030) + " - \r\n" + Text(10031) + "a\r\r\nb"),
              std::string::npos);
    // 99 point lines after the column titles.
    std::size_t lines = 0;
    for (std::size_t i = at + columns.size(); i < csv.size(); ++i) lines += csv[i] == '\n';
    EXPECT_EQ(lines, 99u);
    EXPECT_TRUE(csv.find("\r\n  1, INC     , ") != std::string::npos && csv.find(",    31, ") != std::string::npos) << csv;

    // A record that cannot be built leaves no file behind.
    s->wStopTimeDp = 5;
    EXPECT_EQ(CsvType_Wt(dir.file("bad.csv").c_str(), s.get()), TAV_E_RANGE);
    EXPECT_FALSE(dir.exists("bad.csv"));
    for (auto [name, code] : {std::pair{std::string(), TAV_E_PARAMETER}, {dir.file("no/such.csv"), TAV_E_NO_FILE}})
        EXPECT_EQ(CsvType_Wt(name.c_str(), s.get()), code) << name;
}

// ---------------------------------------------------------------- templates
// The family of a new table read from its template, for both positioning
// tables: the line settings' tenth value on a plain read; when they cannot be
// read, the positioning table keeps the value the failed read leaves (0) and
// the VV table keeps KESTA7; a Create never looks at the settings and reads
// the model's template.
struct Families {
    uint32_t positioning, vv;
    bool operator==(const Families&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Families& f) { return os << f.positioning << "/" << f.vv; }

class TemplateFamily : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string share = std::string(TAV_BUILD_DIR) + "/share/tav/template/";
        for (const char* f : {"50.k7l", "52.k7l", "54.k7l", "55.k7v", "57.k7v", "59.k7v"})
            home.write(std::string("template/") + f, tavtest::read_file(share + f));
    }
    void write_settings(int tenth) {
        home.write("servo.set", "SERVO\r\ntitles\r\nLIN, COM1,38400,5,2,8,0,0,0," + std::to_string(tenth) + "\r\n");
    }
    Families read_templates() {
        auto l = std::make_unique<ItiDatSet>();
        auto v = std::make_unique<ItiVvDatSet>();
        EXPECT_EQ(tav::iti::DatFil_Rd(nullptr, l.get()), TAV_OK);
        EXPECT_EQ(tav::itivv::DatFil_Rd(nullptr, v.get()), TAV_OK);
        return {l->nFamily, v->nFamily};
    }
    tavtest::TempInstall home;
};

TEST_F(TemplateFamily, APlainReadTakesTheTenthValueOfTheLineSettings) {
    write_settings(0x40);
    EXPECT_EQ(read_templates(), (Families{0x40, 0x40}));
}

TEST_F(TemplateFamily, UnreadableSettingsGiveZeroToThePositioningTableAndKesta7ToTheVvTable) {
    EXPECT_EQ(read_templates(), (Families{0, 0x30}));  // no servo.set
}

// A Create takes the model's template: L type 52 (VV 57), LIN_KB 54 (59, its bus flag 1), any other
// model 50 (55), and makes a KESTA7 table of that model's type without number or file name.
TEST_F(TemplateFamily, CreateReadsTheModelsTemplateAsAKesta7Table) {
    write_settings(0x40);
    auto l = std::make_unique<ItiDatSet>();
    auto v = std::make_unique<ItiVvDatSet>();
    std::strcpy(l->szFileName, "old"), std::strcpy(v->szFileName, "old");
    for (auto [model, busFlag] : {std::pair{2, 0}, {4, 1}, {0, 0}}) {
        ASSERT_EQ(tav::iti::DatFil_Create(model, l.get()), TAV_OK);
        ASSERT_EQ(tav::itivv::DatFil_Create(model, v.get()), TAV_OK);
        EXPECT_EQ((Texts{l->szAmpNo, l->szFileName, v->szAmpNo, v->szFileName}), (Texts{"0", "", "0", ""}));
        EXPECT_EQ(std::make_tuple(+l->nModel, +l->nFamily, +l->byInfo6, +l->byInfo10, +l->nPointCount,
                                  +l->point[98].nDataNo, +l->point[98].nCmdMode),
                  std::make_tuple(2, 0x30u, busFlag, 0xFF, 99, 99, 1)) << model;
        EXPECT_EQ(std::make_tuple(+v->nModel, +v->nFamily, +v->byInfo6, +v->nPointCount, +v->nColumnCount,
                                  +v->point[14].nDataNo, +v->point[14].nCmdMode),
                  std::make_tuple(0, 0x30u, busFlag, 15, 12u, 15, 1)) << model;
    }
    // An empty template gives an empty table, a missing one none.
    home.write("template/52.k7l", "");
    EXPECT_EQ(tav::iti::DatFil_Create(2, l.get()), TAV_OK);
    EXPECT_EQ(+l->point[0].nDataNo, 0);
    for (const char* f : {"52.k7l", "57.k7v"}) std::remove(home.file(std::string("template/") + f).c_str());
    EXPECT_EQ(tav::iti::DatFil_Create(2, l.get()), TAV_E_NO_FILE);
    EXPECT_EQ(tav::itivv::DatFil_Create(2, v.get()), TAV_E_NO_FILE);
}

}  // namespace
