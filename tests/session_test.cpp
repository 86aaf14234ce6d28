// The whole loader session (`tav demo`) as a user runs it: a separate tav
// process against servo-sim over a pseudo-terminal, on a copy of the sample
// installation. Checks what it prints, every file it writes and that the
// devices are left as they were found; then the session once per injected
// fault, each stopping at its step with the expected code.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

class Session : public ::testing::Test {
protected:
    // servo-sim on the installation's COM1, its state holding faults; extra
    // servo-sim arguments after "--baud 38400" (the last --baud counts).
    void start_sim(const std::string& faults = "", const std::vector<std::string>& extra = {}) {
        install = std::make_unique<tavtest::TavInstall>("", extra, faults);
        ASSERT_TRUE(install->ready());
    }
    // tav demo; out holds standard output and standard error in order.
    tavtest::TavRun run_demo(const std::string& out) {
        const pid_t pid = install->spawn({"demo", "--out", install->work(out)}, out + ".log");
        return {tavtest::wait_exit(pid), file(out + ".log"), ""};
    }
    std::string file(const std::string& name) const { return tavtest::read_file(install->work(name)); }

    std::unique_ptr<tavtest::TavInstall> install;
};

using tavtest::has;

// The lines of a file between CR LF line ends.
std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> out;
    for (std::size_t from = 0, to; from < bytes.size(); from = to + 2) {
        to = bytes.find("\r\n", from);
        if (to == std::string::npos) to = bytes.size();
        out.push_back(bytes.substr(from, to - from));
    }
    return out;
}

TEST_F(Session, RunsEveryStepAndWritesEveryFile) {
    start_sim("", {"--baud", "38400"});  // with wire time
    const auto r = run_demo("out");
    ASSERT_EQ(r.status, 0) << r.out;

    // Identification of the three devices, the two edits on two pages, the live status refreshed while
    // running and ending with the arrival at 0 + 1750; in the summary every row succeeded, with the
    // traffic of each transfer counted.
    for (const char* part : {"station   0  servo operator", "station   1  KESTA7\n", "model QMT 101D5 - LV 2",
                             "station   2  KESTA7 Mini", "model QMH 500D5 - VV 2", "PA1_08", "PA2_06", "running",
                             "1750       0.00            0  arrived", "session complete",
                             "extended parameters: read                         33      1401",
                             "extended parameters: write changed                 6       207",
                             "positioning table: read                           53      2933",
                             "positioning table: write changed                   5       193",
                             "VV table: read                                    11       689",
                             "VV table: write changed                            5       194"})
        EXPECT_TRUE(has(r.out, part)) << part << "\n" << r.out;
    // The progress bar is for a terminal only: none in the piped report.
    EXPECT_FALSE(has(r.out, "] 100%")) << r.out;
    const std::string table = r.out.substr(r.out.find("== Summary"));
    EXPECT_FALSE(std::regex_search(table, std::regex(" -[0-9]"))) << table;  // no negative code: no failed row

    // The parameter file: every value as read, the two edits, no change flags left.
    const auto k7p = lines_of(file("out/kesta7-L.k7p"));
    ASSERT_GT(k7p.size(), 290u);
    // Line and its start: parameter 8 with one decimal place, 110 not in use on this model.
    for (auto [at, start] : {std::pair{0, "SERVO,LIN, 001,"}, {1, "Parameter NO,Value,"}, {2, "  1, 0000000001, 0001,"},
                             {4, "  3, 0000000003, 0001, 0000005000, "}, {9, "  8, 000000123.0, 0101, "},
                             {106, "105, 0000000250, "}, {111, "110, 0000000000, 0000, "}})
        EXPECT_EQ(k7p[at].rfind(start, 0), 0u) << k7p[at];

    // The positioning table: points 2 and 3 as edited, the others as the amplifier holds them;
    // the VV table of the Mini: a .m7v with point 2 edited.
    const auto k7l = lines_of(file("out/kesta7-L.k7l")), m7v = lines_of(file("out/kesta7mini-V.m7v"));
    ASSERT_GE(k7l.size(), 101u);
    ASSERT_GE(m7v.size(), 17u);
    EXPECT_EQ(k7l[0].rfind("SERVO,LIN, 001,", 0), 0u) << k7l[0];
    EXPECT_EQ(m7v[0].rfind("SERVO,VEL, 002,", 0), 0u) << m7v[0];
    EXPECT_EQ((std::vector<std::string>{k7l[2], k7l[3], k7l[4], k7l[100], m7v[2], m7v[3], m7v[16]}),
              (std::vector<std::string>{
                  "001, 0, 00, 00, 0000001000, 0100.00, 0000.00, 000, 0, 0",
                  "002, 0, 00, 00, 0000002500, 0150.00, 0000.50, 012, 1, 0",
                  "003, 0, 01, 00, 0000001750, 0010.00, 0000.00, 000, 0, 0",
                  "099, 0, 00, 00, 0000099000, 0100.00, 0000.00, 000, 0, 0",
                  "001, 0, 00, 00, 0000001000, 0100.00, 00010.0, 00010.0, 0000.00, 000, 0, 0",
                  "002, 0, 00, 00, 0000004200, 0080.00, 00025.0, 00030.0, 0000.25, 005, 1, 1",
                  "015, 0, 00, 00, 0000015000, 0100.00, 00010.0, 00010.0, 0000.00, 000, 0, 0"}));

    // The CSV files beside them.
    const struct {
        const char* file;
        std::vector<const char*> parts;
    } csvs[] = {
        {"out/kesta7-L-parameters.csv",
         {"Amplifier type: QMT 101D5 - LV 2\r\n", "Comment: Saved by the loader session\r\n", "1_08 ,",
          ",       123.0 ,        45.0 ,0.0~999999999.9 1/s", ",         250 ,         100 ,0~9999999999 ms"}},
        {"out/kesta7-L-positioning.csv", {"Comment: Edited by the loader session\r\n", "2500"}},
        {"out/kesta7mini-V-vv.csv", {"Amplifier type: QMH 500D5 - VV 2\r\n", "4200"}},
    };
    for (const auto& c : csvs)
        for (const char* part : c.parts) EXPECT_TRUE(has(file(c.file), part)) << c.file << ": " << part;

    // The devices were put back and the selection kept: a second session
    // reads the same values before its edits and ends the same way.
    std::string con = install->station_list();
    EXPECT_EQ(con.substr(0, 10), "SERVO,   1");
    // This time the V-type entry is selected, as `tav vv read` leaves it: the
    // session selects what each transfer needs and puts the selection back.
    con.replace(0, 10, "SERVO,   2");
    install->set_station_list(con);
    const auto again = run_demo("out2");
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(install->station_list().substr(0, 10), "SERVO,   2");
    const auto k7pAgain = lines_of(file("out2/kesta7-L.k7p"));
    ASSERT_GT(k7pAgain.size(), 106u);
    EXPECT_EQ(k7pAgain[9], k7p[9]);
    EXPECT_EQ(lines_of(file("out2/kesta7-L.k7l"))[5], k7l[5]);
    for (const char* part : {"PA1_08  ", "before:\n    PA1_08  ", "                        8  ["})
        EXPECT_TRUE(has(again.out, part)) << part << "\n" << again.out;
}

TEST_F(Session, CtrlCCancelsTheTransferAndTheNextSessionWorksAtOnce) {
    // At 9600 baud the extended parameters take about 1.5 s to read.
    start_sim("", {"--baud", "9600"});
    std::string settings = tavtest::read_file(install->home("servo.set"));
    const std::size_t at = settings.find("COM1,38400");
    ASSERT_NE(at, std::string::npos);
    install->set_home_file("servo.set", settings.replace(at, 10, "COM1,9600"));

    const pid_t pid = install->spawn({"demo", "--out", install->work("out")}, "first.txt");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(tavtest::kill_and_wait(pid, SIGINT), 130);  // cancelled by the user
    const std::string first = file("first.txt");
    EXPECT_TRUE(has(first, "extended parameters: read: -31  Cancelled by the user.")) << first;
    EXPECT_TRUE(has(first, "session stopped: -31")) << first;

    // The line and the port are free again: the next session runs through.
    const auto again = run_demo("out2");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_TRUE(has(again.out, "session complete")) << again.out;
}

TEST_F(Session, ALineTraceOfAnotherProcessStopsItBeforeTheLine) {
    start_sim();
    const pid_t trace = install->spawn({"trace", "20"}, "trace.txt", "held");
    ASSERT_GT(trace, 0);
    const auto r = run_demo("out");
    tavtest::kill_and_wait(trace, SIGTERM);
    EXPECT_EQ(r.status, 1) << r.out;
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
    const auto r = run_demo("out");
    EXPECT_EQ(r.status, c.code == 0 ? 0 : 1) << r.out;
    if (c.code == 0) {
        EXPECT_TRUE(has(r.out, "session complete")) << r.out;
        return;
    }
    const std::string code = ": " + std::to_string(c.code) + "  ";
    for (const std::string& part : {c.step + code, "session stopped" + code})
        EXPECT_TRUE(has(r.out, part)) << part << "\n" << r.out;
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
    {"ParameterReadDataError", R"({"rules": [{"station": 1, "command": "para_read", "str1": 64, "count": -1}]})",
     "extended parameters: read", -27},
    {"ParameterWriteDataSizeError", R"({"rules": [{"station": 1, "command": "para_write", "status": 12, "count": -1}]})",
     "extended parameters: write changed", 12},
    {"PositioningReadTransmissionError", R"({"rules": [{"station": 1, "command": "point_read", "str1": 32, "count": -1}]})",
     "positioning table: read", -28},
    {"PositioningWriteDeviceStatus", R"({"rules": [{"station": 1, "command": "point_write", "status": 16, "count": -1}]})",
     "positioning table: write changed", 16},
    {"VvReadDataError", R"({"rules": [{"station": 2, "command": "point_read", "str1": 64, "count": -1}]})",
     "VV table: read", -27},
    {"VvWriteDataSizeError", R"({"rules": [{"station": 2, "command": "point_write", "status": 12, "count": -1}]})",
     "VV table: write changed", 12},
    {"RunRefused", R"({"rules": [{"station": 1, "command": "place_run", "str1": 128, "count": -1}]})",
     "positioning run", -33},
};

INSTANTIATE_TEST_SUITE_P(EveryStep, SessionFault, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

}  // namespace
