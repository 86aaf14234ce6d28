// Frame codec of the servo line, shared by the component (client side) and
// the simulator (device side) so both ends speak exactly the same bytes.
//
//   0  STX 0x02
//   1  station 0..248
//   2  command (bit 7 set in a reply)
//   3  sequence number, echoed by the reply
//   4  status: 0 in a request; the device's processing status in a reply
//   5  data length N, low byte
//   6  data length N, high byte
//   7  N data bytes (a reply's data start with STR1, STR2)
//   7+N CRC-16/CCITT-FALSE over bytes 1 .. 6+N, low byte first
//   9+N ETX 0x03
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavwire {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kReplyBit = 0x80;
constexpr int kMaxStation = 248;
constexpr size_t kHeaderSize = 7;
constexpr size_t kOverhead = 10;        // header + CRC + ETX
constexpr size_t kMaxData = 8192;        // largest data part either way
constexpr size_t kMaxFrame = kMaxData + kOverhead;  // longest frame a receiver takes
// A partial frame is dropped after this much silence: shorter than the
// shortest reply time-out (200 ms), so a retried request finds a receiver
// that is hunting for an STX again.
constexpr double kInterByteGapSeconds = 0.1;

// Wire commands (requests; the reply carries command | kReplyBit).
enum Command : uint8_t {
    kCmdIdent = 0x01,        // -> 15 identification bytes
    kCmdStatus = 0x02,       // -> STR1, STR2 only
    kCmdPlaceStatus = 0x03,  // -> 98 bytes of the positioning status
    kCmdPlaceRun = 0x10,     // number (BCD)
    kCmdPlaceCancel = 0x11,
    kCmdJogPlus = 0x12,
    kCmdJogMinus = 0x13,
    kCmdRunOn = 0x14,
    kCmdRunOff = 0x15,
    kCmdOnline = 0x16,
    kCmdOffline = 0x17,
    kCmdManualSpeed = 0x18,  // speed, 16 bits LE
    kCmdStdRead = 0x20,      // kind, count, first (BCD) -> 6 x count
    kCmdStdTableRead = 0x21, // kind, count, first (BCD) -> 17 x count
    kCmdStdWrite = 0x22,     // kind, count, first (BCD), 6 x count
    kCmdParaRead = 0x30,     // count, first 16 bits LE -> 6 x count
    kCmdParaWrite = 0x31,    // count, first 16 bits LE, 6 x count
    kCmdPointRead = 0x40,    // image size, count, first (BCD) -> size x count
    kCmdPointWrite = 0x41,   // image size, count, first (BCD), size x count
    kCmdAccess = 0x50,       // cmd, mode, kind, adrL, adrM, adrH, count LE16, data
};

// Sizes of the records the commands carry: a point of the L type and of the
// V type table; a standard parameter's table entry (attribute, high byte
// first, then initial, maximum and minimum as 10 BCD digits each).
constexpr int kLImage = 16;
constexpr int kVImage = 24;
constexpr int kStdTableEntry = 17;

struct Frame {
    uint8_t station = 0;
    uint8_t command = 0;
    uint8_t sequence = 0;
    uint8_t status = 0;
    std::vector<uint8_t> data;

    bool is_reply() const { return (command & kReplyBit) != 0; }
    bool operator==(const Frame&) const = default;
};

uint16_t crc16(const uint8_t* bytes, size_t n);

// The complete byte image of a frame. Data beyond kMaxData are not encodable:
// the caller checks sizes first.
std::vector<uint8_t> encode(const Frame& f);

enum class DecodeResult {
    kFrame,      // a frame is complete
    kNeedMore,   // bytes so far are a valid prefix
    kGarbled,    // bad CRC, ETX, length or station: the bytes up to here are dropped
};

// Incremental decoder: feed bytes one at a time (or in runs); noise before an
// STX is skipped silently.
class Decoder {
public:
    // Offers one byte; on kFrame the frame is in frame() until the next push.
    DecodeResult push(uint8_t byte);
    const Frame& frame() const { return frame_; }
    // Bytes of the frame just completed (for echo recognition).
    const std::vector<uint8_t>& raw() const { return raw_; }
    bool idle() const { return raw_.empty() || done_; }
    void reset();

private:
    std::vector<uint8_t> raw_;
    Frame frame_;
    size_t need_ = 0;
    bool done_ = false;
};

// The receiver of a line end, on top of the decoder: it drops a partial frame
// that turns out garbled or after kInterByteGapSeconds without a byte, and then
// hunts for the next STX from the byte after the dropped frame's STX, so a
// frame that followed noise without a pause is still found.
class Receiver {
public:
    struct Heard {
        bool garbled = false;     // a partial frame dropped (bad frame or gap)
        Frame frame;              // otherwise a complete frame,
        std::vector<uint8_t> raw; // its bytes,
        double firstByte = 0;     // and when its STX arrived
    };

    // Bytes that arrived at time now (seconds, one monotonic clock); what they
    // completed, in order.
    std::vector<Heard> feed(const uint8_t* bytes, size_t n, double now);
    // Drops a partial frame whose last byte is older than the gap.
    std::vector<Heard> expire(double now);
    // When the partial frame expires; 0 when there is none.
    double expiry() const { return held_.empty() ? 0 : held_.back().at + kInterByteGapSeconds; }

private:
    struct Byte {
        uint8_t value;
        double at;
    };
    void run(std::vector<Heard>& out);
    void drop_partial(std::vector<Heard>& out);

    Decoder dec_;
    std::vector<Byte> held_;   // bytes of the partial frame, from its STX
    std::vector<Byte> input_;  // bytes still to offer the decoder, in order
};

// Decodes one complete byte image (tests, logs).
DecodeResult decode(const uint8_t* bytes, size_t n, Frame& out);

// Undoes the termios PARMRK marking of a serial line with parity checking:
// 0xFF 0xFF is one 0xFF, 0xFF 0x00 X is byte X received with a parity error
// (passed on, so the frame's CRC fails, and counted). Marks split across
// reads are carried over.
class ParityUnmarker {
public:
    // Writes at most n bytes to out; returns how many.
    size_t feed(const uint8_t* in, size_t n, uint8_t* out);
    // Parity errors seen since the last call.
    int take_errors() {
        const int e = errors_;
        errors_ = 0;
        return e;
    }

private:
    int state_ = 0;  // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
    int errors_ = 0;
};

// Packed BCD helpers used on both sides.
inline uint8_t to_bcd(int v) { return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10)); }
// -1 when the byte is not two decimal digits.
inline int from_bcd(unsigned b) {
    if (b > 0xFF || (b >> 4) > 9 || (b & 0xF) > 9) return -1;
    return static_cast<int>((b >> 4) * 10 + (b & 0xF));
}

}  // namespace tavwire
