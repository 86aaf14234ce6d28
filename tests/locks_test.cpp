// Port and trace locks (across processes and handles), line opening, file
// copy, the data-file kind check, the support link and the C entries' guards.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "fixtures/recording_wyn.h"
#include "fixtures/temp_dirs.h"
#include "line/line.h"
#include "platform/platform.h"

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

// Runs body in a child process and returns its result (the exit status).
int in_child(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() & 0xff);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

// Child results travel as exit codes: code and state packed into one byte.
int pack(short code, int state) { return (-code) * 4 + state; }

class TraceLockTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(home_.file("lock")); }
    void TearDown() override {
        // Leave no holder behind for the next test.
        for (int mode = 0; mode <= 2; ++mode) TraceUnlock(mode);
    }
    TempInstall home_;
};

}  // namespace

// --------------------------------------------------------------- trace lock
TEST_F(TraceLockTest, ModesWriteTheirLetterAndOnlyTheHolderUnlocks) {
    EXPECT_EQ(TraceLock(3), -1);
    EXPECT_EQ(TraceLock(-1), -1);
    EXPECT_FALSE(home_.exists("lock/trace.lck"));

    ASSERT_EQ(TraceLock(1), 0);
    EXPECT_EQ(home_.read("lock/trace.lck"), std::string("S\0", 2));
    EXPECT_EQ(TraceUnlock(2), -1);
    EXPECT_EQ(TraceUnlock(0), -1);
    EXPECT_EQ(in_child([] { return -TraceLock(0); }), 18);  // still held
    ASSERT_EQ(TraceUnlock(1), 0);
    EXPECT_FALSE(home_.exists("lock/trace.lck"));
    EXPECT_EQ(TraceUnlock(1), -1);  // nothing held any more
}

TEST_F(TraceLockTest, AnotherProcessAndAnotherHandleAreRefused) {
    ASSERT_EQ(TraceLock(2), 0);
    EXPECT_EQ(home_.read("lock/trace.lck"), std::string("J\0", 2));
    int state = -1;
    EXPECT_EQ(TraceLockUnlockCheck(&state), -18);  // its own check uses another handle
    EXPECT_EQ(state, 2);
    EXPECT_EQ(TraceLock(1), -18);
    EXPECT_EQ(home_.read("lock/trace.lck"), std::string("J\0", 2));

    EXPECT_EQ(in_child([] { return -TraceLock(1); }), 18);
    EXPECT_EQ(in_child([] {
                  int s = -1;
                  short code = TraceLockUnlockCheck(&s);
                  return pack(code, s);
              }),
              pack(-18, 2));

    ASSERT_EQ(TraceUnlock(2), 0);
    EXPECT_EQ(in_child([] {
                  short code = TraceLock(1);
                  int s = -1;
                  TraceLockUnlockCheck(&s);  // the child's own check: held, S
                  return pack(code, s);
              }),
              pack(0, 1));
    // The child ended without unlocking: its region went with it, its letter stays.
    int s = -1;
    EXPECT_EQ(TraceLockUnlockCheck(&s), 0);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(TraceLock(0), 0);
    EXPECT_EQ(home_.read("lock/trace.lck"), std::string("F\0", 2));
}

TEST_F(TraceLockTest, CheckWithoutAFileLeavesAFreeOne) {
    int state = -1;
    ASSERT_EQ(TraceLockUnlockCheck(&state), 0);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(home_.read("lock/trace.lck"), std::string("F\0", 2));
    home_.write("lock/trace.lck", "Q");  // an unknown letter reads as free
    ASSERT_EQ(TraceLockUnlockCheck(&state), 0);
    EXPECT_EQ(state, 0);
}

TEST(TraceLockFolder, UnwritableLockFolderGivesMinus3AndNoHolder) {
    TempInstall home;  // no lock folder
    EXPECT_EQ(TraceLock(1), -3);
    EXPECT_EQ(TraceUnlock(1), -1);
    int state = -1;
    EXPECT_EQ(TraceLockUnlockCheck(&state), -3);
    home.write("lock", "a file where the folder belongs");
    EXPECT_EQ(TraceLock(0), -3);
    EXPECT_EQ(TraceUnlock(0), -1);
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

    // Another process holds it; COM2's lock is another file.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        tavplat::FileHandle c = tavplat::lock_file_open(path.c_str(), false);
        char ok = tavplat::lock_region(c, 0, 1) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(ComPortLockUnlockCheck(&port), -18);
    home.write("servo.set", crlf("SERVO\nh\nLIN, COM2,38400\n"));
    EXPECT_EQ(ComPortLockUnlockCheck(&port), 0);
    EXPECT_EQ(port, 2);
    ::kill(holder, SIGTERM);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

// ------------------------------------------------------------- line opening
TEST(LineOpen, HandsTheSettingsRecordToTheComponent) {
    TempInstall home;
    tavtest::RecordingWyn wyn;
    home.write("servo.set", crlf("SERVO\nh\nROR, COM4,57600,7,3,8,1,0,1,5\n\n1,2,3\n"));
    wyn.answer("Wyn_Net_Open", {3, {}});
    EXPECT_EQ(Wyn_Net_Open(), 3);
    ASSERT_EQ(wyn.calls.size(), 1u);
    const std::vector<uint8_t>& sent = wyn.calls[0].data;
    ASSERT_EQ(sent.size(), sizeof(LineSettings));
    LineSettings s;
    std::memcpy(&s, sent.data(), sizeof s);
    EXPECT_EQ(s.nModel, 1);
    EXPECT_EQ(s.nPort, 3);
    EXPECT_EQ(s.nBaud, 5);
    EXPECT_EQ(s.nRetry, 7);
    EXPECT_EQ(s.nFlow, 1);
    EXPECT_EQ(s.nTenth, 5);
    EXPECT_EQ(s.nModelValue3, 3);
    EXPECT_EQ(sent[4], 3);  // the port index at offset 4, little-endian

    // No settings file: the line opens with the defaults.
    std::filesystem::remove(home.file("servo.set"));
    EXPECT_EQ(Wyn_Net_Open(), 0);
    std::memcpy(&s, wyn.calls[1].data.data(), sizeof s);
    EXPECT_EQ(s.nRetry, 5);
    EXPECT_EQ(s.nTimeOut, 2);
    EXPECT_EQ(s.nTenth, 0);
}

// ---------------------------------------------------------------- file copy
TEST(FileCopy, CopiesEveryByteAndRefusesTheSameFile) {
    TempInstall home;
    std::string bytes = crlf("first\n" + std::string(5000, 'x') + "\nlone\rcr\n") + std::string("nul\0inside", 10) +
                        "\x82\xa0 no final line feed";
    home.write("a.txt", bytes);
    ASSERT_EQ(File_Copy(home.file("a.txt").c_str(), home.file("b.txt").c_str()), 0);
    EXPECT_EQ(home.read("b.txt"), bytes);

    std::string upper = home.file("A.TXT");
    EXPECT_EQ(File_Copy(home.file("a.txt").c_str(), upper.c_str()), -8);
    EXPECT_EQ(home.read("a.txt"), bytes);
    EXPECT_EQ(File_Copy(home.file("none.txt").c_str(), home.file("b.txt").c_str()), -3);
    EXPECT_EQ(home.read("b.txt"), bytes);
    EXPECT_EQ(File_Copy(home.file("a.txt").c_str(), home.file("no/dir/c.txt").c_str()), -3);
    EXPECT_EQ(File_Copy(nullptr, "x"), -3);
}

// --------------------------------------------------------------- file kinds
TEST(FileCheck, KindModelTextNumberAndHex) {
    TempInstall home;
    // 20 fields: SERVO, model, text, then 4..20 (field 9 = "1F", field 10 = "2a").
    std::string fields = "SERVO,LIN,title,4,5,6,7,8,1F,2a,11,12,13,14,15,16,17,18,19,321\n";
    home.write("p.k7p", crlf(fields + "second line\n"));
    int kind = 0, model = 0, number = 0;
    unsigned hex = 0;
    char text[500] = "";
    ASSERT_EQ(File_Chk(home.file("p.k7p").c_str(), &kind, &model, &number, text, &hex), 0);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(model, 2);
    EXPECT_STREQ(text, "title");
    EXPECT_EQ(hex, 0x1Fu);
    EXPECT_EQ(number, 321);

    home.write("p.K7L", crlf(fields));  // positioning files carry it one field later
    ASSERT_EQ(File_Chk(home.file("p.K7L").c_str(), &kind, &model, &number, text, &hex), 0);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(hex, 0x2Au);

    home.write("short.syp", crlf("SERVO,ROR,t,4\n"));
    hex = 77;
    ASSERT_EQ(File_Chk(home.file("short.syp").c_str(), &kind, &model, &number, text, &hex), 0);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(model, 1);
    EXPECT_EQ(hex, 77u);  // fewer fields: left alone
    EXPECT_EQ(number, 0);
}

TEST(FileCheck, RefusalsAndTheKindsThatCheckOnlyTheFirstToken) {
    TempInstall home;
    int kind = 0, model = 9, number = 9;
    home.write("list.CON", crlf("SERVO,  1\n"));
    EXPECT_EQ(File_Chk(home.file("list.CON").c_str(), &kind, &model, &number, nullptr, nullptr), 0);
    EXPECT_EQ(kind, 4);
    home.write("empty.k7v", "");
    EXPECT_EQ(File_Chk(home.file("empty.k7v").c_str(), &kind, &model, &number, nullptr, nullptr), 0);
    EXPECT_EQ(model, 4);

    home.write("bad.k7p", crlf("SERVO,XYZ,t\n"));
    EXPECT_EQ(File_Chk(home.file("bad.k7p").c_str(), &kind, &model, &number, nullptr, nullptr), -5);
    home.write("bad.m7p", crlf("NOTSERVO\n"));
    EXPECT_EQ(File_Chk(home.file("bad.m7p").c_str(), &kind, &model, &number, nullptr, nullptr), -5);
    home.write("dbcs.hsp", "\x83\x41,SERVO\r\n");
    EXPECT_EQ(File_Chk(home.file("dbcs.hsp").c_str(), &kind, &model, &number, nullptr, nullptr), -5);
    EXPECT_EQ(File_Chk(home.file("x.txt").c_str(), &kind, &model, &number, nullptr, nullptr), -5);
    EXPECT_EQ(kind, -1);
    EXPECT_EQ(File_Chk(".set", &kind, &model, &number, nullptr, nullptr), -5);
    EXPECT_EQ(File_Chk(nullptr, &kind, &model, &number, nullptr, nullptr), -5);
    EXPECT_EQ(File_Chk(home.file("missing.set").c_str(), &kind, &model, &number, nullptr, nullptr), -3);
}

// ------------------------------------------------------------- support link
TEST(SupportLink, ExchangesSettingsAndListWithTheHostsFiles) {
    TempInstall home;
    home.write("servo.set", crlf("SERVO\ncurrent set\n"));
    home.write("servo.con", crlf("SERVO,  1\ncurrent con\n"));
    SupportLinkRecord record{};
    ASSERT_EQ(SupLnk_Init(&record), 0);
    EXPECT_EQ(std::string(record.szSetFile), home.file("servo.set"));
    EXPECT_EQ(std::string(record.szConFile), home.file("servo.con"));

    home.write("mine.SET", crlf("SERVO\nmine\n"));
    ASSERT_EQ(SupLnk_Open(home.file("mine.SET").c_str(), &record), 0);
    EXPECT_EQ(home.read("servo.set"), crlf("SERVO\nmine\n"));
    EXPECT_EQ(std::string(record.szSetFile), home.file("mine.SET"));
    EXPECT_EQ(SupLnk_Open(home.file("servo.con").c_str(), &record), 0);  // already current
    home.write("data.k7p", crlf("SERVO,LIN,t\n"));
    EXPECT_EQ(SupLnk_Open(home.file("data.k7p").c_str(), &record), -5);
    EXPECT_EQ(SupLnk_Open(home.file("gone.con").c_str(), &record), -3);

    // Save back: to the stored name, or to a new file of the right kind.
    home.write("servo.set", crlf("SERVO\nedited\n"));
    ASSERT_EQ(SupLnk_Close("", 0, &record), 0);
    EXPECT_EQ(home.read("mine.SET"), crlf("SERVO\nedited\n"));
    ASSERT_EQ(SupLnk_Close(home.file("new.con").c_str(), 1, &record), 0);
    EXPECT_EQ(home.read("new.con"), crlf("SERVO,  1\ncurrent con\n"));
    EXPECT_EQ(std::string(record.szConFile), home.file("new.con"));
    EXPECT_EQ(SupLnk_Close(home.file("wrong.con").c_str(), 0, &record), -5);
    EXPECT_FALSE(home.exists("wrong.con"));
    EXPECT_EQ(SupLnk_Close("", 2, &record), -1);
}

// ------------------------------------------------------------- C entries
TEST(CEntries, NullArgumentsGiveCodesNotCrashes) {
    TempInstall home;
    void* lib = ::dlopen((std::string(TAV_BUILD_DIR) + "/lib/libTav_acs.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    auto sym = [&](const char* name) {
        void* p = ::dlsym(lib, name);
        EXPECT_NE(p, nullptr) << name;
        return p;
    };
    using Ptr1 = short (*)(void*);
    using Ptr2 = short (*)(const void*, const void*);
    for (const char* name : {"srvTav_Set_Rd", "srvTav_SetWyn_Wt", "srvTav_Amp_Rd", "srvTav_Amp_Wt",
                             "srvTav_TargetAmpKyoku_Rd", "srvTav_SupLnk_Init"})
        EXPECT_EQ(reinterpret_cast<Ptr1>(sym(name))(nullptr), -1) << name;
    EXPECT_EQ(reinterpret_cast<Ptr2>(sym("srvTav_File_Copy"))(nullptr, nullptr), -3);
    EXPECT_EQ(reinterpret_cast<short (*)(unsigned, char*)>(sym("srvGet_NameFromModelNumber"))(1, nullptr), -1);
    EXPECT_EQ(reinterpret_cast<short (*)(const char*)>(sym("srvGet_ModelNumberFromName"))(nullptr), -1);
    EXPECT_EQ(reinterpret_cast<short (*)(int, int, int*, int*, char*, int*)>(sym("srvTav_AmpData_Rd"))(
                  1, 0, nullptr, nullptr, nullptr, nullptr),
              -3);
    EXPECT_EQ(reinterpret_cast<short (*)()>(sym("srvTav_ComPortUnlock"))(), 1);
    EXPECT_EQ(reinterpret_cast<int (*)(int)>(sym("srvGet_ModelNumberFromAmp"))(-42), -42);
    ::dlclose(lib);
}
