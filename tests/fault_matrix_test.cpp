// Every transfer against every fault the simulator can inject, end to end
// through the exported functions and the in-process "sim:" line. Each case
// checks the exact result, the per-item result where the transfer keeps one,
// the progress fields, that the line is closed and the port lock released
// (the same transfer right after, without the fault, succeeds).
//
// Adding a transfer is one row of kTransfers with its expected results.
#include <gtest/gtest.h>

#include <filesystem>
#include <array>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "Tav_acs.h"
#include "fixtures/temp_dirs.h"
#include "wynapi/wynapi.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The faults, in the column order of the expectation rows.
enum Fault {
    kStrData,         // STR1 bit 6
    kStrTransmission, // STR1 bit 5
    kStrInitialising, // STR1 bit 3
    kStrRefused,      // STR1 bit 7
    kStrProtected,    // STR1 bits 7 and 2
    kMemoryError,     // control byte bit 3 / point status bit 7 of item 5
    kDataSize,        // processing status 12
    kTimeOut,         // no reply at all
    kGarbled,         // every reply with a bad CRC
    kMutexRefused,    // the component's mutex held elsewhere
    kFamilyStation0,  // station 0 reports a KESTA7
    kFamilyAmplifier, // the amplifier reports a servo operator
    // Faults the retries absorb; rows need not list them (0 when omitted).
    kLostReply,       // the first reply lost: the retry gets the device's cached answer
    kEcho,            // an RS-485 adapter echoes every request
    kFaultCount
};

const char* const kFaultNames[kFaultCount] = {
    "StrData", "StrTransmission", "StrInitialising", "StrRefused", "StrProtected", "MemoryError",
    "DataSize", "TimeOut", "Garbled", "MutexRefused", "FamilyStation0", "FamilyAmplifier",
    "LostReply", "Echo"};

constexpr int kNone = 1000;  // no per-item result to check

struct Expect {
    int rc;
    int item = kNone;  // nResult / nStatus of item 5
};
// One expectation per fault, in the order of the Fault enumeration.
using E = std::array<Expect, kFaultCount>;

// The data sets and the installation one case works on.
struct Bench {
    tavtest::TempHost host;
    tavtest::TempInstall home;
    std::unique_ptr<ParaSet> para = std::make_unique<ParaSet>();
    std::unique_ptr<NewParaSet> newpara = std::make_unique<NewParaSet>();
    std::unique_ptr<ItiDatSet> iti = std::make_unique<ItiDatSet>();
    std::unique_ptr<ItiVvDatSet> vv = std::make_unique<ItiVvDatSet>();
    unsigned char status[17] = {};
    int ready = 0;

    void state(const json& j) { home.write("state.json", j.dump()); }
};

struct Transfer {
    const char* name;
    int station;          // the device the data command goes to
    const char* command;  // the data command the STR1 rules and status 12 hit
    bool ranged;          // the rules hit item 5 only (else every request of the command)
    // The device list key that makes item 5 a memory error (null: none applies).
    const char* memoryKey;
    // Runs with a clean line before the fault is set (reads a set to write back).
    std::function<void(Bench&)> prepare;
    std::function<short(Bench&)> run;
    // nResult / nStatus of item 5 after the run; null when the transfer keeps none.
    std::function<int(Bench&)> item;
    // Progress fields of the set; null for commands without a set.
    std::function<std::pair<int, int>(Bench&)> progress;
    std::array<Expect, kFaultCount> expect;
    bool offline = false;  // the amplifier starts offline (test run)
};

// The default line as a device list, for states that change one device.
json devices(const Transfer& t, bool memoryError) {
    json d = json::array({{{"station", 0}, {"type", "operator"}},
                          {{"station", 1}, {"type", "amplifier"}, {"model", "L"}, {"offline", t.offline}, {"run_on", t.offline}},
                          {{"station", 2}, {"type", "amplifier"}, {"model", "V"}}});
    if (memoryError && t.memoryKey != nullptr) {
        if (t.station == 0) {
            const json kind = json::array({json::object(), json::object(), json::object(), json::object(),
                                           {{"mem_error", true}}});
            d[0]["std"] = {kind, kind, kind};
        } else {
            d[t.station][t.memoryKey] = {5};
        }
    }
    return d;
}

// Set-up shared by the rows.
void read_newpara(Bench& b) { ASSERT_EQ(srvTav_NewPara_ComRd(nullptr, "1", 0, b.newpara.get(), 0, 0), 0); }
void read_para(Bench& b, int kind) { ASSERT_EQ(srvTav_Para_ComRd(nullptr, "1", kind, b.para.get()), 0); }
void read_iti(Bench& b) { ASSERT_EQ(srvTav_ItiDat_ComRd(nullptr, "1", b.iti.get()), 0); }
void read_vv(Bench& b) { ASSERT_EQ(srvTav_ItiVvDat_ComRd(nullptr, "2", b.vv.get()), 0); }

// Opens the line for the live commands, which expect the caller to hold it.
short live(const std::function<short()>& command) {
    const short open = srvTav_Wyn_Net_Open();
    if (open != 0) return static_cast<short>(1000 + open);
    const short rc = command();
    Wyn_Net_Close();
    return rc;
}

// The progress fields of one of the bench's sets (int{}: copies, the sets are packed).
template <class Set>
std::function<std::pair<int, int>(Bench&)> progress_of(std::unique_ptr<Set> Bench::*set) {
    return [set](Bench& b) { return std::pair<int, int>(int{(b.*set)->nProgressTotal}, int{(b.*set)->nProgressDone}); };
}

Transfer std_read(int kind, const char* name, const E& expect) {
    return {name, 0, kind == 2 ? "access" : "std_read", kind != 2, "std", nullptr,
            [kind](Bench& b) { return srvTav_Para_ComRd(nullptr, "1", kind, b.para.get()); },
            [](Bench& b) { return b.para->para[4].nResult; }, progress_of(&Bench::para), expect};
}

Transfer std_write(int kind, const char* name, const E& expect) {
    return {name, 0, kind == 2 ? "access" : "std_write", kind != 2, "std",
            [kind](Bench& b) {
                read_para(b, kind);
                ASSERT_EQ(srvTav_Para_Dat_Chg(b.para.get(), 5, b.para->para[4].dValue == 1 ? 2 : 1), 0);
            },
            [](Bench& b) { return srvTav_Para_ComWt(nullptr, "1", 0, 0, b.para.get()); },
            [](Bench& b) { return b.para->para[4].nResult; }, progress_of(&Bench::para), expect};
}

std::vector<Transfer> make_transfers() {
    std::vector<Transfer> t;
    // ------------------------------------------------------------ extended parameters
    t.push_back({"NewParaRead", 1, "para_read", true, "mem_error_params", nullptr,
                 [](Bench& b) { return srvTav_NewPara_ComRd(nullptr, "1", 0, b.newpara.get(), 0, 0); },
                 [](Bench& b) { return b.newpara->para[4].nResult; }, progress_of(&Bench::newpara),
                 E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {-22, 0}, {-22, 0}}}});
    t.push_back({"NewParaWrite", 1, "para_write", true, "mem_error_params",
                 [](Bench& b) {
                     read_newpara(b);
                     ASSERT_EQ(srvTav_NewPara_Dat_Chg(b.newpara.get(), 5, b.newpara->para[4].dValue == 1 ? 2 : 1), 0);
                 },
                 [](Bench& b) { return srvTav_NewPara_ComWt(nullptr, "1", 0, 0, b.newpara.get()); },
                 [](Bench& b) { return b.newpara->para[4].nResult; }, progress_of(&Bench::newpara),
                 E{{{-27, -27}, {-28, -28}, {-29, -29}, {-35, -35}, {-35, -35}, {0, 0}, {12, 0}, {2, 0}, {3, 0}, {1, 0}, {-22, 0}, {0, 0}}}});
    t.push_back({"NewParaInitialWrite", 1, "para_write", true, "mem_error_params", read_newpara,
                 [](Bench& b) { return srvTav_NewPara_ComInitWt(b.newpara.get()); }, nullptr, progress_of(&Bench::newpara),
                 E{{{-27}, {-28}, {-29}, {-35}, {-35}, {0}, {12}, {2}, {3}, {1}, {-22}, {0}}}});
    // ------------------------------------------------------------ standard parameters
    // Kind 2 goes by direct access: its rules hit every access, so a write
    // fails at the opening access before any parameter is sent.
    t.push_back(std_read(0, "StdReadKind0", E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {-22, 0}, {0, 0}}}));
    t.push_back(std_write(0, "StdWriteKind0", E{{{-27, -27}, {-28, -28}, {-29, -29}, {-35, -35}, {-35, -35}, {0, 0}, {12, 12}, {2, 0}, {3, 0}, {1, 0}, {0, 0}, {0, 0}}}));
    t.push_back(std_read(1, "StdReadKind1", E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {-22, 0}, {0, 0}}}));
    t.push_back(std_write(1, "StdWriteKind1", E{{{-27, -27}, {-28, -28}, {-29, -29}, {-35, 0}, {-35, 0}, {0, 0}, {12, 12}, {2, 0}, {3, 0}, {1, 0}, {0, 0}, {0, 0}}}));
    t.push_back(std_read(2, "StdReadKind2", E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {1, 0}, {-22, 0}, {0, 0}}}));
    t.push_back(std_write(2, "StdWriteKind2", E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, 0}, {12, 0}, {2, 0}, {3, 0}, {1, 0}, {0, 0}, {0, 0}}}));
    // ------------------------------------------------------------ positioning data
    t.push_back({"PointRead", 1, "point_read", true, "mem_error_points", nullptr,
                 [](Bench& b) { return srvTav_ItiDat_ComRd(nullptr, "1", b.iti.get()); },
                 [](Bench& b) { return b.iti->point[4].nStatus; }, progress_of(&Bench::iti),
                 E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {0, 0}, {0, 0}}}});
    t.push_back({"PointWrite", 1, "point_write", true, "mem_error_points",
                 [](Bench& b) {
                     read_iti(b);
                     const ItiDatPoint& p = b.iti->point[4];
                     ASSERT_EQ(srvTav_ItiDat_Chg(b.iti.get(), 5, p.nCmdMode, p.nStepMode, p.dStopPos + 1, p.dSpeed,
                                                 p.dStopTimer, p.nMCode, p.nMValid, p.nMTiming), 0);
                 },
                 [](Bench& b) { return srvTav_ItiDat_ComWt(nullptr, "1", 0, b.iti.get()); },
                 [](Bench& b) { return b.iti->point[4].nStatus; }, progress_of(&Bench::iti),
                 E{{{-27, -27}, {-28, -28}, {-29, -29}, {-33, -33}, {-35, -35}, {0, 0}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {-44, 0}, {0, 0}}}});
    // ------------------------------------------------------------ VV positioning data
    t.push_back({"VvRead", 2, "point_read", true, "mem_error_points", nullptr,
                 [](Bench& b) { return srvTav_ItiVvDat_ComRd(nullptr, "2", b.vv.get()); },
                 [](Bench& b) { return b.vv->point[4].nStatus; }, progress_of(&Bench::vv),
                 E{{{-27, 0}, {-28, 0}, {-29, 0}, {-33, 0}, {-35, 0}, {0, -25}, {12, 0}, {2, 0}, {3, 0}, {1, 0}, {-22, 0}, {-22, 0}}}});
    t.push_back({"VvWrite", 2, "point_write", true, "mem_error_points",
                 [](Bench& b) {
                     read_vv(b);
                     const ItiVvDatPoint& p = b.vv->point[4];
                     ASSERT_EQ(srvTav_ItiVvDat_Chg(b.vv.get(), 5, p.nCmdMode, p.nStepMode, p.dStopPos + 1, p.dSpeed,
                                                   p.dAccelTime, p.dDecelTime, p.dStopTimer, p.nMCode, p.nMValid,
                                                   p.nMTiming), 0);
                 },
                 [](Bench& b) { return srvTav_ItiVvDat_ComWt(nullptr, "2", 0, b.vv.get()); },
                 [](Bench& b) { return b.vv->point[4].nStatus; }, progress_of(&Bench::vv),
                 E{{{-27, -27}, {-28, -28}, {-29, -29}, {-33, -33}, {-35, -35}, {0, 0}, {12, 0}, {2, 0}, {3, 0}, {1, 0}, {-22, 0}, {0, 0}}}});
    t.push_back({"VvInitialWrite", 2, "point_write", true, "mem_error_points", read_vv,
                 [](Bench& b) { return srvTav_ItiVvDat_InitWt(b.vv.get()); }, nullptr, progress_of(&Bench::vv),
                 E{{{-27}, {-28}, {-29}, {-33}, {-35}, {0}, {12}, {2}, {3}, {1}, {-22}, {0}}}});
    // ------------------------------------------------------------ test run (line held by the caller)
    t.push_back({"Offline", 1, "offline", false, nullptr, nullptr,
                 [](Bench& b) { return srvTav_Open_OffONline_Close(0, b.status); }, nullptr, nullptr, 
                 E{{{-27}, {-28}, {-29}, {-33}, {-35}, {0}, {12}, {2}, {3}, {0}, {0}, {0}}}});
    t.push_back({"StatusRead", 1, "status", false, nullptr, nullptr,
                 [](Bench& b) { return live([&] { return srvTav_Status_Rd(1, b.status, &b.ready); }); },
                 [](Bench& b) { return static_cast<int>(b.status[0]); }, nullptr, 
                 E{{{0, 64}, {0, 32}, {0, 8}, {0, 128}, {0, 132}, {0, 0}, {12, 0}, {2, 0}, {3, 0}, {0, 0}, {0, 0}, {0, 0}}}});
    t.push_back({"Jog", 1, "jog_plus", false, nullptr, nullptr,
                 [](Bench& b) { return live([&] { return srvTav_ManuPluse_Snd(1, 1, b.status); }); }, nullptr,
                 nullptr, 
                 E{{{-27}, {-28}, {-29}, {-33}, {-35}, {0}, {12}, {2}, {3}, {0}, {0}, {0}}}});
    t.back().offline = true;  // jogging needs test-run mode with the run on
    return t;
}

const std::vector<Transfer>& transfers() {
    static const std::vector<Transfer> t = make_transfers();
    return t;
}

json faults_for(const Transfer& t, Fault f) {
    json state = json::object();
    json faults = json::object();
    state["devices"] = devices(t, f == kMemoryError);
    auto rule = [&](json r) {
        r["station"] = t.station;
        r["command"] = t.command;
        if (t.ranged) r["first"] = 5, r["last"] = 5;
        r["count"] = -1;
        faults["rules"] = json::array({r});
    };
    switch (f) {
    case kStrData: rule({{"str1", 0x40}}); break;
    case kStrTransmission: rule({{"str1", 0x20}}); break;
    case kStrInitialising: rule({{"str1", 0x08}}); break;
    case kStrRefused: rule({{"str1", 0x80}}); break;
    case kStrProtected: rule({{"str1", 0x84}}); break;
    case kDataSize: rule({{"status", 12}}); break;
    case kTimeOut: faults["timeout_next"] = 1000; break;
    case kGarbled: faults["garble_next"] = 1000; break;
    case kMutexRefused: faults["refuse_mutex"] = true; break;
    case kFamilyStation0: faults["family"] = {{"0", 0x30}}; break;
    case kFamilyAmplifier: faults["family"] = {{std::to_string(t.station == 0 ? 1 : t.station), 0x50}}; break;
    case kLostReply: faults["drop_next"] = 1; break;
    case kEcho: faults["echo"] = true; break;
    default: break;
    }
    state["faults"] = faults;
    return state;
}

class FaultMatrix : public ::testing::TestWithParam<std::tuple<size_t, int>> {
protected:
    void install(const Transfer& t) {
        tavtest::install_sample(b.home, {"servo.set"});
        std::string con = tavtest::read_file(tavtest::sample_file("servo.con"));
        const std::size_t eol = con.find("\r\n");
        ASSERT_NE(eol, std::string::npos);
        // "SERVO,   <entry>": the VV rows work on the second entry, which is also the current target.
        con.replace(eol - 1, 1, t.station == 2 ? "2" : "1");
        b.home.write("servo.con", con);
        tavtest::line_on_simulator(b.home);
        fs::create_directories(b.home.file("lock"));
        // The servo operator's definitions for station 0, the amplifiers' for the others.
        const std::string defs = t.station == 0 ? "/share/tav-operator/def" : "/share/tav/def";
        fs::copy(TAV_BUILD_DIR + defs, b.home.file("def"), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    Bench b;
};

TEST_P(FaultMatrix, ExactResultThenACleanTransfer) {
    const Transfer& t = transfers()[std::get<0>(GetParam())];
    const Fault f = static_cast<Fault>(std::get<1>(GetParam()));
    const Expect& want = t.expect[f];
    install(t);
    // The state, then the set-up on a clean line (faults come after it).
    const auto arm = [&](const json& state) {
        b.state({{"devices", devices(t, false)}});
        if (t.prepare) t.prepare(b);
        if (!state.is_null()) b.state(state);
    };
    arm(faults_for(t, f));
    if (HasFatalFailure()) return;
    const short rc = t.run(b);
    EXPECT_EQ(rc, want.rc) << t.name << " under " << kFaultNames[f];
    if (t.item && want.item != kNone) {
        EXPECT_EQ(t.item(b), want.item) << "item 5";
    }
    if (t.progress) {
        const auto [total, done] = t.progress(b);
        if (rc == 0) {
            EXPECT_GT(total, 0);
            EXPECT_EQ(done, total);
        } else {
            // -1, or what the block mover counted before it stopped.
            EXPECT_TRUE(done == -1 || (done >= 0 && done <= total)) << total << " / " << done;
        }
    }
    EXPECT_EQ(Wyn_Net_Close(), 5) << "the line was left open";

    // The fault gone, the same transfer goes through: lock and line are free.
    arm(nullptr);
    if (HasFatalFailure()) return;
    EXPECT_EQ(t.run(b), 0) << "after " << kFaultNames[f];
    EXPECT_EQ(Wyn_Net_Close(), 5);
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<size_t, int>>& info) {
    return std::string(transfers()[std::get<0>(info.param)].name) + "_" + kFaultNames[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Transfers, FaultMatrix,
                         ::testing::Combine(::testing::Range<size_t>(0, transfers().size()),
                                            ::testing::Range(0, static_cast<int>(kFaultCount))),
                         case_name);

}  // namespace
