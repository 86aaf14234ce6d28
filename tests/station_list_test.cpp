// servo.con: the selected entry, entry reads, the rewrite through the
// temporary file and its refusals, and the refresh of an entry from the line.
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fixtures/recording_wyn.h"
#include "fixtures/temp_dirs.h"
#include "line/line.h"

using namespace tav::line;
using tavtest::TempInstall;

namespace {

std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

struct EntryRead {
    short code = 0;
    int count = -7, station = -7, flag = -7;
    std::string name;
};

EntryRead read_entry(int n, int refresh = 0) {
    EntryRead r;
    char name[500];
    std::strcpy(name, "untouched");
    r.code = AmpData_Rd(n, refresh, &r.count, &r.station, name, &r.flag);
    r.name = name;
    return r;
}

const char* const kList =
    "SERVO,  3\n5\n001,1,KESTA7 L-type\n999,0,spare\n017,0,\x83\x41\x83\x93\x83\x76, with comma\n999,1,\n"
    "248,0,last\n";

class StationList : public ::testing::Test {
protected:
    void SetUp() override { home_.write("servo.con", crlf(kList)); }
    std::string list() const { return home_.read("servo.con"); }
    TempInstall home_;
};

}  // namespace

// ------------------------------------------------------------------ reading
TEST_F(StationList, EntriesAreNumberedFromTheFirstLineAfterTheCount) {
    EntryRead e = read_entry(1);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.count, 5);
    EXPECT_EQ(e.station, 1);
    EXPECT_EQ(e.flag, 1);
    EXPECT_EQ(e.name, "KESTA7 L-type");
    // The name is raw text to the line end: double-byte text and commas.
    e = read_entry(3);
    EXPECT_EQ(e.station, 17);
    EXPECT_EQ(e.name, "\x83\x41\x83\x93\x83\x76, with comma");
    e = read_entry(5);
    EXPECT_EQ(e.station, 248);
    EXPECT_EQ(e.name, "last");
    EXPECT_EQ(read_entry(6).code, -5);
    EXPECT_EQ(read_entry(0).code, -1);
    EXPECT_EQ(read_entry(51).code, -1);
    EXPECT_EQ(read_entry(-1).code, -1);
}

TEST_F(StationList, SampleInstallationListsTwoAmplifiers) {
    home_.write("servo.con", tavtest::read_file(std::string(TAV_BUILD_DIR) + "/share/tav/servo.con"));
    int station = -1;
    ASSERT_EQ(TargetAmpKyoku_Rd(&station), 0);
    EXPECT_EQ(station, 1);
    EntryRead e = read_entry(2);
    EXPECT_EQ(e.station, 2);
    EXPECT_EQ(e.name, "KESTA7 Mini V-type");
    EXPECT_EQ(e.count, 2);
    EXPECT_EQ(read_entry(3).code, -5);
}

TEST_F(StationList, SelectedEntryAndStationLookups) {
    char selected[8] = "x";
    ASSERT_EQ(Amp_Rd(selected), 0);
    EXPECT_STREQ(selected, "3");
    int station = -1;
    EXPECT_EQ(TargetAmpKyoku_Rd(&station), 0);
    EXPECT_EQ(station, 17);
    EXPECT_EQ(SiteiAmpKyoku_Rd(5, &station), 0);
    EXPECT_EQ(station, 248);
    EXPECT_EQ(SiteiAmpKyoku_Rd(9, &station), -5);

    home_.write("servo.con", crlf("SERVO,  0\n1\n005,0,a\n"));
    EXPECT_EQ(TargetAmpKyoku_Rd(&station), -1);  // no entry 0
    home_.write("servo.con", crlf("SERVO\n1\n005,0,a\n"));
    EXPECT_EQ(Amp_Rd(selected), 0);
    EXPECT_STREQ(selected, "");
}

TEST_F(StationList, BrokenListsGiveMinus5OrMinus3) {
    home_.write("servo.con", crlf("SERV0,  1\n1\n001,0,a\n"));
    char selected[8];
    EXPECT_EQ(Amp_Rd(selected), -5);
    EXPECT_EQ(read_entry(1).code, -5);
    home_.write("servo.con", crlf("SERVO,  1"));  // no count line
    EXPECT_EQ(read_entry(1).code, -5);
    home_.write("servo.con", "");
    EXPECT_EQ(Amp_Rd(selected), -5);
    std::filesystem::remove(home_.file("servo.con"));
    EXPECT_EQ(Amp_Rd(selected), -3);
    EXPECT_EQ(read_entry(1).code, -3);
    EXPECT_EQ(Amp_Wt("1"), -3);
    EXPECT_EQ(AmpData_Wt(1, 5, "x"), -3);
    EXPECT_FALSE(home_.exists("servo.con"));
}

TEST_F(StationList, UnusualLinesReadWithoutLosingTheOthers) {
    std::string longName(700, 'n');
    home_.write("servo.con", crlf("SERVO,  1\n3\n001\n002,1,\x82\xa0" + longName + "\n\xb1,1,x\n") + "003,0,end");
    EntryRead e = read_entry(1);
    EXPECT_EQ(e.station, 1);
    EXPECT_EQ(e.flag, 0);
    EXPECT_EQ(e.name, "");
    e = read_entry(2);
    EXPECT_EQ(e.name.size(), 499u);  // the caller's buffer holds 500 bytes
    EXPECT_EQ(e.name.substr(0, 4), "\x82\xa0nn");
    EXPECT_EQ(read_entry(3).station, 0);
    e = read_entry(4);  // past the count, no final line feed
    EXPECT_EQ(e.station, 3);
    EXPECT_EQ(e.name, "end");
}

// ------------------------------------------------------------ selected entry
TEST_F(StationList, SelectedEntryIsWrittenOverLineOne) {
    ASSERT_EQ(Amp_Wt("7"), 0);
    std::string expected = crlf(kList);
    expected.replace(0, expected.find('\r'), "SERVO,   7");
    // "SERVO,  3" was one byte shorter: the rest of the file must stay intact.
    EXPECT_EQ(list(), expected);
    ASSERT_EQ(Amp_Wt("12"), 0);
    expected.replace(0, expected.find('\r'), "SERVO,  12");
    EXPECT_EQ(list(), expected);
    ASSERT_EQ(Amp_Wt("1234"), 0);
    expected.replace(0, expected.find('\r'), "SERVO, 1234");
    EXPECT_EQ(list(), expected);
    char selected[8];
    ASSERT_EQ(Amp_Rd(selected), 0);
    EXPECT_STREQ(selected, "1234");
}

// ------------------------------------------------------------------ writing
TEST_F(StationList, RewritesChangeExactlyTheOneEntry) {
    const std::string before = crlf(kList);
    ASSERT_EQ(AmpData_Wt(2, -1, nullptr), 0);
    EXPECT_EQ(list(), before);

    ASSERT_EQ(AmpData_Wt(2, 30, nullptr), 0);  // new station, old flag and name
    ASSERT_EQ(AmpData_Wt(1, -1, "renamed"), 0);  // old station text and flag
    ASSERT_EQ(AmpData_Wt(5, 7, "\x83\x41 seven"), 0);
    EXPECT_EQ(list(), crlf("SERVO,  3\n5\n001,1,renamed\n030,0,spare\n017,0,\x83\x41\x83\x93\x83\x76, with comma\n"
                           "999,1,\n007,0,\x83\x41 seven\n"));
    EXPECT_FALSE(home_.exists("@TAVACS.TMP"));
}

TEST_F(StationList, StationsAreCheckedForRangeAndReuse) {
    const std::string before = crlf(kList);
    EXPECT_EQ(AmpData_Wt(3, 1, nullptr), -17);    // entry 1's station
    EXPECT_EQ(AmpData_Wt(3, 248, "x"), -17);
    EXPECT_EQ(AmpData_Wt(3, 249, nullptr), -15);
    EXPECT_EQ(AmpData_Wt(3, -2, nullptr), -15);
    EXPECT_EQ(AmpData_Wt(3, 1000, nullptr), -15);
    EXPECT_EQ(AmpData_Wt(0, 5, nullptr), -1);
    EXPECT_EQ(AmpData_Wt(51, 5, nullptr), -1);
    EXPECT_EQ(list(), before);
    EXPECT_EQ(AmpData_Wt(3, 17, nullptr), 0);  // its own station again
    EXPECT_EQ(AmpData_Wt(1, 999, nullptr), 0);  // 999 may occur any number of times
    EXPECT_EQ(read_entry(1).station, 999);
    EXPECT_EQ(AmpData_Wt(3, 1, nullptr), 0);   // now free
    EXPECT_EQ(read_entry(3).station, 1);
}

TEST_F(StationList, FailedRewritesLeaveTheListByteForByte) {
    // Fewer entry lines than the count says.
    std::string shortList = crlf("SERVO,  1\n4\n001,0,a\n002,0,b\n");
    home_.write("servo.con", shortList);
    EXPECT_EQ(AmpData_Wt(1, 5, "x"), -5);
    EXPECT_EQ(list(), shortList);
    // No such entry line.
    home_.write("servo.con", crlf(kList));
    EXPECT_EQ(AmpData_Wt(6, 5, "x"), -5);
    // The temporary file cannot be written.
    std::filesystem::create_directory(home_.file("@TAVACS.TMP"));
    EXPECT_EQ(AmpData_Wt(1, 5, "x"), -3);
    EXPECT_EQ(Amp_Wt("12345"), -3);  // a longer line 1 needs the rewrite too
    EXPECT_EQ(list(), crlf(kList));
    std::filesystem::remove(home_.file("@TAVACS.TMP"));
    // Not a station list at all.
    const std::string other = crlf("HELLO\n1\n001,0,a\n");
    home_.write("servo.con", other);
    EXPECT_EQ(AmpData_Wt(1, 5, "x"), -5);
    EXPECT_EQ(list(), other);
}

TEST_F(StationList, RewriteKeepsUncountedLinesAndOddBytes) {
    std::string longName(3000, 'L');
    const std::string raw = crlf("SERVO,  1\n2\n001,0,a\n002,0," + longName + "\nextra line\n") + "003,1,tail";
    home_.write("servo.con", raw);
    ASSERT_EQ(AmpData_Wt(1, 9, nullptr), 0);
    std::string expected = raw;
    expected.replace(expected.find("001"), 3, "009");
    EXPECT_EQ(list(), expected);
    // A name with a line break stays one line.
    ASSERT_EQ(AmpData_Wt(1, -1, "two\r\nlines"), 0);
    EXPECT_EQ(read_entry(1).name, "two");
    EXPECT_EQ(read_entry(2).name, longName.substr(0, 499));
    // An entry past the count can still be rewritten.
    ASSERT_EQ(AmpData_Wt(4, 4, nullptr), 0);
    EXPECT_EQ(list().substr(list().size() - 12), crlf("004,1,tail\n"));
}

// ------------------------------------------------------------ entries in use
TEST_F(StationList, EntriesInUseSkipThe999sAndReportTheLastReadCode) {
    int count = -1, entry = -1, station = -1, flag = -1;
    char name[500] = "";
    EXPECT_EQ(Yukou_AmpData_Rd(&count, &entry, &station, name, &flag), -5);  // only 5 of 50
    EXPECT_EQ(count, 3);
    EXPECT_EQ(entry, 1);
    EXPECT_EQ(station, 1);
    EXPECT_STREQ(name, "KESTA7 L-type");
    EXPECT_EQ(flag, 1);

    std::string full = "SERVO,  1\n50\n";
    for (int i = 1; i <= 50; ++i) full += i == 40 ? "040,0,forty\n" : "999,0,\n";
    home_.write("servo.con", crlf(full));
    EXPECT_EQ(Yukou_AmpData_Rd(&count, &entry, &station, name, &flag), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(entry, 40);
    EXPECT_EQ(station, 40);
}

// ------------------------------------------------------------------ refresh
TEST_F(StationList, RefreshStoresWhetherTheAmplifierAnswered) {
    tavtest::RecordingWyn wyn;
    home_.write("servo.set", crlf("SERVO\nh\nLIN, COM1,38400\n"));
    EntryRead e = read_entry(3, 1);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.flag, 1);
    EXPECT_EQ(wyn.names(), (std::vector<std::string>{"Wyn_Net_Open", "Wyn_SysCondition_Rd", "Wyn_Net_Close"}));
    EXPECT_EQ(wyn.calls[1].args, (std::vector<long long>{17, 17}));
    EXPECT_EQ(read_entry(3).flag, 1);
    EXPECT_EQ(read_entry(3).name, "\x83\x41\x83\x93\x83\x76, with comma");

    // The line does not open: the entry is stored as not connected.
    wyn.calls.clear();
    wyn.answer("Wyn_Net_Open", {1, {}});
    e = read_entry(1, 1);
    EXPECT_EQ(e.flag, 0);
    EXPECT_EQ(wyn.names(), std::vector<std::string>{"Wyn_Net_Open"});
    EXPECT_EQ(read_entry(1).flag, 0);

    // No amplifier: nothing to ask.
    wyn.calls.clear();
    e = read_entry(4, 1);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.flag, 0);
    EXPECT_TRUE(wyn.calls.empty());
    EXPECT_EQ(list(), crlf("SERVO,  3\n5\n001,0,KESTA7 L-type\n999,0,spare\n017,1,\x83\x41\x83\x93\x83\x76, with comma\n"
                           "999,0,\n248,0,last\n"));
}
