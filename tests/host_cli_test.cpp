// tav as a user runs it, against a temporary installation and servo-sim on a
// pseudo-terminal: explicit targets, checked edits, strict numbers, honoured
// locks, exit codes, --json and --help. Every command but `select` must leave
// servo.con byte for byte as it was; the fixture checks that after each run.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>

#include <wchar.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

using Args = std::vector<std::string>;

// Terminal columns of UTF-8 text.
std::size_t columns(const std::string& utf8) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::wstring wide(utf8.size() + 1, L'\0');
    const std::size_t n = std::mbstowcs(wide.data(), utf8.c_str(), wide.size());
    const int w = n == static_cast<std::size_t>(-1) ? -1 : ::wcswidth(wide.c_str(), n);
    return w < 0 ? utf8.size() : static_cast<std::size_t>(w);
}

using tavtest::has;

// Two L-type amplifiers at stations 1 and 2 (the sample list: entries 1 and 2).
const char kTwoLTypes[] = R"([{"station": 0, "type": "operator"}, {"station": 1, "model": "L"}, {"station": 2, "model": "L"}])";

class HostCli : public tavtest::TavTest {
protected:
    explicit HostCli(const std::string& devices = "", const Args& simArgs = {}) : TavTest(devices, simArgs) {}
    // The stop position of point `no` on the amplifier of an entry.
    double stop_position(int entry, int no) {
        const auto r = tav({"--json", "pos", "point", std::to_string(no), "--entry", std::to_string(entry)});
        return nlohmann::json::parse(r.out, nullptr, false).value("stop_pos", -1.0);
    }
};

class HostCliTwoLTypes : public HostCli {
protected:
    HostCliTwoLTypes() : HostCli(kTwoLTypes) {}
};

// 1: a value outside its range, or too wide for its field, never reaches the
// amplifier; the refusal names parameter, value and range.
TEST_F(HostCli, OutOfRangeExtendedValuesAreRefusedBeforeTheSetOrTheDeviceChanges) {
    for (const char* value : {"1000000000", "-5", "12.25"}) {
        const auto r = tav({"ext", "--file", "a.k7p", "--entry", "1", "read", "change", "8", value, "show", "8", "write"}, 1, "",
                           "parameter 8 (");
        EXPECT_TRUE(has(r.err, std::string(value) + " ") && has(r.err, "-15")) << r.err;
        EXPECT_FALSE(has(r.out, "write:")) << r.out;
    }
    tav({"ext", "read", "change", "8", "-5"}, 1, "", "0.0 .. 999999999.9");  // the range is named
    EXPECT_EQ(device_value(1, 8), "8.0");
    // A value inside the range goes through and reaches the amplifier.
    tav({"ext", "--entry", "1", "read", "change", "8", "12.5", "write"});
    EXPECT_EQ(device_value(1, 8), "12.5");
}

TEST_F(HostCli, OutOfRangePointsAndModesAreRefusedAndTheFileStays) {
    tav({"pos", "create", "p.k7l"});
    tav({"vv", "create", "VEL", "v.m7v"});
    const std::string pos = work_file("p.k7l"), vv = work_file("v.m7v");
    const struct {
        Args args;
        const char* named;
    } cases[] = {
        {{"pos", "set", "p.k7l", "2", "9", "9", "100", "10", "0", "0", "0", "0"}, "command method 9"},
        {{"pos", "set", "p.k7l", "2", "0", "4", "100", "10", "0", "0", "0", "0"}, "step mode 4"},
        {{"pos", "set", "p.k7l", "2", "0", "0", "3000000000", "10", "0", "0", "0", "0"}, "stop position 3000000000"},
        {{"pos", "set", "p.k7l", "2", "0", "0", "100", "-1", "0", "0", "0", "0"}, "speed -1"},
        {{"pos", "insert", "p.k7l", "2", "0", "0", "100", "10", "0", "256", "0", "0"}, "M code 256"},
        {{"vv", "change", "v.m7v", "2", "0", "0", "100", "10", "100000", "1", "0", "0", "0", "0"}, "acceleration time 100000"},
        {{"vv", "change", "v.m7v", "2", "0", "0", "100", "10", "1.25", "1", "0", "0", "0", "0"}, "1 decimal places"},
        {{"vv", "insert", "v.m7v", "2", "0", "0", "100", "10", "1", "1", "0", "0", "2", "0"}, "M code valid 2"},
    };
    for (const auto& c : cases) tav(c.args, 1, "", c.named);
    EXPECT_EQ(work_file("p.k7l"), pos);
    EXPECT_EQ(work_file("v.m7v"), vv);
    tav({"para", "new", "LIN", "s.k7p"});
    EXPECT_TRUE(has(tav({"para", "set", "s.k7p", "4=300.1"}, 1, "", "parameter 4 (").err,
                    "300.1 is outside its range 0.0 .. 300.0"));
}

// 2: a bad entry is refused before anything is written; servo.con stays.
TEST_F(HostCli, BadEntriesAreRefusedAndServoConStays) {
    const struct {
        Args args;
        int status;
    } cases[] = {
        {{"vv", "read", "99", "v.m7v"}, 2},         {{"vv", "read", "abc", "v.m7v"}, 2},
        {{"vv", "read", "v.m7v", "--entry", "99"}, 2}, {{"vv", "read", "v.m7v", "--entry", "abc"}, 2},
        {{"vv", "read", "v.m7v", "--entry", "3"}, 1},  {{"pos", "write", "x.k7l", "--entry", "0"}, 2},
        {{"ext", "--entry", "7", "read"}, 1},          {{"select", "3"}, 1},
        {{"ext", "read", "--entry", "51"}, 2},
    };
    for (const auto& c : cases) EXPECT_FALSE(tav(c.args, c.status).err.empty()) << "no message for " << tavtest::command_text(c.args);
    tav({"ext", "--entry", "7", "read"}, 1, "", "entry 7 is not in the station list");
    // A broken selection names the file and how to repair it; --entry and select still work.
    std::string con = install_.station_list();
    install_.set_station_list("SERVO, abc" + con.substr(con.find('\r')));
    EXPECT_TRUE(has(tav({"ext", "read"}, 1, "", "servo.con selects entry \"abc\"").err, "tav select N"));
    tav({"ext", "--entry", "1", "read"});
    tav({"select", "2"});
    EXPECT_EQ(install_.station_list().substr(0, 10), "SERVO,   2");
    tav({"identify"}, 0, "entry 2, station 2: KESTA7 Mini");  // select changes the default
}

// 3: the selection does not stick: a transfer to entry 2 leaves entry 1 selected.
TEST_F(HostCli, ATransferToAnotherEntryLeavesTheSelectionAlone) {
    const auto vv = tav({"vv", "read", "v.m7v", "--entry", "2"});
    EXPECT_EQ(vv.out.rfind("entry 2, station 2: KESTA7 Mini", 0), 0u) << "the target comes first:\n" << vv.out;
    EXPECT_EQ(work_file("v.m7v").rfind("SERVO,VEL, 002,", 0), 0u);
    // Without --entry the selected one, with it another amplifier.
    const auto ext = tav({"ext", "--file", "amp1.k7p", "read", "save"}, 0, "read amplifier 001");
    EXPECT_EQ(ext.out.rfind("entry 1, station 1: KESTA7 QMT", 0), 0u) << ext.out;
    EXPECT_EQ(work_file("amp1.k7p").rfind("SERVO,LIN, 001,", 0), 0u);
    tav({"ext", "--entry", "2", "read"}, 0, "read amplifier 002");
    // Every device command says whom it addresses before anything else.
    for (const Args& args : {Args{"status"}, Args{"identify", "--entry", "2"}, Args{"pos", "point", "1"}, Args{"cancel"}})
        EXPECT_TRUE(std::regex_search(tav(args).out, std::regex("^entry [12], station [12]: KESTA7"))) << tavtest::command_text(args);
}

// 11: pos write sends to the entry it names, not to the selected one.
TEST_F(HostCliTwoLTypes, PositioningWriteGoesToItsEntryWhateverIsSelected) {
    std::string con = install_.station_list();
    con.replace(0, 10, "SERVO,   2");
    install_.set_station_list(con);
    tav({"pos", "read", "a1.k7l", "--entry", "1"});
    tav({"pos", "set", "a1.k7l", "5", "0", "0", "5555", "100", "0", "0", "0", "0"});
    const auto w = tav({"pos", "write", "a1.k7l", "--all", "--entry", "1"});
    EXPECT_EQ(w.out.rfind("entry 1, station 1: ", 0), 0u) << w.out;
    EXPECT_EQ(stop_position(1, 5), 5555);
    EXPECT_EQ(stop_position(2, 5), 5000) << "amplifier 2's table was overwritten";
    EXPECT_EQ(install_.station_list().substr(0, 10), "SERVO,   2");
}

// 4: a line trace of another program stops every command that opens the line.
TEST_F(HostCli, ATraceLockStopsEveryLineCommandWithMinus18) {
    const pid_t trace = install_.spawn({"trace", "30"}, "trace.log", "held");
    ASSERT_GT(trace, 0);
    for (const Args& args : {Args{"ext", "read"}, Args{"pos", "read", "p.k7l"}, Args{"vv", "read", "v.m7v", "--entry", "2"},
                             Args{"para", "read", "s.k7p"}, Args{"identify"}, Args{"start", "3"}, Args{"status"}})
        EXPECT_TRUE(has(tav(args, 1, "", "held by the line trace of another program (lock file ").err, "trace.lck): -18"));
    tavtest::kill_and_wait(trace, SIGTERM);
    EXPECT_FALSE(install_.station_list().empty());
    tav({"ext", "read"});  // free again
}

// 9: numbers are parsed strictly; a usage error exits 2 with a message.
TEST_F(HostCli, NumbersAreParsedStrictlyAndUsageErrorsExit2WithAMessage) {
    tav({"para", "new", "LIN", "n.k7p"});
    EXPECT_EQ(work_file("n.k7p").rfind("SERVO,LIN,", 0), 0u) << "LIN made another model";
    tav({"message", "010"}, 0, "    10  ");  // not read as octal
    const Args usageErrors[] = {
        {"para", "new", "LINX", "n.k7p"}, {"pos", "point", "abc", "4"}, {"pos", "point", "4x"},
        {"message", "0x10"},              {"run", "on", "1.5"},          {"start", "0"},
        {"ext", "read", "change", "3", "1.5x"}, {"ext", "read", "show", "abc"}, {"trace", "-1"},
        {"pos", "create", "p.k7l", "LIN2"},     {"ext", "--kind", "3", "show"}, {"para", "show", "n.k7p", "1.0"},
        {"nosuchcommand"},                      {"ext", "--nosuchoption", "read"}, {},
    };
    for (const Args& args : usageErrors) tav(args, 2, "", "tav: ");
    EXPECT_EQ(install_.tav_raw({"--lang", "de", "version"}).status, 2);
}

TEST_F(HostCli, EveryCommandHasHelpVersionAndHelpCommand) {
    // Every command and every sub-command.
    const std::pair<const char*, const char*> tree[] = {
        {"", "version message trace help stations select identify online offline run jog start cancel status demo ext "
             "para pos vv"},
        {"para", "new show set reset read write print csv"},
        {"pos", "create show set insert reset dp comment read write point export"},
        {"vv", "create show load save csv change insert delete reset read write init list"}};
    for (const auto& [command, subs] : tree) {
        std::istringstream in(subs);
        for (std::string sub; in >> sub;) tav(*command ? Args{command, sub, "--help"} : Args{sub, "--help"}, 0, "Usage: tav");
    }
    EXPECT_TRUE(has(tav({"--help"}, 0, "Usage: tav").out, "vv "));
    tav({"ext", "read", "--help"}, 0, "Actions");
    EXPECT_TRUE(std::regex_search(tav({"--version"}).out, std::regex("^tav [0-9.]+ \\(library ")));
    tav({"help", "pos", "write"}, 0, "--entry");
}

// 5: --json puts exactly one document on stdout, whatever else the command says.
TEST_F(HostCli, JsonOutputIsOneDocumentOnStdout) {
    tav({"ext", "--file", "e.k7p", "read", "save"});
    tav({"pos", "read", "p.k7l"});
    tav({"para", "new", "LIN", "s.k7p"});
    const Args commands[] = {
        {"version"}, {"message", "0", "-31"}, {"stations"}, {"identify", "--record"}, {"status"}, {"cancel"},
        {"ext", "--file", "e.k7p", "read", "change", "3", "44", "show", "3", "write", "save"},
        {"ext", "compare", "e.k7p"}, {"pos", "show", "p.k7l"}, {"pos", "read", "q.k7l"}, {"pos", "write", "p.k7l", "--all"},
        {"pos", "point", "2"}, {"vv", "read", "v.m7v", "--entry", "2"}, {"vv", "write", "v.m7v", "--entry", "2"},
        {"para", "show", "s.k7p", "1"}, {"ext", "--entry", "9", "read"}};
    for (Args args : commands) {
        args.insert(args.begin(), "--json");
        const auto r = tav(args, tavtest::kAnyExit);
        nlohmann::json doc;
        ASSERT_NO_THROW(doc = nlohmann::json::parse(r.out)) << tavtest::command_text(args) << "\n" << r.out;
        EXPECT_TRUE(doc.is_object()) << tavtest::command_text(args);
        EXPECT_EQ(doc.value("exit", -1), r.status) << tavtest::command_text(args);
    }
    const auto ext = tav({"--json", "ext", "--file", "e.k7p", "show", "3"});
    EXPECT_EQ(nlohmann::json::parse(ext.out)["parameters"][0]["value"], 44);
}

// 10: messages name the file, entry or device and the system's reason.
TEST_F(HostCli, MessagesNameTheirFileEntryAndReason) {
    tav({"pos", "show", "nosuch.k7l"}, 1, "", "load nosuch.k7l (No such file or directory): -3");
    tav({"para", "new", "LIN", "s.k7p"});
    tav({"ext", "load", "s.k7p", "show", "3"}, 1, "", "load s.k7p: it holds 40 parameters, a standard-parameter file");
    tav({"vv", "create", "VEL", "/nonexistent/v.m7v"}, 1, "", "save /nonexistent/v.m7v (");
    // COM1 mapped to a device that is not there.
    tavtest::TempDir other;
    const std::string gone = other.file("ttyGONE");
    install_.set_home_file("wyn.ini", "[Ports]\r\nCOM1=" + gone + "\r\n");
    tav({"identify"}, 1, "", "COM1 (" + gone + ") (No such file or directory)");
}

// A file cut short loads with the library's result 0; the host says how much
// of it was there. A whole file loads without a word.
TEST_F(HostCli, AFileCutShortLoadsWithAWarningThatCountsWhatItHeld) {
    for (const Args& args : {Args{"pos", "create", "p.k7l"}, Args{"vv", "create", "VEL", "v.m7v"}, Args{"para", "new", "LIN", "s.k7p"},
                             Args{"ext", "--file", "e.k7p", "read", "save"}})
        tav(args);
    const struct {
        const char* file;
        Args show;
        int keptLines;  // header included
        const char* warning;
    } cases[] = {
        {"p.k7l", {"pos", "show", "p.k7l"}, 2 + 7, "p.k7l holds only 7 of 99 points"},
        {"v.m7v", {"vv", "show", "v.m7v"}, 2 + 3, "v.m7v holds only 3 of 15 points"},
        {"s.k7p", {"para", "show", "s.k7p"}, 2 + 12, "s.k7p holds only 12 of 40 parameters"},
        {"e.k7p", {"ext", "--file", "e.k7p", "show", "3"}, 2 + 100, "e.k7p holds only 100 of 297 parameters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_FALSE(has(tav(c.show).err, "warning"));
        std::istringstream in(work_file(c.file));
        std::string cut, line;
        for (int i = 0; i < c.keptLines && std::getline(in, line); ++i) cut += line + "\n";
        std::ofstream(install_.work(c.file), std::ios::binary) << cut.substr(0, cut.size() - 1);  // the last line without its LF
        tav(c.show, 0, "", std::string("warning: ") + c.warning);
        Args json = c.show;
        json.insert(json.begin(), "--json");
        tav(json, 0, c.warning);
    }
}

// A borrowed selection is put back as a whole new file in place of the list:
// its mode stays, and a list reached through a link stays a link.
TEST_F(HostCli, APutBackStationListKeepsItsModeAndItsLink) {
    namespace fs = std::filesystem;
    const std::string con = install_.home("servo.con"), real = install_.home("servo-real.con");
    fs::rename(con, real);
    fs::create_symlink(real, con);
    fs::permissions(real, fs::perms(0640));
    const std::string before = tavtest::read_file(real);
    tav({"vv", "read", "v.m7v", "--entry", "2"});
    EXPECT_TRUE(fs::is_symlink(con));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(tavtest::read_file(real), before);
}

// 7: --lang ja covers tav's own texts; widths are display columns.
TEST_F(HostCli, JapaneseCoversTheHostTexts) {
    const auto ja = install_.tav_raw({"--lang", "ja", "identify"});
    ASSERT_EQ(ja.status, 0) << ja.err;
    EXPECT_EQ(ja.out.rfind("エントリ 1、局番 1: KESTA7", 0), 0u) << ja.out;
    EXPECT_TRUE(has(ja.out, "モータ")) << ja.out;
    const auto refused = install_.tav_raw({"--lang", "ja", "ext", "read", "change", "8", "-5"});
    EXPECT_TRUE(has(refused.err, "パラメータ 8")) << refused.err;
    // The value column ends at the same display column on every row of `ext show`.
    const auto page = tav({"ext", "read", "show"}, 0);
    const std::regex row("^ *[0-9]+ [1-3]_[0-9]{2} .*? (-?[0-9.]+H?) .*\\[.*$");
    std::istringstream in(page.out);
    std::set<std::size_t> ends;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_match(l, m, row)) ends.insert(columns(l.substr(0, static_cast<std::size_t>(m.position(1) + m.length(1)))));
    }
    EXPECT_EQ(ends.size(), 1u) << page.out.substr(0, 2000);
}

// 6: one progress bar: stderr, only on a terminal, 100 % at success.
TEST_F(HostCli, ProgressIsOnStderrOnATerminalAndEndsAt100) {
    for (const Args& args : {Args{"ext", "read"}, Args{"pos", "read", "p.k7l"}, Args{"vv", "read", "v.m7v", "--entry", "2"}}) {
        EXPECT_FALSE(has(tav(args, 0, "", "] 100%", true).out, "%"));
        const auto pipe = tav(args);
        EXPECT_FALSE(has(pipe.err, "%") || has(pipe.out, "%")) << "a bar in a pipe: " << pipe.err;
    }
}

// Ctrl-C during a transfer: -31, exit 130, and servo.con as it was.
class HostCliSlow : public HostCli {
protected:
    HostCliSlow() : HostCli("", {"--turnaround-us", "100000"}) {}
    // tav ARGS sent sig 300 ms after it named its target (in the transfer):
    // its exit status, -1 when killed; what it printed in run.log.
    int signalled(const Args& args, int sig) {
        const pid_t pid = install_.spawn(args, "run.log", "station");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return tavtest::kill_and_wait(pid, sig);
    }
};

TEST_F(HostCliSlow, CtrlCCancelsWithExit130AndPutsTheSelectionBack) {
    const std::string before = install_.station_list();
    for (const Args& args : {Args{"vv", "read", "v.m7v", "--entry", "2"}, Args{"ext", "read"}}) {
        EXPECT_EQ(signalled(args, SIGINT), 130) << tavtest::command_text(args);
        EXPECT_TRUE(has(work_file("run.log"), "read: -31")) << work_file("run.log");
        EXPECT_EQ(install_.station_list(), before) << tavtest::command_text(args);
    }
}

// Killed while it had the selection borrowed: the next command puts the
// user's list back, byte for byte, before anything reads the selection.
TEST_F(HostCliSlow, AKilledCommandsBorrowedSelectionIsPutBackByTheNext) {
    const std::string before = install_.station_list();
    EXPECT_EQ(signalled({"vv", "read", "v.m7v", "--entry", "2"}, SIGKILL), -1);
    ASSERT_NE(install_.station_list(), before) << "killed after the transfer, not during it";
    const auto next = install_.tav({"--json", "stations"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(install_.station_list(), before);
    EXPECT_EQ(nlohmann::json::parse(next.out, nullptr, false).value("selected", 0), 1) << next.out;
}

}  // namespace
