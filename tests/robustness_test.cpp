// Hostile input at the C boundary: every pointer argument of every exported
// function null (and every text argument empty) while the other arguments are
// valid, numbers out of range, and regressions of faults found by fuzzing.
// A call must come back with a result code: no crash, no sanitizer report.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <type_traits>
#include <sstream>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "fixtures/temp_dirs.h"
#include "wynapi/wynapi.h"

namespace {

namespace fs = std::filesystem;

// Valid arguments for the positions that are not under test: each object in
// its own exactly sized, zeroed heap block, so that an overrun is reported.
struct Args {
    std::deque<std::vector<unsigned char>> blocks;
    TavWindow window{[](void*, unsigned, uintptr_t, intptr_t) {}, nullptr};
    std::string dir;

    unsigned char* block(std::size_t n) { return blocks.emplace_back(n, 0).data(); }
    template <class T>
    T* obj() { return reinterpret_cast<T*>(block(sizeof(T))); }
    char* out() { return reinterpret_cast<char*>(block(4096)); }
    unsigned char* bytes() { return block(8192); }
    // A sensible text for an input argument, by its name in the header.
    const char* text(const std::string& role) {
        static std::deque<std::string> keep;
        if (role == "station" || role == "stationText" || role == "ampText" || role == "selected") return "1";
        if (role == "name" || role == "text" || role == "label") return "x";
        if (role == "destination") return keep.emplace_back(dir + "/copy.k7l").c_str();
        return keep.emplace_back(dir + "/file.k7l").c_str();  // file, path, fileName, source
    }
};

// An exported function as the header declares it.
struct Declaration {
    std::vector<std::string> params;  // the parameter names in order
    bool pointer = false;             // some parameter is a pointer
};

std::map<std::string, Declaration> read_declarations() {
    std::string header = tavtest::read_file(std::string(TAV_SOURCE_DIR) + "/include/Tav_acs.h");
    for (std::size_t a; (a = header.find("/*")) != std::string::npos;)
        header.erase(a, header.find("*/", a) + 2 - a);
    auto is_name = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    std::map<std::string, Declaration> out;
    for (std::size_t at = 0; (at = header.find("TAV_API ", at)) != std::string::npos; ++at) {
        const std::size_t open = header.find('(', at), end = header.find(';', at);
        if (open == std::string::npos || end == std::string::npos || open > end) continue;
        std::size_t nameEnd = open;
        while (nameEnd > at && header[nameEnd - 1] == ' ') --nameEnd;
        std::size_t nameStart = nameEnd;
        while (nameStart > at && is_name(header[nameStart - 1])) --nameStart;
        if (nameStart == nameEnd || header.compare(nameStart, 2, "__") == 0) continue;  // TAV_API's own #define
        Declaration& d = out[header.substr(nameStart, nameEnd - nameStart)];
        // Each parameter's last word is its name ("void" alone is no parameter).
        const std::string list = header.substr(open + 1, header.rfind(')', end) - open - 1);
        d.pointer = list.find('*') != std::string::npos || list.find("HWND") != std::string::npos;
        for (std::size_t from = 0, depth = 0, i = 0; i <= list.size(); ++i) {
            if (i < list.size() && list[i] == '(') ++depth;
            if (i < list.size() && list[i] == ')') --depth;
            if (i < list.size() && (list[i] != ',' || depth > 0)) continue;
            std::size_t e = i;
            while (e > from && !is_name(list[e - 1])) --e;
            std::size_t b = e;
            while (b > from && is_name(list[b - 1])) --b;
            if (const std::string word = list.substr(b, e - b); !word.empty() && word != "void")
                d.params.push_back(word);
            from = i + 1;
        }
    }
    return out;
}

const std::map<std::string, Declaration>& declared() {
    static const auto declarations = read_declarations();
    return declarations;
}

// Argument `at` null (or "" when empty is set), every other one a valid
// argument of its type for the parameter of that name.
template <class T>
T argument(Args& b, const std::string& role, bool hit, bool empty) {
    using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_same_v<T, const char*>) return hit ? (empty ? "" : nullptr) : b.text(role);
    else if constexpr (!std::is_pointer_v<T>) return T(1);
    else if (hit) return nullptr;
    else if constexpr (std::is_same_v<T, char*>) return b.out();
    else if constexpr (std::is_same_v<T, HWND>) return &b.window;
    else if constexpr (std::is_same_v<Pointee, unsigned char> || std::is_void_v<Pointee>) return b.bytes();
    else return b.obj<Pointee>();
}

template <class R, class... P, std::size_t... I>
int call_with(R (*fn)(P...), Args& b, const std::vector<std::string>& roles, std::size_t at, bool empty,
              std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
        fn(argument<P>(b, roles.at(I), I == at, empty)...);
        return 0;
    } else {
        return static_cast<int>(fn(argument<P>(b, roles.at(I), I == at, empty)...));
    }
}

struct NullCall {
    std::string function, what;
    std::function<int(Args&)> call;
};

// One row per pointer argument (null) and per text argument (empty).
template <class R, class... P>
void add_rows(std::vector<NullCall>& rows, const char* name, R (*fn)(P...)) {
    const std::vector<std::string> roles = declared().at(name).params;
    EXPECT_EQ(roles.size(), sizeof...(P)) << name;
    if (roles.size() != sizeof...(P)) return;
    constexpr bool pointer[] = {std::is_pointer_v<P>..., false};
    constexpr bool text[] = {std::is_same_v<P, const char*>..., false};
    for (std::size_t at = 0; at < sizeof...(P); ++at)
        for (bool empty : {false, true}) {
            if (!pointer[at] || (empty && !text[at])) continue;
            rows.push_back({name, roles[at] + (empty ? " empty" : " null"), [=](Args& b) {
                                return call_with(fn, b, roles, at, empty, std::index_sequence_for<P...>{});
                            }});
        }
}

// The functions of a list, each with the rows of add_rows under its own name.
template <class... F>
void add_all(std::vector<NullCall>& rows, const char* list, F... fns) {
    std::vector<std::string> names;
    std::istringstream in(list);
    for (std::string name; std::getline(in >> std::ws, name, ',');) names.push_back(name);
    std::size_t i = 0;
    (add_rows(rows, names.at(i++).c_str(), fns), ...);
}

// Every exported function with a pointer argument. w1_test never returns, the
// variadic trace and lock functions take anything, and the message-box hook
// takes null by design: they are left out.
std::vector<NullCall> null_calls() {
    std::vector<NullCall> rows;
#define ROWS(...) add_all(rows, #__VA_ARGS__, __VA_ARGS__)
    ROWS(srvTav_SetVersion, srvTav_GetVersion, srvTav_SetProgressRateHwnd, srvTav_ErrString_Get,
         srvTav_Bcd_to_Double, srvTav_Double_to_Char, srvTav_Double_to_Bcd, srvTav_int_to_Bcd,
         srvTav_Bcd_to_DoubleChar, srvTav_Set_Rd, srvTav_SetWyn_Wt, srvTav_Set_Copy, srvTav_Port_Set, srvTav_Amp_Rd,
         srvTav_Amp_Wt, srvTav_AmpData_Rd, srvTav_AmpData_Wt, srvTav_Yukou_AmpData_Rd, srvTav_TargetAmpKyoku_Rd,
         srvTav_SiteiAmpKyoku_Rd, srvTav_ComPortLock_quimbel, srvTav_ComPortLockUnlockCheck,
         srvTav_TraceLockUnlockCheck, srvTav_File_Copy, srvTav_SupLnk_Init, srvTav_SupLnk_Open, srvTav_SupLnk_Close,
         srvTav_SysCondition_Rd, srvTav_Open_SysCondition_Rd_Close, srvTav_Motor_Info_Rd, srvGet_NameFromModelNumber,
         srvGet_ModelNumberFromName, srvGet_AmpModelNumber, SetAmpNameForFile, srvTav_Status_Rd, srvTav_PlaceRunOff,
         srvTav_ManuPluse_Snd, srvTav_RunOnOFF_ManuSpeedSel, srvTav_Open_OffONline_Close, srvTav_ItiDatRunStatus_Rd,
         srvTav_Wyn_STR_ERR_Chk, srvTav_Wyn_General_Acs, srvTav_Wyn_Primitive_Acs, srvTav_ParaIni_Rd,
         srvTav_Para_Dat_Rd, srvTav_Para_Dat_Chg, srvTav_Para_Dat_Init, srvTav_Para_SubTile_Rd,
         srvTav_Para_ValueString_Rd, srvTav_StdSyp_GrpNmae_Rd, srvTav_Para_Skubun_No_Rd, srvTav_Para_No_Skubun_Rd,
         srvTav_Para_Rd, srvTav_Para_Wt, srvTav_Para_Create, srvTav_Para_FileName_Chg, srvTav_Para_FileCmt_Rd,
         srvTav_Para_FileCmt_Wt, srvTav_Para_Property_Rd, srvTav_Para_Property_Wt, srvTav_Para_ComRd,
         srvTav_Para_ComWt, srvTav_Para_Amp_Rd, srvTav_Para_Amp_Wt, srvTav_Para_Syousuh_Chg, srvTav_ParaPrint_Mak,
         srvTav_ParaCsvType_Wt, srvTav_Para_Ctl_Inf_Rd, srvTav_ParaTitle_Rd, srvTav_NewParaIni_Rd,
         srvTav_NewParaIni_Rd2, srvTav_NewParaTitle_Rd, srvTav_NewPara_Dat_Rd, srvTav_NewPara_SubTile_Rd,
         srvTav_NewPara_ValueString_Rd, srvTav_NewPara_Skubun_No_Rd, srvTav_NewPara_No_Skubun_Rd,
         srvTav_NewPara_Dat_Chg, srvTav_NewPara_Dat_Init, srvTav_NewPara_Syousuh_Chg, srvTav_NewPara_Rd,
         srvTav_NewPara_Wt, srvTav_NewPara_Create, srvTav_NewPara_FileName_Chg, srvTav_NewPara_FileCmt_Rd,
         srvTav_NewPara_FileCmt_Wt, srvTav_NewPara_Property_Rd, srvTav_NewPara_Property_Wt, srvTav_NewPara_Ctl_Inf_Rd,
         srvTav_NewPara_ComRd, srvTav_NewPara_ComWt, srvTav_NewPara_ComInitWt, srvTav_NewPara_Amp_Rd,
         srvTav_NewPara_Amp_Wt, srvTav_NewPara_Amp_Ini_Wt, srvTav_NewParaPrint_Mak, srvTav_NewParaCsvType_Wt,
         srvTav_ItiDat_Init, srvTav_ItiDat_Chg, srvTav_ItiDat_Insert, srvTav_ItiDat_Rd, srvTav_ItiAtt_Chg,
         srvTav_ItiAtt_Chg2, srvTav_ItiDat_FileName_Chg, srvTav_ItiDat_FileCmt_Rd, srvTav_ItiDat_FileCmt_Wt,
         srvTav_ItiTitle_Rd, srvTav_ItiDatFil_Rd, srvTav_ItiDatFil_Wt, srvTav_ItiDatFil_Create, srvTav_ItiDat_ComRd,
         srvTav_ItiDat_ComWt, srvTav_ItiDat_AmpRd, srvTav_ItiDat_AmpWt, srvTav_ItiAtt_AmpRd, srvTav_ItiNoDat_Rd,
         srvTav_ItiDatPrint_mak, srvTav_ItiDat_Ctl_Inf_Rd, srvTav_ItiDatCsvType_Wt, srvTav_ItiVvDat_Init,
         srvTav_ItiVvDat_Chg, srvTav_ItiVvDat_Insert, srvTav_ItiVvDat_Delete, srvTav_ItiVvDat_Rd, srvTav_ItiVvAtt_Chg,
         srvTav_ItiVvAtt_Chg2, srvTav_ItiVvAtt_Rd, srvTav_ItiVvTitle_Rd, srvTav_ItiVvDat_FileName_Chg,
         srvTav_ItiVvDat_FileCmt_Rd, srvTav_ItiVvDat_FileCmt_Wt, srvTav_ItiVvDatFil_Rd, srvTav_ItiVvDatFil_Wt,
         srvTav_ItiVvDatFil_Create, srvTav_ItiVvDat_ComRd, srvTav_ItiVvDat_ComWt, srvTav_ItiVvDat_AmpRd,
         srvTav_ItiVvDat_AmpWt, srvTav_ItiVvDat_InitWt, srvTav_ItiVvAtt_AmpRd, srvTav_ItiVvDatPrint_mak,
         srvTav_ItiVvDat_Ctl_Inf_Rd, srvTav_ItiVvDatCsvType_Wt);
#undef ROWS
    return rows;
}

const std::set<std::string> kNotCalled = {"w1_test", "tavplat_set_message_box", "srvTav_fprintf",
                                          "srvTav_Mon_fprintf", "srvTav_ComPortLock",
                                          "srvTav_ComPortUnlock_quimbel"};

// An installation with the line on the in-process simulator, so that calls
// that get through their checks run for real.
class Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {"servo.set", "servo.con", "def", "template"});
        tavtest::line_on_simulator(home);
        fs::create_directories(home.file("lock"));
        home.write("file.k7l", tavtest::read_file(tavtest::sample_file("template/50.k7l")));
        tavplat_set_message_box([](const char*, const char*, unsigned) { return 1; });
        old_ = fs::current_path();
        fs::current_path(home.path());
    }
    void TearDown() override {
        fs::current_path(old_);
        tavplat_set_message_box(nullptr);
    }
    // Whatever a call left behind (an open line, a held lock) is undone.
    static void settle() {
        Wyn_Net_Close();
        srvTav_TraceUnlock(0);
        srvTav_ComPortUnlock();
    }

    tavtest::TempHost host;
    tavtest::TempInstall home;
    fs::path old_;
};

TEST_F(Robustness, EveryNullOrEmptyArgumentGivesACode) {
    const std::vector<NullCall> rows = null_calls();
    EXPECT_GT(rows.size(), 300u);
    for (const NullCall& c : rows) {
        SCOPED_TRACE(c.function + ": " + c.what);
        Args args;
        args.dir = home.path();
        const int rc = c.call(args);
        // A code of the library (-69..0) or of the component (positive).
        EXPECT_GE(rc, -69);
        EXPECT_LE(rc, 255);
        settle();
    }
}

// Every call of calls(set, n) for every n of bad refused with a code, and the
// set made by create byte for byte as it was.
template <class Set>
void expect_refused(short (*create)(Set*), std::initializer_list<int> bad,
                    const std::function<std::vector<int>(Set*, int)>& calls) {
    auto set = std::make_unique<Set>();
    ASSERT_EQ(create(set.get()), 0);
    const auto copy = std::make_unique<Set>(*set);
    for (int n : bad) {
        const std::vector<int> rcs = calls(set.get(), n);
        for (std::size_t i = 0; i < rcs.size(); ++i) EXPECT_NE(rcs[i], 0) << "call " << i << " with " << n;
    }
    EXPECT_EQ(std::memcmp(set.get(), copy.get(), sizeof(Set)), 0);
}

// Numbers outside their ranges: a code, and the set exactly as it was.
TEST_F(Robustness, OutOfRangeNumbersLeaveTheSetsAsTheyWere) {
    using V = std::vector<int>;
    NewParaRecord nrec{};
    ParaRecord prec{};
    ItiDatPoint point{};
    ItiVvDatPoint vpoint{};
    char text[4096] = {};
    int n = 0;
    const auto np = [](NewParaSet* s) { return srvTav_NewPara_Create(0, 0, s); };
    expect_refused<NewParaSet>(np, {-1, 0, 298, 100000}, [&](NewParaSet* s, int no) {
        return V{srvTav_NewPara_Dat_Rd(s, no, &nrec), srvTav_NewPara_Dat_Chg(s, no, 1.0), srvTav_NewPara_Dat_Init(s, no),
                 srvTav_NewPara_SubTile_Rd(s, no, text), srvTav_NewPara_No_Skubun_Rd(s, no, &n)};
    });
    expect_refused<NewParaSet>(np, {-1, 23, 1000}, [&](NewParaSet* s, int code) { return V{srvTav_NewPara_Skubun_No_Rd(s, code, 0, &n)}; });
    expect_refused<NewParaSet>(np, {-1, 10, 1000}, [&](NewParaSet* s, int idx) { return V{srvTav_NewPara_ValueString_Rd(s, 1, idx, text)}; });
    const auto ps = [](ParaSet* s) { return srvTav_Para_Create(0, 0, s); };
    expect_refused<ParaSet>(ps, {-1, 0, 100, 100000}, [&](ParaSet* s, int no) {
        return V{srvTav_Para_Dat_Rd(s, no, &prec), srvTav_Para_Dat_Chg(s, no, 1.0), srvTav_Para_Dat_Init(s, no),
                 srvTav_Para_SubTile_Rd(s, no, text), srvTav_Para_No_Skubun_Rd(s, no, &n)};
    });
    expect_refused<ParaSet>(ps, {-1, 8, 1000}, [&](ParaSet* s, int idx) { return V{srvTav_Para_ValueString_Rd(s, 1, idx, text)}; });
    expect_refused<ParaSet>(ps, {-1, 17, 1000}, [&](ParaSet* s, int code) { return V{srvTav_Para_Skubun_No_Rd(s, code, 0, &n)}; });
    expect_refused<ParaSet>(ps, {-1, 3}, [](ParaSet* s, int kind) {
        return V{srvTav_Para_Rd("file.k7p", kind, s), srvTav_ParaIni_Rd(0, kind, s)};
    });
    expect_refused<ItiDatSet>([](ItiDatSet* s) { return srvTav_ItiDatFil_Create(0, s); }, {-1, 0, 100, 100000},
                              [&](ItiDatSet* s, int no) {
                                  return V{srvTav_ItiDat_Rd(s, no, &point), srvTav_ItiDat_Init(s, no),
                                           srvTav_ItiDat_Chg(s, no, 0, 0, 0, 0, 0, 0, 0, 0),
                                           srvTav_ItiDat_Insert(s, no, 0, 0, 0, 0, 0, 0, 0, 0)};
                              });
    expect_refused<ItiVvDatSet>([](ItiVvDatSet* s) { return srvTav_ItiVvDatFil_Create(0, s); }, {-1, 0, 16, 100000},
                                [&](ItiVvDatSet* s, int no) {
                                    return V{srvTav_ItiVvDat_Rd(s, no, &vpoint), srvTav_ItiVvDat_Init(s, no),
                                             srvTav_ItiVvDat_Delete(s, no),
                                             srvTav_ItiVvDat_Chg(s, no, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)};
                                });
}

// Stations and entries out of range: a code, servo.con untouched, no line left open.
TEST_F(Robustness, OutOfRangeStationsAndEntries) {
    const std::string con = home.read("servo.con");
    int count = 0, station = 0, flag = 0;
    char name[500] = {};
    for (int entry : {-1, 0, 51, 100000}) {
        SCOPED_TRACE(entry);
        EXPECT_NE(srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag), 0);
        EXPECT_NE(srvTav_AmpData_Wt(entry, 5, "x"), 0);
        EXPECT_NE(srvTav_SiteiAmpKyoku_Rd(entry, &station), 0);
    }
    EXPECT_EQ(home.read("servo.con"), con);
    AmpIdentification id{};
    unsigned char status[2] = {};
    int ready = 0;
    ItiNoDatInfo info{};
    PositioningRunStatus run{};
    for (int st : {-1, 249, 100000}) {
        SCOPED_TRACE(st);
        EXPECT_NE(srvTav_SysCondition_Rd(st, &id), 0);
        ASSERT_EQ(srvTav_Wyn_Net_Open(), 0);
        EXPECT_NE(srvTav_Status_Rd(st, status, &ready), 0);
        EXPECT_NE(srvTav_ItiNoDat_Rd(st, 1, &info), 0);
        EXPECT_NE(srvTav_ItiDatRunStatus_Rd(st, &run), 0);
        EXPECT_NE(srvTav_ManuPluse_Snd(st, 1, status), 0);
        settle();
    }
    for (const char* text : {"0", "-1", "51", "999999999999", "abc"}) {
        SCOPED_TRACE(text);
        auto np = std::make_unique<NewParaSet>();
        EXPECT_NE(srvTav_NewPara_ComRd(nullptr, text, 0, np.get(), 0, 0), 0);
        EXPECT_EQ(Wyn_Net_Close(), 5);
    }
    char out[8] = {};
    for (int size : {-5, 0, 1}) EXPECT_EQ(srvTav_ErrString_Get(-27, size, size > 0 ? out : nullptr), 0);
}

// Found by fuzzing (clang UBSan): the extended-parameter reader stored its
// doubles and words through pointers into the packed set, which are not
// aligned. A set placed at an odd address is read without any such access.
TEST_F(Robustness, ExtendedParametersLoadIntoASetAtAnOddAddress) {
    std::vector<unsigned char> buffer(sizeof(NewParaSet) + 1);
    auto* set = reinterpret_cast<NewParaSet*>(buffer.data() + 1);
    ASSERT_EQ(srvTav_NewParaIni_Rd(0, 0, 0, set), 0);
    ASSERT_GT(int{set->nParaCount}, 0);  // a copy: the set is packed
    ASSERT_EQ(srvTav_NewPara_Wt((home.path() + "/odd.k7p").c_str(), set), 0);
    ASSERT_EQ(srvTav_NewPara_Rd((home.path() + "/odd.k7p").c_str(), 0, set), 0);
    int lines = 0;
    char info[2200];
    EXPECT_EQ(srvTav_NewPara_Ctl_Inf_Rd(set, 1, &lines, info), 0);
}

// Every exported function with a pointer argument has its rows above, so a
// new export is covered from the day it appears in the header.
TEST(RobustnessTable, CoversEveryDeclarationWithAPointer) {
    std::set<std::string> rows;
    for (const NullCall& c : null_calls()) rows.insert(c.function);
    std::vector<std::string> missing;
    for (const auto& [name, d] : declared())
        if (d.pointer && !rows.count(name) && !kNotCalled.count(name)) missing.push_back(name);
    EXPECT_TRUE(missing.empty()) << "no null-argument rows for " << ::testing::PrintToString(missing);
}

}  // namespace
