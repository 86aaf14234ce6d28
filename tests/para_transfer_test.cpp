// Standard-parameter transfer: the exchanges on the recording fake (blocks,
// bytes, retries, status checks) and round trips against the simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "para/para.h"
#include "tests/fixtures/recording_wyn.h"
#include "tests/fixtures/para_fixtures.h"
#include "tests/fixtures/temp_dirs.h"

namespace para = tav::para;
namespace fs = std::filesystem;
using tavtest::RecordingWyn;
using tavtest::WynAnswer;

namespace {

class Transfer : public tavtest::OperatorInstall {
protected:
    void SetUp() override {
        install_operator_files(true);
    }
    std::unique_ptr<ParaSet> set = std::make_unique<ParaSet>();
};

class FakeTransfer : public Transfer {
protected:
    void SetUp() override {
        Transfer::SetUp();
        fake.default_answer("Wyn_SysCondition_Rd", WynAnswer{0, tavtest::id_record(0, 0x50)});
    }
    // A set made from the definition, as the host has it before a write.
    void created() {
        ASSERT_EQ(para::Para_Create(0, 0, set.get()), 0);
        for (auto& r : set->para) r.nChgFlag = 0;
        fake.calls.clear();
    }
    RecordingWyn fake;
};

}  // namespace

TEST_F(FakeTransfer, ReadTakesTenValueAndTenTableBlocksOfFour) {
    ASSERT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), 0);
    const auto values = fake.calls_of("Wyn_StdPara_Rd");
    const auto tables = fake.calls_of("Wyn_StdParaTbl_Rd");
    ASSERT_EQ(values.size(), 10u);
    ASSERT_EQ(tables.size(), 10u);
    for (int k = 0; k < 10; ++k) {
        const unsigned first = static_cast<unsigned>(4 * k + 1);
        const long long bcd = (first / 10) * 16 + first % 10;
        EXPECT_EQ(values[k].args, (std::vector<long long>{0, 4, bcd, 100}));
        EXPECT_EQ(tables[k].args, (std::vector<long long>{0, 4, bcd, 100}));
    }
    EXPECT_EQ(std::make_pair(fake.count("Wyn_Net_Open"), fake.count("Wyn_Net_Close")), std::make_pair(size_t{1}, size_t{1}));
    EXPECT_STREQ(set->szAmpNo, "000");
    EXPECT_EQ(+set->nProgressDone, 40);
}

TEST_F(FakeTransfer, ValuesAndTablesAreConverted) {
    // Parameter 1: value -12.34 (2 places); table: attribute 0x0286 with the
    // sign bit of the initial value, initial 1.50, maximum 99.99, minimum 0.
    // Parameter 2: a memory error in its value, initial value 7.
    std::vector<uint8_t> values = {0, 0, 0x21, 0x00, 0x00, 0x00, 0x12, 0x34, 0x08};
    std::vector<uint8_t> table = {0, 0, 0x0A, 0x84, 0, 0, 0, 0x01, 0x50, 0, 0, 0, 0x99, 0x99, 0, 0, 0, 0, 0,
                                  0x00, 0x80, 0, 0, 0, 0x00, 0x07, 0, 0, 0, 0x00, 0x50, 0, 0, 0, 0, 0};
    values.resize(26), table.resize(70);
    fake.answer("Wyn_StdPara_Rd", WynAnswer{0, values});
    fake.answer("Wyn_StdParaTbl_Rd", WynAnswer{0, table});
    ASSERT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), 0);
    const ParaRecord& a = set->para[0];
    // Value, attribute without the sign bit, signed initial value, symmetric range.
    EXPECT_EQ(std::make_tuple(+a.dValue, +a.wAttr, +a.dInitial, +a.dMax, +a.dMin),
              std::make_tuple(-12.34, 0x0A84 & 0xFF9F, -1.5, 99.99, -99.99));
    EXPECT_DOUBLE_EQ(+a.dScale, 10.0 / 1e10);
    // Parameter 2's memory error: the initial value stands in.
    EXPECT_EQ(std::make_pair(+set->para[1].nResult, +set->para[1].dValue), std::make_pair(int{TAV_E_MEMORY_ERROR}, 7.0));
}

// The system page's definitions give parameter 2 as BCD and 8 as unsigned;
// here the device reports them the other way round. Each value is decoded as
// its table attribute says and goes back to the device in that same encoding.
TEST_F(FakeTransfer, ValuesFollowTheDevicesTableAttributeBothWays) {
    const struct {
        int no;
        uint8_t attrLow;
        std::vector<uint8_t> field;
        double value;
    } cases[] = {
        {2, 0x82, {0x00, 0x00, 0x00, 0x00, 0x01, 0x2C}, 300},  // binary on the device
        {8, 0x80, {0x00, 0x00, 0x00, 0x00, 0x01, 0x02}, 102},  // BCD on the device
    };
    std::vector<uint8_t> values[2], tables[2];
    for (int b = 0; b < 2; ++b) values[b].assign(2 + 6 * 4, 0), tables[b].assign(2 + 17 * 4, 0);
    for (const auto& c : cases) {
        const int b = (c.no - 1) / 4, k = (c.no - 1) % 4;
        std::copy(c.field.begin(), c.field.end(), values[b].begin() + 2 + 6 * k);
        tables[b][2 + 17 * k + 1] = c.attrLow;
        tables[b][2 + 17 * k + 10] = 0x09;  // maximum 900
    }
    for (int b = 0; b < 2; ++b) {
        fake.answer("Wyn_SysPara_Rd", WynAnswer{0, values[b]});
        fake.answer("Wyn_SysParaTbl_Rd", WynAnswer{0, tables[b]});
    }
    ASSERT_EQ(para::Para_ComRd(nullptr, "0", 1, set.get()), 0);
    for (const auto& c : cases) {
        EXPECT_EQ(+set->para[c.no - 1].nResult, 0) << c.no;
        EXPECT_EQ(+set->para[c.no - 1].dValue, c.value) << c.no;
    }
    fake.calls.clear();
    for (auto& r : set->para) r.nChgFlag = 0;
    for (const auto& c : cases) ASSERT_EQ(para::Para_Dat_Chg(set.get(), c.no, c.value), 0) << c.no;
    ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 0);
    const auto writes = fake.calls_of("Wyn_SysPara_Wt");
    ASSERT_EQ(writes.size(), 2u);
    for (size_t i = 0; i < 2; ++i)  // the component is handed 5 bytes per parameter
        EXPECT_EQ(writes[i].data, std::vector<uint8_t>(cases[i].field.begin(), cases[i].field.begin() + 5)) << i;
}

TEST_F(FakeTransfer, StatusErrorAndWrongDeviceEndTheRead) {
    std::vector<uint8_t> refused(26, 0);
    refused[0] = 0x40;
    fake.answer("Wyn_SysPara_Rd", WynAnswer{0, refused});
    EXPECT_EQ(para::Para_ComRd(nullptr, "0", 1, set.get()), TAV_E_STR_DATA);  // kind 1 uses the Sys calls
    EXPECT_EQ(std::make_pair(fake.count("Wyn_SysPara_Rd"), fake.count("Wyn_Net_Close")), std::make_pair(size_t{1}, size_t{1}));

    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, tavtest::id_record(0, 0x30)});
    EXPECT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), TAV_E_NOT_OPERATOR);
    fake.answer("Wyn_Net_Open", WynAnswer{1, {}});
    EXPECT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), TAV_E_OPEN_DEVICE);
}

TEST_F(FakeTransfer, StationIsLookedUpInTheListEvenWhenItIsNotInUse) {
    created();
    set->para[4].nChgFlag = 1;
    // Line 7 is 0: number 0 (the servo operator) is looked up, and a list
    // that is missing or not a list fails before the line is touched.
    for (const auto& [list, code] : {std::pair<const char*, short>{nullptr, TAV_E_NO_FILE},
                                     std::pair<const char*, short>{"HELLO\r\n1\r\n", TAV_E_FILE_NAME}}) {
        if (list == nullptr) fs::remove(home.file("servo.con"));
        else home.write("servo.con", list);
        EXPECT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), code);
        EXPECT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), code);
        EXPECT_EQ(para::Para_Amp_Rd("0", set.get()), code);
        EXPECT_EQ(para::Para_Amp_Wt("0", 0, set.get()), code);
        EXPECT_TRUE(fake.calls.empty());
    }
}

TEST_F(FakeTransfer, ForceLinMarkerOverridesTheReportedModel) {
    for (bool marker : {true, false}) {
        if (marker) home.write("TAVLOG.LIN", "");
        else fs::remove(home.file("TAVLOG.LIN"));
        ASSERT_EQ(para::Para_ComRd(nullptr, "0", 0, set.get()), 0);
        EXPECT_EQ(+set->nModel, marker ? 2 : 0);
    }
}

TEST_F(FakeTransfer, HiddenPageReadsThroughDirectFramesAndSkipsUnusedSlots) {
    ASSERT_EQ(para::Para_ComRd(nullptr, "0", 2, set.get()), 0);
    EXPECT_EQ(fake.count("Wyn_StdPara_Rd"), 0u);
    // 36 parameters in use: nine frames of four, plus nothing for 37..40.
    EXPECT_EQ(fake.count("CommExecProc"), 9u);
    const auto frames = fake.calls_of("CommExecProc");
    EXPECT_EQ(std::make_pair(frames[0].data[13], frames[0].data[19]), std::make_pair(uint8_t{0x50}, uint8_t{0x24}));
    // Start parameter 5 in BCD, 6 x 4 + 2 bytes wanted.
    EXPECT_EQ(std::make_pair(frames[1].data[20], frames[1].data[23]), std::make_pair(uint8_t{0x05}, uint8_t{26}));
    EXPECT_EQ(+set->nProgressTotal, 36);
}

TEST_F(FakeTransfer, WritesRunsOfChangedParameters) {
    created();
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 81), 0);
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 11, 120), 0);
    ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 0);
    auto writes = fake.calls_of("Wyn_StdPara_Wt");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].args, (std::vector<long long>{0, 1, 0x05, 5}));
    EXPECT_EQ(writes[1].args, (std::vector<long long>{0, 1, 0x11, 5}));
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x00, 0x00}));  // header, digits ...
    EXPECT_EQ(+set->para[4].nChgFlag, 0);
    // Transfer opening and closing frames around the data.
    const auto frames = fake.calls_of("CommExecProc");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(std::make_tuple(frames[0].data[13], frames[0].data[19], frames[1].data[19]), std::make_tuple(0x51, 0, 1));

    fake.calls.clear();
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 82), 0);
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 6, 12.5), 0);
    ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 0);
    writes = fake.calls_of("Wyn_StdPara_Wt");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].args, (std::vector<long long>{0, 2, 0x05, 10}));
    // Two 6-byte fields: 82 with no places, 12.5 with one place.
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x00, 0x00, 0x82, 0x10, 0x00, 0x00, 0x00}));
}

TEST_F(FakeTransfer, FailedBlockIsRetriedOneByOne) {
    created();
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 81), 0);
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 6, 12.5), 0);
    fake.answer("Wyn_StdPara_Wt", WynAnswer{3, {}});
    ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 0);
    const auto writes = fake.calls_of("Wyn_StdPara_Wt");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(std::make_pair(writes[1].args[1], writes[2].args[2]), std::make_pair(1LL, 0x06LL));
    for (const auto& r : set->para) EXPECT_EQ(+r.nChgFlag, 0);

    // A single write that fails otherwise is remembered and the walk goes on:
    // the block's failure is the result.
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 83), 0);
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 9, 1.5), 0);
    fake.answers("Wyn_StdPara_Wt", {WynAnswer{3, {}}, WynAnswer{2, {}}});
    EXPECT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 3);
    EXPECT_EQ(std::make_pair(+set->para[4].nResult, +set->para[8].nChgFlag), std::make_pair(2, 0));
    EXPECT_EQ(fake.calls_of("Wyn_StdPara_Wt").size(), 3u + 3u);
    // A write-protected parameter ends the write with -35.
    fake.answers("Wyn_StdPara_Wt", {WynAnswer{3, {}}, WynAnswer{0, {0x80, 0}}});
    EXPECT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), TAV_E_WRITE_PROTECTED);
    EXPECT_EQ(std::make_pair(+set->para[4].nResult, +set->para[4].nChgFlag), std::make_pair(int{TAV_E_WRITE_PROTECTED}, 1));
}

TEST_F(FakeTransfer, NothingToSendAndOutOfRangeStopBeforeTheLine) {
    created();
    EXPECT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), TAV_E_NOTHING_TO_SEND);
    EXPECT_TRUE(fake.calls.empty());
    ASSERT_EQ(para::Para_Dat_Chg(set.get(), 5, 81), 0);
    set->para[4].dValue = 5000;  // beyond 2000
    EXPECT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), TAV_E_RANGE);
    EXPECT_EQ(+set->para[4].nResult, TAV_E_RANGE);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(FakeTransfer, SendAllSkipsUnusedHiddenSlotsAndReadsBack) {
    ASSERT_EQ(para::Para_Create(0, 2, set.get()), 0);
    fake.calls.clear();
    ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 1, set.get()), 0);
    // 36 parameters in blocks of two, between the opening and closing frames.
    EXPECT_EQ(fake.count("CommExecProc"), 18u + 2u);
    const auto frames = fake.calls_of("CommExecProc");
    EXPECT_EQ(std::make_tuple(frames[1].data[13], frames[1].data[19], frames[1].data[23]), std::make_tuple(0x51, 0x24, 12));
}

// ---------------------------------------------------------------- simulator

class SimTransfer : public Transfer {
protected:
    void SetUp() override {
        Transfer::SetUp();
        tavtest::line_on_simulator(home);
    }
    void round_trip(int kind, int a, double va, int b, double vb) {
        SCOPED_TRACE("page kind " + std::to_string(kind));
        ASSERT_EQ(para::Para_ComRd(nullptr, "0", kind, set.get()), 0);
        EXPECT_EQ(+set->para[a - 1].dValue, 100 * kind + a);  // the simulator's defaults
        ASSERT_EQ(para::Para_Dat_Chg(set.get(), a, va), 0);
        ASSERT_EQ(para::Para_Dat_Chg(set.get(), b, vb), 0);
        ASSERT_EQ(para::Para_ComWt(nullptr, "0", 0, 0, set.get()), 0);
        auto back = std::make_unique<ParaSet>();
        ASSERT_EQ(para::Para_ComRd(nullptr, "0", kind, back.get()), 0);
        for (int i = 0; i < 40; ++i)
            if (set->para[i].wAttr != 0) {
                EXPECT_EQ(+back->para[i].dValue, +set->para[i].dValue) << i;
            }
        EXPECT_EQ(+back->para[a - 1].dValue, va);
        EXPECT_EQ(+back->para[b - 1].dValue, vb);
    }
};

TEST_F(SimTransfer, StandardAndHiddenPageRoundTrips) {
    round_trip(0, 5, 1234, 11, 77);
    round_trip(2, 1, 1500, 12, 9);
}
