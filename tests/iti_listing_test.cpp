// Listing of a positioning table: print record, description lines and the
// CSV file.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "iti/iti.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

using namespace tav::iti;
using tav::text::Text;

namespace {

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

}  // namespace
