// Whole-line backup and restore, diff, and the exported tables, end to end:
// tav against a temporary installation whose line is servo-sim on a
// pseudo-terminal (station 0 the servo operator, entry 1 a KESTA7 L type,
// entry 2 a KESTA7 Mini V type). Values are changed behind the tool's back
// through servo-sim's state file, faults injected the same way.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/tav_process.h"
#include "host/core/backup.h"
#include "host/core/sha256.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Args = std::vector<std::string>;

using tavtest::has;

// Every file a manifest lists holds the bytes of its checksum.
void expect_checksums(const Json& manifest, const std::string& dir) {
    for (const Json& f : manifest["files"])
        EXPECT_EQ(f["sha256"], tavhost::core::sha256_hex(tavtest::read_file(dir + "/" + f["file"].get<std::string>())))
            << f["file"];
}

// Point images as servo-sim keeps them: status, stop position (10 digits),
// speed (2 places), stop timer (2 places), M code; a VV point adds the
// acceleration and deceleration times (1 place).
std::string point(int stopPos, const char* speed = "20010000", const char* timer = "20000000") {
    char text[40];
    std::snprintf(text, sizeof text, "00%012d%s%s00", stopPos, speed, timer);
    return text;
}
std::string vv_point(int stopPos, const char* accel = "10000100") { return point(stopPos) + accel + "10000100"; }

// The default line with, behind the tool's back: standard parameter 5 = 77,
// system parameter 3 = 555, extended parameter 3 of entry 1 = 4500, its point 2
// at 2500, and the acceleration of entry 2's point 1 at 25.0.
const Json kChangedLine = Json::parse(R"({"devices": [
  {"station": 0, "type": "operator", "std": [[{}, {}, {}, {}, {"value": "000000000077"}], [{}, {}, {"value": "000000000555"}]]},
  {"station": 1, "model": "L", "params": ["000000000001", "000000000002", "000000004500"],
   "points": [")" + point(1000) + R"(", ")" + point(2500) + R"("]},
  {"station": 2, "model": "V", "points": [")" + vv_point(1000, "10000250") + R"("]}]})");

const char* const kBackupFiles[] = {"operator.k7p", "operator.syp", "operator.hsp", "entry01-station001.k7p",
                                    "entry01-station001.k7l", "entry02-station002.m7p", "entry02-station002.m7v"};

class HostBackup : public tavtest::TavTest {
protected:
    std::string work(const std::string& name) const { return install_.work(name); }
    Json manifest(const std::string& dir) const { return Json::parse(tavtest::read_file(work(dir + "/manifest.json"))); }
    Json device(int station) const { return install_.sim_device(station); }
};

TEST(Sha256, KnownVectors) {
    using tavhost::core::sha256_hex;
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256_hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The core's own cancel flag, as a front end without signals uses it: the
// transfer in work stops at its next exchange, the manifest says why.
TEST(HostBackupCore, AStopRequestEndsTheBackupWithAnIncompleteManifest) {
    tavtest::TempInstall home;
    tavtest::install_sample(home, {});
    home.write("wyn.ini", tavtest::installation_ini("sim:" + home.file("state.json")));
    std::atomic<bool> stop{false};
    std::vector<unsigned> seen;
    tavhost::core::Progress progress;
    progress.stop = &stop;
    progress.report = [&](unsigned percent, const std::string& file) {
        seen.push_back(percent);
        if (file == "entry01-station001.k7p") stop = true;
    };
    tavhost::core::Manifest m;
    const auto r = tavhost::core::backup_line({home.file("b"), std::nullopt, "test"}, progress, m);
    EXPECT_EQ(r.code, -31);
    EXPECT_FALSE(m.complete);
    EXPECT_EQ(m.reasonCode, -31);
    EXPECT_EQ(m.files.size(), 3u) << "the servo operator's pages, not the amplifier's set in work";
    EXPECT_EQ(tavtest::read_file(home.file("b/manifest.json")), tavhost::core::manifest_json(m));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "one overall progress that never goes back";
}

TEST_F(HostBackup, EverySetOfEveryDeviceIsSavedWithItsChecksumInACompleteManifest) {
    tav({"backup", "b"});
    const Json m = manifest("b");
    EXPECT_TRUE(m["complete"].get<bool>());
    EXPECT_EQ(m["tool"], "tav 1.00");
    std::vector<std::string> types;
    for (const Json& d : m["devices"]) types.push_back(std::to_string(d["station"].get<int>()) + d["type"].get<std::string>());
    EXPECT_EQ(types, (std::vector<std::string>{"0operator", "1L", "2V"}));
    std::vector<std::string> names;
    for (const Json& f : m["files"]) names.push_back(f["file"]);
    expect_checksums(m, work("b"));
    EXPECT_EQ(names, std::vector<std::string>(std::begin(kBackupFiles), std::end(kBackupFiles)));
    // The sets as the devices hold them: the simulator's extended parameter n holds n.
    EXPECT_EQ(tavtest::read_file(work("b/entry01-station001.k7p")).rfind("SERVO,LIN, 001,", 0), 0u);
    // --entry: that amplifier only, without the servo operator.
    tav({"backup", "one", "--entry", "2"});
    EXPECT_EQ(std::make_pair(manifest("one")["files"].size(), manifest("one")["devices"].size()), std::make_pair(2ul, 1ul));
}

TEST_F(HostBackup, RestorePutsBackExactlyTheValuesChangedBehindItsBack) {
    tav({"backup", "b"});
    install_.set_sim_state(kChangedLine.dump());
    const auto dry = tav({"restore", "b", "--dry-run"}, 0, "4500 -> 3");
    EXPECT_TRUE(has(dry.out, "0 0 2500 100.00 0.00 0 0 0 -> 0 0 2000 100.00 0.00 0 0 0")) << dry.out;
    EXPECT_EQ(install_.sim_state(), kChangedLine.dump()) << "a dry run writes nothing";

    // --entry: that amplifier's sets only.
    const auto one = tav({"restore", "b", "--entry", "2"});
    EXPECT_EQ(device(2)["points"][0], vv_point(1000));
    EXPECT_EQ(device(1)["params"][2], "000000004500");
    EXPECT_FALSE(has(one.out, "operator.k7p")) << one.out;

    std::vector<std::string> counts;  // file: differ/written/verified
    const Json doc = Json::parse(tav({"--json", "restore", "b"}).out);
    for (const Json& s : doc["sets"])
        counts.push_back(s["file"].get<std::string>() + " " + std::to_string(s["differ"].get<int>()) + "/" +
                         std::to_string(s["written"].get<int>()) + "/" + std::to_string(s["verified"].get<int>()));
    EXPECT_EQ(counts, (std::vector<std::string>{"operator.k7p 1/1/1", "operator.syp 1/1/1", "operator.hsp 0/0/0",
                                                "entry01-station001.k7p 1/1/1", "entry01-station001.k7l 1/1/1",
                                                "entry02-station002.m7p 0/0/0", "entry02-station002.m7v 0/0/0"}));
    // The devices hold the backed-up values exactly.
    EXPECT_EQ((Json{device(0)["std"][0][4]["value"], device(0)["std"][1][2]["value"], device(1)["params"][2],
                    device(1)["points"][1], device(2)["points"][0]}),
              (Json{"000000000005", "000000000103", "000000000003", point(2000), vv_point(1000)}));
    for (const char* f : kBackupFiles) {
        Args args{"diff", std::string("b/") + f};
        if (f[0] == 'e') args.insert(args.end(), {"--entry", std::string(1, f[6])});
        tav(args);
    }
}

// A restore refused before the line is touched, or stopped by a refused
// write: the reason named, and nothing sent past it.
TEST_F(HostBackup, ARefusedRestoreNamesItsReasonAndWritesNothingPastIt) {
    tav({"backup", "b"});
    Json family = kChangedLine, refused = kChangedLine;
    family["devices"][2]["family"] = 48;  // a KESTA7 where the KESTA7 Mini was
    refused["faults"] = Json::parse(R"({"rules": [{"station": 1, "command": "point_write", "status": 16, "count": -1}]})");
    const struct {
        const char* name;
        Json line;
        bool changedFile;  // a byte of the backup's positioning table changed
        const char *out, *err;
        bool untouched;  // nothing reached a device
    } cases[] = {
        {"another family", family, false, "2      2        family   KESTA7 Mini              KESTA7", "nothing was written", true},
        {"a changed backup file", kChangedLine, true, "", "entry01-station001.k7l is not the file the backup saved", true},
        {"a refused write", refused, false, "entry02-station002.m7v       2      2              0        0         0        0  -60",
         "entry01-station001.k7l: not written or not verified: 2", false},
    };
    const std::string k7l = tavtest::read_file(work("b/entry01-station001.k7l"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        install_.set_sim_state(c.line.dump());
        std::string bytes = k7l;
        if (c.changedFile) bytes.replace(bytes.find("0000002000"), 10, "0000002001");
        std::ofstream(work("b/entry01-station001.k7l"), std::ios::binary) << bytes;
        tav({"restore", "b"}, 1, c.out, c.err);
        if (c.untouched) {
            EXPECT_EQ(install_.sim_state(), c.line.dump()) << "nothing reached a device";
        }
    }
    EXPECT_EQ(device(1)["params"][2], "000000000003") << "the sets before the refused write were restored";
    EXPECT_EQ(device(2)["points"][0], vv_point(1000, "10000250")) << "the sets after it were not touched";
}

// A fault during the backup: the files read so far and a manifest that says
// it is incomplete, and why; never a manifest that looks complete.
TEST_F(HostBackup, AFaultDuringTheBackupLeavesAnIncompleteManifestWithTheReason) {
    const struct {
        const char* faults;
        std::size_t files;
        const char* reason;
    } cases[] = {
        {R"({"rules": [{"station": 1, "command": "point_read", "status": 16, "count": -1}]})", 4,
         "reading entry01-station001.k7l from entry 1, station 1: 16"},
        {R"({"timeout_next": 1000})", 0, "identification: 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        install_.set_sim_state(std::string(R"({"faults": )") + c.faults + "}");
        tav({"backup", "b"}, 1);
        const Json m = manifest("b");
        EXPECT_FALSE(m["complete"].get<bool>());
        EXPECT_TRUE(has(m["reason"], c.reason)) << m["reason"];
        EXPECT_EQ(m["files"].size(), c.files);
        expect_checksums(m, work("b"));
        tav({"restore", "b"}, 1, "", "is incomplete");  // an incomplete backup is never restored
        fs::remove_all(work("b"));
    }
}

// Ctrl-C in the middle: exit 130, the files saved so far, and a manifest that
// says the backup was cancelled. A slow line leaves time to press it.
TEST(HostBackupInterrupted, CtrlCLeavesTheFilesReadSoFarAndAnIncompleteManifest) {
    tavtest::TavInstall install("", {"--turnaround-us", "20000"});
    ASSERT_TRUE(install.ready());
    const pid_t pid = install.spawn({"backup", "b"}, "log");
    const std::string manifest = install.work("b/manifest.json");
    tavtest::eventually([&] {
        const std::string text = tavtest::read_file(manifest);
        return !text.empty() && !Json::parse(text)["files"].empty();
    });
    EXPECT_EQ(tavtest::kill_and_wait(pid, SIGINT), 130) << tavtest::read_file(install.work("log"));
    const Json m = Json::parse(tavtest::read_file(manifest));
    EXPECT_FALSE(m["complete"].get<bool>());
    EXPECT_EQ(m["reason_code"], -31) << m["reason"];
    ASSERT_FALSE(m["files"].empty());
    EXPECT_LT(m["files"].size(), 7u);
    expect_checksums(m, install.work("b"));
}

TEST_F(HostBackup, DiffListsExactlyTheChangedRowsAndExitsLikeDiff) {
    tav({"backup", "b"});
    for (const char* f : kBackupFiles) {
        const std::string a = std::string("b/") + f;
        EXPECT_EQ(tav({"diff", a, a}).out, "") << f;
    }
    fs::copy_file(work("b/operator.k7p"), work("s.k7p"));
    fs::copy_file(work("b/entry01-station001.k7l"), work("p.k7l"));
    tav({"para", "set", "s.k7p", "5=77", "9=99"});
    tav({"pos", "set", "p.k7l", "2", "1", "0", "2500", "150", "0.5", "12", "1", "0"});
    std::vector<std::string> rows;
    const Json doc = Json::parse(tav({"--json", "diff", "b/operator.k7p", "s.k7p"}, 1).out);
    for (const Json& d : doc["differences"])
        rows.push_back(std::to_string(d["no"].get<int>()) + " " + d["a"].get<std::string>() + " " + d["b"].get<std::string>());
    EXPECT_EQ(rows, (std::vector<std::string>{"5 5 77", "9 9 99"}));
    const auto pos = tav({"diff", "b/entry01-station001.k7l", "p.k7l"}, 1);
    EXPECT_EQ(pos.out.substr(pos.out.find('\n') + 1),
              "   2  point 2\n        A: 0 0 2000 100.00 0.00 0 0 0\n        B: 1 0 2500 150.00 0.50 12 1 0\n");
    tav({"diff", "b/operator.k7p", "p.k7l"}, 2);  // sets of two kinds
}

// export, then import into a copy edited meanwhile: the library's writer
// gives the original file back byte for byte, for every kind of set.
TEST_F(HostBackup, ExportThenImportRoundTripsEverySetKindByteForByte) {
    tav({"backup", "b"});
    const std::vector<std::pair<const char*, Args>> edits = {
        {"operator.k7p", {"para", "set", "c.k7p", "5=77"}},
        {"operator.syp", {"para", "set", "c.syp", "3=555"}},
        {"operator.hsp", {"para", "set", "c.hsp", "2=400.5"}},
        {"entry01-station001.k7p", {"ext", "--file", "c.k7p", "change", "3", "4500", "save"}},
        {"entry01-station001.k7l", {"pos", "set", "c.k7l", "2", "1", "0", "2500", "150", "0.5", "12", "1", "0"}},
        {"entry02-station002.m7p", {"ext", "--file", "c.m7p", "change", "8", "12.5", "save"}},
        {"entry02-station002.m7v", {"vv", "change", "c.m7v", "2", "0", "0", "4200", "80", "25", "30", "0.25", "5", "1", "1"}},
    };
    for (const auto& [file, edit] : edits) {
        const std::string original = work(std::string("b/") + file);
        for (const char* format : {"json", "csv"}) {
            const std::string table = std::string("t.") + format, copy = edit[2];
            SCOPED_TRACE(std::string(file) + " " + format);
            tav({"export", original, "--out", table});
            fs::copy_file(original, work(copy), fs::copy_options::overwrite_existing);
            tav(edit);
            ASSERT_NE(tavtest::read_file(work(copy)), tavtest::read_file(original)) << "the edit took";
            tav({"import", table, "--into", copy});
            EXPECT_EQ(tavtest::read_file(work(copy)), tavtest::read_file(original)) << file << " " << format;
        }
    }
    // A value outside its range is refused with its table line; the set file stays.
    tav({"export", work("b/operator.k7p"), "--out", "t.csv"});
    std::string csv = tavtest::read_file(work("t.csv"));
    csv.replace(csv.find("\r\n4,") + 2, csv.find("\r\n5,") - csv.find("\r\n4,") - 2, "4,,x,10000,,0,9999,4,0");
    std::ofstream(work("bad.csv"), std::ios::binary) << csv;
    fs::copy_file(work("b/operator.k7p"), work("d.k7p"));
    tav({"import", "bad.csv", "--into", "d.k7p"}, 1, "", "bad.csv line 5: parameter 4");
    EXPECT_EQ(tavtest::read_file(work("d.k7p")), tavtest::read_file(work("b/operator.k7p")));
}

}  // namespace
