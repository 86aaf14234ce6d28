// Several processes on one installation, and processes that die at the worst
// moment: locks taken by one process only and freed by its death, files that
// are either the old or the new one where the old one must survive, and a
// simulator state file that stays valid JSON.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Tav_acs.h"
#include "fixtures/child_process.h"
#include "fixtures/tav_process.h"
#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"
#include "wynapi/wynapi.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using tavtest::Child;
using tavtest::StartGate;

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {"servo.set", "servo.con", "def"});
        tavtest::line_on_simulator(home);
        fs::create_directories(home.file("lock"));
        tavplat_set_message_box([](const char*, const char*, unsigned) { return 1; });
    }
    void TearDown() override { tavplat_set_message_box(nullptr); }

    // Two children run take() at once, hold what they got for a while and
    // report the result as their exit code (+100 to keep it positive).
    std::vector<int> race(const std::function<int()>& take) {
        StartGate gate;
        std::vector<std::unique_ptr<Child>> children;
        for (int i = 0; i < 2; ++i)
            children.push_back(std::make_unique<Child>([&] {
                gate.wait();
                const int rc = take();
                std::this_thread::sleep_for(600ms);
                return rc + 100;
            }));
        gate.open();
        std::vector<int> results;
        for (auto& c : children) results.push_back(c->wait() - 100);
        std::sort(results.begin(), results.end());
        return results;
    }

    tavtest::TempHost host;
    tavtest::TempInstall home;
};

TEST_F(CrashSafety, TwoProcessesRaceForTheTraceLockAndOneWins) {
    EXPECT_EQ(race([] { return srvTav_TraceLock(1); }), (std::vector<int>{TAV_E_LOCKED, 0}));
    // Both gone: the lock is free again.
    EXPECT_EQ(srvTav_TraceLock(2), 0);
    EXPECT_EQ(srvTav_TraceUnlock(2), 0);
}

TEST_F(CrashSafety, TwoProcessesRaceForTheComponentMutexAndOneWins) {
    // The mutex the direct accesses and the component's own callers share.
    EXPECT_EQ(race([] { return static_cast<int>(srvTav_Comm_Lock()); }), (std::vector<int>{0, 1}));
    EXPECT_EQ(srvTav_Comm_Lock(), 0);
    EXPECT_EQ(srvTav_Comm_Unlock(), 0);
}

TEST_F(CrashSafety, ATraceLockDiesWithItsProcess) {
    StartGate held;
    Child holder([&] {
        if (srvTav_TraceLock(1) != 0) return 1;
        held.open();  // tells the parent the lock is taken
        for (;;) pause();
    });
    held.wait();
    EXPECT_EQ(srvTav_TraceLock(1), TAV_E_LOCKED);
    EXPECT_EQ(holder.kill_after(0ms), -SIGKILL);
    int state = -1;
    EXPECT_EQ(srvTav_TraceLockUnlockCheck(&state), 0);  // nobody holds it now
    EXPECT_EQ(srvTav_TraceLock(1), 0);
    EXPECT_EQ(srvTav_TraceUnlock(1), 0);
}

// Running as root, the line tests drop to an ordinary user: root passes a
// terminal's exclusive mode, an ordinary user is locked out by it.
bool become_ordinary_user() {
    if (geteuid() != 0) return true;
    const passwd* pw = getpwnam("nobody");
    return pw != nullptr && setgroups(0, nullptr) == 0 && setgid(pw->pw_gid) == 0 && setuid(pw->pw_uid) == 0;
}

// A host killed while it has servo-sim's line open: the next command opens
// the line and is answered.
TEST_F(CrashSafety, AKilledHostLeavesTheSerialLineFreeForTheNextCommand) {
    const std::string link = home.file("ttySIM");
    tavtest::SimProcess sim(home.file("pty-state.json"), link, {"--no-wire-time"});
    ASSERT_TRUE(sim.ready()) << sim.ready_line();
    if (geteuid() == 0) {  // the ordinary user reaches the link and the pseudo-terminal
        fs::permissions(home.path(), fs::perms(0755));
        fs::permissions(link, fs::perms(0666));  // the pseudo-terminal the link points to
    }
    tavtest::ScopedEnv com("WYN_COM1", link);
    const WynLineSettings s = tavtest::wyn_settings();
    StartGate opened;
    Child host([&] {
        if (!become_ordinary_user() || Wyn_Net_Open(&s) != 0) return 1;
        opened.open();
        for (;;) pause();
    });
    opened.wait();
    EXPECT_EQ(host.kill_after(0ms), -SIGKILL) << "the host could not open the line";
    Child next([&] {
        if (!become_ordinary_user()) return 100;
        const short open = Wyn_Net_Open(&s);
        if (open != 0) return 10 + open;
        unsigned char rec[17];
        return static_cast<int>(Wyn_SysCondition_Rd(1, 17, rec));
    });
    EXPECT_EQ(next.wait(), 0) << "11: the line could not be opened";
}

// The in-process line is held like a serial line: a second process is refused
// at once, with the code of a busy port.
TEST_F(CrashSafety, TwoProcessesRaceForASimLineAndOneWins) {
    const WynLineSettings s = tavtest::wyn_settings();
    EXPECT_EQ(race([&] { return static_cast<int>(Wyn_Net_Open(&s)); }), (std::vector<int>{0, WYN_E_OPEN}));
    EXPECT_EQ(Wyn_Net_Open(&s), 0) << "free once both are gone";
    EXPECT_EQ(Wyn_Net_Close(), 0);
}

// servo-sim serving a state file holds it like an in-process line: neither
// that line nor a second servo-sim can load the state and save over its writes.
TEST_F(CrashSafety, ServoSimAndAnInProcessLineOnOneStateFileExcludeEachOther) {
    const WynLineSettings s = tavtest::wyn_settings();
    {
        tavtest::SimProcess sim(home.file("state.json"), home.file("ttySIM"), {"--no-wire-time"});
        ASSERT_TRUE(sim.ready()) << sim.ready_line();
        EXPECT_EQ(Wyn_Net_Open(&s), WYN_E_OPEN);
        tavtest::SimProcess second(home.file("state.json"), home.file("ttySIM2"), {"--no-wire-time"});
        EXPECT_FALSE(second.ready());
        EXPECT_EQ(second.stop(), 1);
    }
    ASSERT_EQ(Wyn_Net_Open(&s), 0) << "free once servo-sim has ended";
    tavtest::SimProcess refused(home.file("state.json"), home.file("ttySIM"), {"--no-wire-time"});
    EXPECT_FALSE(refused.ready());
    EXPECT_EQ(refused.stop(), 1);
    EXPECT_EQ(Wyn_Net_Close(), 0);
}

// Two processes writing through one sim: line, opening it for every write as
// the library does: every write lands, none is undone by the other's save.
TEST_F(CrashSafety, TwoProcessesWritingThroughASimLineLoseNoWrite) {
    const WynLineSettings s = tavtest::wyn_settings();
    constexpr int kWrites = 20;
    StartGate gate;
    std::vector<std::unique_ptr<Child>> writers;
    for (int param : {100, 101})
        writers.push_back(std::make_unique<Child>([&, param] {
            gate.wait();
            for (int k = 1; k <= kWrites; ++k) {
                while (Wyn_Net_Open(&s) != 0) std::this_thread::sleep_for(1ms);  // the other one has it
                unsigned char value[6] = {0, 0, 0, 0, 0, static_cast<unsigned char>(k / 10 << 4 | k % 10)}, st[2];
                const short rc = Wyn_Para_Wt2(1, 1, param, 6, value, st);
                Wyn_Net_Close();
                if (rc != 0) return 1;
            }
            return 0;
        }));
    gate.open();
    for (auto& w : writers) EXPECT_EQ(w->wait(), 0);
    ASSERT_EQ(Wyn_Net_Open(&s), 0);
    for (int param : {100, 101}) {
        unsigned char reply[8];
        ASSERT_EQ(Wyn_Para_Rd2(1, 1, param, 8, reply), 0);
        EXPECT_EQ(reply[7], 0x20) << "parameter " << param << " lost its last write";
    }
    EXPECT_EQ(Wyn_Net_Close(), 0);
}

// servo.con is rewritten under the lock of @TAVACS.TMP: killed at any
// moment, the list is the old one or the new one, and neither the lock nor a
// leftover temporary file stops the next rewrite.
TEST_F(CrashSafety, AKilledStationListRewriteLeavesACompleteList) {
    for (auto delay : {3ms, 17ms, 40ms}) {
        SCOPED_TRACE(delay.count());
        Child writer([] {
            for (int i = 0;; ++i) srvTav_AmpData_Wt(1 + i % 2, 1 + i % 2, i % 2 ? "SECOND ENTRY" : "FIRST ENTRY");
            return 0;
        });
        ASSERT_TRUE(writer.started());
        EXPECT_EQ(writer.kill_after(delay), -SIGKILL);
        const std::string con = home.read("servo.con");
        EXPECT_EQ(con.substr(con.size() - 2), "\r\n");
        int count = 0, station = 0, flag = 0;
        char name[500] = {};
        for (int entry : {1, 2}) {
            ASSERT_EQ(srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag), 0) << con;
            EXPECT_EQ(std::make_pair(count, station), std::make_pair(2, entry)) << con;
        }
        // Whatever the killed writer left behind, the next rewrite goes through.
        EXPECT_EQ(srvTav_AmpData_Wt(1, 1, "AFTER"), 0);
        EXPECT_EQ(home.read("@TAVACS.TMP"), "");  // the lock file only
        ASSERT_EQ(srvTav_AmpData_Rd(1, 0, &count, &station, name, &flag), 0);
        EXPECT_STREQ(name, "AFTER");
    }
}

// A host killed during transfers: the in-process simulator's state file is
// saved by rename, so it is always valid JSON; the line, the component's
// mutex and the locks die with the process, so the next transfer succeeds.
TEST_F(CrashSafety, AHostKilledMidTransferLeavesAValidStateAndAFreeLine) {
    auto set = std::make_unique<NewParaSet>();
    ASSERT_EQ(srvTav_NewPara_ComRd(nullptr, "1", 0, set.get(), 0, 0), 0);
    for (auto delay : {40ms, 120ms, 250ms}) {
        SCOPED_TRACE(delay.count());
        Child host([&] {
            for (int i = 0;; ++i) {
                srvTav_NewPara_Dat_Chg(set.get(), 5, i % 2 ? 1 : 2);
                srvTav_NewPara_ComWt(nullptr, "1", 0, 1, set.get());
                srvTav_ItiVvDat_InitWt(nullptr);  // a refused call in between
            }
            return 0;
        });
        EXPECT_EQ(host.kill_after(delay), -SIGKILL);
        // No file yet when the host died before its first write.
        const std::string state = home.read("state.json");
        if (!state.empty()) {
            EXPECT_TRUE(nlohmann::json::accept(state)) << state.substr(0, 200);
        }
        EXPECT_EQ(srvTav_NewPara_ComRd(nullptr, "1", 0, set.get(), 0, 0), 0);
        EXPECT_EQ(Wyn_Net_Close(), 5);
        EXPECT_EQ(srvTav_Comm_Lock(), 0);
        EXPECT_EQ(srvTav_Comm_Unlock(), 0);
    }
}

// servo-sim killed while it saves after every write: its state file is valid
// JSON and the next servo-sim starts from it.
TEST_F(CrashSafety, AKilledSimulatorLeavesAValidStateFile) {
    const std::string state = home.file("pty-state.json");
    const std::string link = home.file("ttySIM");
    for (auto delay : {30ms, 120ms}) {
        SCOPED_TRACE(delay.count());
        Child sim([&] {
            execl(tavtest::servo_sim_program().c_str(), "servo-sim", "--state", state.c_str(), "--pty", link.c_str(),
                  "--no-wire-time", static_cast<char*>(nullptr));
            return 127;
        });
        ASSERT_TRUE(tavtest::eventually([&] { return fs::exists(link); }));
        home.write("wyn.ini", "[Ports]\r\nCOM1=" + link + "\r\n");
        Child host([] {
            auto s = std::make_unique<NewParaSet>();
            if (srvTav_NewPara_ComRd(nullptr, "1", 0, s.get(), 0, 0) != 0) return 1;
            for (int i = 0;; ++i) {
                srvTav_NewPara_Dat_Chg(s.get(), 5, i % 2 ? 1 : 2);
                srvTav_NewPara_ComWt(nullptr, "1", 0, 0, s.get());
            }
            return 0;
        });
        std::this_thread::sleep_for(200ms);  // the host reads and starts writing
        EXPECT_EQ(sim.kill_after(delay), -SIGKILL);
        host.kill_after(0ms);
        ASSERT_TRUE(fs::exists(state));
        EXPECT_TRUE(nlohmann::json::accept(tavtest::read_file(state)));
        fs::remove(link);
    }
}

}  // namespace
