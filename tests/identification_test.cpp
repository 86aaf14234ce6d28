// Amplifier identification: which catalogue rows the record's bytes select
// and how the model and motor names are put together from them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "line/line.h"
#include "tests/fixtures/recording_wyn.h"
#include "tests/fixtures/temp_dirs.h"
#include "text/text.h"

using tav::line::Motor_Info_Rd;
using tav::line::SysCondition_Rd;
using tavtest::RecordingWyn;
using tavtest::WynAnswer;
using Names = std::vector<std::string>;

namespace {

// The worked example: a KESTA7 QMT 101D5 - VV 2 with an NVC 100 W motor and
// a 16-bit encoder.
// Bytes 3..13: control type V (interface table A), KESTA7, speed D (capacity
// table A), 200 V, 101 (100 W), extended code 5C, NVC cubic, motor voltage 2,
// motor 101, encoder S, interface V.
std::vector<uint8_t> kesta7_record() { return {0, 0, 0, 0, 0x30, 0, 0, 2, 0x5C, 0, 0, 2, 0, 0, 0, 0, 0}; }

// The text after the n-th comma of a catalogue row.
std::string after_comma(unsigned id, int n) {
    std::string t = tav::text::Text(id);
    size_t at = 0;
    for (int i = 0; i < n; ++i) at = t.find(',', at) + 1;
    return t.substr(at);
}

}  // namespace

class Identification : public ::testing::Test {
protected:
    AmpIdentification read(const std::vector<uint8_t>& record, short expected = 0) {
        fake.answer("Wyn_SysCondition_Rd", WynAnswer{expected, record});
        AmpIdentification id;
        std::memset(&id, 0x55, sizeof id);
        EXPECT_EQ(SysCondition_Rd(4, &id), expected);
        return id;
    }
    tavtest::ScopedEnv lang{"TAV_SYSTEM_LANGID", "0411"};
    tavtest::TempHost host;
    RecordingWyn fake;
};

TEST_F(Identification, WorkedExampleComposesEveryText) {
    const AmpIdentification id = read(kesta7_record());
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].args, (std::vector<long long>{4, 17}));
    EXPECT_EQ((Names{id.szModelName, id.szFamilyName, id.szAmpCapacity, id.szExtCode, id.szMotorName,
                     id.szMotorSeries, id.szEncoder, id.szAmpVoltage, id.szMotorSpeed, id.szMotorLabel}),
              (Names{"QMT 101D5 - VV 2", "KESTA7", "100[W]", "5C", "NVC 101DC1 - S", after_comma(5500, 2),
                     after_comma(7000, 1), "200[V]", "3000[r/min]", "100[W]"}));
    EXPECT_EQ(std::make_pair(std::string(id.szMotorSeries).empty(), +id.byFamily), std::make_pair(false, 0x30));
}

TEST_F(Identification, MotorNameFollowsTheEncoderCode) {
    struct Case {
        uint8_t encoder, motorVoltage;
        const char* name;
    };
    for (Case c : {Case{0, 0, "NVC 101DC1 - S"}, Case{0, 2, "NVC 101DC1 - S6"}, Case{2, 1, "NVC 101DC1 - C"},
                   Case{8, 0, "NVC 101DC2 - *2"}, Case{9, 1, "NVC 101DC2 - T4"}, Case{1, 0, "NVC 101D 5 - J*2"},
                   Case{5, 3, "NVC 101D 5 - R*7"}}) {
        auto r = kesta7_record();
        r[12] = c.encoder;
        r[10] = c.motorVoltage;
        EXPECT_STREQ(read(r).szMotorName, c.name) << "encoder " << int(c.encoder);
    }
}

// Record bytes changed from the worked example, and the texts they give (null where the row does not care).
TEST_F(Identification, RowsSelectedByTheRecordBytes) {
    const struct {
        const char* what;
        std::vector<std::pair<int, uint8_t>> bytes;
        const char *model, *capacity, *motor, *label, *speed, *voltage, *family;
    } cases[] = {
        {"NVS slim of 375 W at motor voltage 6", {{9, 1}, {10, 2}, {11, 4}, {12, 2}}, nullptr, nullptr, "NVS 371DC1 - C6",
         "375[W]", nullptr, nullptr, nullptr},
        {"any other voltage: the ordinary 400 W row", {{9, 1}, {10, 0}, {11, 4}, {12, 2}}, nullptr, nullptr, "NVS 401DC1 - C",
         "400[W]", nullptr, nullptr, nullptr},
        {"KESTA7 2000 r/min: amplifier capacity table B", {{5, 1}, {7, 0}}, "QMT 501C5 - VV 2", "500[W]", nullptr, nullptr, nullptr,
         nullptr, nullptr},
        {"KESTA7 Mini: always table A, its own speed table", {{5, 1}, {7, 0}, {4, 0x40}}, "QMH 300C5 - VV 2", "30[W]",
         nullptr, nullptr, nullptr, nullptr, "KESTA7 Mini"},
        {"NVG 2000 r/min base: motor capacity table B", {{9, 6}, {11, 0}}, nullptr, nullptr, "NVG 501CC1 - S", "500[W]",
         "2000[r/min]", nullptr, nullptr},
        {"L type on the KB bus at 400 V: the interface table follows the control type", {{3, 2}, {13, 1}, {6, 1}},
         "QMT 101D5 - LS 4", nullptr, nullptr, nullptr, nullptr, "400[V]", nullptr},
        {"no capacity row 6200: empty parts", {{7, 200}}, "QMT D5 - VV 2", "", nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = kesta7_record();
        for (auto [at, value] : c.bytes) r[static_cast<size_t>(at)] = value;
        const AmpIdentification id = read(r);
        const std::pair<const char*, const char*> texts[] = {
            {id.szModelName, c.model},   {id.szMotorName, c.motor},     {id.szMotorLabel, c.label},
            {id.szMotorSpeed, c.speed},  {id.szAmpVoltage, c.voltage},  {id.szFamilyName, c.family},
            {id.szAmpCapacity, c.capacity}};
        for (auto [got, want] : texts) {
            if (want != nullptr) {
                EXPECT_STREQ(got, want);
            }
        }
    }
}

// Another family gives an all-zero record; a failed read leaves the caller's (0x55) bytes as they were.
TEST_F(Identification, OtherFamiliesZeroTheRecordAFailedReadLeavesIt) {
    for (auto [family, code, fill] : {std::tuple<uint8_t, short, uint8_t>{0x50, 0, 0}, {0x00, 0, 0}, {0x20, 0, 0},
                                      {0x31, 0, 0}, {0x30, 2, 0x55}}) {
        auto r = kesta7_record();
        r[4] = family;
        const AmpIdentification id = read(r, code);
        const std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&id),
                                         reinterpret_cast<const uint8_t*>(&id) + sizeof id);
        EXPECT_EQ(bytes, std::vector<uint8_t>(sizeof id, fill)) << "family " << int(family);
    }
}

TEST(MotorInfo, RowsAndTheLargestValuesBeyondTheTable) {
    struct Case {
        unsigned char index;
        double first, second, third;
    };
    for (Case c : {Case{0, 5000, 300, 100}, Case{2, 2500, 300, 100}, Case{3, 6000, 300, 300},
                   Case{7, 3000, 300, 30}, Case{9, 6000, 300, 300}, Case{10, 6000, 300, 300},
                   Case{255, 6000, 300, 300}}) {
        double a = 0, b = 0, d = 0;
        EXPECT_EQ(Motor_Info_Rd(c.index, &a, &b, &d), 0);
        EXPECT_EQ(std::make_tuple(a, b, d), std::make_tuple(c.first, c.second, c.third)) << int(c.index);
    }
}
