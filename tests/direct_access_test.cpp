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
using Bytes = std::vector<uint8_t>;

namespace {

// Unscripted exchanges answer with clear status bytes rather than no bytes at all.
struct RecordingWyn : tavtest::RecordingWyn {
    RecordingWyn() { default_answer("CommExecProc", WynAnswer{0, {0x00, 0x00}}); }
};

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

// Each access as its whole frame: the fixed header with the length, command and mode, the body length (6 and
// the data), kind and address, the reply length asked for (above the two status bytes; otherwise data sent
// are counted instead), the data and a zero. The reply length is copied back exactly, the two status bytes at
// least, a failed exchange's too; the mutex is released whatever the result.
TEST(GeneralAccess, FramesAndReplyCopies) {
    const struct {
        int station;
        unsigned char command, mode, kind, a1, a2, a3;
        Bytes data;
        int replyLength;
        short result;
        Bytes answer, frame, reply;  // reply: the caller's buffer, 0xAA before
    } cases[] = {
        {3, 'S', 1, 0x0B, 0x34, 0x12, 0x05, {0xDE, 0xAD, 0xBE, 0xEF}, 2, 0, {0x00, 0x00},
         {0x5A, 27, 0, 0xFF, 0, 0, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'S', 1, 0, 1, 10, 0, 0x0B, 0x34, 0x12, 0x05, 4, 0,
          0xDE, 0xAD, 0xBE, 0xEF, 0},
         {0x00, 0x00, 0xAA, 0xAA}},
        {1, 'R', 0, 0x0E, 0x00, 0x10, 0x01, {}, 6, 0, {0x02, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55},
         {0x5A, 23, 0, 0xFF, 0, 0, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'R', 0, 0, 1, 6, 0, 0x0E, 0x00, 0x10, 0x01, 6, 0, 0},
         {0x02, 0x00, 0x11, 0x22, 0x33, 0x44, 0xAA, 0xAA}},
        {1, 'R', 2, 0x01, 0, 0, 0, {1, 2, 3}, 10, 0, {0x00, 0x00},  // with data the length field stays 23
         {0x5A, 23, 0, 0xFF, 0, 0, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'R', 2, 0, 1, 9, 0, 0x01, 0, 0, 0, 10, 0, 1, 2, 3, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xAA}},
        {1, 'W', 0, 0x01, 0, 0, 0, {}, 0, 0, {0x42, 0x17, 0x99},
         {0x5A, 23, 0, 0xFF, 0, 0, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'W', 0, 0, 1, 6, 0, 0x01, 0, 0, 0, 0, 0, 0},
         {0x42, 0x17, 0xAA, 0xAA}},
        {1, 'R', 0, 0x01, 0, 0, 0, {}, 2, 2, {0x80, 0x01},
         {0x5A, 23, 0, 0xFF, 0, 0, 0, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'R', 0, 0, 1, 6, 0, 0x01, 0, 0, 0, 0, 0, 0},
         {0x80, 0x01, 0xAA, 0xAA}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, static_cast<char>(c.command)) + " mode " + std::to_string(c.mode));
        RecordingWyn fake;
        fake.mutexHandle = 77;
        fake.answer("CommExecProc", WynAnswer{c.result, c.answer});
        Bytes reply(c.reply.size(), 0xAA);
        ASSERT_EQ(Wyn_General_Acs(c.station, c.command, c.mode, c.kind, c.a1, c.a2, c.a3, static_cast<int>(c.data.size()),
                                  c.data.empty() ? nullptr : c.data.data(), c.replyLength, reply.data()),
                  c.result);
        EXPECT_EQ(fake.names(), (std::vector<std::string>{"Wyn_OpenMutex", "SetFixedHeaderData", "CommExecProc",
                                                          "Wyn_CloseMutex"}));
        EXPECT_EQ(fake.calls[1].args.at(0), c.station);  // the station reaches the fixed header
        const auto ex = only_exchange(fake);
        EXPECT_EQ(ex.args, (std::vector<long long>{1, static_cast<long long>(c.frame.size())}));
        EXPECT_EQ(ex.data, c.frame);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(fake.calls.back().args, std::vector<long long>{77});
    }
}

// The refused combinations touch nothing; their neighbours are sent.
TEST(GeneralAccess, RefusedCombinationsTouchNothingTheirNeighboursAreSent) {
    struct Case {
        unsigned char command, mode, kind, high;
        short result;
    };
    for (Case c : {Case{'R', 0, 0x0E, 0, -1}, Case{'S', 0, 0x0B, 0, -1}, Case{'S', 0, 0x0B, 1, -1},
                   Case{'R', 0, 0x0E, 1, 0}, Case{'S', 0, 0x0B, 2, 0}, Case{'R', 1, 0x0E, 0, 0}, Case{'S', 0, 0x0E, 0, 0}}) {
        RecordingWyn fake;
        unsigned char reply[4] = {};
        EXPECT_EQ(Wyn_General_Acs(1, c.command, c.mode, c.kind, 0, 0, c.high, 0, nullptr, 4, reply), c.result);
        // A refused one makes no call at all.
        EXPECT_EQ(c.result == 0 ? fake.count("CommExecProc") : fake.calls.size(), c.result == 0 ? 1u : 0u)
            << c.command << " kind " << int(c.kind) << " high " << int(c.high);
    }
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
    EXPECT_EQ(std::make_tuple(reply[4070], reply[4071], reply[65534]), std::make_tuple(0x5C, 0x00, 0x00));
}

// The primitive access writes the whole header itself: the connection (bus 122 at number 9; routed 124 with
// number and route), length, command and mode, count, kind and address, the first data, then the second
// data's length and bytes or, without them, the reply length; and a zero.
TEST(PrimitiveAccess, WritesTheWholeFrameForEachConnection) {
    const struct {
        int connectType, route, station;
        unsigned char command, mode, kind, a1, a2, a3;
        Bytes first, second;
        int replyLength;
        Bytes frame;
    } cases[] = {
        {122, 0, 5, 'R', 3, 0x02, 0x10, 0x20, 0x30, {0xA1, 0xA2}, {}, 4,
         {0x5A, 25, 0, 0xFF, 122, 0, 9, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'R', 3, 0, 1, 8, 0, 0x02, 0x10, 0x20, 0x30,
          0xA1, 0xA2, 4, 0, 0}},
        {124, 44, 0, 'S', 0, 0x0B, 0, 0, 0, {0x01}, {0xB1, 0xB2, 0xB3}, 2,
         {0x5A, 27, 0, 0xFF, 124, 9, 44, 0x11, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'S', 0, 0, 1, 10, 0, 0x0B, 0, 0, 0, 0x01, 3, 0,
          0xB1, 0xB2, 0xB3, 0}},
    };
    for (const auto& c : cases) {
        RecordingWyn fake;
        fake.connectType = c.connectType, fake.kbNo = 9, fake.keiroId = c.route;
        unsigned char reply[4] = {};
        ASSERT_EQ(Wyn_Primitive_Acs(c.station, c.command, c.mode, c.kind, c.a1, c.a2, c.a3, static_cast<int>(c.first.size()),
                                    c.first.data(), static_cast<int>(c.second.size()),
                                    c.second.empty() ? nullptr : c.second.data(), c.replyLength, reply),
                  0);
        EXPECT_EQ(fake.count("SetFixedHeaderData"), 0u) << c.connectType;
        EXPECT_EQ(only_exchange(fake).data, c.frame) << c.connectType;
    }
}

TEST(PrimitiveAccess, ReplyIsCopiedOnlyOnSuccess) {
    RecordingWyn fake;
    fake.answer("CommExecProc", WynAnswer{6, {0x01, 0x02, 0x03}});
    fake.answer("CommExecProc", WynAnswer{0, {0x04, 0x05, 0x06}});
    unsigned char reply[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 3, reply), 6);
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_EQ(Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 3, reply), 0);
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x04, 0x05, 0x06}));
    EXPECT_EQ(fake.count("Wyn_CloseMutex"), 2u);
}

// Either access without the mutex sends nothing.
TEST(RefusedMutex, GivesOneAndSendsNothing) {
    for (bool primitive : {false, true}) {
        RecordingWyn fake;
        fake.mutexHandle = 0;
        unsigned char reply[4] = {};
        EXPECT_EQ(primitive ? Wyn_Primitive_Acs(0, 'R', 0, 1, 0, 0, 0, 0, nullptr, 0, nullptr, 2, reply)
                            : Wyn_General_Acs(1, 'R', 1, 0x01, 0, 0, 0, 0, nullptr, 4, reply), 1) << primitive;
        EXPECT_EQ(fake.names(), std::vector<std::string>{"Wyn_OpenMutex"}) << primitive;
    }
}
