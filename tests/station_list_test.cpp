// servo.con: the selected entry, entry reads, the rewrite through the
// temporary file and its refusals, and the refresh of an entry from the line.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/recording_wyn.h"
#include "fixtures/temp_dirs.h"
#include "line/line.h"

using namespace tav::line;

namespace {

using tavtest::crlf;
using Texts = std::vector<std::string>;

// "station/flag/name" of an entry, or "code N" when the read fails.
std::string entry(int n, int refresh = 0) {
    int count = 0, station = 0, flag = 0;
    char name[500];
    short code = AmpData_Rd(n, refresh, &count, &station, name, &flag);
    if (code != 0) return "code " + std::to_string(code);
    return std::to_string(station) + "/" + std::to_string(flag) + "/" + name;
}

const char* const kList =
    "SERVO,  3\n5\n001,1,KESTA7 L-type\n999,0,spare\n017,0,\x83\x41\x83\x93, with comma\n999,1,\n248,0,last\n";

class StationList : public ::testing::Test {
protected:
    void SetUp() override { home_.write("servo.con", crlf(kList)); }
    std::string list() const { return home_.read("servo.con"); }
    tavtest::TempInstall home_;
};

}  // namespace

// ------------------------------------------------------------------ reading
TEST_F(StationList, EntriesAreNumberedFromTheFirstLineAfterTheCount) {
    // Entries 1, 3 (raw text to the line end), 5 and 6 (none).
    EXPECT_EQ((Texts{entry(1), entry(3), entry(5), entry(6)}),
              (Texts{"1/1/KESTA7 L-type", "17/0/\x83\x41\x83\x93, with comma", "248/0/last", "code -5"}));
    for (int n : {0, -1, 51}) EXPECT_EQ(entry(n), "code -1") << n;
    int count = 0;
    ASSERT_EQ(AmpData_Rd(2, 0, &count, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(count, 5);

    char selected[8];
    ASSERT_EQ(Amp_Rd(selected), 0);
    EXPECT_STREQ(selected, "3");
    // The result and the station of a look-up.
    const auto station = [](auto lookUp) {
        int st = -1;
        const int code = lookUp(&st);
        return std::make_pair(code, st);
    };
    EXPECT_EQ(station(TargetAmpKyoku_Rd), std::make_pair(0, 17));
    EXPECT_EQ(station([](int* st) { return SiteiAmpKyoku_Rd(9, st); }).first, -5);
    EXPECT_EQ(station([](int* st) { return ListStation(3, st); }), std::make_pair(0, 17));
    // The servo operator in front of the list.
    EXPECT_EQ(station([](int* st) { return ListStation(0, st); }), std::make_pair(0, 0));

    tavtest::install_sample(home_, {"servo.con"});
    EXPECT_EQ(station(TargetAmpKyoku_Rd), std::make_pair(0, 1));  // the sample selects entry 1, station 001
    EXPECT_EQ((Texts{entry(2), entry(3)}), (Texts{"2/0/KESTA7 Mini V-type", "code -5"}));
}

TEST_F(StationList, BrokenListsGiveMinus5OrMinus3) {
    char selected[8];
    for (const char* bad : {"SERV0,  1\n1\n001,0,a\n", "SERVO,  1", ""}) {  // the last two: no count line
        home_.write("servo.con", crlf(bad));
        EXPECT_EQ(entry(1), "code -5") << bad;
    }
    EXPECT_EQ(Amp_Rd(selected), -5);
    int station = 0;
    EXPECT_EQ(ListStation(0, &station), -5);
    std::filesystem::remove(home_.file("servo.con"));
    // Selected entry, entry, selection and entry rewrites.
    EXPECT_EQ((std::vector<int>{Amp_Rd(selected), Amp_Wt("1"), AmpData_Wt(1, 5, "x")}), (std::vector<int>{-3, -3, -3}));
    EXPECT_EQ(entry(1), "code -3");
    EXPECT_FALSE(home_.exists("servo.con"));

    // Odd lines read as what they hold, without disturbing the others.
    home_.write("servo.con", crlf("SERVO,  1\n3\n001\n002,1,\x82\xa0" + std::string(700, 'n') + "\n\xb1,1,x\n") +
                                 "003,0,end");
    // Entry 4 is past the count, without a final line feed.
    EXPECT_EQ((Texts{entry(1), entry(3), entry(4)}), (Texts{"1/0/", "0/0/", "3/0/end"}));
    EXPECT_EQ(entry(2).size(), 4 + 499u);  // the caller's buffer holds 500 bytes
}

// ------------------------------------------------------------------ writing
TEST_F(StationList, SelectedEntryIsWrittenOverLineOne) {
    std::string expected = crlf(kList);
    for (const char* text : {"7", "12", "1234"}) {
        ASSERT_EQ(Amp_Wt(text), 0);
        char line1[16];
        std::snprintf(line1, sizeof line1, "SERVO, %3s", text);
        expected.replace(0, expected.find('\r'), line1);
        // The old line 1 had another length: the rest must still be intact.
        EXPECT_EQ(list(), expected) << text;
    }
    char selected[8];
    ASSERT_EQ(Amp_Rd(selected), 0);
    EXPECT_STREQ(selected, "1234");
}

TEST_F(StationList, RewritesChangeExactlyTheOneEntry) {
    ASSERT_EQ(AmpData_Wt(2, -1, nullptr), 0);
    EXPECT_EQ(list(), crlf(kList));

    ASSERT_EQ(AmpData_Wt(2, 30, nullptr), 0);     // new station, old flag and name
    ASSERT_EQ(AmpData_Wt(1, -1, "renamed"), 0);   // old station text and flag
    ASSERT_EQ(AmpData_Wt(5, 7, "\x83\x41 seven"), 0);
    EXPECT_EQ(list(), crlf("SERVO,  3\n5\n001,1,renamed\n030,0,spare\n017,0,\x83\x41\x83\x93, with comma\n999,1,\n"
                           "007,0,\x83\x41 seven\n"));
    // Nothing stays behind but the list and the rewrite's empty lock file.
    std::vector<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(home_.path())) names.push_back(f.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"@TAVACS.TMP", "servo.con"}));
    EXPECT_EQ(home_.read("@TAVACS.TMP"), "");
}

TEST_F(StationList, StationsAreCheckedForRangeAndReuse) {
    EXPECT_EQ(AmpData_Wt(3, 1, nullptr), -17);  // entry 1's station
    EXPECT_EQ(AmpData_Wt(3, 248, "x"), -17);
    for (int bad : {249, -2, 1000}) EXPECT_EQ(AmpData_Wt(3, bad, nullptr), -15) << bad;
    EXPECT_EQ(AmpData_Wt(51, 5, nullptr), -1);
    EXPECT_EQ(list(), crlf(kList));
    EXPECT_EQ(AmpData_Wt(3, 17, nullptr), 0);   // its own station again
    EXPECT_EQ(AmpData_Wt(1, 999, nullptr), 0);  // 999 may occur any number of times
    EXPECT_EQ(AmpData_Wt(3, 1, nullptr), 0);    // now free
    EXPECT_EQ(entry(3), "1/0/\x83\x41\x83\x93, with comma");
}

TEST_F(StationList, FailedRewritesLeaveTheListByteForByte) {
    // Fewer lines than counted; another file altogether.
    for (const std::string& bad : {crlf("SERVO,  1\n4\n001,0,a\n002,0,b\n"), crlf("HELLO\n1\n001,0,a\n")}) {
        home_.write("servo.con", bad);
        EXPECT_EQ(AmpData_Wt(1, 5, "x"), -5) << bad;
        EXPECT_EQ(list(), bad);
    }

    home_.write("servo.con", crlf(kList));
    std::filesystem::remove(home_.file("@TAVACS.TMP"));
    std::filesystem::create_directory(home_.file("@TAVACS.TMP"));  // the rewrite's lock cannot be taken
    EXPECT_EQ(AmpData_Wt(1, 5, "x"), -3);
    EXPECT_EQ(Amp_Wt("7"), -3);  // every selection is a rewrite under the lock
    EXPECT_EQ(list(), crlf(kList));
}

TEST_F(StationList, RewriteKeepsOnlyTheCountedLines) {
    const std::string longName(3000, 'L');
    const std::string counted = crlf("SERVO,  1\n2\n001,0,a\n002,0," + longName + "\n");
    const std::string raw = counted + crlf("extra line\n") + "003,1,tail";
    home_.write("servo.con", raw);
    ASSERT_EQ(AmpData_Wt(1, 9, nullptr), 0);
    EXPECT_EQ(list(), std::string(counted).replace(counted.find("001"), 3, "009"));
    ASSERT_EQ(AmpData_Wt(1, -1, "two\r\nlines"), 0);  // a name stays one line
    EXPECT_EQ(entry(1), "9/0/two");

    // An entry past the count is no error: the counted lines are copied as they are.
    home_.write("servo.con", raw);
    EXPECT_EQ(AmpData_Wt(4, 4, nullptr), 0);
    EXPECT_EQ(list(), counted);
    EXPECT_EQ(AmpData_Wt(7, 5, "x"), 0);  // no such line at all
    EXPECT_EQ(list(), counted);

    // The refresh of an uncounted entry goes through the same writer.
    tavtest::RecordingWyn wyn;
    wyn.answer("Wyn_Net_Open", {1, {}});
    home_.write("servo.con", raw);
    EXPECT_EQ(entry(4, 1), "3/0/tail");
    EXPECT_EQ(list(), counted);
}

TEST_F(StationList, EntriesInUseSkipThe999sAndReportTheLastReadCode) {
    int count = -1, first = -1, station = -1, flag = -1;
    char name[500] = "";
    EXPECT_EQ(Yukou_AmpData_Rd(&count, &first, &station, name, &flag), -5);  // only 5 of 50
    EXPECT_EQ((std::vector<int>{count, first, station, flag}), (std::vector<int>{3, 1, 1, 1}));
    EXPECT_STREQ(name, "KESTA7 L-type");

    std::string full = "SERVO,  1\n50\n";
    for (int i = 1; i <= 50; ++i) full += i == 40 ? "040,0,forty\n" : "999,0,\n";
    home_.write("servo.con", crlf(full));
    EXPECT_EQ(Yukou_AmpData_Rd(&count, &first, &station, name, &flag), 0);
    EXPECT_EQ((std::vector<int>{count, first, station}), (std::vector<int>{1, 40, 40}));
}

// ------------------------------------------------------------------ refresh
TEST_F(StationList, RefreshStoresWhetherTheAmplifierAnswered) {
    tavtest::RecordingWyn wyn;
    wyn.default_answer("Wyn_SysCondition_Rd", {0, std::vector<uint8_t>(17, 0x30)});
    home_.write("servo.set", crlf("SERVO\nh\nLIN, COM1,38400\n"));
    home_.write("TAVLOG.TRC", "");  // the received bytes are traced as well
    EXPECT_EQ(entry(3, 1), "17/1/\x83\x41\x83\x93, with comma");
    EXPECT_EQ(wyn.names(), (std::vector<std::string>{"Wyn_Net_Open", "Wyn_SysCondition_Rd", "Wyn_Net_Close"}));
    EXPECT_EQ(wyn.calls[1].args, (std::vector<long long>{17, 17}));

    wyn.calls.clear();
    wyn.answer("Wyn_Net_Open", {1, {}});  // the line does not open: not connected
    EXPECT_EQ(entry(1, 1), "1/0/KESTA7 L-type");
    EXPECT_EQ(wyn.names(), std::vector<std::string>{"Wyn_Net_Open"});
    wyn.calls.clear();
    EXPECT_EQ(entry(4, 1), "999/0/");  // no amplifier: nothing to ask
    EXPECT_TRUE(wyn.calls.empty());
    EXPECT_EQ(list(), crlf("SERVO,  3\n5\n001,0,KESTA7 L-type\n999,0,spare\n017,1,\x83\x41\x83\x93, with comma\n"
                           "999,0,\n248,0,last\n"));
}
