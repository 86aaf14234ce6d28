// The whole loader session (`tav demo`) as a user runs it: a separate tav
// process against servo-sim over a pseudo-terminal, on a copy of the sample
// installation. Checks what it prints, every file it writes and that the
// devices are left as they were found; then the session once per injected
// fault, each stopping at its step with the expected code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int exit = -1;
    std::string out;  // standard output and standard error, in order
};

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {});
        fs::remove(home.file("sim-state.json"));
        home.write("wyn.ini", "[Ports]\r\nCOM1=" + home.file("ttySIM") + "\r\n");
    }

    // servo-sim on the installation's COM1 with a state file holding faults.
    void start_sim(const std::string& faults = "", bool wireTime = false) {
        if (!faults.empty()) home.write("state.json", "{\"faults\": " + faults + "}");
        std::vector<std::string> extra{"--baud", "38400"};
        if (!wireTime) extra.push_back("--no-wire-time");
        sim = std::make_unique<tavtest::SimProcess>(home.file("state.json"), home.file("ttySIM"), extra);
        ASSERT_TRUE(sim->ready()) << sim->ready_line();
    }

    Result run_demo(const std::string& out) {
        const std::string cmd = std::string(TAV_BUILD_DIR) + "/bin/tav --lang en --home " + home.path() +
                                " demo --out " + out + " 2>&1";
        Result r;
        FILE* p = ::popen(cmd.c_str(), "r");
        if (p == nullptr) return r;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int status = ::pclose(p);
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    // tav with its output in a file, in the background.
    pid_t spawn_tav(const std::vector<std::string>& args, const std::string& out) {
        std::vector<std::string> all{std::string(TAV_BUILD_DIR) + "/bin/tav", "--lang", "en", "--home", home.path()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        // SIGINT at its default, whatever the test runner's shell did with it.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t def, none;
        sigemptyset(&def);
        sigaddset(&def, SIGINT);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &def);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
        return pid;
    }

    static int wait_exit(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    tavtest::TempDir home;
    std::unique_ptr<tavtest::SimProcess> sim;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// " -<digit>" anywhere: a negative result code in the summary table.
bool has_negative_number(const std::string& text) {
    for (std::size_t at = text.find(" -"); at != std::string::npos; at = text.find(" -", at + 1))
        if (at + 2 < text.size() && text[at + 2] >= '0' && text[at + 2] <= '9') return true;
    return false;
}

// The lines of a file between CR LF line ends.
std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < bytes.size()) {
        std::size_t to = bytes.find("\r\n", from);
        if (to == std::string::npos) to = bytes.size();
        out.push_back(bytes.substr(from, to - from));
        from = to + 2;
    }
    return out;
}

TEST_F(Session, RunsEveryStepAndWritesEveryFile) {
    start_sim("", true);
    const std::string out = home.file("out");
    const Result r = run_demo(out);
    ASSERT_EQ(r.exit, 0) << r.out;

    // Identification of the three devices, the two edits on two pages, the live status refreshed while
    // running and ending with the arrival at 0 + 1750.
    for (const char* part : {"station   0  servo operator", "station   1  KESTA7\n", "model QMT 101D5 - LV 2",
                             "station   2  KESTA7 Mini", "model QMH 500D5 - VV 2", "PA1_08", "PA2_06", "running",
                             "1750       0.00            0  arrived", "session complete"})
        EXPECT_TRUE(has(r.out, part)) << part << "\n" << r.out;
    // The progress bar is for a terminal only: none in the piped report.
    EXPECT_FALSE(has(r.out, "] 100%")) << r.out;
    // Summary: every row succeeded, with the traffic of each transfer counted.
    for (const char* row : {"extended parameters: read                         33      1401",
                            "extended parameters: write changed                 6       207",
                            "positioning table: read                           53      2933",
                            "positioning table: write changed                   5       193",
                            "VV table: read                                    11       689",
                            "VV table: write changed                            5       194"})
        EXPECT_TRUE(has(r.out, row)) << row << "\n" << r.out;
    const std::string table = r.out.substr(r.out.find("== Summary"));
    EXPECT_FALSE(has_negative_number(table)) << table;  // no failed row

    // The parameter file: every value as read, the two edits, no change flags left.
    const auto k7p = lines_of(tavtest::read_file(out + "/kesta7-L.k7p"));
    ASSERT_GT(k7p.size(), 290u);
    // Line and its start: parameter 8 with one decimal place, 110 not in use on this model.
    for (auto [at, start] : {std::pair{0, "SERVO,LIN, 001,"}, {1, "Parameter NO,Value,"}, {2, "  1, 0000000001, 0001,"},
                             {4, "  3, 0000000003, 0001, 0000005000, "}, {9, "  8, 000000123.0, 0101, "},
                             {106, "105, 0000000250, "}, {111, "110, 0000000000, 0000, "}})
        EXPECT_EQ(k7p[at].rfind(start, 0), 0u) << k7p[at];

    const std::string csv = tavtest::read_file(out + "/kesta7-L-parameters.csv");
    for (const char* part : {"Amplifier type: QMT 101D5 - LV 2\r\n", "Comment: Saved by the loader session\r\n", "1_08 ,",
                             ",       123.0 ,        45.0 ,0.0~999999999.9 1/s",
                             ",         250 ,         100 ,0~9999999999 ms"})
        EXPECT_TRUE(has(csv, part)) << part;

    // The positioning table: points 2 and 3 as edited, the others as the amplifier holds them.
    const auto k7l = lines_of(tavtest::read_file(out + "/kesta7-L.k7l"));
    ASSERT_GE(k7l.size(), 101u);
    EXPECT_EQ(k7l[0].rfind("SERVO,LIN, 001,", 0), 0u) << k7l[0];
    EXPECT_EQ(k7l[2], "001, 0, 00, 00, 0000001000, 0100.00, 0000.00, 000, 0, 0");
    EXPECT_EQ(k7l[3], "002, 0, 00, 00, 0000002500, 0150.00, 0000.50, 012, 1, 0");
    EXPECT_EQ(k7l[4], "003, 0, 01, 00, 0000001750, 0010.00, 0000.00, 000, 0, 0");
    EXPECT_EQ(k7l[100], "099, 0, 00, 00, 0000099000, 0100.00, 0000.00, 000, 0, 0");
    const std::string itiCsv = tavtest::read_file(out + "/kesta7-L-positioning.csv");
    EXPECT_TRUE(has(itiCsv, "Comment: Edited by the loader session\r\n"));
    EXPECT_TRUE(has(itiCsv, "2500"));

    // The VV table of the Mini: a .m7v with point 2 edited.
    const auto m7v = lines_of(tavtest::read_file(out + "/kesta7mini-V.m7v"));
    ASSERT_GE(m7v.size(), 17u);
    EXPECT_EQ(m7v[0].rfind("SERVO,VEL, 002,", 0), 0u) << m7v[0];
    EXPECT_EQ(m7v[2], "001, 0, 00, 00, 0000001000, 0100.00, 00010.0, 00010.0, 0000.00, 000, 0, 0");
    EXPECT_EQ(m7v[3], "002, 0, 00, 00, 0000004200, 0080.00, 00025.0, 00030.0, 0000.25, 005, 1, 1");
    EXPECT_EQ(m7v[16], "015, 0, 00, 00, 0000015000, 0100.00, 00010.0, 00010.0, 0000.00, 000, 0, 0");
    const std::string vvCsv = tavtest::read_file(out + "/kesta7mini-V-vv.csv");
    EXPECT_TRUE(has(vvCsv, "Amplifier type: QMH 500D5 - VV 2\r\n"));
    EXPECT_TRUE(has(vvCsv, "4200"));

    // The devices were put back and the selection kept: a second session
    // reads the same values before its edits and ends the same way.
    std::string con = tavtest::read_file(home.file("servo.con"));
    EXPECT_EQ(con.substr(0, 10), "SERVO,   1");
    // This time the V-type entry is selected, as `tav vv read` leaves it: the
    // session selects what each transfer needs and puts the selection back.
    con.replace(0, 10, "SERVO,   2");
    home.write("servo.con", con);
    const Result again = run_demo(home.file("out2"));
    ASSERT_EQ(again.exit, 0) << again.out;
    EXPECT_EQ(tavtest::read_file(home.file("servo.con")).substr(0, 10), "SERVO,   2");
    EXPECT_TRUE(has(again.out, "PA1_08  ")) << again.out;
    const auto k7pAgain = lines_of(tavtest::read_file(home.file("out2/kesta7-L.k7p")));
    ASSERT_GT(k7pAgain.size(), 106u);
    EXPECT_EQ(k7pAgain[9], k7p[9]);
    EXPECT_EQ(lines_of(tavtest::read_file(home.file("out2/kesta7-L.k7l")))[5], k7l[5]);
    EXPECT_TRUE(has(again.out, "before:\n    PA1_08  ")) << again.out;
    EXPECT_TRUE(has(again.out, "                        8  [")) << again.out;
}

TEST_F(Session, CtrlCCancelsTheTransferAndTheNextSessionWorksAtOnce) {
    // At 9600 baud the extended parameters take about 1.5 s to read.
    home.write("state.json", "{}");
    sim = std::make_unique<tavtest::SimProcess>(home.file("state.json"), home.file("ttySIM"),
                                                std::vector<std::string>{"--baud", "9600"});
    ASSERT_TRUE(sim->ready());
    std::string settings = tavtest::read_file(home.file("servo.set"));
    const std::size_t at = settings.find("COM1,38400");
    ASSERT_NE(at, std::string::npos);
    settings.replace(at, 10, "COM1,9600");
    home.write("servo.set", settings);

    const pid_t pid = spawn_tav({"demo", "--out", home.file("out")}, home.file("first.txt"));
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ::kill(pid, SIGINT);
    EXPECT_EQ(wait_exit(pid), 130);  // cancelled by the user
    const std::string first = tavtest::read_file(home.file("first.txt"));
    EXPECT_TRUE(has(first, "extended parameters: read: -31  Cancelled by the user.")) << first;
    EXPECT_TRUE(has(first, "session stopped: -31")) << first;

    // The line and the port are free again: the next session runs through.
    const Result again = run_demo(home.file("out2"));
    EXPECT_EQ(again.exit, 0) << again.out;
    EXPECT_TRUE(has(again.out, "session complete")) << again.out;
}

TEST_F(Session, ALineTraceOfAnotherProcessStopsItBeforeTheLine) {
    start_sim();
    const pid_t trace = spawn_tav({"trace", "20"}, home.file("trace.txt"));
    ASSERT_GT(trace, 0);
    for (int i = 0; i < 100 && !has(tavtest::read_file(home.file("trace.txt")), "held"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const Result r = run_demo(home.file("out"));
    ::kill(trace, SIGTERM);
    wait_exit(trace);
    EXPECT_EQ(r.exit, 1) << r.out;
    EXPECT_TRUE(has(r.out, "COM1 is held by the line trace of another process")) << r.out;
    EXPECT_TRUE(has(r.out, "port and trace locks: -18  ")) << r.out;
    EXPECT_FALSE(has(r.out, "== Identifying")) << r.out;
}

struct FaultCase {
    const char* name;
    const char* faults;
    const char* step;  // the summary row that fails
    int code;
};

class SessionFault : public Session, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SessionFault, StopsAtItsStepWithTheCode) {
    const FaultCase& c = GetParam();
    start_sim(c.faults);
    const Result r = run_demo(home.file("out"));
    EXPECT_EQ(r.exit, c.code == 0 ? 0 : 1) << r.out;
    if (c.code == 0) {
        EXPECT_TRUE(has(r.out, "session complete")) << r.out;
        return;
    }
    char expected[160];
    std::snprintf(expected, sizeof expected, "%s: %d  ", c.step, c.code);
    EXPECT_TRUE(has(r.out, expected)) << expected << "\n" << r.out;
    std::snprintf(expected, sizeof expected, "session stopped: %d  ", c.code);
    EXPECT_TRUE(has(r.out, expected)) << r.out;
    EXPECT_FALSE(has(r.out, "session complete")) << r.out;
    // What was written before the fault is put back all the same.
    if (has(r.out, "extended parameters: write changed                 6")) {
        EXPECT_TRUE(has(r.out, "restore: extended parameters")) << r.out;
    }
}

// Rule fields: station, command, str1, str2, status (12 data size, 16.. device status).
const FaultCase kFaults[] = {
    {"GarbledRepliesExhaustTheRetries", R"({"garble_next": 6})", "identification", 3},
    {"SilenceIsATimeOut", R"({"timeout_next": 6})", "identification", 2},
    {"GarbledRepliesWithinTheRetriesAreRecovered", R"({"garble_next": 2})", "", 0},
    {"ParameterReadDataError",
     R"({"rules": [{"station": 1, "command": "para_read", "str1": 64, "count": -1}]})",
     "extended parameters: read", -27},
    {"ParameterWriteDataSizeError",
     R"({"rules": [{"station": 1, "command": "para_write", "status": 12, "count": -1}]})",
     "extended parameters: write changed", 12},
    {"PositioningReadTransmissionError",
     R"({"rules": [{"station": 1, "command": "point_read", "str1": 32, "count": -1}]})",
     "positioning table: read", -28},
    {"PositioningWriteDeviceStatus",
     R"({"rules": [{"station": 1, "command": "point_write", "status": 16, "count": -1}]})",
     "positioning table: write changed", 16},
    {"VvReadDataError", R"({"rules": [{"station": 2, "command": "point_read", "str1": 64, "count": -1}]})",
     "VV table: read", -27},
    {"VvWriteDataSizeError",
     R"({"rules": [{"station": 2, "command": "point_write", "status": 12, "count": -1}]})",
     "VV table: write changed", 12},
    {"RunRefused", R"({"rules": [{"station": 1, "command": "place_run", "str1": 128, "count": -1}]})",
     "positioning run", -33},
};

INSTANTIATE_TEST_SUITE_P(EveryStep, SessionFault, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

}  // namespace
