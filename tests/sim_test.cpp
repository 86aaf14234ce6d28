// The line codec and the simulator engine, driven frame by frame.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"
#include "platform/platform.h"
#include "sim/engine.h"
#include "wire/codec.h"

using namespace tavsim;

namespace {

using tavtest::bcd_field;
using tavtest::Bytes;
using tavtest::cat;

// Sends one request to the engine (a fresh sequence number unless given); the
// decoded reply (station 255 when silent or garbled).
uint8_t seq_counter = 10;
Frame ask(Engine& e, uint8_t station, uint8_t cmd, const Bytes& data = {}, uint8_t seq = 0) {
    const auto raw = encode(Frame{station, cmd, seq != 0 ? seq : ++seq_counter, 0, data});
    const auto out = e.receive(raw.data(), raw.size());
    Frame rep;
    if (decode(out.data(), out.size(), rep) != DecodeResult::kFrame) rep.station = 255;
    return rep;
}

// The data of a reply from byte `from` on (after the status bytes by default).
std::vector<uint8_t> tail(const Frame& f, size_t from = 2) {
    return std::vector<uint8_t>(f.data.begin() + static_cast<long>(std::min(from, f.data.size())), f.data.end());
}

}  // namespace

// ------------------------------------------------------------------ codec

TEST(LineCodec, EncodesTheDocumentedLayout) {
    const auto b = encode(Frame{1, kCmdParaRead, 7, 0, Bytes{4, 0x2A, 0x00}});
    ASSERT_GE(b.size(), 10u);
    const uint16_t crc = crc16(b.data() + 1, 9);  // low byte first, then ETX
    const Bytes want{0x02, 0x01, 0x30, 0x07, 0x00, 0x03, 0x00, 0x04, 0x2A, 0x00, uint8_t(crc & 0xFF), uint8_t(crc >> 8), 3};
    EXPECT_EQ(b, want);
    // The CRC is CRC-16/CCITT-FALSE: its check value over "123456789".
    const char* check = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
}

TEST(LineCodec, RoundTripsEmptyAndLargestFrames) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{300}, kMaxData}) {
        Frame f{248, static_cast<uint8_t>(kCmdAccess | kReplyBit), 255, 16, std::vector<uint8_t>(n)};
        for (size_t i = 0; i < n; ++i) f.data[i] = static_cast<uint8_t>(i * 7);
        const auto b = encode(f);
        Frame out;
        ASSERT_EQ(decode(b.data(), b.size(), out), DecodeResult::kFrame) << n;
        EXPECT_EQ(out, f);
        EXPECT_TRUE(out.is_reply());
    }
}

TEST(LineCodec, RejectsBadChecksumEtxLengthAndStation) {
    const auto good = encode(Frame{2, kCmdStatus, 1, 0, Bytes{9, 8, 7}});
    Frame out;
    for (size_t i = 1; i < good.size(); ++i) {  // any single corrupted byte is caught
        auto b = good;
        b[i] ^= 0x10;
        EXPECT_NE(decode(b.data(), b.size(), out), DecodeResult::kFrame) << "byte " << i;
    }
    auto station = good;
    station[1] = 249;
    EXPECT_EQ(decode(station.data(), station.size(), out), DecodeResult::kGarbled);
    auto length = good;
    length[5] = 0x01;
    length[6] = 0x21;  // 8449 > the largest data part
    EXPECT_EQ(decode(length.data(), length.size(), out), DecodeResult::kGarbled);
    auto cut = good;
    cut.pop_back();
    EXPECT_EQ(decode(cut.data(), cut.size(), out), DecodeResult::kNeedMore);
}

TEST(LineCodec, DecoderSkipsNoiseAndRecoversAfterAGarbledFrame) {
    const Frame f{3, kCmdIdent, 5, 0, {}};
    auto stream = Bytes{0xFF, 0x00, 0x55};
    auto bad = encode(f);
    bad[bad.size() - 2] ^= 1;
    stream.insert(stream.end(), bad.begin(), bad.end());
    const auto good = encode(f);
    stream.insert(stream.end(), good.begin(), good.end());
    Decoder d;
    int frames = 0, garbled = 0;
    for (uint8_t b : stream) {
        const auto r = d.push(b);
        if (r == DecodeResult::kFrame) {
            ++frames;
            EXPECT_EQ(d.frame(), f);
        }
        if (r == DecodeResult::kGarbled) ++garbled;
    }
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(garbled, 1);
}

// The receiver after noise: a header that announces the longest frame, a bad
// station, a frame cut short, a frame with a bad CRC, junk with false STX
// bytes; the frame right behind it, without a pause, is still found.
TEST(LineReceiver, FindsTheFrameRightBehindAnyNoise) {
    const Frame f{1, kCmdIdent, 9, 0, {}};
    auto bad = encode(f);
    bad[bad.size() - 2] ^= 1;
    const std::vector<uint8_t> noises[] = {
        Bytes{0x02, 0x01, 0x01, 0x01, 0x00, 0x00, 0x20}, Bytes{0x02, 0xF9, 0x01, 0x01, 0x00, 0x00, 0x00},
        Bytes{0x02, 0x01, 0x02, 0x07, 0x00},           bad,
        Bytes{0x55, 0x02, 0x02, 0x03, 0xFF, 0x02},
    };
    for (const auto& noise : noises) {
        auto stream = noise;
        const auto good = encode(f);
        stream.insert(stream.end(), good.begin(), good.end());
        Receiver rx;
        auto heard = rx.feed(stream.data(), stream.size(), 1.0);
        if (heard.empty() || heard.back().garbled) heard = rx.expire(1.0 + 2 * kInterByteGapSeconds);
        ASSERT_FALSE(heard.empty());
        EXPECT_FALSE(heard.back().garbled);
        EXPECT_EQ(heard.back().frame, f);
        EXPECT_EQ(heard.back().raw, good);
        EXPECT_EQ(rx.expiry(), 0) << "nothing left half-read";
    }
}

TEST(LineReceiver, APartialFrameIsDroppedAfterTheGapAndNotBefore) {
    const auto header = Bytes{0x02, 0x01, 0x01, 0x01, 0x00, 0x00, 0x20};
    Receiver rx;
    EXPECT_TRUE(rx.feed(header.data(), header.size(), 5.0).empty());
    EXPECT_DOUBLE_EQ(rx.expiry(), 5.0 + kInterByteGapSeconds);
    EXPECT_TRUE(rx.expire(5.0 + kInterByteGapSeconds / 2).empty()) << "within the gap";
    const auto dropped = rx.expire(5.0 + 2 * kInterByteGapSeconds);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_TRUE(dropped[0].garbled);
    // The next request, after the pause, is a frame of its own.
    const Frame f{2, kCmdStatus, 3, 0, {}};
    const auto good = encode(f);
    const auto heard = rx.feed(good.data(), good.size(), 6.0);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].frame, f);
    EXPECT_DOUBLE_EQ(heard[0].firstByte, 6.0);
}

// ------------------------------------------------------------ device model

// The refusals the component suite cannot provoke: the device checks the
// data size, the digits and the range itself.
TEST(SimEngine, ParameterRefusalsAndWriteProtect) {
    Engine e;
    // Wrong data size, bad BCD, out of range, the wrong device.
    EXPECT_EQ(ask(e, 1, kCmdParaWrite, {2, 10, 0, 0, 0, 0}, 41).status, kStatusDataSize);
    auto f = bcd_field(0, 1);
    f[3] = 0x3A;
    EXPECT_EQ(ask(e, 1, kCmdParaWrite, cat({{1, 10, 0}, f}), 42).data[0] & kStrDataError, kStrDataError);
    EXPECT_EQ(ask(e, 0, kCmdStdRead, {0, 2, 0x40}).data[0] & kStrDataError, kStrDataError);  // 40..41
    EXPECT_EQ(ask(e, 0, kCmdParaRead, {1, 1, 0}).data[0] & kStrRefused, kStrRefused);
    // The write-protect parameter (173) refuses other writes.
    ASSERT_EQ(ask(e, 1, kCmdParaWrite, cat({{1, 173, 0}, bcd_field(0, 1)}), 50).data[0], 0);
    EXPECT_EQ(ask(e, 1, kCmdParaWrite, cat({{1, 5, 0}, bcd_field(0, 1)}), 51).data[0] & kStrRefused, kStrRefused);
    EXPECT_EQ(e.device(1)->params[4], (Field6{0, 0, 0, 0, 0, 5}));
}

// The operator's system page: each value is encoded as its table attribute
// says, BCD or (bit 1) a 40-bit binary number.
TEST(SimEngine, SystemPageValuesAreEncodedAsTheirTableAttributesSay) {
    Engine e;
    const struct {
        uint8_t no;
        std::vector<uint8_t> attr, value;
    } cases[] = {
        {2, {0x00, 0x80}, bcd_field(0, 102)},
        {5, {0x00, 0x80}, bcd_field(0, 105)},
        {8, {0x00, 0x82}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x6C}},  // 108 in binary
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tail(ask(e, 0, kCmdStdRead, {1, 1, c.no})), c.value) << +c.no;
        const Frame t = ask(e, 0, kCmdStdTableRead, {1, 1, c.no});
        EXPECT_EQ(std::vector<uint8_t>(t.data.begin() + 2, t.data.begin() + 4), c.attr) << +c.no;
    }
    // A binary value is taken as it comes; a BCD one must hold decimal digits.
    const auto write = [&](uint8_t no, std::vector<uint8_t> field) {
        return ask(e, 0, kCmdStdWrite, cat({{1, 1, no}, field})).data[0] & kStrDataError;
    };
    EXPECT_EQ(write(0x08, {0x00, 0x00, 0x00, 0x00, 0x01, 0x2C}), 0);
    EXPECT_EQ(e.device(0)->std_params[1][7].value, (Field6{0x00, 0x00, 0x00, 0x00, 0x01, 0x2C}));
    EXPECT_EQ(write(0x02, {0x00, 0x00, 0x00, 0x00, 0x01, 0x2C}), kStrDataError);
}

TEST(SimEngine, PointImagesCarryTheAmplifiersDecimalPoints) {
    Engine e;
    Device& l = *e.device(1);
    l.params[static_cast<size_t>(l.dp_stop_pos_param - 1)] = Field6{0, 0, 0, 0, 0, 3};
    l.params[static_cast<size_t>(l.dp_stop_time_param - 1)] = Field6{0, 0, 0, 0, 0, 1};
    Frame r = ask(e, 1, kCmdPointRead, {16, 2, 0x98});
    ASSERT_EQ(r.data.size(), 2u + 32u);
    // The decimal nibbles of the stop position, the speed and the stop timer.
    EXPECT_EQ(std::make_tuple(r.data[2 + 1] >> 4, r.data[2 + 7] >> 4, r.data[2 + 11] >> 4), std::make_tuple(3, 2, 3));
    EXPECT_EQ(ask(e, 1, kCmdPointRead, {24, 1, 0x01}).data[0] & kStrRefused, kStrRefused) << "V images to the L type";
    Frame v = ask(e, 2, kCmdPointRead, {24, 2, 0x14});
    ASSERT_EQ(v.data.size(), 2u + 48u);
    EXPECT_EQ(v.data[2 + 16] >> 4, 1);
    EXPECT_EQ(ask(e, 2, kCmdPointRead, {24, 2, 0x15}).data[0] & kStrDataError, kStrDataError);

    Bytes img(16, 0);
    img[0] = 0x13, img[6] = 0x42, img[15] = 0x07;
    EXPECT_EQ(ask(e, 1, kCmdPointWrite, cat({{16, 1, 0x05}, img}), 70).data[0] & 0xE8, 0);
    EXPECT_EQ(l.points[4], img);
    EXPECT_EQ(ask(e, 1, kCmdPointWrite, cat({{16, 2, 0x05}, img}), 71).status, kStatusDataSize);
}

// Parameters that follow the stop-position places read with the amplifier's
// setting and the digits as written: a host that changes only the setting
// finds them rescaled, as its own set is.
TEST(SimEngine, ParametersThatFollowTheStopPositionPlacesReadWithTheSetting) {
    Engine e;
    for (int station : {1, 2}) {
        Device& d = *e.device(station);
        d.params[static_cast<size_t>(d.dp_stop_pos_param - 1)] = Field6{0, 0, 0, 0, 0, 5};
        for (int no : {24, 100, 101}) d.params[static_cast<size_t>(no - 1)] = Field6{0x20, 0, 0, 0, 0, 0x24};
    }
    const struct {
        int station, no, places;
    } cases[] = {{1, 24, 5}, {1, 101, 5}, {1, 100, 2}, {2, 24, 5}, {2, 101, 2}};
    for (const auto& c : cases) {
        const Frame r = ask(e, c.station, kCmdParaRead, {1, static_cast<uint8_t>(c.no), 0});
        ASSERT_EQ(r.data.size(), 2u + 6u);
        EXPECT_EQ(tail(r), bcd_field(c.places, 24))
            << "station " << c.station << ", parameter " << c.no;
    }
    // A setting above 5 counts as 5 (not its last digit pair).
    Device& l = *e.device(1);
    l.params[static_cast<size_t>(l.dp_stop_pos_param - 1)] = Field6{0, 0, 0, 0, 0x09, 0x99};
    EXPECT_EQ(tail(ask(e, 1, kCmdParaRead, {1, 24, 0})), bcd_field(5, 24));
}

TEST(SimEngine, DirectAccessMemoryAgreesWithTheNamedCommands) {
    Engine e;
    Device& v = *e.device(2);
    v.params[static_cast<size_t>(v.dp_stop_pos_param - 1)] = Field6{0, 0, 0, 0, 0, 2};
    v.params[static_cast<size_t>(v.dp_stop_time_param - 1)] = Field6{0, 0, 0, 0, 0, 1};
    // Decimal points of the VV table: 'P', kind 7, address 0x060101, 26 bytes with STR.
    const Frame r = ask(e, 2, kCmdAccess, {0x50, 0, 7, 1, 1, 6, 26, 0});
    ASSERT_EQ(r.data.size(), 26u);
    EXPECT_EQ(std::make_pair(r.data[3] >> 4, r.data[13] >> 4), std::make_pair(2, 3));
    EXPECT_EQ(tail(r), tail(ask(e, 2, kCmdPointRead, {24, 1, 0x01})));
    EXPECT_EQ(ask(e, 1, kCmdAccess, {0x10, 0, 2, 0, 0, 0, 0, 0}).data[0] & kStrRefused, kStrRefused) << "unknown command";
}

// ---------------------------------------------------------- fault injection

TEST(SimFaults, TimeoutDropGarbleAndEcho) {
    Engine e;
    ASSERT_TRUE(e.control(R"({"faults":{"timeout_next":1,"drop_next":1,"garble_next":1}})", nullptr));
    ask(e, 1, kCmdOffline);
    EXPECT_FALSE(e.device(1)->offline) << "a timed-out request is not executed";
    EXPECT_EQ(ask(e, 1, kCmdOffline).station, 255) << "dropped reply";
    EXPECT_TRUE(e.device(1)->offline) << "... but the request ran";
    Frame rq{1, kCmdStatus, 3, 0, {}};
    auto raw = encode(rq);
    auto out = e.receive(raw.data(), raw.size());
    Frame dummy;
    EXPECT_EQ(decode(out.data(), out.size(), dummy), DecodeResult::kGarbled);

    ASSERT_TRUE(e.control(R"({"faults":{"echo":true}})", nullptr));
    rq.sequence = 4;
    raw = encode(rq);
    out = e.receive(raw.data(), raw.size());
    ASSERT_GT(out.size(), raw.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<long>(raw.size())), raw);
}

TEST(SimFaults, BadControlTextIsRefused) {
    Engine e;
    std::string err;
    EXPECT_FALSE(e.control("{", &err));
    EXPECT_FALSE(e.control(R"({"faults":{"rules":[{"command":"no_such"}]}})", &err));
    EXPECT_FALSE(e.control(R"({"devices":[{"station":1,"params":["12"]}]})", &err));
    EXPECT_FALSE(err.empty());
}

// --------------------------------------------------------------- persistence

TEST(SimState, OnlyAChangeWritesTheFileAndMissingOrHandWrittenFilesStartFromDefaults) {
    tavtest::TempDir dir;
    auto fresh = Engine::open(dir.file("line.json"), nullptr);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->devices().size(), 3u);
    EXPECT_FALSE(dir.exists("line.json")) << "opening alone does not write the file";
    ask(*fresh, 1, kCmdOffline);
    EXPECT_TRUE(dir.exists("line.json"));

    dir.write("bad.json", "{ not json");
    std::string err;
    EXPECT_FALSE(Engine::open(dir.file("bad.json"), &err));
    EXPECT_FALSE(err.empty());

    // A hand-written line starts from the defaults.
    dir.write("l.json", R"({"devices":[{"station":0},{"station":7,"model":"V","family":48}]})");
    auto e = Engine::open(dir.file("l.json"), nullptr);
    ASSERT_TRUE(e);
    ASSERT_EQ(e->devices().size(), 2u);
    EXPECT_EQ(ask(*e, 7, kCmdIdent).data[4], 0x30);
    EXPECT_EQ(e->device(7)->points.size(), static_cast<size_t>(kVPoints));
    EXPECT_EQ(ask(*e, 1, kCmdIdent).station, 255);
}

// A line with something in every part of the state file.
Engine& busy_line(Engine& e) {
    std::string err;
    EXPECT_TRUE(e.control(R"({"faults":{"rules":[{"station":1,"command":"para_write","first":3,"last":9,"str1":64,"count":2},
        {"status":12,"str2":1}],"timeout_next":1,"echo":true,"family":{"10":64,"2":48}},
        "devices":[{"station":1,"offline":true,"manual_speed":-7,"position":12.5,"mem_error_params":[5,200],
        "mem_error_points":[3],"memory":{"01000010":"0A0B0C","01000020":"FF"}},
        {"station":0,"std":[[{"value":"102030405060","mem_error":true}]]}]})",
                          &err))
        << err;
    return e;
}

TEST(SimState, TheStateTextIsCanonicalJsonThatLoadsBackToTheSameState) {
    Engine e;
    busy_line(e);
    const std::string text = e.to_json();
    EXPECT_EQ(nlohmann::json::parse(text).dump(1), text);  // the layout of the library's own writer
    Engine again;
    std::string err;
    ASSERT_TRUE(again.from_json(text, &err)) << err;
    EXPECT_EQ(again.to_json(), text);
    EXPECT_EQ(std::make_tuple(again.device(1)->position, again.faults().family.at(10), again.device(0)->std_params[0][0].mem_error),
              std::make_tuple(12.5, 64, true));
    Engine fresh;
    EXPECT_EQ(nlohmann::json::parse(fresh.to_json()).dump(1), fresh.to_json());

    // Each change of a device shows in the next text, however small.
    const std::vector<std::function<void(Engine&)>> changes = {
        [](Engine& x) { x.device(0)->std_params[2][39].attr ^= 1; },
        [](Engine& x) { x.device(1)->points[98][15] ^= 1; },
        [](Engine& x) { x.device(1)->memory[0x01000011] ^= 1; },
        [](Engine& x) { x.device(2)->mem_error_params.insert(7); },
        [](Engine& x) { x.device(2)->position += 0.25; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        const std::string before = again.to_json();
        changes[i](again);
        const std::string after = again.to_json();
        EXPECT_NE(after, before) << "change " << i;
        Engine reloaded;
        ASSERT_TRUE(reloaded.from_json(after, &err)) << err;
        EXPECT_EQ(reloaded.to_json(), after) << "change " << i;
    }
}

TEST(SimState, SavesNeverWriteThroughALinkPlantedBesideTheStateFile) {
    tavtest::TempDir dir;
    dir.write("victim", "keep me");
    const std::string path = dir.file("line.json");
    // A link at the temporary name a save of this process used to take.
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), (path + ".tmp" + std::to_string(::getpid())).c_str()), 0);
    auto e = Engine::open(path, nullptr);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->save());
    EXPECT_EQ(dir.read("victim"), "keep me");
    auto again = Engine::open(path, nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->to_json(), e->to_json());
    const auto entries =
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator{});
    EXPECT_EQ(entries, 3) << "victim, the planted link and the state file; no temporary file left";
}

TEST(SimState, AKilledSaveLeavesTheOldOrTheNewStateNeverAPart) {
    tavtest::TempDir dir;
    const std::string path = dir.file("line.json");
    {
        Engine e;
        busy_line(e);
        auto saved = Engine::open(path, nullptr);
        ASSERT_TRUE(saved && saved->from_json(e.to_json(), nullptr) && saved->save());
    }
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto e = Engine::open(path, nullptr);
            for (int i = 0; e; ++i) {
                e->device(1)->manual_speed = i;
                e->save();
            }
            ::_exit(0);
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 700));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        std::string err;
        auto after = Engine::open(path, &err);
        ASSERT_TRUE(after) << "round " << round << ": " << err;
        EXPECT_EQ(after->faults().family.at(2), 48);
    }
}

TEST(LineCodec, ParityMarksAreUndoneAndCountedAcrossReads) {
    ParityUnmarker u;
    const auto feed = [&u](const std::vector<uint8_t>& in) {
        uint8_t out[16];
        return std::vector<uint8_t>(out, out + u.feed(in.data(), in.size(), out));
    };
    EXPECT_EQ(feed({0x02, 0xFF, 0xFF, 0x41, 0xFF}), (Bytes{0x02, 0xFF, 0x41}));  // escaped 0xFF, a mark split here
    EXPECT_EQ(feed({0x00, 0x37, 0x03}), (Bytes{0x37, 0x03}));
    EXPECT_EQ(u.take_errors(), 1);
    EXPECT_EQ(u.take_errors(), 0);
}

// servo-sim at 2400 baud: the first byte of a 110-byte reply arrives one byte
// time after the request's wire time and the turnaround (not when a whole
// piece of the reply would have), the last one when the line would have
// carried them all.
TEST(ServoSim, ARepliesFirstByteFollowsTheRequestAndTheRestStreamsAtTheRate) {
    tavtest::TempInstall home;
    const std::string link = home.file("ttySIM");
    tavtest::SimProcess sim(home.file("line.json"), link, {"--baud", "2400"});
    ASSERT_TRUE(sim.ready()) << sim.ready_line();
    const int fd = tavplat::serial_open(link.c_str());
    ASSERT_NE(fd, tavplat::kInvalidFile);
    ASSERT_TRUE(tavplat::serial_configure(fd, tavplat::SerialSettings{2400, 8, 0, 0, false, 0, 0}));
    const auto rq = encode(Frame{1, kCmdPlaceStatus, 7, 0, {}});
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    ASSERT_EQ(::write(fd, rq.data(), rq.size()), static_cast<ssize_t>(rq.size()));
    std::vector<uint8_t> reply;
    double firstMs = -1;
    uint8_t buf[256];
    while (reply.size() < 110) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        if (reply.empty()) firstMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        reply.insert(reply.end(), buf, buf + n);
    }
    const double lastMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    tavplat::serial_close(fd);
    Frame rep;
    ASSERT_EQ(decode(reply.data(), reply.size(), rep), DecodeResult::kFrame);
    EXPECT_EQ(rep.sequence, 7);
    const double byteMs = 10000.0 / 2400;
    // Due at (10 + 1) byte times + 0.5 ms = 46 ms; a 64-byte piece would take 309 ms.
    EXPECT_GT(firstMs, 10 * byteMs);
    EXPECT_LT(firstMs, 200.0) << "the first byte waited for a piece of the reply";
    EXPECT_GT(lastMs, (10 + 110) * byteMs - 5) << "faster than the line";
}
