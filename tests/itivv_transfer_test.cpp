// VV transfer: against a recording fake for the exact exchanges (blocks of
// 24-byte images, the framing of a write, the decimal nibbles read by direct
// access), and end to end against the simulator's V-type amplifier.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "comm/comm.h"
#include "fixtures/progress.h"
#include "fixtures/recording_wyn.h"
#include "fixtures/set_matchers.h"
#include "fixtures/temp_dirs.h"
#include "frame/frame.h"
#include "itivv/itivv.h"
#include "line/line.h"
#include "platform/platform.h"

using namespace tav::itivv;
using tavtest::bytes_at;
using tavtest::id_record;
using tavtest::WynAnswer;
using tavtest::WynCall;
using Bytes = std::vector<uint8_t>;

namespace {

// Packs value as digits BCD digits into the bytes after a field's header.
void put_digits(std::vector<uint8_t>& b, int header, long long value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) {
        uint8_t& byte = b[header + 1 + i / 2];
        byte = static_cast<uint8_t>(i % 2 == 1 ? (byte & 0xF0) | (value % 10) : (byte & 0x0F) | ((value % 10) << 4));
    }
}

// Point n as the amplifier sends it: stop position n·1000, speed 100.00,
// acceleration 12.5, deceleration n·0.5, stop timer 1.25, M code n. The
// amplifier's own decimal nibbles are left 0: the reader sets them.
std::vector<uint8_t> image(int n) {
    std::vector<uint8_t> b(24, 0);
    b[0] = 0x11;  // INC, M code valid
    put_digits(b, 1, 1000LL * n, 10);
    put_digits(b, 7, 10000, 6);
    put_digits(b, 11, 125, 6);
    b[15] = static_cast<uint8_t>(n);
    put_digits(b, 16, 125, 6);
    put_digits(b, 20, 5LL * n, 6);
    return b;
}

class VvTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {"servo.set"});
        select_station(2);
        set_decimal_param_finder(tavtest::decimal_params<0x40>);
        fake.default_answer("CommExecProc", WynAnswer{0, {0x00, 0x00}});
    }
    void TearDown() override { set_decimal_param_finder(nullptr); }
    // servo.con with entry 2 selected, its station as given.
    void select_station(int station) {
        char line[64];
        std::snprintf(line, sizeof line, "%03d,0,V\r\n", station);
        home.write("servo.con", std::string("SERVO,   2\r\n2\r\n001,0,L\r\n") + line);
    }
    void script_identification(const std::vector<uint8_t>& amplifier) {
        fake.answers("Wyn_SysCondition_Rd", {WynAnswer{0, id_record(1, 0x50)}, WynAnswer{0, amplifier}});
    }
    // The direct-access read of point 1 whose stop-position and stop-timer
    // fields carry the given decimal nibbles.
    void script_decimal_nibbles(uint8_t stopPos, uint8_t stopTime) {
        std::vector<uint8_t> reply(26, 0);
        reply[3] = static_cast<uint8_t>(stopPos << 4);
        reply[13] = static_cast<uint8_t>(stopTime << 4);
        fake.answer("CommExecProc", WynAnswer{0, reply});
    }
    void script_points() {
        for (int first = 1; first <= 15; first += 2) {
            std::vector<uint8_t> reply{0x00, 0x00};
            for (int n = first; n <= first + 1 && n <= 15; ++n) {
                const auto b = image(n);
                reply.insert(reply.end(), b.begin(), b.end());
            }
            fake.answer("Wyn_PlaceDat_Rd3", WynAnswer{0, reply});
        }
    }
    static std::unique_ptr<ItiVvDatSet> edited_set() {
        auto s = std::make_unique<ItiVvDatSet>();
        s->nPointCount = 15;
        EXPECT_EQ(tav::itivv::FileName_Chg(s.get(), "x.k7v"), TAV_OK);
        for (int i = 0; i < 15; ++i) {
            s->point[i].nDataNo = i + 1;
            s->point[i].dSpeed = 100.0;
            s->point[i].dAccelTime = 12.5;
            s->point[i].dDecelTime = 7.5;
        }
        return s;
    }

    tavtest::TempHost host;
    tavtest::TempInstall home;
    tavtest::RecordingWyn fake;
};

// Fifteen points in eight exchanges without progress, after the direct-access read of point 1's image
// (command 'P', kind 7 at 0x060101, 26 bytes) whose nibbles give the set's decimal points.
TEST_F(VvTransfer, ReadsFifteenPointsInEightExchangesWithTheDecimalPointsOfPointOne) {
    tavtest::ProgressWindow window;
    struct Case {
        uint8_t posNibble, timeNibble;
        unsigned short pos, time;
    };
    for (Case c : {Case{0, 2, 0, 0}, Case{2, 1, 2, 0}, Case{5, 3, 5, 1}, Case{7, 2, 0, 0}, Case{0, 4, 0, 0}, Case{3, 0, 3, 0}}) {
        SCOPED_TRACE(std::to_string(c.posNibble) + "/" + std::to_string(c.timeNibble));
        fake.calls.clear();
        script_identification(id_record(0, 0x40));
        script_decimal_nibbles(c.posNibble, c.timeNibble);
        script_points();
        auto s = std::make_unique<ItiVvDatSet>();
        ASSERT_EQ(ComRd(nullptr, "2", s.get()), TAV_OK);
        EXPECT_EQ(std::make_pair(+s->wStopPosDp, +s->wStopTimeDp), std::make_pair(+c.pos, +c.time));
        const auto ex = fake.calls_of("CommExecProc");
        ASSERT_EQ(ex.size(), 1u);
        EXPECT_EQ(ex[0].data.at(13), 0x50);
        EXPECT_EQ(bytes_at(ex[0].data, 19, 5), (Bytes{7, 1, 1, 6, 26}));

        const auto reads = fake.calls_of("Wyn_PlaceDat_Rd3");
        ASSERT_EQ(reads.size(), 8u);
        for (int i = 0; i < 8; ++i) {
            const int first = 2 * i + 1;  // station of entry 2, count, first point as BCD
            EXPECT_EQ(std::make_tuple(reads[i].args[0], reads[i].args[1], reads[i].args[2]),
                      std::make_tuple(2LL, i < 7 ? 2LL : 1LL, (first / 10) * 16LL + first % 10));
        }
        EXPECT_EQ(std::make_tuple(+s->nProgressDone, +s->nPointCount, +s->nColumnCount, +s->nFamily, std::string(s->szAmpNo)),
                  std::make_tuple(15, 15, 12u, 0x40u, std::string("002")));
        const double posScale = std::pow(10.0, c.pos), timeScale = std::pow(10.0, c.time);
        for (int n = 1; n <= 15; ++n)
            tavtest::expect_point(s->point[n - 1], {.nDataNo = n, .nChgFlag = 0, .nCmdMode = 1, .nStepMode = 0,
                                                    .dStopPos = 1000.0 * n / posScale, .dSpeed = 100.0,
                                                    .dAccelTime = 12.5, .dDecelTime = 0.5 * n,
                                                    .dStopTimer = 1.25 / timeScale, .nMCode = n, .nMValid = 1,
                                                    .nMTiming = 0, .nStatus = 0});
    }
    EXPECT_TRUE(window.rates.empty());
}

TEST_F(VvTransfer, ReadRefusesTheWrongDevices) {
    auto s = std::make_unique<ItiVvDatSet>();
    script_identification(id_record(2, 0x30));  // an L type
    EXPECT_EQ(ComRd(nullptr, "2", s.get()), TAV_E_NOT_VV_TYPE);
    script_identification(id_record(0, 0x40, 1));  // V type with another interface
    EXPECT_EQ(ComRd(nullptr, "2", s.get()), TAV_E_NOT_VV_TYPE);
    script_identification(id_record(0, 0x50));  // not an amplifier family
    EXPECT_EQ(ComRd(nullptr, "2", s.get()), TAV_E_NOT_OPERATOR);
    EXPECT_EQ(fake.count("Wyn_PlaceDat_Rd3"), 0u);
    EXPECT_EQ(+s->nProgressDone, -1);

    // Station 0 that is not the servo operator: the line is closed at once.
    fake.calls.clear();
    s->nProgressDone = 5;
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(0, 0x40)});
    EXPECT_EQ(ComRd(nullptr, "2", s.get()), TAV_E_NOT_OPERATOR);
    EXPECT_EQ(std::make_tuple(fake.count("Wyn_SysCondition_Rd"), fake.count("Wyn_Net_Close")), std::make_tuple(1u, 1u));
    EXPECT_EQ(+s->nProgressDone, 0);

    // The selected entry has no amplifier.
    fake.calls.clear();
    select_station(999);
    EXPECT_EQ(ComRd(nullptr, "2", s.get()), TAV_E_STATION);
    EXPECT_EQ(fake.count("Wyn_Net_Open"), 0u);
}

TEST_F(VvTransfer, WriteFramesThePointsWithAnnounceIdentificationAndClose) {
    tavtest::ProgressWindow window;
    auto s = edited_set();
    s->nModel = 0;
    s->nFamily = 0x40;
    // Only the interface's low byte travels.
    tavtest::put_id_header(*s, {.info1 = 0x11, .info2 = 0x22, .info3 = 0x33, .info5 = 0x55, .info8 = 0x88,
                                .info10 = 0xA0, .info11 = 0xB1, .info12 = 0xC2, .info14 = 0xE4, .interface = 0x1F7});
    s->point[3].nChgFlag = 1;
    s->point[3].dStopPos = 1234.0;
    s->point[3].nMCode = 256;  // sent as its low byte
    s->point[4].nChgFlag = 1;
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(1, 0x50)});
    ASSERT_EQ(ComWt(nullptr, "2", 0, s.get()), TAV_OK);

    std::vector<std::string> order;
    for (const WynCall& c : fake.calls)
        if (c.name == "CommExecProc" || c.name == "Wyn_PlaceDat_Wt3") order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"CommExecProc", "CommExecProc", "Wyn_PlaceDat_Wt3", "CommExecProc"}));
    const auto ex = fake.calls_of("CommExecProc");
    ASSERT_EQ(ex.size(), 3u);
    // Announce and close: 'Q' to kind 0x51, M = 0 and M = 1, no data.
    for (int i : {0, 2}) {
        EXPECT_EQ(ex[i].data.at(13), 0x51);
        EXPECT_EQ(bytes_at(ex[i].data, 19, 4), (Bytes{0x51, 0, static_cast<uint8_t>(i / 2), 0})) << i;
        EXPECT_EQ(ex[i].data.size(), 26u);
    }
    // Identification: kind 2 at 0x040100, 15 bytes of record order.
    EXPECT_EQ(bytes_at(ex[1].data, 19, 4), (Bytes{2, 0, 1, 4}));
    EXPECT_EQ(bytes_at(ex[1].data, 25, 15),
              (Bytes{0x00, 0x00, 0x40, 0x11, 0x33, 0x22, 0x55, 0xA0, 0xB1, 0xC2, 0xE4, 0xF7, 0x88, 0x00, 0x00}));

    // Points 4 and 5 in one block of two 24-byte images, to the target station.
    const auto wt = fake.calls_of("Wyn_PlaceDat_Wt3");
    EXPECT_EQ(wt[0].args, (std::vector<long long>{2, 2, 0x04, 48}));
    const std::vector<uint8_t>& d = wt[0].data;
    ASSERT_EQ(d.size(), 48u);
    EXPECT_EQ(bytes_at(d, 0, 24),
              (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34,  // status, stop position
                                    0x20, 0x01, 0x00, 0x00,              // speed 100.00
                                    0x20, 0x00, 0x00, 0x00,              // stop timer 0 at 2 places
                                    0x00,                                // M code 256 -> 0
                                    0x10, 0x00, 0x01, 0x25,              // acceleration 12.5
                                    0x10, 0x00, 0x00, 0x75}));           // deceleration 7.5
    EXPECT_EQ(+s->point[3].nChgFlag, 0);
    EXPECT_TRUE(window.rates.empty());
}

TEST_F(VvTransfer, AFailedStepEndsTheWriteBeforeTheNext) {
    auto s = edited_set();
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(1, 0x50)});
    fake.answer("CommExecProc", WynAnswer{3, {}});
    EXPECT_EQ(ComWt(nullptr, "2", 1, s.get()), 3);
    EXPECT_EQ(std::make_tuple(fake.count("CommExecProc"), fake.count("Wyn_PlaceDat_Wt3"), fake.count("Wyn_Net_Close")),
              std::make_tuple(1u, 0u, 1u));

    // A point write that fails leaves the close unsent.
    fake.calls.clear();
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(1, 0x50)});
    fake.answer("Wyn_PlaceDat_Wt3", WynAnswer{12, {0x00, 0x00}});
    EXPECT_EQ(ComWt(nullptr, "2", 1, s.get()), 12);
    EXPECT_EQ(fake.count("CommExecProc"), 2u);

    // Station 0 that is not the servo operator: nothing is written.
    fake.calls.clear();
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(0, 0x40)});
    EXPECT_EQ(ComWt(nullptr, "2", 1, s.get()), TAV_E_NOT_OPERATOR);
    EXPECT_EQ(fake.count("CommExecProc"), 0u);
}

TEST_F(VvTransfer, TheRangeCheckCoversTheTimesButNotTheInitialWrite) {
    auto s = edited_set();
    s->point[6].dDecelTime = 100000.0;
    s->point[6].nChgFlag = 1;
    EXPECT_EQ(ComWt(nullptr, "2", 0, s.get()), TAV_E_RANGE);
    EXPECT_EQ(+s->point[6].nStatus, TAV_E_RANGE);
    EXPECT_EQ(fake.count("Wyn_Net_Open"), 0u);
    s->point[6].dDecelTime = 99999.9;
    s->point[6].dAccelTime = -0.1;
    EXPECT_EQ(ComWt(nullptr, "2", 0, s.get()), TAV_E_RANGE);
    s->point[6].dAccelTime = 0.0;
    s->point[6].nChgFlag = 0;
    EXPECT_EQ(ComWt(nullptr, "2", 0, s.get()), TAV_E_NOTHING_TO_SEND);

    // The initial write sends every point with what it holds.
    tavplat::copy_text(s->szAmpNo, "002");
    s->point[0].dSpeed = 9000.0;  // beyond 7999.99
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(1, 0x50)});
    ASSERT_EQ(InitWt(s.get()), TAV_OK);
    const auto wt = fake.calls_of("Wyn_PlaceDat_Wt3");
    ASSERT_EQ(wt.size(), 8u);
    EXPECT_EQ(bytes_at(wt[0].data, 7, 4), (Bytes{0x20, 0x90, 0x00, 0x00}));
    EXPECT_EQ(fake.count("CommExecProc"), 3u);
    EXPECT_EQ(+s->point[0].nStatus, 0);
}

TEST_F(VvTransfer, DecimalSettingsByParameterCheckTypeThenFamily) {
    unsigned short pos = 9, time = 9;
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(2, 0x50)});
    EXPECT_EQ(Att_AmpRd("2", &pos, &time), TAV_E_NOT_VV_TYPE);
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(2, 0x40)});
    EXPECT_EQ(Att_AmpRd("2", &pos, &time), TAV_E_NOT_OPERATOR);  // the family's -22 replaces -67
    EXPECT_EQ(pos, 9);

    fake.calls.clear();
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, id_record(0, 0x50)});
    fake.answers("Wyn_Para_Rd2", {WynAnswer{0, {0, 0, 0, 0, 0, 0, 0, 3}}, WynAnswer{0, {0, 0, 0, 0, 0, 0, 0, 1}}});
    ASSERT_EQ(Att_AmpRd("7", &pos, &time), TAV_OK);
    EXPECT_EQ(std::make_pair(+pos, +time), std::make_pair(3, 1));
    const auto reads = fake.calls_of("Wyn_Para_Rd2");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].args, (std::vector<long long>{2, 1, 112, 8}));  // the target station
    EXPECT_EQ(fake.calls_of("Wyn_SysCondition_Rd")[0].args[0], 2);
}

// ------------------------------------------------------------- end to end
class VvEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home, {"servo.set", "servo.con"});
        tavtest::line_on_simulator(home);
        ASSERT_EQ(tav::line::Amp_Wt("2"), TAV_OK);  // the V-type amplifier is the target
        // The sample installation has no extended-parameter definitions; the
        // numbers found are not used by the VV transfer anyway.
        set_decimal_param_finder(tavtest::decimal_params<0x40>);
    }
    void TearDown() override { set_decimal_param_finder(nullptr); }

    tavtest::TempHost host;
    tavtest::TempInstall home;
};

// A changed point's times reach the amplifier; then the initial write sends
// every point with what it holds.
TEST_F(VvEndToEnd, ChangedTimesAndTheInitialWriteReachTheAmplifierAndReadBack) {
    auto s = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(ComRd(nullptr, "2", s.get()), TAV_OK);
    EXPECT_EQ(+s->nFamily, 0x40u);
    const ItiVvDatPoint& p = s->point[3];
    EXPECT_EQ(std::make_tuple(+p.dStopPos, +p.dAccelTime, +p.dDecelTime), std::make_tuple(4000.0, 10.0, 10.0));
    ASSERT_EQ(Dat_Chg(s.get(), 4, p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, 12.5, 3.5, p.dStopTimer, p.nMCode,
                      p.nMValid, p.nMTiming),
              TAV_OK);
    ASSERT_EQ(ComWt(nullptr, "2", 0, s.get()), TAV_OK);
    EXPECT_EQ(+s->point[3].nChgFlag, 0);

    auto back = std::make_unique<ItiVvDatSet>();
    ASSERT_EQ(ComRd(nullptr, "2", back.get()), TAV_OK);
    tavtest::expect_same_points(*back, *s);
    EXPECT_EQ(std::make_pair(+back->point[3].dAccelTime, +back->point[3].dDecelTime), std::make_pair(12.5, 3.5));

    for (int no = 1; no <= 15; ++no)
        ASSERT_EQ(Dat_Chg(s.get(), no, no % 2, no % 4, -25.0 * no, 50.0 + no, 0.5 * no, 100.0 + no, 0.01 * no,
                          no, 1, no % 2),
                  TAV_OK);
    for (int no = 1; no <= 15; ++no) s->point[no - 1].nChgFlag = 0;  // InitWt sends them all the same
    ASSERT_EQ(InitWt(s.get()), TAV_OK);
    ASSERT_EQ(ComRd(nullptr, "2", back.get()), TAV_OK);
    tavtest::expect_same_points(*back, *s);
}

}  // namespace
