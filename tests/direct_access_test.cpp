// Raw frames to amplifier memory: the bytes on the wire, the mutex around
// each exchange, the reply copy, and the STR1 check.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Tav_acs.h"
#include "line/direct_access.h"
#include "tests/fixtures/recording_wyn.h"

using tav::comm::Wyn_General_Acs;
using tav::comm::Wyn_Primitive_Acs;
using tav::comm::Wyn_STR_ERR_Chk;
using tavtest::WynAnswer;

namespace {

// Unscripted exchanges answer with clear status bytes rather than no bytes at all.
struct RecordingWyn : tavtest::RecordingWyn {
    RecordingWyn() { default_answer("CommExecProc", WynAnswer{0, {0x00, 0x00}}); }
};

unsigned u16(const std::vector<uint8_t>& f, size_t at) { return f.at(at) | (f.at(at + 1) << 8); }

tavtest::WynCall only_exchange(const RecordingWyn& fake) {
    const auto exchanges = fake.calls_of("CommExecProc");
    EXPECT_EQ(exchanges.size(), 1u);
    return exchanges.empty() ? tavtest::WynCall{} : exchanges[0];
}

}  // namespace

TEST(StatusCheck, Str1BitsMapToLibraryCodes) {
    struct Case {
        uint8_t str1;
        short code;
    };
    for (Case c : {Case{0x84, -35}, Case{0x80, -33}, Case{0x40, -27}, Case{0x60, -27}, Case{0x20, -28},
                   Case{0x08, -29}, Case{0x06, 0}, Case{0x00, 0}, Case{0xC4, -35}, Case{0x28, -28}}) {
        const unsigned char status[2] = {c.str1, 0xFF};
        EXPECT_EQ(Wyn_STR_ERR_Chk(status), c.code) << "STR1 0x" << std::hex << int(c.str1);
    }
}

TEST(GeneralAccess, WriteOfFourBytesFramesLengthBodyAndCount) {
    RecordingWyn fake;
    const unsigned char data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    unsigned char reply[2] = {};
    ASSERT_EQ(Wyn_General_Acs(3, 'S', 1, 0x0B, 0x34, 0x12, 0x05, 4, data, 2, reply), 0);

    EXPECT_EQ(fake.names(), (std::vector<std::string>{"Wyn_OpenMutex", "SetFixedHeaderData", "CommExecProc",
                                                      "Wyn_CloseMutex"}));
    EXPECT_EQ(fake.calls[1].args.at(0), 3);  // the station reaches the fixed header
    const auto ex = only_exchange(fake);
    EXPECT_EQ(ex.args.at(0), 1);
    ASSERT_EQ(ex.args.at(1), 30);
    const std::vector<uint8_t>& f = ex.data;
    EXPECT_EQ(f[0], 0x5A);
    EXPECT_EQ(u16(f, 1), 27u);
    EXPECT_EQ(f[13], 'S');
    EXPECT_EQ(f[14], 1);
    EXPECT_EQ(u16(f, 17), 10u);
    EXPECT_EQ(f[19], 0x0B);
    EXPECT_EQ(f[20], 0x34);
    EXPECT_EQ(f[21], 0x12);
    EXPECT_EQ(f[22], 0x05);
    EXPECT_EQ(u16(f, 23), 4u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 25, f.begin() + 29), std::vector<uint8_t>(data, data + 4));
    EXPECT_EQ(f[29], 0);
}

TEST(GeneralAccess, ReadWithoutDataAsksForTheReplyLength) {
    RecordingWyn fake;
    fake.answer("CommExecProc", WynAnswer{0, {0x02, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}});
    unsigned char reply[8] = {};
    ASSERT_EQ(Wyn_General_Acs(1, 'R', 0, 0x0E, 0x00, 0x10, 0x01, 0, nullptr, 6, reply), 0);
    const auto f = only_exchange(fake).data;
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(u16(f, 1), 23u);
    EXPECT_EQ(u16(f, 17), 6u);
    EXPECT_EQ(u16(f, 23), 6u);
    // Exactly the reply length is copied, status bytes first.
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 8),
              (std::vector<uint8_t>{0x02, 0x00, 0x11, 0x22, 0x33, 0x44, 0x00, 0x00}));
}

TEST(GeneralAccess, ReadWithDataKeepsTheLengthFieldAndCountsTheReply) {
    RecordingWyn fake;
    const unsigned char data[3] = {1, 2, 3};
    unsigned char reply[10] = {};
    ASSERT_EQ(Wyn_General_Acs(1, 'R', 2, 0x01, 0, 0, 0, 3, data, 10, reply), 0);
    const auto f = only_exchange(fake).data;
    ASSERT_EQ(f.size(), 29u);
    EXPECT_EQ(u16(f, 1), 23u);
    EXPECT_EQ(u16(f, 17), 9u);
    EXPECT_EQ(u16(f, 23), 10u);
    EXPECT_EQ(f[25], 1);
    EXPECT_EQ(f[27], 3);
}

TEST(GeneralAccess, ReplyLengthZeroReturnsTheTwoStatusBytes) {
    RecordingWyn fake;
    fake.answer("CommExecProc", WynAnswer{0, {0x42, 0x17, 0x99}});
    unsigned char reply[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    ASSERT_EQ(Wyn_General_Acs(1, 'W', 0, 0x01, 0, 0, 0, 0, nullptr, 0, reply), 0);
    EXPECT_EQ(u16(only_exchange(fake).data, 23), 0u);
    EXPECT_EQ(reply[0], 0x42);
    EXPECT_EQ(reply[1], 0x17);
    EXPECT_EQ(reply[2], 0xAA);
}

TEST(GeneralAccess, FailedExchangeStillCopiesTheReplyAndReleasesTheMutex) {
    RecordingWyn fake;
    fake.mutexHandle = 77;
    fake.answer("CommExecProc", WynAnswer{2, {0x80, 0x01}});
    unsigned char reply[2] = {};
    EXPECT_EQ(Wyn_General_Acs(1, 'R', 1, 0x01, 0, 0, 0, 0, nullptr, 2, reply), 2);
    EXPECT_EQ(reply[0], 0x80);
    ASSERT_EQ(fake.count("Wyn_CloseMutex"), 1u);
    EXPECT_EQ(fake.calls.back().name, "Wyn_CloseMutex");
    EXPECT_EQ(fake.calls.back().args.at(0), 77);
}

TEST(GeneralAccess, RefusedCombinationsTouchNothing) {
    struct Case {
        unsigned char command, mode, kind, high;
    };
    for (Case c : {Case{'R', 0, 0x0E, 0}, Case{'S', 0, 0x0B, 0}, Case{'S', 0, 0x0B, 1}}) {
        RecordingWyn fake;
        unsigned char reply[4] = {};
        EXPECT_EQ(Wyn_General_Acs(1, c.command, c.mode, c.kind, 0, 0, c.high, 0, nullptr, 4, reply), -1);
        EXPECT_TRUE(fake.calls.empty()) << c.command << " kind " << int(c.kind) << " high " << int(c.high);
    }
}

TEST(GeneralAccess, NeighboursOfRefusedCombinationsAreSent) {
    struct Case {
        unsigned char command, mode, kind, high;
    };
    for (Case c : {Case{'R', 0, 0x0E, 1}, Case{'S', 0, 0x0B, 2}, Case{'R', 1, 0x0E, 0}, Case{'S', 0, 0x0E, 0}}) {
        RecordingWyn fake;
        unsigned char reply[4] = {};
        EXPECT_EQ(Wyn_General_Acs(1, c.command, c.mode, c.kind, 0, 0, c.high, 0, nullptr, 4, reply), 0);
        EXPECT_EQ(fake.count("CommExecProc"), 1u);
    }
}

TEST(GeneralAccess, RefusedMutexGivesOneAndSendsNothing) {
    RecordingWyn fake;
    fake.mutexHandle = 0;
    unsigned char reply[4] = {};
    EXPECT_EQ(Wyn_General_Acs(1, 'R', 1, 0x01, 0, 0, 0, 0, nullptr, 4, reply), 1);
    EXPECT_EQ(fake.names(), std::vector<std::string>{"Wyn_OpenMutex"});
}

TEST(GeneralAccess, ArgumentsThatCannotFitAreRefused) {
    RecordingWyn fake;
    std::vector<unsigned char> big(9000, 0x11);
    unsigned char reply[4] = {};
    EXPECT_EQ(Wyn_General_Acs(1, 'W', 1, 1, 0, 0, 0, static_cast<int>(big.size()), big.data(), 0, reply), -1);
    EXPECT_EQ(Wyn_General_Acs(1, 'W', 1, 1, 0, 0, 0, 4, nullptr, 0, reply), -1);
    EXPECT_EQ(Wyn_General_Acs(1, 'R', 1, 1, 0, 0, 0, 0, nullptr, 4, nullptr), -1);
    EXPECT_TRUE(fake.calls.empty());
}

TEST(GeneralAccess, LongReplyIsCutToWhatTheComponentDelivers) {
    RecordingWyn fake;
    fake.answer("CommExecProc", WynAnswer{0, std::vector<uint8_t>(5000, 0x5C)});
    std::vector<unsigned char> reply(65535, 0xEE);
    ASSERT_EQ(Wyn_General_Acs(1, 'R', 1, 1, 0, 0, 0, 0, nullptr, 65535, reply.data()), 0);
    EXPECT_EQ(reply[4070], 0x5C);
    EXPECT_EQ(reply[4071], 0x00);
    EXPECT_EQ(reply[65534], 0x00);
}

TEST(PrimitiveAccess, WritesTheWholeHeaderForABusConnection) {
    RecordingWyn fake;
    fake.connectType = 122;
    fake.kbNo = 9;
    const unsigned char first[2] = {0xA1, 0xA2};
    unsigned char reply[4] = {};
    ASSERT_EQ(Wyn_Primitive_Acs(5, 'R', 3, 0x02, 0x10, 0x20, 0x30, 2, first, 0, nullptr, 4, reply), 0);
    // The primitive access writes its header itself.
    EXPECT_EQ(fake.count("SetFixedHeaderData"), 0u);
    const auto ex = only_exchange(fake);
    ASSERT_EQ(ex.args.at(1), 28);
    const auto& f = ex.data;
    EXPECT_EQ(f[0], 0x5A);
    EXPECT_EQ(u16(f, 1), 25u);
    EXPECT_EQ(f[3], 0xFF);
    EXPECT_EQ(f[4], 122);
    EXPECT_EQ(f[5], 0);
    EXPECT_EQ(f[6], 9);
    EXPECT_EQ(f[7], 0x11);
    EXPECT_EQ(f[8], 0);
    for (int i = 9; i <= 12; ++i) EXPECT_EQ(f[i], 0xFF) << i;
    EXPECT_EQ(f[13], 'R');
    EXPECT_EQ(f[14], 3);
    EXPECT_EQ(f[15], 0);
    EXPECT_EQ(f[16], 1);
    EXPECT_EQ(u16(f, 17), 8u);
    EXPECT_EQ(f[19], 0x02);
    EXPECT_EQ(f[22], 0x30);
    EXPECT_EQ(f[23], 0xA1);
    EXPECT_EQ(f[24], 0xA2);
    EXPECT_EQ(u16(f, 25), 4u);  // no second data: the reply length follows
}

TEST(PrimitiveAccess, RoutedConnectionCarriesTheRouteAndTheSecondData) {
    RecordingWyn fake;
    fake.connectType = 124;
    fake.kbNo = 9;
    fake.keiroId = 44;
    const unsigned char first[1] = {0x01};
    const unsigned char second[3] = {0xB1, 0xB2, 0xB3};
    unsigned char reply[2] = {};
    ASSERT_EQ(Wyn_Primitive_Acs(0, 'S', 0, 0x0B, 0, 0, 0, 1, first, 3, second, 2, reply), 0);
    const auto ex = only_exchange(fake);
    ASSERT_EQ(ex.args.at(1), 30);
    const auto& f = ex.data;
    EXPECT_EQ(f[5], 9);
    EXPECT_EQ(f[6], 44);
    EXPECT_EQ(u16(f, 1), 27u);
    EXPECT_EQ(u16(f, 17), 10u);
    EXPECT_EQ(f[23], 0x01);
    EXPECT_EQ(u16(f, 24), 3u);
    EXPECT_EQ(f[26], 0xB1);
    EXPECT_EQ(f[28], 0xB3);
}

TEST(PrimitiveAccess, ReplyIsCopiedOnlyOnSuccess) {
    RecordingWyn fake;
    fake.answer("CommExecProc", WynAnswer{6, {0x01, 0x02, 0x03}});
    fake.answer("CommExecProc", WynAnswer{0, {0x04, 0x05, 0x06}});
    unsigned char reply[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 3, reply), 6);
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_EQ(Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 3, reply), 0);
    EXPECT_EQ(reply[0], 0x04);
    EXPECT_EQ(reply[2], 0x06);
    EXPECT_EQ(fake.count("Wyn_CloseMutex"), 2u);
}

TEST(PrimitiveAccess, RefusedMutexGivesOneAndSendsNothing) {
    RecordingWyn fake;
    fake.mutexHandle = 0;
    unsigned char reply[2] = {};
    EXPECT_EQ(Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 2, reply), 1);
    EXPECT_EQ(fake.names(), std::vector<std::string>{"Wyn_OpenMutex"});
}
