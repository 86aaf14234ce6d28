// Port and trace locks (across processes and handles), line opening, file
// copy, the data-file kind check and the support link.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/recording_wyn.h"
#include "fixtures/temp_dirs.h"
#include "line/line.h"
#include "platform/platform.h"

using namespace tav::line;
using tavtest::TempInstall;

namespace {

using tavtest::crlf;

// Runs body in a child process; its result comes back as the exit status.
int in_child(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() & 0xff);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

// A lock check as one number: -code * 4 + state.
int checked() {
    int state = 0;
    return -TraceLockUnlockCheck(&state) * 4 + state;
}

class TraceLockTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(home_.file("lock")); }
    void TearDown() override {
        for (int mode = 0; mode <= 2; ++mode) TraceUnlock(mode);  // no holder for the next test
    }
    std::string lock_file() const { return home_.read("lock/trace.lck"); }
    TempInstall home_;
};

}  // namespace

// --------------------------------------------------------------- trace lock
TEST_F(TraceLockTest, OnlyTheModeThatHoldsTheLockReleasesIt) {
    for (int mode : {3, -1}) EXPECT_EQ(TraceLock(mode), -1) << mode;
    EXPECT_FALSE(home_.exists("lock/trace.lck"));
    ASSERT_EQ(TraceLock(1), 0);
    EXPECT_EQ(lock_file(), std::string("S\0", 2));
    for (int mode : {2, 0}) EXPECT_EQ(TraceUnlock(mode), -1) << mode;
    EXPECT_EQ(in_child([] { return -TraceLock(0); }), 18);  // still held
    ASSERT_EQ(TraceUnlock(1), 0);
    EXPECT_FALSE(home_.exists("lock/trace.lck"));
    EXPECT_EQ(TraceUnlock(1), -1);  // nothing held any more
}

TEST_F(TraceLockTest, AnotherProcessAndAnotherHandleAreRefused) {
    ASSERT_EQ(TraceLock(2), 0);
    EXPECT_EQ(checked(), 18 * 4 + 2);  // the holder's own check uses a handle of its own
    EXPECT_EQ(TraceLock(1), -18);
    EXPECT_EQ(lock_file(), std::string("J\0", 2));
    EXPECT_EQ(in_child([] { return -TraceLock(1); }), 18);
    EXPECT_EQ(in_child(checked), 18 * 4 + 2);

    ASSERT_EQ(TraceUnlock(2), 0);
    EXPECT_EQ(in_child([] {
                  short code = TraceLock(1);
                  return -code * 4 + checked() % 4;  // the child holds S
              }),
              1);
    // Its region ended with it; its letter stays.
    EXPECT_EQ(checked(), 1);
    EXPECT_EQ(TraceLock(0), 0);
    EXPECT_EQ(lock_file(), std::string("F\0", 2));
}

TEST_F(TraceLockTest, CheckLeavesAFreeLockFileAndAnUnwritableFolderGivesMinus3) {
    EXPECT_EQ(checked(), 0);
    EXPECT_EQ(lock_file(), std::string("F\0", 2));
    home_.write("lock/trace.lck", "Q");  // an unknown letter reads as free
    EXPECT_EQ(checked(), 0);
    // A file where the lock folder belongs: -3 and no holder.
    std::filesystem::remove_all(home_.file("lock"));
    home_.write("lock", "a file where the folder belongs");
    EXPECT_EQ(TraceLock(1), -3);
    EXPECT_EQ(TraceUnlock(1), -1);
    EXPECT_EQ(checked(), 3 * 4);
}

// ---------------------------------------------------------------- port lock
TEST(PortLock, CheckTriesTheLockFileOfTheConfiguredPort) {
    TempInstall home;
    int port = -1;
    EXPECT_EQ(ComPortLockUnlockCheck(&port), -3);  // no servo.set
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM3,38400\n"));
    EXPECT_EQ(ComPortLockUnlockCheck(&port), 0);  // no lock file: free
    EXPECT_EQ(port, 3);

    home.write("lock/COM3.lck", "");
    const std::string path = home.file("lock/COM3.lck");
    tavplat::FileHandle h = tavplat::lock_file_open(path.c_str(), false);
    ASSERT_TRUE(tavplat::lock_region(h, 0, 1));
    EXPECT_EQ(ComPortLockUnlockCheck(&port), -18);  // another handle of this process
    EXPECT_EQ(in_child([] { return -ComPortLockUnlockCheck(nullptr); }), 18);
    tavplat::lock_file_close(h);
    EXPECT_EQ(ComPortLockUnlockCheck(&port), 0);

    home.write("servo.set", crlf("SERVO\nh\nLIN, COM2,38400\n"));  // COM2's lock is another file
    ASSERT_TRUE(tavplat::lock_region(h = tavplat::lock_file_open(path.c_str(), false), 0, 1));
    EXPECT_EQ(ComPortLockUnlockCheck(&port), 0);
    EXPECT_EQ(port, 2);
    tavplat::lock_file_close(h);
}

// ------------------------------------------------------------- line opening
TEST(LineOpen, HandsTheSettingsRecordToTheComponent) {
    TempInstall home;
    tavtest::RecordingWyn wyn;
    home.write("servo.set", crlf("SERVO\nh\nROR, COM4,57600,7,3,8,1,0,1,5\n\n1,2,3\n"));
    home.write("TAVLOG.TRC", "");  // the trace marker: a failed open is traced
    wyn.answer("Wyn_Net_Open", {3, {}});
    EXPECT_EQ(Wyn_Net_Open(), 3);
    std::filesystem::remove(home.file("servo.set"));
    EXPECT_EQ(Wyn_Net_Open(), 0);  // no settings file: the defaults
    ASSERT_EQ(wyn.count("Wyn_Net_Open"), 2u);
    const std::vector<uint8_t>& sent = wyn.calls[0].data;
    ASSERT_EQ(sent.size(), sizeof(LineSettings));
    EXPECT_EQ((std::vector<int>{sent[0], sent[4], sent[8], sent[12], sent[32], sent[368], sent[44]}),
              (std::vector<int>{1, 3, 5, 7, 1, 5, 3}));  // model, port, baud, retry, flow, tenth, value 3
    EXPECT_EQ((std::vector<int>{wyn.calls[1].data[12], wyn.calls[1].data[16]}), (std::vector<int>{5, 2}));
}

// ---------------------------------------------------------------- file copy
TEST(FileCopy, CopiesEveryByteAndRefusesTheSameFile) {
    TempInstall home;
    const std::string bytes = crlf("first\n" + std::string(5000, 'x') + "\nlone\rcr\n") +
                              std::string("nul\0inside", 10) + "\x82\xa0 no final line feed";
    home.write("a.txt", bytes);
    ASSERT_EQ(File_Copy(home.file("a.txt").c_str(), home.file("b.txt").c_str()), 0);
    EXPECT_EQ(home.read("b.txt"), bytes);
    EXPECT_EQ(File_Copy(home.file("a.txt").c_str(), home.file("A.TXT").c_str()), -8);
    EXPECT_EQ(File_Copy(home.file("none.txt").c_str(), home.file("b.txt").c_str()), -3);
    EXPECT_EQ(File_Copy(home.file("a.txt").c_str(), home.file("no/dir/c.txt").c_str()), -3);
    EXPECT_EQ(home.read("a.txt") + home.read("b.txt"), bytes + bytes);
}

// --------------------------------------------------------------- file kinds
TEST(FileCheck, KindModelTextNumberAndHex) {
    TempInstall home;
    // Field 9 is 1F, field 10 is 2a, field 20 is 321.
    const std::string fields = "SERVO,LIN,title,4,5,6,7,8,1F,2a,11,12,13,14,15,16,17,18,19,321\n";
    struct Case {
        const char* file;
        std::string content;
        short code;
        int kind, model, number;
        unsigned hex;
    } const cases[] = {
        {"p.k7p", fields + "second line\n", 0, 0, 2, 321, 0x1F},
        {"p.K7L", fields, 0, 2, 2, 321, 0x2A},  // positioning files: one field later
        {"short.syp", "SERVO,ROR,t,4\n", 0, 1, 1, 0, 77},  // fewer fields: hex left alone
        {"list.CON", "SERVO,  1\n", 0, 4, 0, 0, 77},  // only the first token counts
        {"empty.k7v", "", 0, 7, 4, 0, 77},
        {"bad.k7p", "SERVO,XYZ,t\n", -5, 0, 0, 0, 77},
        {"bad.m7p", "NOTSERVO\n", -5, 8, 0, 0, 77},
        {"dbcs.hsp", "\x83\x41,SERVO\n", -5, 6, 0, 0, 77},
        {"x.txt", "SERVO\n", -5, -1, 0, 0, 77},
    };
    for (const Case& c : cases) {
        home.write(c.file, crlf(c.content));
        int kind = 9, model = 9, number = 9;
        unsigned hex = 77;
        char text[500] = "";
        EXPECT_EQ(File_Chk(home.file(c.file).c_str(), &kind, &model, &number, text, &hex), c.code) << c.file;
        EXPECT_EQ((std::vector<int>{kind, model, number}), (std::vector<int>{c.kind, c.model, c.number})) << c.file;
        EXPECT_EQ(hex, c.hex) << c.file;
    }
    char text[500];
    ASSERT_EQ(File_Chk(home.file("p.k7p").c_str(), nullptr, nullptr, nullptr, text, nullptr), 0);
    EXPECT_STREQ(text, "title");
    EXPECT_EQ(File_Chk(".set", nullptr, nullptr, nullptr, nullptr, nullptr), -5);
    EXPECT_EQ(File_Chk(home.file("missing.set").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr), -3);
}

// ------------------------------------------------------------- support link
TEST(SupportLink, ExchangesSettingsAndListWithTheHostsFiles) {
    TempInstall home;
    home.write("servo.set", crlf("SERVO\ncurrent set\n"));
    home.write("servo.con", crlf("SERVO,  1\ncurrent con\n"));
    SupportLinkRecord record{};
    ASSERT_EQ(SupLnk_Init(&record), 0);
    EXPECT_EQ(std::string(record.szConFile), home.file("servo.con"));
    home.write("mine.SET", crlf("SERVO\nmine\n"));
    ASSERT_EQ(SupLnk_Open(home.file("mine.SET").c_str(), &record), 0);
    EXPECT_EQ(home.read("servo.set") + record.szSetFile, crlf("SERVO\nmine\n") + home.file("mine.SET"));
    EXPECT_EQ(SupLnk_Open(home.file("servo.con").c_str(), &record), 0);  // already the current one
    home.write("data.k7p", crlf("SERVO,LIN,t\n"));
    EXPECT_EQ(SupLnk_Open(home.file("data.k7p").c_str(), &record), -5);

    // Save back to the stored name, or to a new file of the right kind.
    home.write("servo.set", crlf("SERVO\nedited\n"));
    ASSERT_EQ(SupLnk_Close("", 0, &record), 0);
    EXPECT_EQ(home.read("mine.SET"), crlf("SERVO\nedited\n"));
    ASSERT_EQ(SupLnk_Close(home.file("new.con").c_str(), 1, &record), 0);
    EXPECT_EQ(home.read("new.con") + record.szConFile, crlf("SERVO,  1\ncurrent con\n") + home.file("new.con"));
    EXPECT_EQ(SupLnk_Close(home.file("wrong.con").c_str(), 0, &record), -5);
    EXPECT_FALSE(home.exists("wrong.con"));
}
