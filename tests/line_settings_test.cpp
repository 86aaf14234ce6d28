// servo.set: reading, the three rewrites, model-file copies and the serial
// port set-up; the model-number vocabulary and the amplifier-name texts.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/temp_dirs.h"
#include "line/line.h"
#include "text/text.h"

using namespace tav::line;
using tavtest::ScopedEnv;
using tavtest::TempInstall;

namespace {

// The files carry CR LF; tests write them with LF for readability.
std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string sample(const char* name) { return tavtest::read_file(std::string(TAV_BUILD_DIR) + "/share/tav/" + name); }

// Line n (1-based, CR LF kept) of a file's bytes.
std::string line_of(const std::string& bytes, int n) {
    std::size_t at = 0;
    for (int i = 1; i < n; ++i) at = bytes.find('\n', at) + 1;
    return bytes.substr(at, bytes.find('\n', at) + 1 - at);
}

// Line 2 of every rewrite: the column header of the current language.
std::string header() {
    std::string text = tav::text::Text(10001);
    EXPECT_FALSE(text.empty());
    return crlf(text);
}

// A file with every line in use, distinct values on each.
const char* const kFull =
    "SERVO\nheader\nVEL, COM2,19200,4,3,7,2,1,1,9\nline four stays\n11,22,33\n6\n7\n8\ntext one\ntext two\n"
    "111\n112\n";

LineSettings read_settings(short* code = nullptr) {
    LineSettings s;
    std::memset(&s, 0x5a, sizeof s);
    short rc = Set_Rd(&s);
    if (code != nullptr) *code = rc;
    return s;
}

}  // namespace

// ------------------------------------------------------------------ reading
TEST(SettingsRead, SampleInstallationIsAWorkingLine) {
    TempInstall home;
    home.write("servo.set", sample("servo.set"));
    short code;
    LineSettings s = read_settings(&code);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(s.nModel, 2);  // LIN
    EXPECT_EQ(s.nPort, 0);   // COM1
    EXPECT_EQ(s.nBaud, 2);   // 38400
    EXPECT_EQ(s.nRetry, 5);
    EXPECT_EQ(s.nTimeOut, 2);
    EXPECT_EQ(s.nDataBits, 8);
    EXPECT_EQ(s.nModelValue2, 1);
    EXPECT_STREQ(s.szText1, "");
}

TEST(SettingsRead, EveryLineLandsInItsField) {
    TempInstall home;
    home.write("servo.set", crlf(kFull));
    LineSettings s = read_settings();
    EXPECT_EQ(s.nModel, 0);
    EXPECT_EQ(s.nPort, 1);
    EXPECT_EQ(s.nBaud, 1);
    EXPECT_EQ(s.nRetry, 4);
    EXPECT_EQ(s.nTimeOut, 3);
    EXPECT_EQ(s.nDataBits, 7);
    EXPECT_EQ(s.nParity, 2);
    EXPECT_EQ(s.nStopBits, 1);
    EXPECT_EQ(s.nFlow, 1);
    EXPECT_EQ(s.nTenth, 9);
    EXPECT_EQ(s.nModelValue1, 11);
    EXPECT_EQ(s.nModelValue2, 22);
    EXPECT_EQ(s.nModelValue3, 33);
    EXPECT_EQ(s.nLine6, 6);
    EXPECT_EQ(s.nLine7, 7);
    EXPECT_EQ(s.nLine8, 8);
    EXPECT_STREQ(s.szText1, "text one");
    EXPECT_STREQ(s.szText2, "text two");
    EXPECT_EQ(s.nLine11, 111);
    EXPECT_EQ(s.nLine12, 112);
}

TEST(SettingsRead, MissingFileGivesMinus3AndTheDefaults) {
    TempInstall home;
    short code;
    LineSettings s = read_settings(&code);
    EXPECT_EQ(code, -3);
    EXPECT_EQ(s.nRetry, 5);
    EXPECT_EQ(s.nTimeOut, 2);
    EXPECT_EQ(s.nModelValue2, 1);
    EXPECT_EQ(s.nDataBits, 0);
    EXPECT_EQ(s.szText1[149], 0);
    // These two are the caller's.
    EXPECT_EQ(s.nModelValue3, 0x5a5a5a5a);
    EXPECT_EQ(s.nTenth, 0x5a5a5a5a);
}

TEST(SettingsRead, PortAndBaudFieldsAreMatchedStrictly) {
    TempInstall home;
    struct Case {
        const char* line3;
        int port, baud;
    };
    const Case cases[] = {
        {"LIN, COM10,57600", 0, 5},  // only one digit after COM counts
        {"LIN, COM9,9600 x", 8, 0},  // the token stops at the blank
        {"LIN, COM3,09600", 2, 0},   // no match keeps index 0
        {"LIN, COM0,115200", 0, 6},
        {"LIN, PORT4,4800", 0, 4},
        {"LIN, com5,2400", 0, 3},
    };
    for (const Case& c : cases) {
        home.write("servo.set", crlf(std::string("SERVO\nh\n") + c.line3 + "\n"));
        LineSettings s = read_settings();
        EXPECT_EQ(s.nPort, c.port) << c.line3;
        EXPECT_EQ(s.nBaud, c.baud) << c.line3;
    }
}

TEST(SettingsRead, BadFieldsKeepDefaultsWithoutSpillingIntoOtherLines) {
    TempInstall home;
    // An empty field ends line 3; an unknown model reads as 0.
    home.write("servo.set", crlf("SERVO\nh\nXYZ, COM2,19200,,7,8\n"));
    LineSettings s = read_settings();
    EXPECT_EQ(s.nModel, 0);
    EXPECT_EQ(s.nPort, 1);
    EXPECT_EQ(s.nRetry, 5);
    EXPECT_EQ(s.nDataBits, 0);

    // Double-byte text where the model belongs ends the line at once.
    home.write("servo.set", crlf("SERVO\nh\n\x8b\x40\x8e\xed, COM2,19200,1\n"));
    s = read_settings();
    EXPECT_EQ(s.nPort, 0);
    EXPECT_EQ(s.nRetry, 5);

    // Non-numeric and huge values: no overflow, the digits that are there.
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM2,19200,abc,99999999999,-99999999999,12x\n"));
    s = read_settings();
    EXPECT_EQ(s.nRetry, 0);
    EXPECT_EQ(s.nTimeOut, INT_MAX);
    EXPECT_EQ(s.nDataBits, INT_MIN);
    EXPECT_EQ(s.nParity, 12);

    // An over-long line 3 is still line 3: lines 4.. keep their places.
    std::string longLine = "LIN, COM4,4800,1,2,3,4,5,6,7," + std::string(900, '9');
    home.write("servo.set", crlf("SERVO\nh\n" + longLine + "\n\n1,2,3\n66\n"));
    s = read_settings();
    EXPECT_EQ(s.nPort, 3);
    EXPECT_EQ(s.nTenth, 7);
    EXPECT_EQ(s.nModelValue3, 3);
    EXPECT_EQ(s.nLine6, 66);
}

TEST(SettingsRead, TextsAreCutAndTheLastLineNeedsNoLineFeed) {
    TempInstall home;
    std::string longText(300, 'T');
    home.write("servo.set", crlf("SERVO\nh\nLIN\n\n\n\n\n\n" + longText + "\nab,cd\n5\n42"));
    LineSettings s = read_settings();
    EXPECT_EQ(std::string(s.szText1), std::string(149, 'T'));
    EXPECT_STREQ(s.szText2, "ab");
    EXPECT_EQ(s.nLine11, 5);
    EXPECT_EQ(s.nLine12, 42);
}

// ------------------------------------------------------------------ writing
TEST(SettingsWrite, SetWynWritesTheFileExactly) {
    TempInstall home;
    home.write("servo.set", crlf(kFull));
    LineSettings in = read_settings();
    in.nModel = 3;  // not written: the model is SetKisyu_Wt's
    in.nPort = 3;
    in.nBaud = 6;
    in.nRetry = 9;
    in.nTimeOut = 10;
    in.nDataBits = 5;  // the file's data bits, parity, stop bits, flow stay
    in.nParity = 4;
    in.nTenth = -1;
    in.nLine6 = 60;
    in.nLine12 = -12;
    std::memset(in.szText2, 'x', sizeof in.szText2);  // no terminator
    ASSERT_EQ(SetWyn_Wt(&in), 0);
    EXPECT_EQ(home.read("servo.set"),
              crlf("SERVO\n") + header() +
                  crlf("VEL, COM4,115200,9,10,7,2,1,1,-1\nline four stays\n11,22,33\n60\n7\n8\ntext one\n" +
                       std::string(149, 'x') + "\n111\n-12\n"));
}

TEST(SettingsWrite, SetWynFillsShortFilesAndKeepsExtraLines) {
    TempInstall home;
    home.write("servo.set", crlf("SERVO\nold header\nLIN, COM1,9600,1,1,8\nfour"));  // no final LF
    LineSettings in{};
    in.nPort = 12;   // outside 0..8: COM1
    in.nBaud = -1;   // outside 0..6: 38400
    std::strcpy(in.szText1, "a\nb");  // a line feed would shift the lines after it
    ASSERT_EQ(SetWyn_Wt(&in), 0);
    EXPECT_EQ(home.read("servo.set"),
              crlf("SERVO\n") + header() + crlf("LIN, COM1,38400,0,0,8,0,0,0,0\nfour\n\n0\n0\n0\na\n\n0\n0\n"));

    home.write("servo.set", crlf(std::string(kFull) + "thirteen\nfourteen\n"));
    in = read_settings();
    ASSERT_EQ(SetWyn_Wt(&in), 0);
    std::string after = home.read("servo.set");
    EXPECT_EQ(after.substr(after.size() - 20), crlf("thirteen\nfourteen\n"));
}

TEST(SettingsWrite, WritersLeaveNoFileWhenThereIsNone) {
    TempInstall home;
    LineSettings in{};
    EXPECT_EQ(SetWyn_Wt(&in), -3);
    EXPECT_EQ(SetKisyu_Wt(1), -3);
    EXPECT_EQ(SetKisyu_Wt2(1, 1, 2, 3), -3);
    EXPECT_FALSE(home.exists("servo.set"));
}

TEST(SettingsWrite, SetKisyuReplacesOnlyTheModelName) {
    TempInstall home;
    home.write("servo.set", crlf(kFull));
    ASSERT_EQ(SetKisyu_Wt(4), 0);
    std::string after = home.read("servo.set");
    EXPECT_EQ(line_of(after, 1), crlf("SERVO\n"));
    EXPECT_EQ(line_of(after, 2), header());
    EXPECT_EQ(line_of(after, 3), crlf("LIN_KB, COM2,19200,4,3,7,2,1,1,9\n"));
    const std::string original = crlf(kFull);
    EXPECT_EQ(after.substr(after.find("line four")), original.substr(original.find("line four")));

    ASSERT_EQ(SetKisyu_Wt(77), 0);  // no such model
    EXPECT_EQ(line_of(home.read("servo.set"), 3), crlf("ETC, COM2,19200,4,3,7,2,1,1,9\n"));
    ASSERT_EQ(SetKisyu_Wt(-1), 0);
    EXPECT_EQ(line_of(home.read("servo.set"), 3), crlf("ETC, COM2,19200,4,3,7,2,1,1,9\n"));
    EXPECT_EQ(read_settings().nModel, 3);
}

TEST(SettingsWrite, SetKisyu2AlsoWritesTheModelValuesAndKeepsLinesOneAndTwo) {
    TempInstall home;
    home.write("servo.set", crlf("servo\nmy header\nVEL, COM2\n"));
    ASSERT_EQ(SetKisyu_Wt2(5, -1, 0, 123456), 0);
    EXPECT_EQ(home.read("servo.set"), crlf("servo\nmy header\nVEL_KB, COM2\n\n-1,0,123456\n\n\n\n\n\n\n\n"));
}

// ------------------------------------------------------------- model files
TEST(SettingsCopy, CopiesTheSourceThenTheFilesOfItsModel) {
    TempInstall home;
    home.write("servo.set", crlf(kFull));
    home.write("other.set", crlf("SERVO\nh\nLIN, COM1\n"));
    home.write("model/23.dat", crlf("first of LIN\n"));
    home.write("model/43.dat", crlf("second of LIN\n"));
    home.write("model/41.dat", crlf("second of VEL\n"));
    ASSERT_EQ(Set_Copy(home.file("other.set").c_str()), 0);
    EXPECT_EQ(home.read("servo.set"), crlf("SERVO\nh\nLIN, COM1\n"));
    EXPECT_EQ(home.read("model/20.dat"), crlf("first of LIN\n"));
    EXPECT_EQ(home.read("model/40.dat"), crlf("second of LIN\n"));

    // Without a source the current settings choose; the first copy may fail.
    home.write("servo.set", crlf(kFull));  // VEL
    EXPECT_EQ(Set_Copy(nullptr), 0);
    EXPECT_EQ(home.read("model/40.dat"), crlf("second of VEL\n"));
    EXPECT_EQ(home.read("model/20.dat"), crlf("first of LIN\n"));

    EXPECT_EQ(Set_Copy(home.file("SERVO.SET").c_str()), -8);
    EXPECT_EQ(Set_Copy(home.file("missing.set").c_str()), -3);
    EXPECT_EQ(home.read("servo.set"), crlf(kFull));
    home.write("servo.set", crlf("SERVO\nh\nROR\n"));
    EXPECT_EQ(Set_Copy(""), -3);  // model/42.dat is missing
}

// ------------------------------------------------------------- serial port
class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        slave_ = ::ptsname(master_);
    }
    void TearDown() override {
        if (master_ >= 0) ::close(master_);
    }
    termios attributes() const {
        termios t{};
        int fd = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(fd, 0);
        ::tcgetattr(fd, &t);
        ::close(fd);
        return t;
    }
    int master_ = -1;
    std::string slave_;
    TempInstall home_;
};

TEST_F(SerialPortTest, OpensTheMappedPortAndSetsItUpFromTheFile) {
    ScopedEnv com3("WYN_COM3", slave_);
    home_.write("servo.set", crlf("SERVO\nh\nLIN, COM3,19200,5,500,7,2,2,1,0\n"));
    ASSERT_EQ(Port_Set(nullptr), 0);
    // A pseudo-terminal keeps its character size and parity; the rest shows.
    termios t = attributes();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 5);  // the time-out, in tenths of a second
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
}

TEST_F(SerialPortTest, UsesAGivenHandleAndLeavesItOpen) {
    home_.write("servo.set", crlf("SERVO\nh\nLIN, COM1,9999,5,20,8,0,0,0,0\n"));  // unknown baud: index 0
    int fd = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(Port_Set(reinterpret_cast<void*>(static_cast<intptr_t>(fd))), 0);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
    termios t{};
    ::tcgetattr(fd, &t);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_FALSE(t.c_iflag & IXON);
    ::close(fd);
}

TEST_F(SerialPortTest, FailuresGive1OrTheSettingsCode) {
    EXPECT_EQ(Port_Set(nullptr), -3);  // no servo.set
    // A port field that is no COM1..COM9 means COM1.
    home_.write("servo.set", crlf("SERVO\nh\nLIN, LPT1,9600\n"));
    {
        ScopedEnv com1("WYN_COM1", slave_);
        EXPECT_EQ(Port_Set(nullptr), 0);
    }
    ScopedEnv com1("WYN_COM1", home_.file("no-such-device"));
    EXPECT_EQ(Port_Set(nullptr), 1);
    ScopedEnv sim("WYN_COM1", "sim:state.json");
    EXPECT_EQ(Port_Set(nullptr), 1);
    home_.write("servo.set", crlf("SERVO\nh\nLIN, COM1,9600,1,1,8,9\n"));  // parity 9
    int fd = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(Port_Set(reinterpret_cast<void*>(static_cast<intptr_t>(fd))), 1);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
    ::close(fd);
    int notATerminal = ::open(home_.file("servo.set").c_str(), O_RDONLY);
    EXPECT_EQ(Port_Set(reinterpret_cast<void*>(static_cast<intptr_t>(notATerminal))), 1);
    ::close(notATerminal);
}

// ------------------------------------------------------------ model names
TEST(ModelNames, NamesAndNumbersMapBothWays) {
    const char* const names[] = {"VEL", "ROR", "LIN", "ETC", "LIN_KB", "VEL_KB"};
    const unsigned bases[] = {0, 1, 2, 3, 2, 0};
    for (unsigned n = 0; n < 6; ++n) {
        char name[7] = "######";
        ASSERT_EQ(NameFromModelNumber(n, name), 0);
        EXPECT_STREQ(name, names[n]);
        EXPECT_EQ(ModelNumberFromName(names[n]), static_cast<short>(n));
        unsigned base = 99, bus = 99;
        ASSERT_EQ(AmpModelNumber(n, &base, &bus), 0);
        EXPECT_EQ(base, bases[n]);
        EXPECT_EQ(bus, n >= 4 ? 1u : 0u);
    }
    char name[7] = "keep";
    EXPECT_EQ(NameFromModelNumber(6, name), -1);
    EXPECT_STREQ(name, "keep");
    unsigned base = 99, bus = 99;
    EXPECT_EQ(AmpModelNumber(6, &base, &bus), -1);
    EXPECT_EQ(base, 99u);
    for (const char* bad : {"vel", "VEL ", "", "LIN_K", "VEL_KBX"}) EXPECT_EQ(ModelNumberFromName(bad), -1) << bad;
}

TEST(ModelNames, AmplifierNameTextsAreBoundedAndShared) {
    std::string longName(300, 'N');
    set_amp_name_for_file(longName.c_str());
    EXPECT_EQ(std::string(amp_name_for_file()), std::string(kAmpNameSize - 1, 'N'));
    set_amp_name_for_file(nullptr);
    EXPECT_STREQ(amp_name_for_file(), "");
    set_amp_name_from_file_sel(7);
    EXPECT_EQ(amp_name_from_file_sel(), 7u);
    std::strcpy(amp_name_from_file(), "AB");
    EXPECT_STREQ(amp_name_from_file(), "AB");
}
