// Positioning transfers: the exchanges a read and a write make (recording
// fake), the range and decimal-point checks, and a round trip against the
// simulator's L-type amplifier.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Tav_acs.h"
#include "bcd/bcd.h"
#include "comm/comm.h"
#include "frame/frame.h"
#include "iti/iti.h"
#include "line/line.h"
#include "newpara/newpara.h"
#include "tests/fixtures/progress.h"
#include "tests/fixtures/recording_wyn.h"
#include "tests/fixtures/set_matchers.h"
#include "tests/fixtures/temp_dirs.h"

using namespace tav::iti;
using tavtest::bytes_at;
using tavtest::RecordingWyn;
using tavtest::WynAnswer;
using Bytes = std::vector<uint8_t>;

namespace {

short no_params(int*, int*, unsigned*) { return 1; }

class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample(home_, {"servo.set", "servo.con"});
        set_decimal_param_finder(tavtest::decimal_params<0x30>);  // the simulator's numbers
    }
    void TearDown() override { set_decimal_param_finder(nullptr); }
    tavtest::TempInstall home_;
    tavtest::ProgressWindow progress_;
};

class ItiFake : public Installed {
protected:
    void SetUp() override {
        Installed::SetUp();
        // Station 0 the servo operator, station 1 a KESTA7 L type.
        fake_.default_answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 1, 2, 0x30, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}});
    }
    void operator_then_amp() {
        fake_.answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 1, 0, 0x50}});
    }
    void decimals(unsigned char pos, unsigned char time) {
        fake_.answers("Wyn_Para_Rd2", {WynAnswer{0, {0, 0, 0, 0, 0, 0, 0, pos}}, WynAnswer{0, {0, 0, 0, 0, 0, 0, 0, time}}});
    }
    std::unique_ptr<ItiDatSet> table() {
        auto s = std::make_unique<ItiDatSet>();
        s->nModel = 2;
        s->nPointCount = 99;
        for (int i = 0; i < 99; ++i) s->point[i].nDataNo = i + 1;
        return s;
    }
    RecordingWyn fake_;
};

TEST_F(ItiFake, ReadingMakesFiftyExchangesWithProgress) {
    decimals(2, 1);
    auto s = table();
    std::strcpy(s->szComment, "kept");
    ASSERT_EQ(ComRd(nullptr, "1", s.get()), TAV_OK);
    const auto reads = fake_.calls_of("Wyn_PlaceDat_Rd2");
    ASSERT_EQ(reads.size(), 50u);
    for (int b = 0; b < 49; ++b) {
        EXPECT_EQ(reads[b].args[0], 1);  // entry 1 of the station list is station 1
        EXPECT_EQ(reads[b].args[1], 2);
        unsigned bcd = 0;
        tav::bcd::int_to_Bcd(2 * b + 1, &bcd);
        EXPECT_EQ(reads[b].args[2], bcd);
    }
    EXPECT_EQ(std::make_pair(reads[49].args[1], reads[49].args[2]), std::make_pair(1LL, 0x99LL));
    const std::vector<unsigned>& rates = progress_.rates;
    ASSERT_FALSE(rates.empty());
    EXPECT_EQ(std::make_pair(rates.front(), rates.back()), std::make_pair(75u, 100u));
    for (size_t i = 1; i < rates.size(); ++i) EXPECT_GT(rates[i], rates[i - 1]);
    EXPECT_EQ(fake_.names().back(), "Wyn_Net_Close");
    EXPECT_EQ((std::vector<std::string>{s->szAmpNo, s->szComment}), (std::vector<std::string>{"001", "kept"}));
    EXPECT_NE(+(s->szReadDate[0]), '\0');
    // Decimal points, family, identification, progress.
    EXPECT_EQ(std::make_tuple(+s->wStopPosDp, +s->wStopTimeDp, +s->nFamily, +s->byInfo10, +s->nProgressTotal,
                              +s->nProgressDone),
              std::make_tuple(2, 1, 0x30u, 2, 99, 99));
}

TEST_F(ItiFake, PointImagesDecodeWithTheSetsDecimalPoints) {
    decimals(2, 0);
    // Point 1: INC, step 2, valid, MA; the amplifier's own nibbles are ignored.
    std::vector<uint8_t> reply = {0, 0,
                                  0x35, 0x51, 0x00, 0x00, 0x01, 0x23, 0x45, 0x70, 0x15, 0x00, 0x50,
                                  0x70, 0x00, 0x01, 0x25, 0x42,
                                  0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    fake_.answer("Wyn_PlaceDat_Rd2", WynAnswer{0, reply});
    auto s = table();
    ASSERT_EQ(ComRd(nullptr, "1", s.get()), TAV_OK);
    const ItiDatPoint& q = s->point[1];
    tavtest::expect_point(s->point[0], {.nDataNo = 1, .nChgFlag = 0, .nCmdMode = 1, .nStepMode = 2, .dStopPos = -123.45,
                                        .dSpeed = 1500.5, .dStopTimer = 1.25, .nMCode = 0x42, .nMValid = 1,
                                        .nMTiming = 1, .nStatus = 0});
    // Faulty memory: defaults and -25, while the read succeeds.
    EXPECT_EQ(std::make_tuple(+q.nCmdMode, +q.nMCode, +q.nStatus), std::make_tuple(1, 0xFF, int{TAV_E_MEMORY_ERROR}));
    EXPECT_DOUBLE_EQ(+(q.dSpeed), 0.01);
}

TEST_F(ItiFake, ReadFailuresAndCancel) {
    auto s = table();
    std::strcpy(s->szReadDate, "old date");
    // Cancel written by the host while the read runs (here: at the second block).
    int posts = 0;
    progress_.onRate = [&](unsigned) {
        if (++posts == 2) s->nCancel = TAV_E_CANCELLED;
    };
    decimals(0, 0);
    EXPECT_EQ(ComRd(nullptr, "1", s.get()), TAV_E_CANCELLED);
    EXPECT_EQ(fake_.calls_of("Wyn_PlaceDat_Rd2").size(), 2u);
    EXPECT_STREQ(s->szReadDate, "old date");
    EXPECT_EQ(+(s->nProgressDone), 4);
    EXPECT_EQ(fake_.names().back(), "Wyn_Net_Close");
    progress_.onRate = nullptr;
    s->nCancel = 0;

    // A status error ends the read without retry.
    fake_.calls.clear();
    decimals(0, 0);
    fake_.answers("Wyn_PlaceDat_Rd2", {WynAnswer{0, {}}, WynAnswer{0, {0x40, 0}}});
    EXPECT_EQ(ComRd(nullptr, "1", s.get()), TAV_E_STR_DATA);
    EXPECT_EQ(fake_.calls_of("Wyn_PlaceDat_Rd2").size(), 2u);
    EXPECT_EQ(+(s->nProgressDone), 4);

    // Not an L type; and a KB bus gives the number "000".
    fake_.answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 1, 0, 0x30}});
    EXPECT_EQ(ComRd(nullptr, "1", s.get()), TAV_E_NOT_L_TYPE);
    fake_.kbType = 1;
    decimals(0, 0);
    ASSERT_EQ(ComRd(nullptr, "1", s.get()), TAV_OK);
    EXPECT_STREQ(s->szAmpNo, "000");

    // Without the decimal-point definitions nothing is opened.
    fake_.calls.clear();
    set_decimal_param_finder(no_params);
    EXPECT_EQ(ComRd(nullptr, "1", s.get()), 1);
    EXPECT_EQ(fake_.count("Wyn_Net_Open"), 0u);
}

TEST_F(ItiFake, DecimalParameterOutOfRangeReadsAsZero) {
    auto s = table();
    s->point[0].nChgFlag = 1;
    operator_then_amp();
    decimals(7, 0);
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_OK);
    s->point[0].nChgFlag = 1;
    s->wStopPosDp = 2;
    operator_then_amp();
    decimals(7, 0);
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_DECIMAL_MISMATCH);
    EXPECT_EQ(+(s->point[0].nChgFlag), 1);
    EXPECT_EQ(fake_.names().back(), "Wyn_Net_Close");
    // The parameter reads go to the amplifier with the numbers found.
    const auto reads = fake_.calls_of("Wyn_Para_Rd2");
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(std::make_pair(reads[0].args[2], reads[1].args[2]), std::make_pair(112LL, 113LL));
}

TEST_F(ItiFake, ChangedOnlyWriteSendsBlocksWithoutGaps) {
    auto s = table();
    s->wStopPosDp = 2;
    for (int no : {3, 4, 5, 9}) s->point[no - 1].nChgFlag = 1;
    s->point[2] = {.nDataNo = 3, .nChgFlag = 1, .nCmdMode = 1, .nStepMode = 2, .dStopPos = -123.45, .dSpeed = 1500.5,
                   .dStopTimer = 1.25, .nMCode = 0x42, .nMValid = 1, .nMTiming = 1, .nStatus = 0};
    s->point[3].nMCode = 256;  // in range, sent as its low byte
    s->point[3].dStopTimer = 655.35;
    operator_then_amp();
    decimals(2, 0);
    ASSERT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_OK);
    const auto writes = fake_.calls_of("Wyn_PlaceDat_Wt2");
    ASSERT_EQ(writes.size(), 3u);
    const std::vector<long long> args[] = {{1, 2, 0x03, 32}, {1, 1, 0x05, 16}, {1, 1, 0x09, 16}};
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(writes[i].args, args[i]) << i;
    ASSERT_EQ(writes[0].data.size(), 32u);
    EXPECT_EQ(bytes_at(writes[0].data, 0, 16), (Bytes{0x35, 0x21, 0x00, 0x00, 0x01, 0x23, 0x45, 0x20, 0x15, 0x00,
                                                      0x50, 0x20, 0x00, 0x01, 0x25, 0x42}));
    EXPECT_EQ(writes[0].data[16 + 15], 0x00);  // M code 256
    EXPECT_EQ(bytes_at(writes[0].data, 27, 4), (Bytes{0x20, 0x06, 0x55, 0x35}));  // stop timer 655.35
    for (int no : {3, 4, 5, 9}) EXPECT_EQ(+(s->point[no - 1].nChgFlag), 0);
    EXPECT_EQ(std::make_pair(+s->nProgressTotal, +s->nProgressDone), std::make_pair(4, 4));
    // Nothing changed any more.
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_NOTHING_TO_SEND);
}

TEST_F(ItiFake, RangeCheckComesBeforeTheLine) {
    auto s = table();
    s->point[0].nChgFlag = 1;
    s->point[10].dSpeed = 8000.0;  // out of range but not to be sent
    operator_then_amp();
    decimals(0, 0);
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_OK);

    fake_.calls.clear();
    s->point[10].nChgFlag = 1;
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_RANGE);
    EXPECT_EQ(+(s->point[10].nStatus), TAV_E_RANGE);
    EXPECT_EQ(fake_.count("Wyn_Net_Open"), 0u);
    s->point[10].dSpeed = 0;

    // Stop timers: 655.35 with code 0, at most 65.535 with code 1.
    s->point[20].nChgFlag = 1;
    s->point[20].dStopTimer = 655.36;
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_RANGE);
    s->wStopTimeDp = 1;
    s->point[20].dStopTimer = 65.536;
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_RANGE);
    s->point[20].dStopTimer = 65.535;
    s->point[30].nChgFlag = 1;
    s->point[30].nMCode = -129;
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_RANGE);
    EXPECT_EQ(std::make_pair(+s->point[20].nStatus, +s->point[30].nStatus), std::make_pair(0, int{TAV_E_RANGE}));
    EXPECT_EQ(fake_.count("Wyn_Net_Open"), 0u);
    // A write of all points checks every point.
    s->point[30].nMCode = 0;
    s->point[40].dStopPos = 2000000001.0;
    EXPECT_EQ(ComWt(nullptr, "1", 1, s.get()), TAV_E_RANGE);
}

TEST_F(ItiFake, StatusErrorRetriesPointByPoint) {
    auto s = table();
    s->point[0].nChgFlag = 1;
    s->point[1].nChgFlag = 1;
    operator_then_amp();
    decimals(0, 0);
    // The block, then point 1 alone and point 2 alone.
    fake_.answers("Wyn_PlaceDat_Wt2", {WynAnswer{0, {0x40, 0}}, WynAnswer{0, {0, 0}}, WynAnswer{0, {0x20, 0}}});
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_STR_TRANSMISSION);
    const auto writes = fake_.calls_of("Wyn_PlaceDat_Wt2");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[1].args, (std::vector<long long>{1, 1, 0x01, 16}));
    EXPECT_EQ(writes[2].args, (std::vector<long long>{1, 1, 0x02, 16}));
    EXPECT_EQ(+(s->point[0].nChgFlag), 0);
    EXPECT_EQ(std::make_pair(+s->point[1].nChgFlag, +s->point[1].nStatus), std::make_pair(1, int{TAV_E_STR_TRANSMISSION}));

    // A data-size error ends the write.
    fake_.calls.clear();
    s->nProgressTotal = 0;
    operator_then_amp();
    decimals(0, 0);
    fake_.answer("Wyn_PlaceDat_Wt2", WynAnswer{12, {0, 0}});
    EXPECT_EQ(ComWt(nullptr, "1", 1, s.get()), 12);
    EXPECT_EQ(fake_.calls_of("Wyn_PlaceDat_Wt2").size(), 1u);
    EXPECT_EQ(fake_.names().back(), "Wyn_Net_Close");
}

TEST_F(ItiFake, WrongDevicesAreRefused) {
    auto s = table();
    s->point[0].nChgFlag = 1;
    fake_.answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 1, 0, 0x30}});
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_NOT_OPERATOR2);
    operator_then_amp();
    fake_.answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 1, 0, 0x30}});
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_MODEL_MISMATCH);
    fake_.calls.clear();
    fake_.answer("Wyn_Net_Open", WynAnswer{1, {}});
    EXPECT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_E_OPEN_DEVICE);
    EXPECT_EQ(fake_.count("Wyn_Net_Close"), 0u);
    EXPECT_EQ(fake_.count("Wyn_PlaceDat_Wt2"), 0u);
}

TEST_F(ItiFake, LivePointKeepsTheAmplifiersDecimalPoints) {
    fake_.answer("Wyn_PlaceDat_Rd2", WynAnswer{0, {0, 0, 0x0B, 0x30, 0x00, 0x00, 0x01, 0x23, 0x45, 0x20, 0x01, 0x00,
                                                   0x00, 0x30, 0x00, 0x01, 0x50, 0xAB}});
    ItiNoDatInfo info{};
    ASSERT_EQ(NoDat_Rd(1, 12, &info), TAV_OK);
    const auto reads = fake_.calls_of("Wyn_PlaceDat_Rd2");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].args[2], 0x12);
    EXPECT_EQ(std::make_tuple(+info.byDataNo, +info.nCmdMode, +info.nStepMode), std::make_tuple(12, 1, 5));
    EXPECT_DOUBLE_EQ(+(info.dStopPos), 12.345);
    EXPECT_DOUBLE_EQ(+(info.dSpeed), 100.0);
    EXPECT_DOUBLE_EQ(+(info.dStopTimer), 0.15);
    EXPECT_EQ((std::vector<std::string>{info.szDataNo, info.szMCode, info.szCmdMode, info.szStopPos}),
              (std::vector<std::string>{"12", "ab", "INC", "      12.345"}));

    ItiNoDatInfo untouched{};
    untouched.nMCode = 5;
    fake_.answer("Wyn_PlaceDat_Rd2", WynAnswer{0, {0x80, 0}});
    EXPECT_EQ(NoDat_Rd(1, 1, &untouched), TAV_E_STR_REFUSED);
    EXPECT_EQ(+(untouched.nMCode), 5);
}

// ------------------------------------------ decimal-point parameter numbers
// The numbers come from the installation's extended-parameter definitions and
// are kept between transfers; a definition rewritten in place (same size, old
// modification time) must still be read again.
class DecimalParamNumbers : public Installed {
protected:
    void SetUp() override {
        Installed::SetUp();
        set_decimal_param_finder(nullptr);  // the real look-up
        tavtest::install_sample(home_, {"def"});
    }
    // Swaps the codes of the two settings in every definition file, in place.
    void swap_codes() {
        for (const auto& e : std::filesystem::directory_iterator(home_.file("def"))) {
            const std::string path = e.path().string();
            std::string text = tavtest::read_file(path);
            const size_t ss = text.find("\tSS\t"), s2 = text.find("\tS2\t");
            if (ss == std::string::npos || s2 == std::string::npos) continue;
            text.replace(ss, 4, "\tS2\t");
            text.replace(s2, 4, "\tSS\t");
            tavtest::rewrite_in_place(path, text);
        }
    }
};

TEST_F(DecimalParamNumbers, AreKeptBetweenTransfersAndFollowADefinitionRewrittenInPlace) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // settled files may be kept
    int pos = 0, time = 0;
    unsigned family = 0;
    ASSERT_EQ(tav::newpara::decimal_point_params(&pos, &time, &family), TAV_OK);
    EXPECT_EQ(std::make_tuple(pos, time, family), std::make_tuple(112, 113, 0x40u));  // servo.set: a KESTA7 Mini line
    pos = time = 0;
    ASSERT_EQ(tav::newpara::decimal_point_params(&pos, &time, &family), TAV_OK);
    EXPECT_EQ(std::make_pair(pos, time), std::make_pair(112, 113));
    swap_codes();
    ASSERT_EQ(tav::newpara::decimal_point_params(&pos, &time, &family), TAV_OK);
    EXPECT_EQ(std::make_pair(pos, time), std::make_pair(113, 112));
}

// ------------------------------------------------------ against the simulator
class ItiSim : public Installed {
protected:
    void SetUp() override {
        Installed::SetUp();
        tavtest::line_on_simulator(home_);
    }
};

TEST_F(ItiSim, ReadInsertWriteReadBackAndAChangedPointOnTheAmplifier) {
    auto s = std::make_unique<ItiDatSet>();
    ASSERT_EQ(ComRd(nullptr, "1", s.get()), TAV_OK);
    EXPECT_EQ(std::make_pair(+s->nModel, +s->nPointCount), std::make_pair(2, 99));
    for (int n = 1; n <= 99; ++n)
        EXPECT_EQ(std::make_pair(+s->point[n - 1].dStopPos, +s->point[n - 1].dSpeed), std::make_pair(1000.0 * n, 100.0));
    ASSERT_EQ(Dat_Insert(s.get(), 5, 1, 1, -2500.0, 250.5, 0.75, 12, 1, 0), TAV_OK);
    ASSERT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_OK);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(+(s->point[i].nChgFlag), 0);

    auto back = std::make_unique<ItiDatSet>();
    ASSERT_EQ(ComRd(nullptr, "1", back.get()), TAV_OK);
    tavtest::expect_same_points(*back, *s);
    EXPECT_DOUBLE_EQ(+(back->point[5].dStopPos), 5000.0);  // the old point 5 moved down

    // A set with other decimal points is refused.
    ASSERT_EQ(Att_Chg(back.get(), 2), TAV_OK);
    EXPECT_EQ(ComWt(nullptr, "1", 1, back.get()), TAV_E_DECIMAL_MISMATCH);
    unsigned short pos = 9, time = 9;
    ASSERT_EQ(Att_AmpRd("1", &pos, &time), TAV_OK);
    EXPECT_EQ(std::make_pair(+pos, +time), std::make_pair(0, 0));

    // A changed point reaches the amplifier's memory (running to it is LineEndToEnd's and TestRunCommands').
    ASSERT_EQ(Dat_Chg(s.get(), 3, 0, 0, 1234.0, 5000.0, 0.0, 7, 1, 1), TAV_OK);
    ASSERT_EQ(ComWt(nullptr, "1", 0, s.get()), TAV_OK);
    ASSERT_EQ(tav::line::Wyn_Net_Open(), TAV_OK);
    ItiNoDatInfo info{};
    ASSERT_EQ(NoDat_Rd(1, 3, &info), TAV_OK);
    EXPECT_EQ(std::make_tuple(+info.dStopPos, +info.dSpeed, +info.nMCode), std::make_tuple(1234.0, 5000.0, 7));
    tav::comm::wyn().Wyn_Net_Close();
}

}  // namespace
