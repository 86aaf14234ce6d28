// The VV file (".k7v", ".m7v"), the VV templates and the listings: what goes
// on disk, what reads back, what a damaged file does, and how the two times
// appear in the print record and the CSV export.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "fixtures/set_matchers.h"
#include "fixtures/temp_dirs.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "text/text.h"

using namespace tav::itivv;

namespace {

class ItiVvFile : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {"servo.set", "servo.con", "template/55.k7v"});
        tav::line::set_amp_name_for_file("");
    }

    static std::unique_ptr<ItiVvDatSet> sample_set() {
        auto s = std::make_unique<ItiVvDatSet>();
        s->nPointCount = 15;
        s->nColumnCount = 12;
        s->wStopPosDp = 2;
        EXPECT_EQ(tav::itivv::FileCmt_Wt(s.get(), "first\r\nsecond"), TAV_OK);
        for (int i = 0; i < 15; ++i)
            s->point[i] = {.nDataNo = i + 1, .nChgFlag = 1, .nCmdMode = i % 2, .nStepMode = i % 4,
                           .dStopPos = 10.25 * (i + 1), .dSpeed = 100.5, .dAccelTime = 12.5, .dDecelTime = 0.5 * i,
                           .dStopTimer = 1.25, .nMCode = i, .nMValid = 1, .nMTiming = 0, .nStatus = 0};
        return s;
    }

    static std::vector<std::string> lines_of(const std::string& bytes) {
        std::vector<std::string> out;
        std::istringstream in(bytes);
        for (std::string l; std::getline(in, l);) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            out.push_back(l);
        }
        return out;
    }

    tavtest::TempHost host;
    tavtest::TempInstall home;
};

TEST_F(ItiVvFile, WrittenFileReadsBackWithTwelveValuesALine) {
    auto s = sample_set();
    const std::string path = home.file("axis.k7v");
    ASSERT_EQ(DatFil_Wt(path.c_str(), s.get()), TAV_OK);
    EXPECT_EQ(+s->point[0].nChgFlag, 0);  // saved: nothing edited any more

    const std::vector<std::string> lines = lines_of(home.read("axis.k7v"));
    ASSERT_GE(lines.size(), 19u);
    // The column titles, the first and the last point, the comment.
    EXPECT_EQ((std::vector<std::string>{lines[1] + "\n", lines[2], lines[16], lines[17], lines[18]}),
              (std::vector<std::string>{tav::text::Text(10043),
                                        "001, 0, 00, 00, 00000010.25, 0100.50, 00012.5, 00000.0, 0001.25, 000, 1, 0",
                                        "015, 0, 00, 02, 00000153.75, 0100.50, 00012.5, 00007.0, 0001.25, 014, 1, 0",
                                        "first", "second"}));

    auto back = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(DatFil_Rd(path.c_str(), back.get()), TAV_OK);
    EXPECT_EQ(std::make_tuple(+back->nFamily, +back->nPointCount, +back->nColumnCount, +back->wStopPosDp),
              std::make_tuple(0x30u, 15, 12u, 2));
    EXPECT_STREQ(back->szComment, "first\r\nsecond");
    tavtest::expect_same_points(*back, *s);
}

TEST_F(ItiVvFile, TheExtensionTellsTheFamilyAndOtherKindsAreRefused) {
    auto s = sample_set();
    const std::string mini = home.file("axis.m7v");
    ASSERT_EQ(DatFil_Wt(mini.c_str(), s.get()), TAV_OK);
    auto back = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(DatFil_Rd(mini.c_str(), back.get()), TAV_OK);
    EXPECT_EQ(+back->nFamily, 0x40u);

    // A positioning file is not a VV file, neither to read nor to write.
    home.write("axis.k7l", home.read("axis.m7v"));
    auto untouched = std::make_unique<ItiVvDatSet>();
    untouched->nModel = 77;
    EXPECT_EQ(DatFil_Rd(home.file("axis.k7l").c_str(), untouched.get()), TAV_E_FILE_NAME);
    EXPECT_EQ(+untouched->nModel, 77);
    EXPECT_EQ(DatFil_Wt(home.file("axis.k7l").c_str(), s.get()), TAV_E_FILE_NAME);  // the others: EveryFamily
}

TEST_F(ItiVvFile, TheSecondLineIsSkippedWhateverTheVersionTag) {
    std::string file = "SERVO,VEL, 002, ,0,0,FF,FF,00,00,00,FF,00,00,FFFF,FF,FF,00,00,00000000,00000000,00,00,K7-V1.3\r\n";
    file += "099, 0, 01, 00, 0000000099, 0099.00, 00099.0, 00099.0, 0099.00, 099, 0, 0\r\n";
    for (int n = 1; n <= 15; ++n)
        file += (n < 10 ? "00" : "0") + std::to_string(n) +
                ", 0, 00, 01, 0000000001, 0001.00, 00002.5, 00003.5, 0000.00, 000, 0, 0\r\n";
    home.write("old.k7v", file);
    auto s = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(DatFil_Rd(home.file("old.k7v").c_str(), s.get()), TAV_OK);
    EXPECT_EQ(std::make_tuple(+s->point[0].nDataNo, +s->point[14].nDataNo, +s->point[14].dAccelTime,
                              +s->point[14].dDecelTime, std::string(s->szAmpNo)),
              std::make_tuple(1, 15, 2.5, 3.5, std::string("002")));
}

TEST_F(ItiVvFile, DamagedFilesReadWithoutOverrunning) {
    const std::string longLine(3000, '7');
    const std::string cases[] = {
        "SERVO\r\n",
        "SERVO,VEL" + longLine + "\r\n" + longLine + "\r\n" + longLine + "," + longLine + "\r\n",
        "SERVO,VEL, 1, ,9,9,zz\r\ntitle\r\n001,,,,\r\nx, y, z\r\n\xff\xfe\x81,\x82\r\n",
        "SERVO,VEL, " + std::string(100, '1') + "," + std::string(200, 'd') + ",0,0\r\ntitle\r\n" +
            std::string(5000, 'c'),
    };
    for (const std::string& bytes : cases) {
        home.write("bad.k7v", bytes);
        auto s = std::make_unique<ItiVvDatSet>();
        s->nModel = 77;
        const short code = DatFil_Rd(home.file("bad.k7v").c_str(), s.get());
        if (code == TAV_E_FILE_NAME) {
            EXPECT_EQ(+s->nModel, 77);  // refused by the kind check: untouched
            continue;
        }
        ASSERT_EQ(code, TAV_OK);
        EXPECT_EQ(+s->nPointCount, 15);
        EXPECT_LT(std::string(s->szComment).size(), sizeof s->szComment);
        // A set read from a damaged file still lists without overrunning.
        auto print = std::make_unique<ItiVvDatPrintData>();
        Print_mak(s.get(), print.get());
        EXPECT_LT(std::string(print->szPointLine[14]).size(), sizeof print->szPointLine[14]);
    }
    // A damaged template makes a set all the same.
    home.write("template/55.k7v", "x,,,,zz,qq," + longLine + "\r\n");
    auto s = std::make_unique<ItiVvDatSet>();
    EXPECT_EQ(DatFil_Create(0, s.get()), TAV_OK);
    EXPECT_EQ(+s->nPointCount, 15);
}

TEST_F(ItiVvFile, TheTimesShowInPrintFormInBothListings) {
    auto s = sample_set();
    auto print = std::make_unique<ItiVvDatPrintData>();
    ASSERT_EQ(Print_mak(s.get(), print.get()), TAV_OK);
    // No file name yet: untitled.
    EXPECT_EQ(std::make_tuple(+print->nLineCount, std::string(print->szColumnTitle1), std::string(print->szTitle)),
              std::make_tuple(15, tav::text::Text(10046), tav::text::Text(10015)));
    const std::string line = print->szPointLine[0];
    EXPECT_TRUE(line.find("    12.5") != std::string::npos && line.find("00012.5") == std::string::npos) << line;

    const std::string csv = home.file("axis.csv");
    ASSERT_EQ(DatFil_Wt(csv.c_str(), s.get()), TAV_OK);  // a ".csv" name is the export
    const std::vector<std::string> lines = lines_of(home.read("axis.csv"));
    // Seven description lines, the comment (two lines here), the titles.
    ASSERT_EQ(lines.size(), 7u + 2 + 1 + 15);
    EXPECT_EQ((std::vector<std::string>{lines[0], lines[8], lines[9]}),
              (std::vector<std::string>{tav::text::Text(10007), "second", tav::text::Text(10047)}));
    for (int i = 0; i < 15; ++i) {
        const std::string& l = lines[10 + i];
        EXPECT_EQ(std::count(l.begin(), l.end(), ','), 10) << l;
        EXPECT_NE(l.find(",     12.5,"), std::string::npos) << l;
    }
}

TEST_F(ItiVvFile, AStopTimerThatCannotBeShownFailsTheListingAndLeavesNoCsv) {
    auto s = sample_set();
    s->wStopTimeDp = 5;
    auto print = std::make_unique<ItiVvDatPrintData>();
    EXPECT_EQ(Print_mak(s.get(), print.get()), TAV_E_RANGE);
    EXPECT_EQ(CsvType_Wt(home.file("bad.csv").c_str(), s.get()), TAV_E_RANGE);
    EXPECT_FALSE(home.exists("bad.csv"));
    EXPECT_EQ(DatFil_Wt(home.file("bad.k7v").c_str(), s.get()), TAV_E_RANGE);
    EXPECT_EQ(+s->point[0].nChgFlag, 1);  // not saved: the flags stay
}

}  // namespace
