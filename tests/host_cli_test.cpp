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

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string joined(const Args& args) {
    std::string s;
    for (const auto& a : args) s += a + " ";
    return s;
}

// Two L-type amplifiers at stations 1 and 2 (the sample list: entries 1 and 2).
const char kTwoLTypes[] = R"([{"station": 0, "type": "operator"}, {"station": 1, "model": "L"}, {"station": 2, "model": "L"}])";

class HostCli : public ::testing::Test {
protected:
    explicit HostCli(const std::string& devices = "", const Args& simArgs = {}) : install_(devices, simArgs) {}
    void SetUp() override { ASSERT_TRUE(install_.ready()); }

    // tav ARGS; servo.con must come out as it went in unless the command is `select`.
    tavtest::TavRun tav(const Args& args, const tavtest::TavOptions& options = {}) {
        const std::string before = install_.station_list();
        tavtest::TavRun r = install_.tav(args, options);
        if (std::find(args.begin(), args.end(), "select") == args.end()) {
            EXPECT_EQ(install_.station_list(), before) << "servo.con changed by: tav " << joined(args);
        }
        return r;
    }
    // The value `show NO` prints for an extended parameter read from an entry.
    std::string device_value(int entry, int no) {
        const auto r = tav({"ext", "--entry", std::to_string(entry), "read", "show", std::to_string(no)});
        std::smatch m;
        const std::regex row(" *" + std::to_string(no) + " [1-3]_[0-9]{2} .*? +(-?[0-9.]+) .*");
        return std::regex_search(r.out, m, row) ? std::string(m[1]) : "?";
    }
    // Stop position of point `no` in a saved positioning table (".k7l" line no + 2).
    std::string stop_position(const std::string& file, int no) {
        std::istringstream in(tavtest::read_file(install_.work(file)));
        std::string line;
        for (int i = 0; i <= no + 1 && std::getline(in, line); ++i) {
        }
        const std::regex point("^[0-9]{3}, [0-9], [0-9]{2}, [0-9]{2}, *(-?[0-9.]+),.*");
        std::smatch m;
        return std::regex_search(line, m, point) ? std::string(m[1]) : "?";
    }

    tavtest::TavInstall install_;
};

class HostCliTwoLTypes : public HostCli {
protected:
    HostCliTwoLTypes() : HostCli(kTwoLTypes) {}
};

// 1: a value outside its range, or too wide for its field, never reaches the
// amplifier; the refusal names parameter, value and range.
TEST_F(HostCli, OutOfRangeExtendedValuesAreRefusedBeforeTheSetOrTheDeviceChanges) {
    for (const char* value : {"1000000000", "-5", "12.25"}) {
        const auto r = tav({"ext", "--file", "a.k7p", "--entry", "1", "read", "change", "8", value, "show", "8", "write"});
        EXPECT_EQ(r.status, 1) << value << r.out << r.err;
        EXPECT_TRUE(has(r.err, std::string("parameter 8 (")) && has(r.err, std::string(value) + " ")) << r.err;
        EXPECT_TRUE(has(r.err, "-15")) << r.err;
        EXPECT_FALSE(has(r.out, "write:")) << r.out;
    }
    EXPECT_TRUE(has(tav({"ext", "read", "change", "8", "-5"}).err, "0.0 .. 999999999.9")) << "the range is named";
    EXPECT_EQ(device_value(1, 8), "8.0");
    // A value inside the range goes through and reaches the amplifier.
    ASSERT_EQ(tav({"ext", "--entry", "1", "read", "change", "8", "12.5", "write"}).status, 0);
    EXPECT_EQ(device_value(1, 8), "12.5");
}

TEST_F(HostCli, OutOfRangePointsAndModesAreRefusedAndTheFileStays) {
    ASSERT_EQ(tav({"pos", "create", "p.k7l"}).status, 0);
    ASSERT_EQ(tav({"vv", "create", "VEL", "v.m7v"}).status, 0);
    const std::string pos = tavtest::read_file(install_.work("p.k7l")), vv = tavtest::read_file(install_.work("v.m7v"));
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
    for (const auto& c : cases) {
        const auto r = tav(c.args);
        EXPECT_EQ(r.status, 1) << joined(c.args) << r.err;
        EXPECT_TRUE(has(r.err, "point 2: " + std::string(c.named)) || has(r.err, c.named)) << c.named << "\n" << r.err;
    }
    EXPECT_EQ(tavtest::read_file(install_.work("p.k7l")), pos);
    EXPECT_EQ(tavtest::read_file(install_.work("v.m7v")), vv);
    ASSERT_EQ(tav({"para", "new", "LIN", "s.k7p"}).status, 0);
    const auto para = tav({"para", "set", "s.k7p", "4=300.1"});
    EXPECT_EQ(para.status, 1);
    EXPECT_TRUE(has(para.err, "parameter 4 (") && has(para.err, "300.1 is outside its range 0.0 .. 300.0")) << para.err;
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
    };
    for (const auto& c : cases) {
        const auto r = tav(c.args);
        EXPECT_EQ(r.status, c.status) << joined(c.args) << r.out << r.err;
        EXPECT_FALSE(r.err.empty()) << "no message for " << joined(c.args);
    }
    EXPECT_TRUE(has(tav({"ext", "--entry", "7", "read"}).err, "entry 7 is not in the station list"));
    // A broken selection names the file and how to repair it; --entry and select still work.
    std::string con = install_.station_list();
    install_.set_station_list("SERVO, abc" + con.substr(con.find('\r')));
    const auto broken = tav({"ext", "read"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(has(broken.err, "servo.con selects entry \"abc\"") && has(broken.err, "tav select N")) << broken.err;
    EXPECT_EQ(tav({"ext", "--entry", "1", "read"}).status, 0);
    ASSERT_EQ(tav({"select", "2"}).status, 0);
    EXPECT_EQ(install_.station_list().substr(0, 10), "SERVO,   2");
    EXPECT_TRUE(has(tav({"identify"}).out, "entry 2, station 2: KESTA7 Mini")) << "select changes the default";
}

// 3: the selection does not stick: a transfer to entry 2 leaves entry 1 selected.
TEST_F(HostCli, ATransferToAnotherEntryLeavesTheSelectionAlone) {
    const auto vv = tav({"vv", "read", "v.m7v", "--entry", "2"});
    ASSERT_EQ(vv.status, 0) << vv.err;
    EXPECT_EQ(vv.out.rfind("entry 2, station 2: KESTA7 Mini", 0), 0u) << "the target comes first:\n" << vv.out;
    EXPECT_EQ(tavtest::read_file(install_.work("v.m7v")).rfind("SERVO,VEL, 002,", 0), 0u);
    const auto ext = tav({"ext", "--file", "amp1.k7p", "read", "save"});
    ASSERT_EQ(ext.status, 0) << ext.err;
    EXPECT_EQ(ext.out.rfind("entry 1, station 1: KESTA7 QMT", 0), 0u) << ext.out;
    EXPECT_EQ(tavtest::read_file(install_.work("amp1.k7p")).rfind("SERVO,LIN, 001,", 0), 0u);
    // Every device command says whom it addresses before anything else.
    for (const Args& args : {Args{"status"}, Args{"identify", "--entry", "2"}, Args{"pos", "point", "1"}, Args{"cancel"}}) {
        const auto r = tav(args);
        EXPECT_TRUE(std::regex_search(r.out, std::regex("^entry [12], station [12]: KESTA7"))) << joined(args) << r.out << r.err;
    }
}

// 11: pos write sends to the entry it names, not to the selected one.
TEST_F(HostCliTwoLTypes, PositioningWriteGoesToItsEntryWhateverIsSelected) {
    std::string con = install_.station_list();
    con.replace(0, 10, "SERVO,   2");
    install_.set_station_list(con);
    ASSERT_EQ(tav({"pos", "read", "a1.k7l", "--entry", "1"}).status, 0);
    ASSERT_EQ(tav({"pos", "set", "a1.k7l", "5", "0", "0", "5555", "100", "0", "0", "0", "0"}).status, 0);
    const auto w = tav({"pos", "write", "a1.k7l", "--all", "--entry", "1"});
    ASSERT_EQ(w.status, 0) << w.out << w.err;
    EXPECT_EQ(w.out.rfind("entry 1, station 1: ", 0), 0u) << w.out;
    ASSERT_EQ(tav({"pos", "read", "back1.k7l", "--entry", "1"}).status, 0);
    ASSERT_EQ(tav({"pos", "read", "back2.k7l", "--entry", "2"}).status, 0);
    EXPECT_EQ(stop_position("back1.k7l", 5), "5555");
    EXPECT_EQ(stop_position("back2.k7l", 5), "5000") << "amplifier 2's table was overwritten";
    EXPECT_EQ(install_.station_list().substr(0, 10), "SERVO,   2");
}

// 4: a line trace of another program stops every command that opens the line.
TEST_F(HostCli, ATraceLockStopsEveryLineCommandWithMinus18) {
    const std::string log = install_.work("trace.log");
    const pid_t trace = install_.spawn({"trace", "30"}, log);
    ASSERT_GT(trace, 0);
    for (int i = 0; i < 200 && !has(tavtest::read_file(log), "held"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const Args& args : {Args{"ext", "read"}, Args{"pos", "read", "p.k7l"}, Args{"vv", "read", "v.m7v", "--entry", "2"},
                             Args{"para", "read", "s.k7p"}, Args{"identify"}, Args{"start", "3"}, Args{"status"}}) {
        const auto r = tav(args);
        EXPECT_EQ(r.status, 1) << joined(args) << r.out << r.err;
        EXPECT_TRUE(has(r.err, "held by the line trace of another program (lock file ") && has(r.err, "trace.lck): -18"))
            << joined(args) << r.err;
    }
    ::kill(trace, SIGTERM);
    tavtest::wait_exit(trace);
    EXPECT_FALSE(install_.station_list().empty());
    EXPECT_EQ(tav({"ext", "read"}).status, 0) << "free again";
}

// 9: numbers are parsed strictly; a usage error exits 2 with a message.
TEST_F(HostCli, NumbersAreParsedStrictlyAndUsageErrorsExit2WithAMessage) {
    ASSERT_EQ(tav({"para", "new", "LIN", "n.k7p"}).status, 0);
    EXPECT_EQ(tavtest::read_file(install_.work("n.k7p")).rfind("SERVO,LIN,", 0), 0u) << "LIN made another model";
    EXPECT_TRUE(has(tav({"message", "010"}).out, "    10  ")) << "010 read as octal";
    const Args usageErrors[] = {
        {"para", "new", "LINX", "n.k7p"}, {"pos", "point", "abc", "4"}, {"pos", "point", "4x"},
        {"message", "0x10"},              {"run", "on", "1.5"},          {"start", "0"},
        {"ext", "read", "change", "3", "1.5x"}, {"ext", "read", "show", "abc"}, {"trace", "-1"},
        {"pos", "create", "p.k7l", "LIN2"},     {"ext", "--kind", "3", "show"}, {"para", "show", "n.k7p", "1.0"},
        {"nosuchcommand"},                      {"ext", "--nosuchoption", "read"}, {},
    };
    for (const Args& args : usageErrors) {
        const auto r = tav(args);
        EXPECT_EQ(r.status, 2) << joined(args) << r.out << r.err;
        EXPECT_TRUE(has(r.err, "tav: ")) << "no message for " << joined(args) << r.err;
    }
    EXPECT_EQ(install_.tav_raw({"--lang", "de", "version"}).status, 2);
}

TEST_F(HostCli, EveryCommandHasHelpVersionAndHelpCommand) {
    // Every command and every sub-command.
    std::vector<Args> commands{{}};
    for (const char* c : {"version", "message", "trace", "help", "stations", "select", "identify", "online", "offline",
                          "run", "jog", "start", "cancel", "status", "demo", "ext", "para", "pos", "vv"})
        commands.push_back({c});
    for (const char* s : {"new", "show", "set", "reset", "read", "write", "print", "csv"}) commands.push_back({"para", s});
    for (const char* s : {"create", "show", "set", "insert", "reset", "dp", "comment", "read", "write", "point", "export"})
        commands.push_back({"pos", s});
    for (const char* s : {"create", "show", "load", "save", "csv", "change", "insert", "delete", "reset", "read", "write",
                          "init", "list"})
        commands.push_back({"vv", s});
    for (Args args : commands) {
        args.push_back("--help");
        const auto r = tav(args);
        EXPECT_EQ(r.status, 0) << joined(args) << r.err;
        EXPECT_TRUE(has(r.out, "Usage: tav")) << joined(args) << r.out;
    }
    EXPECT_TRUE(has(tav({"--help"}).out, "vv "));
    EXPECT_TRUE(has(tav({"ext", "read", "--help"}).out, "Actions"));
    EXPECT_TRUE(std::regex_search(tav({"--version"}).out, std::regex("^tav [0-9.]+ \\(library ")));
    const auto help = tav({"help", "pos", "write"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(has(help.out, "--entry")) << help.out;
}

// 5: --json puts exactly one document on stdout, whatever else the command says.
TEST_F(HostCli, JsonOutputIsOneDocumentOnStdout) {
    ASSERT_EQ(tav({"ext", "--file", "e.k7p", "read", "save"}).status, 0);
    ASSERT_EQ(tav({"pos", "read", "p.k7l"}).status, 0);
    ASSERT_EQ(tav({"para", "new", "LIN", "s.k7p"}).status, 0);
    const Args commands[] = {
        {"version"}, {"message", "0", "-31"}, {"stations"}, {"identify", "--record"}, {"status"}, {"cancel"},
        {"ext", "--file", "e.k7p", "read", "change", "3", "44", "show", "3", "write", "save"},
        {"ext", "compare", "e.k7p"}, {"pos", "show", "p.k7l"}, {"pos", "read", "q.k7l"}, {"pos", "write", "p.k7l", "--all"},
        {"pos", "point", "2"}, {"vv", "read", "v.m7v", "--entry", "2"}, {"vv", "write", "v.m7v", "--entry", "2"},
        {"para", "show", "s.k7p", "1"}, {"ext", "--entry", "9", "read"}};
    for (Args args : commands) {
        args.insert(args.begin(), "--json");
        const auto r = tav(args);
        nlohmann::json doc;
        ASSERT_NO_THROW(doc = nlohmann::json::parse(r.out)) << joined(args) << "\n" << r.out;
        EXPECT_TRUE(doc.is_object()) << joined(args);
        EXPECT_EQ(doc.value("exit", -1), r.status) << joined(args);
    }
    const auto ext = tav({"--json", "ext", "--file", "e.k7p", "show", "3"});
    EXPECT_EQ(nlohmann::json::parse(ext.out)["parameters"][0]["value"], 44);
}

// 10: messages name the file, entry or device and the system's reason.
TEST_F(HostCli, MessagesNameTheirFileEntryAndReason) {
    const auto missing = tav({"pos", "show", "nosuch.k7l"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(has(missing.err, "load nosuch.k7l (No such file or directory): -3")) << missing.err;
    ASSERT_EQ(tav({"para", "new", "LIN", "s.k7p"}).status, 0);
    const auto standard = tav({"ext", "load", "s.k7p", "show", "3"});
    EXPECT_EQ(standard.status, 1);
    EXPECT_TRUE(has(standard.err, "load s.k7p: it holds 40 parameters, a standard-parameter file")) << standard.err;
    const auto folder = tav({"vv", "create", "VEL", "/nonexistent/v.m7v"});
    EXPECT_TRUE(has(folder.err, "save /nonexistent/v.m7v (")) << folder.err;
    // COM1 mapped to a device that is not there.
    tavtest::TempDir other;
    const std::string gone = other.file("ttyGONE");
    std::ofstream(install_.home("wyn.ini"), std::ios::binary) << "[Ports]\r\nCOM1=" << gone << "\r\n";
    const auto line = tav({"identify"});
    EXPECT_EQ(line.status, 1);
    EXPECT_TRUE(has(line.err, "COM1 (" + gone + ") (No such file or directory)")) << line.err;
}

// A file cut short loads with the library's result 0; the host says how much
// of it was there. A whole file loads without a word.
TEST_F(HostCli, AFileCutShortLoadsWithAWarningThatCountsWhatItHeld) {
    ASSERT_EQ(tav({"pos", "create", "p.k7l"}).status, 0);
    ASSERT_EQ(tav({"vv", "create", "VEL", "v.m7v"}).status, 0);
    ASSERT_EQ(tav({"para", "new", "LIN", "s.k7p"}).status, 0);
    ASSERT_EQ(tav({"ext", "--file", "e.k7p", "read", "save"}).status, 0);
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
        const auto whole = tav(c.show);
        EXPECT_EQ(whole.status, 0) << whole.err;
        EXPECT_FALSE(has(whole.err, "warning")) << whole.err;
        std::istringstream in(tavtest::read_file(install_.work(c.file)));
        std::string cut, line;
        for (int i = 0; i < c.keptLines && std::getline(in, line); ++i) cut += line + "\n";
        std::ofstream(install_.work(c.file), std::ios::binary) << cut.substr(0, cut.size() - 1);  // the last line without its LF
        const auto r = tav(c.show);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(has(r.err, std::string("warning: ") + c.warning)) << r.err;
        Args json = c.show;
        json.insert(json.begin(), "--json");
        EXPECT_TRUE(has(tav(json).out, c.warning));
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
    const auto r = tav({"vv", "read", "v.m7v", "--entry", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
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
    const auto page = tav({"ext", "read", "show"});
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
        const auto tty = tav(args, {true, {}});
        ASSERT_EQ(tty.status, 0) << joined(args) << tty.err;
        EXPECT_TRUE(has(tty.err, "] 100%")) << joined(args) << tty.err;
        EXPECT_FALSE(has(tty.out, "%")) << tty.out;
        const auto pipe = tav(args);
        EXPECT_FALSE(has(pipe.err, "%") || has(pipe.out, "%")) << "a bar in a pipe: " << pipe.err;
    }
}

// Ctrl-C during a transfer: -31, exit 130, and servo.con as it was.
class HostCliSlow : public HostCli {
protected:
    HostCliSlow() : HostCli("", {"--turnaround-us", "100000"}) {}
};

TEST_F(HostCliSlow, CtrlCCancelsWithExit130AndPutsTheSelectionBack) {
    for (const Args& args : {Args{"vv", "read", "v.m7v", "--entry", "2"}, Args{"ext", "read"}}) {
        const auto r = tav(args, {false, [&](pid_t pid) {
                                      for (int i = 0; i < 300 && !has(tavtest::read_file(install_.work(".out")), "station"); ++i)
                                          std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                      std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                      ::kill(pid, SIGINT);
                                  }});
        EXPECT_EQ(r.status, 130) << joined(args) << r.out << r.err;
        EXPECT_TRUE(has(r.err, "read: -31")) << r.err;
    }
}

// Killed while it had the selection borrowed: the next command puts the
// user's list back, byte for byte, before anything reads the selection.
TEST_F(HostCliSlow, AKilledCommandsBorrowedSelectionIsPutBackByTheNext) {
    const std::string before = install_.station_list();
    const auto killed = install_.tav({"vv", "read", "v.m7v", "--entry", "2"}, {false, [&](pid_t pid) {
                                          for (int i = 0; i < 300 && !has(tavtest::read_file(install_.work(".out")), "station"); ++i)
                                              std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                          std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                          ::kill(pid, SIGKILL);
                                      }});
    EXPECT_EQ(killed.status, -1);
    ASSERT_NE(install_.station_list(), before) << "killed after the transfer, not during it";
    const auto next = install_.tav({"--json", "stations"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(install_.station_list(), before);
    EXPECT_EQ(nlohmann::json::parse(next.out, nullptr, false).value("selected", 0), 1) << next.out;
}

}  // namespace
