// Raw command frames to amplifier memory, exchanged under the component's
// mutex, and the STR1 check every amplifier answer goes through.
#include "line/direct_access.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "Tav_acs.h"
#include "comm/comm.h"
#include "frame/frame.h"

namespace tav::comm {

namespace {

// Frame layout (little-endian 16-bit fields).
constexpr std::size_t kFrameSize = 8192;
constexpr std::size_t kRawReplySize = 4096;  // what CommExecProc may write
constexpr std::size_t kReplyData = 25;       // STR1 of the reply's data
constexpr int kLengthField = 1;
constexpr int kCommand = 13;
constexpr int kMode = 14;
constexpr int kBodyLength = 17;
constexpr int kMemoryKind = 19;
constexpr int kAddress = 20;
constexpr int kCount = 23;
constexpr int kData = 25;
constexpr int kBaseLength = 23;  // length field without data
constexpr int kBaseBody = 6;     // kind, three address bytes, count
constexpr int kSendExtra = 3;    // send length = length field + 3
// Largest data that still leaves the frame inside its buffer.
constexpr int kMaxData = static_cast<int>(kFrameSize) - kData - 1;

constexpr int kConnectBus = 122;
constexpr int kConnectRouted = 124;

using Frame = std::array<unsigned char, kFrameSize>;
using RawReply = std::array<unsigned char, kRawReplySize>;

void put16(unsigned char* p, unsigned value) {
    p[0] = static_cast<unsigned char>(value & 0xFFu);
    p[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}

// Memory areas the amplifier must never be asked for through the general
// access: they hold its own firmware state.
bool refused_combination(unsigned char command, unsigned char mode, unsigned char kind, unsigned char high) {
    if (command == 'R' && mode == 0 && kind == 0x0E && high == 0) return true;
    if (command == 'S' && mode == 0 && kind == 0x0B && (high == 0 || high == 1)) return true;
    return false;
}

void fill_address(Frame& f, unsigned char command, unsigned char mode, unsigned char kind, unsigned char low,
                  unsigned char middle, unsigned char high) {
    f[kCommand] = command;
    f[kMode] = mode;
    f[kMemoryKind] = kind;
    f[kAddress] = low;
    f[kAddress + 1] = middle;
    f[kAddress + 2] = high;
}

// The fixed header the general access leaves to SetFixedHeaderData.
void fill_fixed_header(Frame& f) {
    const WynApi& w = wyn();
    const int connect = w.GetConnectType();
    const int bus = w.GetKbNo();
    f[0] = 0x5A;
    f[3] = 0xFF;
    f[4] = static_cast<unsigned char>(connect);
    f[5] = static_cast<unsigned char>(connect == kConnectBus ? 0 : bus);
    if (connect == kConnectBus)
        f[6] = static_cast<unsigned char>(bus);
    else if (connect == kConnectRouted)
        f[6] = static_cast<unsigned char>(w.GetKeiroID());
    else
        f[6] = 0;
    f[7] = 0x11;
    f[8] = 0;
    f[9] = f[10] = f[11] = f[12] = 0xFF;
    f[15] = 0;
    f[16] = 1;
}

void trace_exchange(unsigned char command, unsigned char mode, unsigned char kind, unsigned char low,
                    unsigned char middle, unsigned char high, short code, const unsigned char* status) {
    if (frame::CheckDiagnosticMarkers() != 1) return;
    // "[to amplifier] command= mode= kind=" and "result=" in the trace's own wording.
    frame::tracef("  [\xB1\xDD\xCC\xDF\x82\xD6]\xBA\xCF\xDD\xC4\xDE=0x%02X \xD3\xB0\xC4\xDE=0x%02X "
                  "\xD2\x8E\xED\x95\xCA=0x%02X adr(L)=0x%02X adr(M)=0x%02X adr(H)=0x%02X",
                  command, mode, kind, low, middle, high);
    frame::tracef("  \x95\x9C\x8B"
                  "A\x92"
                  "l=%d [ 0x%04X ] : STR1=0x%02X : STR2=0x%02X\n",
                  code, static_cast<unsigned>(static_cast<unsigned short>(code)), status[0], status[1]);
}

// Copies count bytes of the reply's data; what the component cannot have
// delivered reads as zero.
void copy_reply(const RawReply& raw, std::size_t count, unsigned char* reply) {
    const std::size_t available = kRawReplySize - kReplyData;
    const std::size_t n = std::min(count, available);
    std::memcpy(reply, raw.data() + kReplyData, n);
    if (count > n) std::memset(reply + n, 0, count - n);
}

}  // namespace

short Wyn_STR_ERR_Chk(const unsigned char* status) {
    if (status == nullptr) return TAV_E_PARAMETER;
    const unsigned str1 = status[0];
    if (str1 & 0x80u) return (str1 & 0x04u) ? TAV_E_WRITE_PROTECTED : TAV_E_STR_REFUSED;
    if (str1 & 0x40u) return TAV_E_STR_DATA;
    if (str1 & 0x20u) return TAV_E_STR_TRANSMISSION;
    if (str1 & 0x08u) return TAV_E_STR_INITIALISING;
    return TAV_OK;
}

short Wyn_General_Acs(unsigned char station, unsigned char command, unsigned char mode, unsigned char memoryKind,
                      unsigned char addressLow, unsigned char addressMiddle, unsigned char addressHigh,
                      int dataLength, const unsigned char* data, unsigned short replyLength, unsigned char* reply) {
    if (refused_combination(command, mode, memoryKind, addressHigh)) return TAV_E_PARAMETER;
    const int n = dataLength > 0 ? dataLength : 0;
    if (reply == nullptr || n > kMaxData || (n > 0 && data == nullptr)) return TAV_E_PARAMETER;

    const WynApi& w = wyn();
    const intptr_t handle = w.Wyn_OpenMutex();
    if (handle == 0) return 1;

    Frame frame{};
    RawReply raw{};
    w.SetFixedHeaderData(frame.data(), station);
    fill_address(frame, command, mode, memoryKind, addressLow, addressMiddle, addressHigh);

    int lengthField = kBaseLength;
    // A reply of at most the two status bytes is the device's own answer, not
    // data asked for, so the count field stays 0 for it.
    int count = replyLength > 2 ? replyLength : 0;
    if (n > 0) {
        std::memcpy(frame.data() + kData, data, static_cast<std::size_t>(n));
        // A write counts its data; a read with data (a pattern to match) keeps
        // the length field and asks for the reply length.
        if (replyLength <= 2) {
            count = n;
            lengthField = kBaseLength + n;
        }
    }
    put16(frame.data() + kLengthField, static_cast<unsigned>(lengthField));
    put16(frame.data() + kBodyLength, static_cast<unsigned>(kBaseBody + n));
    put16(frame.data() + kCount, static_cast<unsigned>(count));
    const int sendLength = kBaseLength + kSendExtra + n;

    const short code = w.CommExecProc(1, frame.data(), sendLength, raw.data());
    copy_reply(raw, replyLength == 0 ? 2 : replyLength, reply);
    w.Wyn_CloseMutex(handle);

    trace_exchange(command, mode, memoryKind, addressLow, addressMiddle, addressHigh, code,
                   raw.data() + kReplyData);
    return code;
}

short Wyn_Primitive_Acs(int station, unsigned char command, unsigned char mode, unsigned char memoryKind,
                        unsigned char addressLow, unsigned char addressMiddle, unsigned char addressHigh,
                        int firstLength, const unsigned char* firstData, int secondLength,
                        const unsigned char* secondData, unsigned short replyLength, unsigned char* reply) {
    const int a = firstLength > 0 ? firstLength : 0;
    const int b = secondLength > 0 ? secondLength : 0;
    // The first data, a 16-bit length or count, the second data, and the send
    // length's spare byte must all stay inside the frame.
    if (a > kMaxData || b > kMaxData || a + b > kMaxData) return TAV_E_PARAMETER;
    if ((a > 0 && firstData == nullptr) || (b > 0 && secondData == nullptr)) return TAV_E_PARAMETER;
    if (replyLength > 0 && reply == nullptr) return TAV_E_PARAMETER;

    const WynApi& w = wyn();
    const intptr_t handle = w.Wyn_OpenMutex();
    if (handle == 0) return 1;

    Frame frame{};
    RawReply raw{};
    fill_fixed_header(frame);
    fill_address(frame, command, mode, memoryKind, addressLow, addressMiddle, addressHigh);
    const int lengthField = kBaseLength + a + b;
    put16(frame.data() + kLengthField, static_cast<unsigned>(lengthField));
    put16(frame.data() + kBodyLength, static_cast<unsigned>(kBaseBody + a + b));

    unsigned char* p = frame.data() + kCount;
    if (a > 0) std::memcpy(p, firstData, static_cast<std::size_t>(a));
    p += a;
    if (b > 0) {
        put16(p, static_cast<unsigned>(b));
        std::memcpy(p + 2, secondData, static_cast<std::size_t>(b));
    } else {
        put16(p, replyLength);
    }

    const short code = w.CommExecProc(1, frame.data(), lengthField + kSendExtra, raw.data());
    if (code == 0 && replyLength > 0) copy_reply(raw, replyLength, reply);
    w.Wyn_CloseMutex(handle);

    trace_exchange(command, mode, memoryKind, addressLow, addressMiddle, addressHigh, code,
                   raw.data() + kReplyData);
    return code;
}

}  // namespace tav::comm
