// Test-run commands: which commands reach the amplifier, in which order, and
// how their status bytes become result codes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "line/line.h"
#include "tests/fixtures/recording_wyn.h"
#include "tests/fixtures/temp_dirs.h"

using namespace tav::line;
using tavtest::WynAnswer;
using Names = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using Script = std::vector<std::pair<std::string, WynAnswer>>;

namespace {

// Unscripted commands answer with clear status bytes rather than no bytes at all.
struct RecordingWyn : tavtest::RecordingWyn {
    RecordingWyn() {
        for (const char* name : {"Wyn_Status_Rd", "Wyn_PlaceMotion_Run", "Wyn_Place_Cancel", "Wyn_ManuPluse_Snd",
                                 "Wyn_ManuMinus_Snd", "Wyn_Run_On", "Wyn_Run_Off", "Wyn_Online_Chg",
                                 "Wyn_Offline_Set", "Wyn_ManuSpeed_Sel", "Wyn_SysCondition_Rd",
                                 "Wyn_PlaceCondition_Rd"})
            default_answer(name, WynAnswer{0, {0x00, 0x00}});
    }
};

WynAnswer status(uint8_t str1, uint8_t str2 = 0) { return WynAnswer{0, {str1, str2}}; }

constexpr int kUnset = -1;  // the ready flag as the caller left it

}  // namespace

// Each command against scripted answers: its result, the commands that went
// out, the ready flag and the status bytes handed back (from EE EE).
TEST(TestRunCommands, ResultsCommandsReadyFlagAndStatusBytes) {
    using Call = std::function<short(unsigned char* out, int* ready)>;
    const auto place = [](int station, int no, int mode) -> Call {
        return [=](unsigned char* out, int* ready) { return PlaceRunOff(station, no, mode, out, ready); };
    };
    const auto jog = [](int dir) -> Call { return [=](unsigned char* out, int*) { return ManuPluse_Snd(2, dir, out); }; };
    const auto run = [](int on, int speed) -> Call {
        return [=](unsigned char* out, int*) { return RunOnOFF_ManuSpeedSel(3, on, speed, out); };
    };
    const Call statusRead = [](unsigned char* out, int* ready) { return Status_Rd(7, out, ready); };
    const struct {
        const char* what;
        Script script;
        Call call;
        short result;
        Names sent;
        int ready;
        Bytes out;                    // empty: not looked at
        std::vector<long long> args;  // of the last command sent; empty: not looked at
    } cases[] = {
        {"status read", {{"Wyn_Status_Rd", status(0x06, 0x31)}}, statusRead, 0, {"Wyn_Status_Rd"}, 1, {0x06, 0x31}, {7}},
        {"failed status read leaves flag and bytes", {{"Wyn_Status_Rd", WynAnswer{2, {0x02, 0x00}}}}, statusRead, 2,
         {"Wyn_Status_Rd"}, kUnset, {0xEE, 0xEE}, {}},
        {"positioning to 0: nothing sent", {}, place(1, 0, 1), -23, {}, kUnset, {}, {}},
        {"positioning to 100: nothing sent", {}, place(1, 100, 1), -23, {}, kUnset, {}, {}},
        {"a cancel ignores the number", {}, place(1, 100, 0), 0, {"Wyn_Status_Rd", "Wyn_Place_Cancel"}, kUnset, {}, {}},
        {"ready: the number goes out as BCD",
         {{"Wyn_Status_Rd", status(0x02)}, {"Wyn_PlaceMotion_Run", status(0x00, 0x5A)}}, place(4, 42, 1), 0,
         {"Wyn_Status_Rd", "Wyn_PlaceMotion_Run"}, 1, {0x00, 0x5A}, {4, 0x42}},
        {"not ready: nothing sent", {{"Wyn_Status_Rd", status(0x04, 0x77)}}, place(1, 5, 1), 0, {"Wyn_Status_Rd"}, 0,
         {0x04, 0x77}, {}},
        {"the status read is checked", {{"Wyn_Status_Rd", status(0x20)}}, place(1, 5, 1), -28, {"Wyn_Status_Rd"},
         kUnset, {}, {}},
        {"a failed status read still reports the ready flag", {{"Wyn_Status_Rd", WynAnswer{3, {0x02}}}},
         place(1, 5, 1), 3, {"Wyn_Status_Rd"}, 1, {}, {}},
        {"failed positioning command", {{"Wyn_Status_Rd", status(0x02)}, {"Wyn_PlaceMotion_Run", WynAnswer{6, {0x80}}}},
         place(1, 5, 1), 6, {"Wyn_Status_Rd", "Wyn_PlaceMotion_Run"}, kUnset, {}, {}},
        {"refused cancel", {{"Wyn_Status_Rd", status(0x02)}, {"Wyn_Place_Cancel", status(0x80)}}, place(1, 5, 0), -33,
         {"Wyn_Status_Rd", "Wyn_Place_Cancel"}, kUnset, {0x80, 0x00}, {}},
        {"jog plus", {{"Wyn_ManuPluse_Snd", status(0x00)}}, jog(1), 0, {"Wyn_ManuPluse_Snd"}, kUnset, {}, {}},
        {"jog minus, status checked", {{"Wyn_ManuMinus_Snd", status(0x08, 0x01)}}, jog(0), -29, {"Wyn_ManuMinus_Snd"},
         kUnset, {0x08, 0x01}, {}},
        {"jog minus fails", {{"Wyn_ManuMinus_Snd", WynAnswer{2, {0x80}}}}, jog(-1), 2, {"Wyn_ManuMinus_Snd"}, kUnset,
         {}, {}},
        {"run on, then the speed", {}, run(1, 2), 0, {"Wyn_Run_On", "Wyn_ManuSpeed_Sel"}, kUnset, {}, {3, 2}},
        {"refused run on selects no speed", {{"Wyn_Run_On", status(0x40)}}, run(1, 2), -27, {"Wyn_Run_On"}, kUnset, {},
         {}},
        {"failed run on selects no speed", {{"Wyn_Run_On", WynAnswer{2, {0x00, 0x00}}}}, run(1, 2), 2, {"Wyn_Run_On"},
         kUnset, {}, {}},
        {"refused speed", {{"Wyn_ManuSpeed_Sel", status(0x84)}}, run(1, 2), -35, {"Wyn_Run_On", "Wyn_ManuSpeed_Sel"},
         kUnset, {}, {}},
        {"run off, status checked", {{"Wyn_Run_Off", status(0x20)}}, run(0, 9), -28, {"Wyn_Run_Off"}, kUnset, {}, {}},
        {"anything but 1 is run off", {}, run(7, 9), 0, {"Wyn_Run_Off"}, kUnset, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingWyn fake;
        for (const auto& [name, answer] : c.script) fake.answer(name, answer);
        unsigned char out[2] = {0xEE, 0xEE};
        int ready = kUnset;
        EXPECT_EQ(c.call(out, &ready), c.result);
        EXPECT_EQ(fake.names(), c.sent);
        // What a row leaves out is not looked at.
        EXPECT_EQ(c.ready == kUnset ? kUnset : ready, c.ready);
        EXPECT_EQ(c.out.empty() ? c.out : Bytes(out, out + 2), c.out);
        EXPECT_EQ(c.args.empty() || fake.calls.empty() ? c.args : fake.calls.back().args, c.args);
    }
}

// Online/offline and the raw record each open a line of their own to the selected
// station (5 here, whichever line of the list counts as the first entry).
class SelectedStation : public ::testing::Test {
protected:
    void SetUp() override {
        install.write("servo.con", "SERVO,   1\r\n3\r\n005,1,amp\r\n005,1,amp\r\n005,1,amp\r\n");
    }
    // A KESTA7 record with the given STR1 and extended code 5C.
    static std::vector<uint8_t> record(uint8_t str1) {
        std::vector<uint8_t> r = tavtest::id_record(0, 0x30);
        r[0] = str1, r[8] = 0x5C;
        return r;
    }
    tavtest::TempInstall install;
    RecordingWyn fake;
};

// Which commands go out for each mode and identification, and the result.
TEST_F(SelectedStation, OnlineOfflineCommandsAndResults) {
    const WynAnswer offline{0, record(0x04)}, online{0, record(0x00)};
    const struct {
        const char* what;
        int mode;
        std::vector<std::pair<std::string, WynAnswer>> script;
        short result;
        Names sent;  // between the opening and the identification and the closing
        std::vector<int> rec = {};  // bytes 0, 1 and 4 of the record handed back; empty: not looked at
    } cases[] = {
        {"offline, already offline", 0, {{"Wyn_SysCondition_Rd", offline}}, 0, {}},
        {"offline, refused", 0, {{"Wyn_SysCondition_Rd", online}, {"Wyn_Offline_Set", status(0x80, 0x12)}}, -33,
         {"Wyn_Offline_Set"}, {0x80, 0x12, 0x30}},  // the refused command's status bytes come back
        {"online, already online", 1, {{"Wyn_SysCondition_Rd", online}}, 0, {}},
        {"online, failed", 1, {{"Wyn_SysCondition_Rd", offline}, {"Wyn_Online_Chg", WynAnswer{2, {0, 0}}}}, 2,
         {"Wyn_Online_Chg"}},
        {"unknown mode: a parameter error", 2, {}, -1, {}},
        {"failed identification", 0, {{"Wyn_SysCondition_Rd", WynAnswer{2, {0, 0}}}}, 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake.calls.clear();
        for (const auto& [name, answer] : c.script) fake.answer(name, answer);
        unsigned char rec[17] = {};
        EXPECT_EQ(Open_OffONline_Close(c.mode, rec), c.result);
        Names names{"Wyn_Net_Open", "Wyn_SysCondition_Rd"};
        names.insert(names.end(), c.sent.begin(), c.sent.end());
        names.push_back("Wyn_Net_Close");
        EXPECT_EQ(fake.names(), names);
        EXPECT_EQ(fake.calls[1].args, (std::vector<long long>{5, 17}));
        for (size_t i = 2; i + 1 < fake.calls.size(); ++i) EXPECT_EQ(fake.calls[i].args.at(0), 5);
        EXPECT_EQ(c.rec.empty() ? c.rec : (std::vector<int>{rec[0], rec[1], rec[4]}), c.rec);
    }
}

TEST_F(SelectedStation, RawRecordIsReadBetweenOpenAndClose) {
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{0, record(0)});
    fake.answer("Wyn_SysCondition_Rd", WynAnswer{2, record(0)});
    for (short code : {0, 2}) {  // a failed read is returned after the close, the record left as it was
        fake.calls.clear();
        SysConditionRecord rec{};
        EXPECT_EQ(Open_SysCondition_Rd_Close(&rec), code);
        EXPECT_EQ(fake.names(), (Names{"Wyn_Net_Open", "Wyn_SysCondition_Rd", "Wyn_Net_Close"}));
        EXPECT_EQ(fake.calls[1].args, (std::vector<long long>{5, 17}));
        EXPECT_EQ(std::make_pair(+rec.byFamily, +rec.byExtCode), code == 0 ? std::make_pair(0x30, 0x5C) : std::make_pair(0, 0));
    }
}

TEST_F(SelectedStation, FailedOpenIsReturnedAndNotClosed) {
    fake.answer("Wyn_Net_Open", WynAnswer{1, {}});
    fake.answer("Wyn_Net_Open", WynAnswer{1, {}});
    unsigned char rec[17] = {};
    SysConditionRecord raw{};
    EXPECT_EQ(std::make_pair(Open_OffONline_Close(0, rec), Open_SysCondition_Rd_Close(&raw)), std::make_pair(short{1}, short{1}));
    EXPECT_EQ(fake.names(), (Names{"Wyn_Net_Open", "Wyn_Net_Open"}));
}

// Positioning run status: reply layout and the print-form texts.
class RunStatus : public ::testing::Test {
protected:
    // Point 17, INC, cycle end; -123.45, 123.4 and 7; code AB.
    static std::vector<uint8_t> reply() {
        std::vector<uint8_t> r = {0, 0, 0x17, 0x01 | (2 << 1), 0x21, 0x00, 0x01, 0x23, 0x45, 0x10, 0x00,
                                  0x12, 0x34, 0x00, 0x00, 0x00, 0x00, 0x07, 0xAB};
        r.resize(100);
        return r;
    }
    tavtest::TempHost host;
    RecordingWyn fake;
};

// A reply with the error bit (-20) or a failed read leaves the record; a good one fills values and texts.
TEST_F(RunStatus, FillsValuesAndTheirTextsUnlessTheReadFails) {
    auto flagged = reply();
    flagged[3] |= 0x80;
    fake.answers("Wyn_PlaceCondition_Rd", {WynAnswer{0, flagged}, WynAnswer{2, reply()}, WynAnswer{0, reply()}});
    PositioningRunStatus s;
    std::memset(&s, 0x55, sizeof s);
    for (short code : {-20, 2}) {
        EXPECT_EQ(ItiDatRunStatus_Rd(9, &s), code);
        EXPECT_EQ(s.byDataNo, 0x55);
    }
    ASSERT_EQ(ItiDatRunStatus_Rd(9, &s), 0);
    EXPECT_EQ(fake.calls.at(2).args, (std::vector<long long>{9, 100}));
    EXPECT_EQ(std::make_tuple(+s.byDataNo, +s.nCmdMode, +s.nStepMode, +s.nCode), std::make_tuple(0x17, 1, 2, 0xAB));
    EXPECT_DOUBLE_EQ(double(s.dValue1), -123.45);
    EXPECT_DOUBLE_EQ(double(s.dValue2), 123.4);
    EXPECT_DOUBLE_EQ(double(s.dValue3), 7.0);
    EXPECT_NE(std::string(s.szStepMode), "");
    EXPECT_EQ((Names{s.szDataNo, s.szCmdMode, s.szValue1, s.szValue2, s.szValue3, s.szCode}),
              (Names{"17", "INC", "   -123.45", "   123.4", "         7", "  ab"}));
    // The print form is switched off again for everyone else.
    EXPECT_EQ(tav::frame::switches().printForm, 0);
}
