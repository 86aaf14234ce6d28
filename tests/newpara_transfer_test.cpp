// Extended parameter transfer: exact exchanges against the recording fake,
// then end to end against the simulator through the real component.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "comm/comm.h"
#include "fixtures/progress.h"
#include "fixtures/recording_wyn.h"
#include "fixtures/para_fixtures.h"
#include "fixtures/temp_dirs.h"
#include "frame/frame.h"
#include "line/line.h"
#include "newpara/newpara.h"

namespace {

namespace fs = std::filesystem;
using namespace tav::newpara;
using tavtest::WynAnswer;

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        tavtest::install_sample_definitions(home, true, true);
        tavtest::line_on_simulator(home);
    }

    // The host cancels once the progress reaches 50 %.
    void cancel_at_half_way() {
        progress.onRate = [this](unsigned rate) {
            if (rate >= 50) set->nCancel = -31;
        };
    }

    tavtest::TempInstall home;
    tavtest::ProgressWindow progress;
    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
};

// ------------------------------------------------------------ recording fake
class TransferFake : public Install {
protected:
    void SetUp() override {
        Install::SetUp();
        ASSERT_EQ(NewParaIni_Rd(0, 0, 0, set.get()), 0);
        std::strcpy(set->szAmpNo, "001");
        wyn.default_answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 0x01, 0x00, 0x50}});
    }
    tavtest::RecordingWyn wyn;
};

TEST_F(TransferFake, ReadOfAFullSetTakesSeventyFiveBlocks) {
    for (auto& r : set->para) r.wAttr = 0x0001;
    ASSERT_EQ(NewPara_Amp_Rd("1", set.get(), 0, 0), 0);
    const auto reads = wyn.calls_of("Wyn_Para_Rd2");
    ASSERT_EQ(reads.size(), 75u);
    // args: station, count, first, size
    EXPECT_EQ(reads[0].args, (std::vector<long long>{1, 4, 1, 26}));
    EXPECT_EQ(reads[24].args, (std::vector<long long>{1, 3, 97, 20}));
    EXPECT_EQ(reads[25].args[2], 100);
    EXPECT_EQ(reads[74].args, (std::vector<long long>{1, 3, 295, 20}));
    EXPECT_EQ(+set->nProgressDone, 297);
    EXPECT_STREQ(set->szAmpNo, "001");
    EXPECT_NE(set->szReadDate[0], '\0');
    ASSERT_FALSE(progress.rates.empty());
    EXPECT_EQ(std::make_pair(progress.rates.front(), progress.rates.back()), std::make_pair(0u, (297u - 3u) * 100u / 297u));
}

TEST_F(TransferFake, ReadValuesMemoryErrorsAndUnusedSlots) {
    for (auto& r : set->para) r.wAttr = 0;
    set->para[0].wAttr = 0x0204;
    set->para[1].wAttr = 0x0001;
    set->para[2].wAttr = 0x0001;
    // STR1, STR2, then -12.34 with two places, a memory error, a digit A..F.
    wyn.answer("Wyn_Para_Rd2", WynAnswer{0, {0, 0, 0x21, 0, 0, 0, 0x12, 0x34, 0x08, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x1A}});
    ASSERT_EQ(NewPara_Amp_Rd("1", set.get(), 0, 0), 0);
    ASSERT_EQ(wyn.count("Wyn_Para_Rd2"), 1u);
    EXPECT_DOUBLE_EQ(+set->para[0].dValue, -12.34);
    EXPECT_DOUBLE_EQ(+set->para[0].dMax, 99999999.99);
    EXPECT_DOUBLE_EQ(+set->para[0].dMin, -99999999.99);  // symmetric attribute
    EXPECT_EQ(std::make_tuple(+set->para[1].nResult, +set->para[2].nResult, +set->para[2].dValue),
              std::make_tuple(-25, -26, 0.0));
}

TEST_F(TransferFake, CancelAndFailureEndTheRead) {
    for (auto& r : set->para) r.wAttr = 0x0001;
    cancel_at_half_way();
    EXPECT_EQ(NewPara_Amp_Rd("1", set.get(), 0, 0), -31);
    EXPECT_LT(wyn.count("Wyn_Para_Rd2"), 75u);
    wyn.calls.clear();
    set->nCancel = 0;
    progress.onRate = nullptr;
    wyn.answer("Wyn_Para_Rd2", WynAnswer{0, {0x40, 0}});
    EXPECT_EQ(NewPara_Amp_Rd("1", set.get(), 0, 0), -27);
    EXPECT_EQ(wyn.count("Wyn_Para_Rd2"), 1u);
}

TEST_F(TransferFake, WriteBlocksFollowPagesAndTheProtectionSwitchGoesFirst) {
    for (int no : {98, 99, 100, 173, 174}) {
        set->para[no - 1].wAttr = 0x0001;
        EXPECT_EQ(NewPara_Dat_Chg(set.get(), no, no + 0.0), TAV_OK);
    }
    set->nFamily = 0x30;
    set->byInfo1 = 0x11, set->byInfo2 = 0x22, set->byInfo3 = 0x33, set->byInfo5 = 0x55, set->byInfo8 = 0x88;
    set->byInfo10 = 0xA0, set->byInfo11 = 0xB1, set->byInfo12 = 0xC2, set->byInfo14 = 0xE4;
    ASSERT_EQ(NewPara_ComWt(nullptr, "1", 0, 0, set.get()), 0);
    const auto writes = wyn.calls_of("Wyn_Para_Wt2");
    ASSERT_EQ(writes.size(), 4u);
    const std::vector<long long> args[] = {{1, 1, 173, 6}, {1, 2, 98, 12}, {1, 1, 100, 6}, {1, 1, 174, 6}};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(writes[i].args, args[i]) << i;
    // 10-digit BCD of the value with the attribute's places: 98 -> 00 00 00 00 98.
    EXPECT_EQ(writes[1].data, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 0, 0x99}));
    for (int no : {98, 99, 100, 173, 174}) EXPECT_EQ(+set->para[no - 1].nChgFlag, 0) << no;
    // Opening, identification block to 0x040100, writes, closing.
    const auto frames = wyn.calls_of("CommExecProc");
    ASSERT_EQ(frames.size(), 3u);
    // The identification block: kind 2 at 0x040100, record bytes 3..14 between zeros.
    EXPECT_EQ(tavtest::bytes_at(frames[1].data, 19, 4), (std::vector<uint8_t>{2, 0, 1, 4}));
    EXPECT_EQ(tavtest::bytes_at(frames[1].data, 25, 15),
              (std::vector<uint8_t>{0x00, 0x00, 0x30, 0x11, 0x33, 0x22, 0x55, 0xA0, 0xB1, 0xC2, 0xE4, 0x00, 0x88,
                                    0x00, 0x00}));
    EXPECT_EQ(+set->nProgressDone, +set->nProgressTotal);
    EXPECT_EQ(std::make_pair(wyn.count("Wyn_Net_Open"), wyn.count("Wyn_Net_Close")), std::make_pair(size_t{1}, size_t{1}));
}

TEST_F(TransferFake, NothingChangedStationsAndTheOperatorCheck) {
    EXPECT_EQ(NewPara_ComWt(nullptr, "1", 0, 0, set.get()), -69);
    home.write("servo.con", "SERVO,   1\r\n1\r\n999,0,empty\r\n");
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 3, 1), TAV_OK);
    EXPECT_EQ(NewPara_ComWt(nullptr, "1", 0, 0, set.get()), -19);
    EXPECT_EQ(wyn.count("Wyn_Net_Open"), 0u) << "neither opened the line";
    EXPECT_EQ(+set->nProgressDone, -1);

    home.write("servo.con", tavtest::read_file(tavtest::sample_file("servo.con")));
    wyn.answer("Wyn_SysCondition_Rd", WynAnswer{0, {0, 0, 0x01, 0x02, 0x30}});
    EXPECT_EQ(NewPara_ComRd(nullptr, "1", 0, set.get(), 0, 0), -22);
    EXPECT_EQ(wyn.count("Wyn_Para_Rd2"), 0u);
    EXPECT_EQ(wyn.count("Wyn_Net_Close"), 1u);
    EXPECT_EQ(+set->nProgressDone, -1);
}

TEST_F(TransferFake, FailedBlockIsRetriedOneByOne) {
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 3, 3), TAV_OK);
    EXPECT_EQ(NewPara_Dat_Chg(set.get(), 4, 4), TAV_OK);
    for (uint8_t str1 : {0x40, 0, 0}) wyn.answer("Wyn_Para_Wt2", WynAnswer{0, {str1, 0}});  // the block: data error
    EXPECT_EQ(NewPara_Amp_Wt("1", 0, set.get()), 0);
    const auto writes = wyn.calls_of("Wyn_Para_Wt2");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ((std::vector<std::vector<long long>>{writes[1].args, writes[2].args}),
              (std::vector<std::vector<long long>>{{1, 1, 3, 6}, {1, 1, 4, 6}}));
    EXPECT_EQ(+set->para[2].nChgFlag, 0);

    // Refused one by one: write protection, the write ends.
    wyn.calls.clear();
    for (int no : {3, 4, 50}) EXPECT_EQ(NewPara_Dat_Chg(set.get(), no, no == 3 ? 3 : 4), TAV_OK);
    for (uint8_t str1 : {0x80, 0x80, 0}) wyn.answer("Wyn_Para_Wt2", WynAnswer{0, {str1, 0}});
    EXPECT_EQ(NewPara_Amp_Wt("1", 0, set.get()), -35);
    EXPECT_EQ(std::make_tuple(+set->para[2].nResult, +set->para[3].nResult, +set->para[49].nChgFlag),
              std::make_tuple(-35, 0, 1));
    EXPECT_EQ(wyn.count("Wyn_Para_Wt2"), 3u);

    // Data size error with a refusal in the status: -35 at once.
    wyn.calls.clear();
    wyn.answer("Wyn_Para_Wt2", WynAnswer{12, {0x80, 0}});
    EXPECT_EQ(NewPara_Amp_Wt("1", 0, set.get()), -35);
    wyn.answer("Wyn_Para_Wt2", WynAnswer{12, {0, 0}});
    EXPECT_EQ(NewPara_Amp_Wt("1", 0, set.get()), 12);
}

TEST_F(TransferFake, InitialValuesOfEveryParameterAfterTheSwitch) {
    set->para[2].dValue = 1;  // the value is not what is sent
    ASSERT_EQ(NewPara_ComInitWt(set.get()), 0);
    const auto writes = wyn.calls_of("Wyn_Para_Wt2");
    ASSERT_EQ(writes.size(), 1u + 150u);  // 173 alone, then 296 in pairs within pages
    EXPECT_EQ(std::make_pair(writes[0].args[2], writes[2].args[2]), std::make_pair(173LL, 3LL));
    EXPECT_EQ(writes[1].data, std::vector<uint8_t>(12, 0));
    EXPECT_EQ(tavtest::bytes_at(writes[2].data, 0, 6), (std::vector<uint8_t>{0, 0, 0, 0, 0x50, 0x00}));  // 3: 5000
}

// ------------------------------------------------------------- end to end
class TransferSim : public Install {
protected:
    void TearDown() override {
        tav::comm::wyn().Wyn_Net_Close();
        Install::TearDown();
    }
};

// A read cancelled half way closes the line and frees the port; then a whole
// read, a write of changed values and of the initial values, each read back.
TEST_F(TransferSim, CancelReadChangeWriteAndReadBack) {
    cancel_at_half_way();
    EXPECT_EQ(NewPara_ComRd(nullptr, "1", 0, set.get(), 0, 0), -31);
    EXPECT_EQ(set->nProgressDone < set->nProgressTotal, true);
    int port = -1;
    EXPECT_EQ(tav::line::ComPortLockUnlockCheck(&port), 0);
    EXPECT_EQ(tav::comm::wyn().Wyn_Net_Close(), 5) << "the line was closed";
    progress.onRate = nullptr;
    set->nCancel = 0;

    ASSERT_EQ(NewPara_ComRd(nullptr, "1", 0, set.get(), 0, 0), 0);
    EXPECT_EQ(std::make_pair(+set->nFamily, +set->nModel), std::make_pair(0x30, 2));
    EXPECT_STREQ(set->szAmpNo, "001");
    int present = 0;
    for (int i = 0; i < 297; ++i) {
        if (set->para[i].wAttr == 0) continue;
        ++present;
        // The simulator's parameter n holds n; the decimal position and the switches 0.
        const double expected = i + 1 == 112 || i + 1 == 113 || i + 1 == 173 ? 0 : i + 1;
        EXPECT_DOUBLE_EQ(+set->para[i].dValue, expected) << i + 1;
    }
    EXPECT_GT(present, 80);
    EXPECT_DOUBLE_EQ(+set->para[2].dValue, 3);
    EXPECT_EQ(+set->nProgressDone, +set->nProgressTotal);

    ASSERT_EQ(NewPara_Dat_Chg(set.get(), 8, 123), 0);     // PA1 08
    ASSERT_EQ(NewPara_Dat_Chg(set.get(), 105, 250), 0);   // PA2 06
    ASSERT_EQ(NewPara_Dat_Chg(set.get(), 201, 1200), 0);  // PA3 03
    ASSERT_EQ(NewPara_ComWt(nullptr, "1", 0, 0, set.get()), 0);

    auto back = std::make_unique<NewParaSet>();
    ASSERT_EQ(NewPara_ComRd(nullptr, "1", 0, back.get(), 0, 0), 0);
    EXPECT_EQ(std::make_tuple(+back->para[7].dValue, +back->para[104].dValue, +back->para[200].dValue),
              std::make_tuple(123.0, 250.0, 1200.0));
    for (int i = 0; i < 297; ++i) EXPECT_DOUBLE_EQ(+back->para[i].dValue, +set->para[i].dValue) << i + 1;

    ASSERT_EQ(NewPara_ComInitWt(set.get()), 0);
    ASSERT_EQ(NewPara_ComRd(nullptr, "1", 0, back.get(), 0, 0), 0);
    auto defs = std::make_unique<NewParaSet>();
    ASSERT_EQ(NewParaIni_Rd(2, 0, 0, defs.get()), 0);
    for (int i = 0; i < 297; ++i) {
        if (back->para[i].wAttr == 0) continue;
        EXPECT_DOUBLE_EQ(+back->para[i].dValue, +defs->para[i].dInitial) << i + 1;
    }
}

}  // namespace
