// servo.set: reading, the three rewrites, model-file copies and the serial
// port set-up; the model-name vocabulary.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"
#include "line/line.h"
#include "text/text.h"

using namespace tav::line;
using tavtest::ScopedEnv;
using tavtest::TempInstall;

namespace {

using tavtest::crlf;

// Line 2 of every rewrite: the column header of the current language.
std::string header() { return crlf(tav::text::Text(10001)); }

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

// The integer fields in record order.
std::vector<int> ints(const LineSettings& s) {
    return {s.nModel,       s.nPort,        s.nBaud,        s.nRetry, s.nTimeOut, s.nDataBits, s.nParity,
            s.nStopBits,    s.nFlow,        s.nModelValue1, s.nModelValue2, s.nModelValue3, s.nLine6,
            s.nLine7,       s.nLine8,       s.nLine11,      s.nLine12,      s.nTenth};
}

void port_set_fd(int fd, short expected) {
    EXPECT_EQ(Port_Set(reinterpret_cast<void*>(static_cast<intptr_t>(fd))), expected);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);  // the host's handle stays open
}

}  // namespace

// ------------------------------------------------------------------ reading
TEST(SettingsRead, EveryLineLandsInItsField) {
    TempInstall home;
    tavtest::install_sample(home, {"servo.set"});
    short code;
    LineSettings s = read_settings(&code);
    EXPECT_EQ(code, 0);  // the sample: LIN on COM1 at 38400
    EXPECT_EQ(ints(s), (std::vector<int>{2, 0, 2, 5, 2, 8, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));

    home.write("servo.set", crlf(kFull));
    s = read_settings();
    EXPECT_EQ(ints(s), (std::vector<int>{0, 1, 1, 4, 3, 7, 2, 1, 1, 11, 22, 33, 6, 7, 8, 111, 112, 9}));
    EXPECT_EQ(std::string(s.szText1) + "|" + s.szText2, "text one|text two");

    // No file: -3, the defaults, and the two values that stay the caller's.
    std::remove(home.file("servo.set").c_str());
    s = read_settings(&code);
    EXPECT_EQ(code, -3);
    const int kept = 0x5a5a5a5a;
    EXPECT_EQ(ints(s), (std::vector<int>{0, 0, 0, 5, 2, 0, 0, 0, 0, 0, 1, kept, 0, 0, 0, 0, 0, kept}));
    EXPECT_EQ(s.szText1[149], 0);
}

TEST(SettingsRead, PortAndBaudFieldsAreMatchedStrictly) {
    TempInstall home;
    struct Case {
        const char* line3;
        int port, baud;
    } const cases[] = {
        {"LIN, COM10,57600", 0, 5},  // only one digit after COM counts
        {"LIN, COM9,9600 x", 8, 0},  // the token stops at the blank
        {"LIN, COM3,09600", 2, 0},   {"LIN, COM0,115200", 0, 6}, {"LIN, com5,2400", 0, 3},
    };
    for (const Case& c : cases) {
        home.write("servo.set", crlf(std::string("SERVO\nh\n") + c.line3 + ",4800\n"));
        LineSettings s = read_settings();
        EXPECT_EQ(std::make_pair(s.nPort, s.nBaud), std::make_pair(c.port, c.baud)) << c.line3;
    }
}

TEST(SettingsRead, BadInputKeepsDefaultsAndEveryLineInItsPlace) {
    TempInstall home;
    // An empty field ends line 3; an unknown model reads as 0.
    home.write("servo.set", crlf("SERVO\nh\nXYZ, COM2,19200,,7,8\n"));
    EXPECT_EQ(ints(read_settings()), (std::vector<int>{0, 1, 1, 5, 2, 0, 0, 0, 0, 0, 1, 0x5a5a5a5a, 0, 0, 0, 0, 0,
                                                       0x5a5a5a5a}));
    // Double-byte text where the model belongs ends the line at once.
    home.write("servo.set", crlf("SERVO\nh\n\x8b\x40\x8e\xed, COM2,19200,1\n"));
    EXPECT_EQ(read_settings().nPort, 0);
    // Non-numeric and huge values: no overflow, the digits that are there.
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM2,19200,abc,99999999999,-99999999999,12x\n"));
    LineSettings s = read_settings();
    EXPECT_EQ((std::vector<int>{s.nRetry, s.nTimeOut, s.nDataBits, s.nParity}),
              (std::vector<int>{0, INT_MAX, INT_MIN, 12}));
    // An over-long line 3 and an over-long text stay one line each; the last
    // line needs no line feed.
    std::string longLine = "LIN, COM4,4800,1,2,3,4,5,6,7," + std::string(900, '9');
    home.write("servo.set", crlf("SERVO\nh\n" + longLine + "\n\n1,2,3\n66\n\n\n" + std::string(300, 'T') +
                                 "\nab,cd\n5\n42"));
    s = read_settings();
    EXPECT_EQ((std::vector<int>{s.nPort, s.nTenth, s.nModelValue3, s.nLine6, s.nLine11, s.nLine12}),
              (std::vector<int>{3, 7, 3, 66, 5, 42}));
    EXPECT_EQ(std::string(s.szText1), std::string(149, 'T'));
    EXPECT_STREQ(s.szText2, "ab");
}

// ------------------------------------------------------------------ writing
TEST(SettingsWrite, SetWynWritesTheFileExactly) {
    TempInstall home;
    home.write("servo.set", crlf(std::string(kFull) + "thirteen\n"));
    LineSettings in = read_settings();
    in.nModel = 3;     // the model is SetKisyu_Wt's: line 3 keeps VEL
    in.nPort = 3;
    in.nBaud = 6;
    in.nRetry = 9;
    in.nTimeOut = 10;
    in.nDataBits = 5;  // data bits, parity, stop bits and flow stay the file's
    in.nParity = 4;
    in.nTenth = -1;
    in.nLine6 = 60;
    in.nLine12 = -12;
    std::memset(in.szText2, 'x', sizeof in.szText2);  // no terminator
    ASSERT_EQ(SetWyn_Wt(&in), 0);
    EXPECT_EQ(home.read("servo.set"),
              crlf("SERVO\n") + header() +
                  crlf("VEL, COM4,115200,9,10,7,2,1,1,-1\nline four stays\n11,22,33\n60\n7\n8\ntext one\n" +
                       std::string(149, 'x') + "\n111\n-12\nthirteen\n"));

    // A short file without a final line feed; indexes out of range.
    home.write("servo.set", crlf("SERVO\nold header\nLIN, COM1,9600,1,1,8\nfour"));
    in = LineSettings{};
    in.nPort = 12;
    in.nBaud = -1;
    std::strcpy(in.szText1, "a\nb");  // a line feed would shift the lines after it
    ASSERT_EQ(SetWyn_Wt(&in), 0);
    EXPECT_EQ(home.read("servo.set"),
              crlf("SERVO\n") + header() + crlf("LIN, COM1,38400,0,0,8,0,0,0,0\nfour\n\n0\n0\n0\na\n\n0\n0\n"));
}

TEST(SettingsWrite, SetKisyuReplacesOnlyTheModelName) {
    TempInstall home;
    EXPECT_EQ(SetKisyu_Wt(1), -3);  // the writers make no new file
    EXPECT_EQ(SetKisyu_Wt2(1, 1, 2, 3), -3);
    LineSettings none{};
    EXPECT_EQ(SetWyn_Wt(&none), -3);
    EXPECT_FALSE(home.exists("servo.set"));

    home.write("servo.set", crlf(std::string("servo\n") + (kFull + 6)));
    const std::string rest = crlf("\nline four stays\n11,22,33\n6\n7\n8\ntext one\ntext two\n111\n112\n");
    ASSERT_EQ(SetKisyu_Wt(4), 0);
    EXPECT_EQ(home.read("servo.set"), crlf("SERVO\n") + header() + "LIN_KB, COM2,19200,4,3,7,2,1,1,9" + rest);
    ASSERT_EQ(SetKisyu_Wt(77), 0);  // no such model
    EXPECT_EQ(read_settings().nModel, 3);

    home.write("servo.set", crlf("servo\nmy header\nVEL, COM2\n"));
    ASSERT_EQ(SetKisyu_Wt2(5, -1, 0, 123456), 0);
    EXPECT_EQ(home.read("servo.set"), crlf("servo\nmy header\nVEL_KB, COM2\n\n-1,0,123456\n\n\n\n\n\n\n\n"));
}

TEST(SettingsWrite, SetCopyCopiesTheSourceThenTheFilesOfItsModel) {
    TempInstall home;
    home.write("servo.set", crlf(kFull));
    home.write("other.set", crlf("SERVO\nh\nLIN, COM1\n"));
    home.write("model/23.dat", "first of LIN\r\n");
    home.write("model/43.dat", "second of LIN\r\n");
    home.write("model/41.dat", "second of VEL\r\n");
    ASSERT_EQ(Set_Copy(home.file("other.set").c_str()), 0);
    EXPECT_EQ(home.read("servo.set") + home.read("model/20.dat") + home.read("model/40.dat"),
              crlf("SERVO\nh\nLIN, COM1\nfirst of LIN\nsecond of LIN\n"));

    home.write("servo.set", crlf(kFull));  // VEL; its first file is missing, which does not count
    EXPECT_EQ(Set_Copy(nullptr), 0);
    EXPECT_EQ(home.read("model/40.dat"), "second of VEL\r\n");
    for (auto [name, code] : {std::pair{"SERVO.SET", -8}, {"missing.set", -3}})
        EXPECT_EQ(Set_Copy(home.file(name).c_str()), code) << name;
    EXPECT_EQ(home.read("servo.set"), crlf(kFull));
}

// ------------------------------------------------------------- serial port
TEST(SerialPort, SetsUpTheMappedPortOrTheGivenHandle) {
    TempInstall home;
    tavtest::PtyPair pty;
    const std::string& slave = pty.slave;
    ASSERT_FALSE(slave.empty());
    EXPECT_EQ(Port_Set(nullptr), -3);  // no servo.set
    ScopedEnv com3("WYN_COM3", slave);
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM3,19200,5,500,7,2,2,1,0\n"));
    ASSERT_EQ(Port_Set(nullptr), 0);
    // A pseudo-terminal keeps its character size and parity; the rest shows.
    int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE((t.c_iflag & IXON) && (t.c_iflag & IXOFF));
    EXPECT_EQ(t.c_cc[VTIME], 5);  // the time-out, in tenths of a second
    // Parity checking: a byte with a parity error is neither passed on as it
    // came nor dropped unseen, but read as 0x00.
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_iflag & (IGNPAR | PARMRK));

    home.write("servo.set", crlf("SERVO\nh\nLIN, COM1,9999,5,20,8,0,0,0,0\n"));  // unknown baud: 9600
    port_set_fd(fd, 0);
    ::tcgetattr(fd, &t);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_FALSE(t.c_iflag & IXON);
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM1,9600,1,1,8,9\n"));  // parity 9
    port_set_fd(fd, 1);
    ::close(fd);

    // A port field that is no COM1..COM9 means COM1; a port that does not open gives 1.
    home.write("servo.set", crlf("SERVO\nh\nLIN, LPT1,9600\n"));
    for (const std::string& target : {slave, home.file("no-such-device"), std::string("sim:state.json")}) {
        ScopedEnv com1("WYN_COM1", target);
        EXPECT_EQ(Port_Set(nullptr), target == slave ? 0 : 1) << target;
    }
}

// ------------------------------------------------------------ model names
TEST(ModelNames, NamesAreExactAndUnknownNumbersLeaveOutputsAlone) {
    char name[7] = "keep";
    unsigned base = 99, bus = 99;
    EXPECT_EQ(NameFromModelNumber(6, name) + AmpModelNumber(6, &base, &bus), -2);
    EXPECT_EQ(std::string(name) + std::to_string(base * 100 + bus), "keep9999");
    ASSERT_EQ(NameFromModelNumber(4, name) + AmpModelNumber(5, &base, &bus), 0);
    EXPECT_EQ(std::string(name) + std::to_string(base * 10 + bus), "LIN_KB1");  // VEL_KB: VEL on the bus
    for (const char* bad : {"vel", "VEL ", "", "LIN_K"}) EXPECT_EQ(ModelNumberFromName(bad), -1) << bad;
}
