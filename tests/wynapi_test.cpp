// The communication component through its C interface: against the
// simulator inside the process ("sim:") and against servo-sim serving a
// pseudo-terminal in another process.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"
#include "platform/platform.h"
#include "wynapi/wynapi.h"

namespace {

using tavtest::bcd_field;
using tavtest::Bytes;

Bytes slice(const unsigned char* b, size_t from, size_t to) { return Bytes(b + from, b + to); }

// Bytes of a raw frame from offset `at` on.
void put(unsigned char* frame, size_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), frame + at); }

std::string full_path(int id) {
    char path[WYN_PATH_MAX] = "";
    return Wyn_srvTav_FullPath_Get(id, path) == WYN_OK ? path : "?";
}

// The definitions can come from another installation, wholly (its wyn.ini
// and def/); nothing else moves with them, and an empty setting is none.
TEST(PathService, DefinitionIdsFollowTheDefinitionsInstallation) {
    tavtest::TempInstall line;
    tavtest::TempDir defs;
    defs.write("wyn.ini", "[Paths]\r\n600=other/600.def\r\n");
    line.write("wyn.ini", "[Paths]\r\n500=/line/500.def\r\n");
    EXPECT_EQ(full_path(500), "/line/500.def");
    EXPECT_EQ(full_path(1600), line.path() + "/def/1600.def");
    {
        tavtest::ScopedEnv env("WYN_DEF_HOME", defs.path() + "/");
        const struct {
            int id;
            std::string path;
        } cases[] = {
            {500, defs.path() + "/def/500.def"},    {600, defs.path() + "/other/600.def"},
            {799, defs.path() + "/def/799.def"},    {1500, defs.path() + "/def/1500.def"},
            {1699, defs.path() + "/def/1699.def"},  {0, line.path() + "/servo.set"},
            {300, line.path() + "/servo.con"},      {105, line.path() + "/lock/trace.lck"},
            {499, "?"},                             {1002, line.path() + "/@TAVACS.TMP"},
        };
        for (const auto& c : cases) EXPECT_EQ(full_path(c.id), c.path) << c.id;
    }
    tavtest::ScopedEnv empty("WYN_DEF_HOME", "");
    EXPECT_EQ(full_path(500), "/line/500.def");
}

// A fresh installation folder whose COM1 is the in-process simulator.
class SimHome : public ::testing::Test {
protected:
    void TearDown() override { Wyn_Net_Close(); }
    // A call that must succeed, and the first status byte it left, or the reply bytes from..to.
    int st(short code) {
        EXPECT_EQ(code, WYN_OK);
        return st_[0];
    }
    Bytes got(short code, size_t from, size_t to) {
        EXPECT_EQ(code, WYN_OK);
        return slice(buf_, from, to);
    }

    tavtest::TempInstall home_;
    tavtest::ScopedEnv env_{"WYN_COM1", "sim:" + home_.file("line.json")};
    WynLineSettings settings_ = tavtest::wyn_settings();
    unsigned char buf_[4096]{};
    unsigned char st_[2]{};
};

// ... with the line open.
class SimLine : public SimHome {
protected:
    void SetUp() override { ASSERT_EQ(Wyn_Net_Open(&settings_), WYN_OK); }
    void control(const std::string& json) { ASSERT_EQ(Wyn_Sim_Control(json.c_str()), WYN_OK) << json; }
};

}  // namespace

// ----------------------------------------------------------- opening a line

TEST_F(SimHome, EveryMisuseOfOpeningIsACode) {
    EXPECT_EQ(Wyn_Net_Open(nullptr), WYN_E_DATA);
    EXPECT_EQ(Wyn_Net_Close(), WYN_E_CLOSED);
    const int closed[] = {Wyn_SysCondition_Rd(0, 17, buf_), Wyn_Para_Rd2(1, 1, 1, 8, buf_),
                          CommExecProc(1, buf_, 26, buf_), Wyn_Sim_Control("{}")};
    for (int code : closed) EXPECT_EQ(code, WYN_E_NOT_CONNECTED);
    ASSERT_EQ(Wyn_Net_Open(&settings_), WYN_OK);
    EXPECT_EQ(Wyn_Net_Open(&settings_), WYN_E_ALREADY_OPEN);
    EXPECT_EQ(Wyn_Net_Close(), WYN_OK);
    EXPECT_EQ(Wyn_Status_Rd(1, buf_), WYN_E_NOT_CONNECTED) << "after closing";
    EXPECT_EQ(Wyn_Net_Close(), WYN_E_CLOSED);
}

// COM10 does not exist; COM2..COM4 map to a missing device, a broken state
// file (relative to $WYN_HOME) and a plain file, which is no terminal.
TEST_F(SimHome, PortsThatCannotBeOpened) {
    home_.write("broken.json", "{ \"devices\": [ ");
    home_.write("plain-file", "x");
    tavtest::ScopedEnv com2("WYN_COM2", home_.file("no-such-tty")), com3("WYN_COM3", "sim:broken.json"),
        com4("WYN_COM4", home_.file("plain-file"));
    for (int port : {9, 1, 2, 3}) {
        WynLineSettings s = tavtest::wyn_settings(port);
        EXPECT_EQ(Wyn_Net_Open(&s), WYN_E_OPEN) << "COM" << port + 1;
    }
    // The [Ports] map of wyn.ini is honoured as well.
    home_.write("wyn.ini", "[Ports]\r\nCOM5=sim:ini-line.json\r\n");
    WynLineSettings s = tavtest::wyn_settings(4);
    ASSERT_EQ(Wyn_Net_Open(&s), WYN_OK);
    EXPECT_EQ(Wyn_SysCondition_Rd(0, 17, buf_), WYN_OK);
    EXPECT_EQ(buf_[4], 0x50);
}

// Null buffers, short sizes, stations and numbers out of range, a point
// number that is not BCD (0x1A), unknown handles, and counts whose byte size
// would overflow: each call is refused with the data error, in this order.
TEST_F(SimLine, BadArgumentsAreCodesNotCrashes) {
    unsigned char* b = buf_;
    const int codes[] = {
        Wyn_SysCondition_Rd(0, 17, nullptr), Wyn_SysCondition_Rd(0, 16, b), Wyn_SysCondition_Rd(249, 17, b),
        Wyn_SysCondition_Rd(-1, 17, b), Wyn_Status_Rd(1, nullptr), Wyn_PlaceCondition_Rd(1, 99, b),
        Wyn_Run_On(1, nullptr), Wyn_PlaceMotion_Run(1, 0x1A, st_), Wyn_ManuSpeed_Sel(1, -1, st_),
        Wyn_Para_Rd2(1, 4, 1, 25, b), Wyn_Para_Rd2(1, 0, 1, 100, b), Wyn_Para_Rd2(1, 1, 0, 100, b),
        Wyn_Para_Wt2(1, 1, 1, 6, nullptr, st_), Wyn_Para_Wt2(1, 1, 1, 6, b, nullptr), Wyn_StdParaTbl_Rd(0, 4, 1, 69, b),
        Wyn_StdPara_Rd(0, 1, 0x100, 100, b), Wyn_PlaceDat_Rd2(1, 2, 0x01, 33, b), Wyn_PlaceDat_Rd3(2, 2, 0x01, 49, b),
        SetFixedHeaderData(nullptr, 1), CommExecProc(1, nullptr, 26, b), CommExecProc(1, b, 24, b),
        Wyn_CloseMutex(0), Wyn_CloseMutex(12345), Wyn_PlaceDat_Wt3(2, 0x7FFFFFFF, 0x01, 24, b, st_),
        Wyn_Para_Rd2(1, -0x7FFFFFFF, 1, 100, b)};
    for (size_t i = 0; i < std::size(codes); ++i) EXPECT_EQ(codes[i], WYN_E_DATA) << "call " << i;
}

TEST_F(SimLine, WrongWriteSizesAreDataSizeErrorsBeforeSending) {
    // A rule that would answer the next point write: it must still be there
    // after the refused calls, so they did not reach the device.
    control(R"({"faults":{"rules":[{"command":"point_write","str1":64,"count":1},
                                   {"command":"para_write","str1":64,"count":1}]}})");
    st_[0] = st_[1] = 0xEE;
    EXPECT_EQ(Wyn_PlaceDat_Wt2(1, 2, 0x01, 31, buf_, st_), WYN_E_DATA_SIZE);
    EXPECT_EQ(st_[0], 0);
    EXPECT_EQ(Wyn_PlaceDat_Wt3(2, 1, 0x01, 16, buf_, st_), WYN_E_DATA_SIZE);
    EXPECT_EQ(Wyn_Para_Wt2(1, 2, 1, 6, buf_, st_), WYN_E_DATA_SIZE);
    EXPECT_EQ(Wyn_StdPara_Wt(0, 2, 0x01, 7, buf_, st_), WYN_E_DATA_SIZE);
    const Bytes img = got(Wyn_PlaceDat_Rd2(1, 1, 0x01, 100, buf_), 2, 18);
    EXPECT_EQ(st(Wyn_PlaceDat_Wt2(1, 1, 0x01, 16, img.data(), st_)), 0x40) << "the rule was still waiting";
}

// ------------------------------------------------------------- operations

TEST_F(SimLine, IdentificationRecordsOfTheDefaultLine) {
    EXPECT_EQ(got(Wyn_SysCondition_Rd(0, 17, buf_), 4, 5), Bytes{0x50});
    EXPECT_EQ(got(Wyn_SysCondition_Rd(1, 17, buf_), 0, 17),
              (Bytes{0, 0, 0x01, 0x02, 0x30, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x02, 0, 0}));
    ASSERT_EQ(Wyn_SysCondition_Rd(2, 17, buf_), WYN_OK);
    EXPECT_EQ(std::make_tuple(buf_[4], buf_[3], buf_[13]), std::make_tuple(0x40, 0, 0));  // V type, interface 0
    EXPECT_EQ(Wyn_SysCondition_Rd(9, 17, buf_), WYN_E_TIMEOUT) << "nobody at station 9";
}

TEST_F(SimLine, TestRunCommandsAndLiveStatus) {
    EXPECT_EQ(st(Wyn_Status_Rd(1, st_)), 0x00) << "online, not ready";
    EXPECT_EQ(st(Wyn_Run_On(1, st_)), 0x80) << "refused while online";
    EXPECT_EQ(st(Wyn_Offline_Set(1, st_)), 0x04);
    ASSERT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_OK);
    EXPECT_EQ(buf_[0] & 0x04, 0x04) << "the offline flag rides on every reply";
    ASSERT_EQ(Wyn_Run_On(1, st_), WYN_OK);
    EXPECT_EQ(st(Wyn_ManuSpeed_Sel(1, 4, st_)), 0x06);
    for (auto jog : {Wyn_ManuPluse_Snd, Wyn_ManuPluse_Snd, Wyn_ManuMinus_Snd}) ASSERT_EQ(jog(1, st_), WYN_OK);
    // The live status record: point, position and run state.
    const auto live = [this](size_t from, size_t to) { return got(Wyn_PlaceCondition_Rd(1, 100, buf_), from, to); };
    EXPECT_EQ(live(5, 9), (Bytes{0, 0, 0, 0x05})) << "jogged +5 +5 -5";

    EXPECT_EQ(st(Wyn_PlaceMotion_Run(1, 0x03, st_)), 0x04) << "running: offline, not ready";
    EXPECT_EQ(live(2, 3), Bytes{0x03});
    EXPECT_EQ(buf_[18], 1);
    const Bytes before = slice(buf_, 4, 9);
    control(R"({"advance_ms": 100})");
    EXPECT_NE(live(4, 9), before);
    control(R"({"advance_ms": 10000})");
    EXPECT_EQ(live(5, 9), (Bytes{0, 0, 0x30, 0x00}));
    EXPECT_EQ(buf_[18], 2);
    ASSERT_EQ(Wyn_PlaceMotion_Run(1, 0x01, st_), WYN_OK);
    ASSERT_EQ(Wyn_Place_Cancel(1, st_), WYN_OK);
    EXPECT_EQ(live(18, 19), Bytes{3});
    EXPECT_EQ(st(Wyn_Run_Off(1, st_)), 0x04);
    EXPECT_EQ(st(Wyn_Online_Chg(1, st_)), 0x00);
}

TEST_F(SimLine, StandardParametersValuesTablesAndWrites) {
    EXPECT_EQ(got(Wyn_StdPara_Rd(0, 4, 0x01, 100, buf_), 2, 8), bcd_field(0, 1));
    EXPECT_EQ(slice(buf_, 20, 26), bcd_field(0, 4));
    EXPECT_EQ(got(Wyn_SysPara_Rd(0, 1, 0x12, 100, buf_), 2, 8), bcd_field(0, 112));
    EXPECT_EQ(got(Wyn_StdParaTbl_Rd(0, 4, 0x37, 100, buf_), 2 + 3 * 17, 2 + 4 * 17),
              (Bytes{0x00, 0x80, 0, 0, 0, 0, 0x40, 0, 0, 0, 0x99, 0x99, 0, 0, 0, 0, 0}));
    EXPECT_EQ(got(Wyn_SysParaTbl_Rd(0, 1, 0x01, 100, buf_), 4, 9), (Bytes{0, 0, 0, 0x01, 0x01}));

    const Bytes second = bcd_field(0, 8), data = tavtest::cat({bcd_field(2, 777), second});
    EXPECT_EQ(st(Wyn_StdPara_Wt(0, 2, 0x09, 10, data.data(), st_)), 0);
    ASSERT_EQ(Wyn_SysPara_Wt(0, 1, 0x09, 5, second.data(), st_), WYN_OK);
    EXPECT_EQ(got(Wyn_StdPara_Rd(0, 2, 0x09, 100, buf_), 2, 14), data);
    EXPECT_EQ(got(Wyn_SysPara_Rd(0, 1, 0x09, 100, buf_), 2, 8), second);
    EXPECT_EQ(got(Wyn_StdPara_Rd(1, 1, 0x01, 100, buf_), 0, 1), Bytes{0x80}) << "an amplifier has no standard parameters";
}

TEST_F(SimLine, ExtendedParametersReadWriteAndPersistAcrossReopening) {
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 4, 96, 26, buf_), 2, 8), bcd_field(0, 96));
    EXPECT_EQ(slice(buf_, 20, 26), bcd_field(0, 99));
    const Bytes data = tavtest::cat({bcd_field(3, 12345), bcd_field(1, 50, true)});
    EXPECT_EQ(st(Wyn_Para_Wt2(1, 2, 98, 12, data.data(), st_)), 0);
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 2, 98, 14, buf_), 2, 14), data);
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 4, 295, 26, buf_), 0, 1), Bytes{0x40}) << "past parameter 297";
    EXPECT_EQ(got(Wyn_Para_Rd2(2, 1, 297, 8, buf_), 2, 8), bcd_field(0, 297));
    const Bytes f = bcd_field(0, 4242);
    ASSERT_EQ(Wyn_Para_Wt2(1, 1, 150, 6, f.data(), st_), WYN_OK);
    ASSERT_EQ(Wyn_Net_Close(), WYN_OK);
    ASSERT_TRUE(home_.exists("line.json"));
    ASSERT_EQ(Wyn_Net_Open(&settings_), WYN_OK);
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 1, 150, 8, buf_), 2, 8), f) << "after reopening";
}

TEST_F(SimLine, PositioningPointsAndVvPoints) {
    EXPECT_EQ(got(Wyn_PlaceDat_Rd2(1, 2, 0x98, 100, buf_), 4, 9), (Bytes{0, 0, 0x09, 0x80, 0x00}));
    EXPECT_EQ(slice(buf_, 20, 25), (Bytes{0, 0, 0x09, 0x90, 0x00}));
    EXPECT_EQ(buf_[2 + 7], 0x20) << "speed with 2 places";
    Bytes img(16, 0);
    img[0] = 0x31, img[6] = 0x25, img[7] = 0x20, img[9] = 0x50, img[15] = 0x42;
    img[11] = 0x20;  // stop timer, 2 places
    EXPECT_EQ(st(Wyn_PlaceDat_Wt2(1, 1, 0x99, 16, img.data(), st_)), 0);
    EXPECT_EQ(got(Wyn_PlaceDat_Rd2(1, 1, 0x99, 100, buf_), 2, 18), img);

    EXPECT_EQ(got(Wyn_PlaceDat_Rd3(2, 2, 0x14, 100, buf_), 2 + 24 + 16, 2 + 24 + 17), Bytes{0x10})
        << "acceleration with one place";
    Bytes vv(48, 0);
    vv[16] = vv[20] = vv[24 + 16] = vv[24 + 20] = 0x10;
    vv[19] = 0x99;
    vv[24 + 23] = 0x11;
    ASSERT_EQ(Wyn_PlaceDat_Wt3(2, 2, 0x01, 48, vv.data(), st_), WYN_OK);
    Bytes expect = vv;
    expect[7] = expect[11] = expect[24 + 7] = expect[24 + 11] = 0x20;  // the device's own nibbles
    EXPECT_EQ(got(Wyn_PlaceDat_Rd3(2, 2, 0x01, 100, buf_), 2, 50), expect);
    EXPECT_EQ(got(Wyn_PlaceDat_Rd2(2, 1, 0x01, 100, buf_), 0, 1), Bytes{0x80}) << "16-byte images are not the V type's";
}

TEST_F(SimLine, RawFramesFixedHeaderAndDirectAccess) {
    unsigned char frame[8192] = {};
    // A cleared frame with the fixed header for the station and the command byte.
    const auto fresh = [&frame](int station, unsigned char command) {
        std::memset(frame, 0, sizeof frame);
        SetFixedHeaderData(frame, station);
        frame[13] = command;
    };
    ASSERT_EQ(SetFixedHeaderData(frame, 2), WYN_OK);
    EXPECT_EQ(slice(frame, 0, 17), (Bytes{0x5A, 0, 0, 0xFF, 0, 2, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}));
    // The VV decimal points: 'P', mode 0, kind 7, address 0x060101, 26 bytes back.
    control(R"({"devices":[{"station":2,"model":"V","params":[]}]})");
    for (auto [no, places] : {std::pair{113, 1}, {112, 4}})  // stop timer and stop position places
        ASSERT_EQ(Wyn_Para_Wt2(2, 1, no, 6, bcd_field(0, places).data(), st_), WYN_OK);
    frame[1] = 23;
    frame[13] = 0x50;
    frame[17] = 6;
    put(frame, 19, {7, 1, 1, 6, 26});
    ASSERT_EQ(CommExecProc(1, frame, 26, buf_), WYN_OK);
    // Status, the two decimal nibbles, the reply's length and byte count.
    EXPECT_EQ(std::make_tuple(+buf_[25], buf_[25 + 3] >> 4, buf_[25 + 13] >> 4, buf_[1] | (buf_[2] << 8), +buf_[23]),
              std::make_tuple(0, 4, 3, 23 + 26, 26));

    // Identification block written with 'Q' kind 2 at 0x040100, then read back.
    fresh(1, 0x51);
    put(frame, 19, {2, 0, 1, 4, 15});
    for (int i = 0; i < 15; ++i) frame[25 + i] = static_cast<unsigned char>(0xA0 + i);
    EXPECT_EQ(got(CommExecProc(1, frame, 40, buf_), 25, 26), Bytes{0});
    frame[13] = 0x50;
    frame[23] = 17;
    EXPECT_EQ(got(CommExecProc(1, frame, 26, buf_), 27, 42), slice(frame, 25, 40));
    // Opening and closing accesses (command 0x51, kind 0x51) answer clean status bytes.
    fresh(1, 0x51);
    frame[19] = 0x51;
    EXPECT_EQ(got(CommExecProc(1, frame, 26, buf_), 25, 26), Bytes{0});
    frame[0] = 0;
    EXPECT_EQ(CommExecProc(1, frame, 26, buf_), WYN_E_DATA) << "no fixed header";
    EXPECT_EQ(CommExecProc(2, frame, 26, buf_), WYN_E_DATA);
}

TEST_F(SimHome, BusAndRoutedConnectionTypes) {
    WynLineSettings& s = settings_;
    EXPECT_EQ(GetConnectType(), 0);
    s.nLine11 = 122;
    s.nLine12 = 2;
    ASSERT_EQ(Wyn_Net_Open(&s), WYN_OK);
    EXPECT_EQ(std::make_tuple(GetConnectType(), GetKbNo(), GetKbType()), std::make_tuple(122, 2, 1));
    unsigned char frame[4096] = {}, reply[4096];
    SetFixedHeaderData(frame, 2);
    EXPECT_EQ(slice(frame, 4, 7), (Bytes{122, 0, 2}));
    frame[13] = 0x50;
    put(frame, 19, {7, 1, 1, 6, 26});
    EXPECT_EQ(CommExecProc(1, frame, 26, reply), WYN_OK) << "addressed through byte 6 to the V type";
    EXPECT_EQ(reply[25 + 16 + 2] >> 4, 1);
    Wyn_Net_Close();
    s.nLine11 = 124;
    s.nLine12 = 9;
    ASSERT_EQ(Wyn_Net_Open(&s), WYN_OK);
    EXPECT_EQ(std::make_tuple(GetConnectType(), GetKeiroID(), GetKbType()), std::make_tuple(124, 9, 0));
    SetFixedHeaderData(frame, 1);
    EXPECT_EQ(slice(frame, 5, 7), (Bytes{1, 9}));
    Wyn_Net_Close();
    EXPECT_EQ(GetConnectType(), 0);
}

TEST_F(SimHome, MutexGrantedOnceRefusedWhileHeldReleased) {
    const intptr_t h = Wyn_OpenMutex();
    ASSERT_NE(h, 0);
    EXPECT_TRUE(home_.exists("lock/wynapi.mtx"));
    EXPECT_EQ(Wyn_OpenMutex(), 0) << "held by the first handle";
    EXPECT_NE(srvTav_Comm_Lock(), 0);
    EXPECT_EQ(Wyn_CloseMutex(h), WYN_OK);
    EXPECT_EQ(Wyn_CloseMutex(h), WYN_E_DATA);
    EXPECT_EQ(srvTav_Comm_Lock(), 0);
    EXPECT_EQ(Wyn_OpenMutex(), 0) << "held by the comm lock";
    EXPECT_EQ(srvTav_Comm_Unlock(), 0);
    EXPECT_NE(srvTav_Comm_Unlock(), 0);
    const intptr_t h2 = Wyn_OpenMutex();
    EXPECT_NE(h2, 0);
    EXPECT_EQ(Wyn_CloseMutex(h2), WYN_OK);
}

// ----------------------------------------------------------- injected faults

TEST_F(SimLine, StatusByteAndProcessingStatusFaults) {
    control(R"({"faults":{"rules":[
        {"station":1,"command":"para_read","first":3,"last":3,"str1":132},
        {"station":1,"command":"para_write","status":12,"str1":128,"count":1},
        {"station":2,"command":"status","status":20,"count":1},
        {"command":"status","str1":8,"str2":5,"count":1}]}})");
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 4, 1, 26, buf_), 0, 1), Bytes{0x84});
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 4, 4, 26, buf_), 0, 1), Bytes{0}) << "4..7 does not touch 3";
    const Bytes f = bcd_field(0, 1);
    EXPECT_EQ(Wyn_Para_Wt2(1, 1, 7, 6, f.data(), st_), WYN_E_DATA_SIZE);
    EXPECT_EQ(st_[0], 0x80) << "status bytes come with the data size error";
    EXPECT_EQ(GetCmdStsErr(), 12);
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 1, 7, 8, buf_), 2, 8), bcd_field(0, 7)) << "a refused write changes nothing";
    ASSERT_EQ(Wyn_Status_Rd(1, st_), WYN_OK);
    EXPECT_EQ(slice(st_, 0, 2), (Bytes{8, 5})) << "a rule for every station, both status bytes";
    // The processing status is the result and is kept until the next exchange.
    for (short code : {20, 0}) {
        EXPECT_EQ(Wyn_Status_Rd(2, st_), code);
        EXPECT_EQ(GetCmdStsErr(), code);
    }
}

TEST_F(SimLine, MissingAndGarbledRepliesAreRetried) {
    control(R"({"faults":{"timeout_next":5}})");
    EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_OK) << "six attempts with retry 5";
    control(R"({"faults":{"timeout_next":6}})");
    EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_E_TIMEOUT);
    control(R"({"faults":{"garble_next":1}})");
    EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_OK);
    control(R"({"faults":{"garble_next":6}})");
    EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_E_RETRY);
    control(R"({"faults":{"echo":true,"drop_next":1}})");
    ASSERT_EQ(Wyn_Offline_Set(1, st_), WYN_OK);
    ASSERT_EQ(Wyn_Run_On(1, st_), WYN_OK);
    ASSERT_EQ(Wyn_ManuPluse_Snd(1, st_), WYN_OK);
    control(R"({"faults":{"drop_next":1}})");
    ASSERT_EQ(Wyn_ManuPluse_Snd(1, st_), WYN_OK) << "the lost reply is asked for again";
    EXPECT_EQ(got(Wyn_PlaceCondition_Rd(1, 100, buf_), 8, 9), Bytes{0x02}) << "two jogs, the retried one not run twice";
    // The retry count comes from the settings.
    Wyn_Net_Close();
    settings_.nRetry = 0;
    ASSERT_EQ(Wyn_Net_Open(&settings_), WYN_OK);
    control(R"({"faults":{"garble_next":1}})");
    EXPECT_EQ(Wyn_Status_Rd(1, st_), WYN_E_RETRY);
    EXPECT_EQ(Wyn_Status_Rd(1, st_), WYN_OK);
}

TEST_F(SimLine, FamilyMemoryErrorAndMutexFaults) {
    control(R"({"faults":{"family":{"0":48,"1":16},"refuse_mutex":true},
                "devices":[{"station":1,"mem_error_params":[3],"mem_error_points":[2]},
                           {"station":0,"std":[[],[{},{"mem_error":true}]]}]})");
    for (auto [station, family] : {std::pair{0, 0x30}, {1, 0x10}}) {
        ASSERT_EQ(Wyn_SysCondition_Rd(station, 17, buf_), WYN_OK);
        EXPECT_EQ(buf_[4], family) << station;
    }
    // Memory errors: parameter 3 of the amplifier, its point 2, the operator's first standard parameter.
    ASSERT_EQ(Wyn_Para_Rd2(1, 3, 2, 20, buf_), WYN_OK);
    EXPECT_EQ(std::make_pair(buf_[2] & 0x08, buf_[8] & 0x08), std::make_pair(0, 0x08));
    ASSERT_EQ(Wyn_PlaceDat_Rd2(1, 2, 0x01, 100, buf_), WYN_OK);
    EXPECT_EQ(buf_[18] & 0x80, 0x80);
    ASSERT_EQ(Wyn_SysPara_Rd(0, 2, 0x01, 100, buf_), WYN_OK);
    EXPECT_EQ(std::make_pair(buf_[2] & 0x08, buf_[8] & 0x08), std::make_pair(0, 0x08));
    EXPECT_EQ(Wyn_OpenMutex(), 0);
    control(R"({"faults":{}})");
    const intptr_t h = Wyn_OpenMutex();
    EXPECT_NE(h, 0);
    Wyn_CloseMutex(h);
}

// -------------------------------------------------- servo-sim over a pty

namespace {

// COM1 mapped to the link of a servo-sim process instead.
class PtyLine : public SimHome {
protected:
    std::string link() const { return home_.file("ttySIM"); }
    std::string state() const { return home_.file("line.json"); }
    std::string logFile() const { return home_.file("frames.log"); }
    void start(std::vector<std::string> extra = {"--no-wire-time"}) {
        extra.push_back("--log");
        extra.push_back(logFile());
        sim_ = std::make_unique<tavtest::SimProcess>(state(), link(), extra);
        ASSERT_TRUE(sim_->ready()) << sim_->ready_line();
    }
    void open(const WynLineSettings& s) {
        settings_ = s;
        ASSERT_EQ(Wyn_Net_Open(&settings_), WYN_OK);
    }
    int count_log(const std::string& what) const {
        std::ifstream in(logFile());
        std::string line;
        int n = 0;
        while (std::getline(in, line)) n += line.find(what) != std::string::npos;
        return n;
    }

    tavtest::ScopedEnv com_{"WYN_COM1", home_.file("ttySIM")};
    std::unique_ptr<tavtest::SimProcess> sim_;
};

}  // namespace

TEST_F(PtyLine, AGarbledReplyIsRetriedOnceAndTheExchangeSucceeds) {
    home_.write("line.json", R"({"faults":{"garble_next":1}})");
    start();
    // A generous time-out, so that a busy machine cannot add a retry of its own.
    open(tavtest::wyn_settings(0, 10, 5, 2));
    EXPECT_EQ(got(Wyn_SysCondition_Rd(1, 17, buf_), 4, 5), Bytes{0x30});
    EXPECT_EQ(count_log(" rx "), 2) << "the request went out twice";
    EXPECT_EQ(count_log(" tx "), 2);
}

TEST_F(PtyLine, EchoedRequestsAreSkippedAndThePortIsExclusive) {
    home_.write("line.json", R"({"faults":{"echo":true}})");
    start();
    open(tavtest::wyn_settings(0, 10));
    EXPECT_EQ(got(Wyn_Para_Rd2(1, 2, 10, 14, buf_), 2, 8), bcd_field(0, 10));
    EXPECT_EQ(count_log(" rx "), 1);
    EXPECT_EQ(tavplat::serial_open(link().c_str()), tavplat::kInvalidFile) << "opened exclusively";
}

// A restart keeps the state and a lost line is reported. Then noise toward
// servo-sim (a header that announces the longest frame, a bad station, a
// frame cut short, plain junk), with or without a pause before the next
// request: the simulator drops it and answers that request.
TEST_F(PtyLine, StatePersistsAcrossARestartALostLineIsReportedAndNoiseIsDropped) {
    start();
    open(tavtest::wyn_settings());
    const Bytes f = bcd_field(4, 9876543210ULL);
    ASSERT_EQ(Wyn_Para_Wt2(2, 1, 297, 6, f.data(), st_), WYN_OK);
    ASSERT_EQ(Wyn_Offline_Set(2, st_), WYN_OK);
    EXPECT_EQ(sim_->stop(), 0) << "SIGTERM ends it cleanly";
    EXPECT_FALSE(home_.exists("ttySIM")) << "the link is removed";
    EXPECT_EQ(Wyn_Status_Rd(2, st_), WYN_E_CLOSED);
    EXPECT_EQ(Wyn_Net_Close(), WYN_OK);

    start();
    open(settings_);
    EXPECT_EQ(got(Wyn_Para_Rd2(2, 1, 297, 8, buf_), 2, 8), f);
    EXPECT_EQ(buf_[0], 0x04) << "still offline";
    Wyn_Net_Close();

    struct Noise {
        const char* what;
        Bytes bytes;
        int pauseMs;  // before the request
    };
    const Noise noises[] = {
        {"header of 8192 bytes, request at once", {0x02, 0x01, 0x01, 0x01, 0x00, 0x00, 0x20}, 0},
        {"header of 8192 bytes, request after the gap", {0x02, 0x01, 0x01, 0x01, 0x00, 0x00, 0x20}, 250},
        {"station 249", {0x02, 0xF9, 0x01, 0x01, 0x00, 0x00, 0x00}, 0},
        {"frame cut short", {0x02, 0x01, 0x02, 0x07, 0x00, 0x00}, 0},
        {"junk", {0x55, 0xFF, 0x00, 0x03, 0x02}, 0},
    };
    const WynLineSettings once = tavtest::wyn_settings(0, 10, 0);  // one attempt: the first request must be answered
    for (const Noise& n : noises) {
        SCOPED_TRACE(n.what);
        const int fd = tavplat::serial_open(link().c_str());
        ASSERT_NE(fd, tavplat::kInvalidFile);
        ASSERT_EQ(::write(fd, n.bytes.data(), n.bytes.size()), static_cast<ssize_t>(n.bytes.size()));
        ::usleep(30000);  // servo-sim takes the noise before the line is opened again (and flushed)
        tavplat::serial_close(fd);
        ::usleep(static_cast<useconds_t>(n.pauseMs) * 1000);
        open(once);
        EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), WYN_OK);
        EXPECT_EQ(buf_[4], 0x30);
        Wyn_Net_Close();
    }
}

// The library's transfers with the default time-out at 9600 baud (index 0,
// the default) and at 2400, the slowest documented rate: every reply longer
// than the time-out itself still arrives in time, and a silent station times
// out after its one retry.
TEST_F(PtyLine, TransfersAt9600And2400BaudWithTheDefaultTimeOut) {
    for (auto [baud, index] : {std::pair{"9600", 0}, {"2400", 3}}) {
        SCOPED_TRACE(baud);
        sim_.reset();  // the servo-sim of the rate before, and its log
        std::remove(logFile().c_str());
        start({"--baud", baud});
        open(tavtest::wyn_settings(0, 2, 5, index));
        EXPECT_EQ(got(Wyn_Para_Rd2(1, 4, 1, 26, buf_), 20, 26), bcd_field(0, 4));
        ASSERT_EQ(Wyn_PlaceDat_Rd2(1, 4, 0x01, 100, buf_), WYN_OK);
        EXPECT_EQ(slice(buf_, 4, 9), (Bytes{0, 0, 0, 0x10, 0x00})) << "point 1 at 1000";
        ASSERT_EQ(Wyn_PlaceDat_Rd3(2, 4, 0x01, 100, buf_), WYN_OK);
        ASSERT_EQ(Wyn_PlaceCondition_Rd(1, 100, buf_), WYN_OK);
        EXPECT_EQ(count_log(" rx "), 4) << "no request had to go out again";
        Wyn_Net_Close();
        open(tavtest::wyn_settings(0, 2, 1, index));
        EXPECT_EQ(Wyn_Status_Rd(17, st_), WYN_E_TIMEOUT);
        EXPECT_EQ(count_log("rx 02 11"), 2) << "one retry to the silent station";
        Wyn_Net_Close();
    }
}

// -------------------------------------------- a noisy line that never answers

namespace {

// A pseudo-terminal whose far end sends nothing but noise, as a floating
// RS-485 line does, for at most 5 s.
class NoisyLine : public SimHome {
protected:
    void SetUp() override {
        ASSERT_FALSE(pty_.slave.empty());
        ASSERT_GE(slave_, 0);
    }
    void TearDown() override {
        stop_ = true;
        if (noise_.joinable()) noise_.join();
        SimHome::TearDown();
        ::close(slave_);
    }
    void send_noise(Bytes bytes, int everyMs) {
        noise_ = std::thread([this, bytes, everyMs] {
            for (int elapsed = 0; !stop_ && elapsed < 5000; elapsed += everyMs) {
                if (::write(pty_.master, bytes.data(), bytes.size()) < 0) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            }
        });
    }

    tavtest::PtyPair pty_;
    tavtest::ScopedEnv com_{"WYN_COM1", pty_.slave};
    int slave_ = ::open(pty_.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // keeps the pair alive, as servo-sim does
    std::atomic<bool> stop_{false};
    std::thread noise_;
};

}  // namespace

// Each attempt ends at a fixed time after its request, whatever comes: the
// exchange ends within attempts x (time-out + wire time) plus the settling
// before each retry (at most 100 ms), here 3 x (200 + 49) + 2 x 100 ms.
TEST_F(NoisyLine, TheExchangeEndsWithinItsAttemptsWhateverTheNoise) {
    struct Case {
        const char* what;
        Bytes noise;
        int everyMs;
        short code;
    };
    const Case cases[] = {
        {"a byte every 30 ms, never a frame start", {0x55}, 30, WYN_E_TIMEOUT},
        {"a header that announces the longest frame", {0x02, 0x01, 0x81, 0x01, 0x00, 0x00, 0x20}, 30, WYN_E_RETRY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WynLineSettings s = tavtest::wyn_settings(0, 2, 2);  // 9600 baud, 200 ms, 3 attempts
        ASSERT_EQ(Wyn_Net_Open(&s), WYN_OK);
        stop_ = false;
        send_noise(c.noise, c.everyMs);
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(Wyn_SysCondition_Rd(1, 17, buf_), c.code);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        EXPECT_LT(took.count(), 3 * 249 + 2 * 100 + 400) << "ms";  // 400 ms for a busy machine
        stop_ = true;
        noise_.join();
        Wyn_Net_Close();
    }
}
