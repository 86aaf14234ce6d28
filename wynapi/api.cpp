// The C entry points of the component. Every failure is a code: arguments are
// checked here, and nothing thrown inside ever leaves a function.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/platform.h"
#include "sim/engine.h"
#include "wire/mutex.h"
#include "wynapi/link.h"
#include "wynapi/wynapi.h"

namespace {

std::mutex g_mutex;                  // one caller on the line at a time
std::unique_ptr<wyn::Line> g_line;   // the open line, if any
int g_lastStatus = 0;                // processing status of the last reply
std::set<int> g_mutexFds;            // descriptors handed out by Wyn_OpenMutex
int g_commLockFd = -1;               // srvTav_Comm_Lock
wyn::LineStats g_closedStats;        // counts of the lines closed so far
long g_lineOpens = 0;

template <class F>
short guarded(F&& f) {
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        return f();
    } catch (...) {
        return WYN_E_COMM;
    }
}

const int kBaudRates[] = {9600, 19200, 38400, 2400, 4800, 57600, 115200};

bool station_ok(int station) { return station >= 0 && station <= tavwire::kMaxStation; }
bool bcd_ok(unsigned v) { return v <= 0xFF && tavwire::from_bcd(v) >= 0; }

// One exchange on the open line; copies STR1, STR2 and want payload bytes to
// out (zero-filled where the device sent fewer). A processing status of the
// device becomes the result.
short run(int station, uint8_t cmd, const std::vector<uint8_t>& data, unsigned char* out, size_t want) {
    if (!g_line) return WYN_E_NOT_CONNECTED;
    if (!station_ok(station) || out == nullptr) return WYN_E_DATA;
    wyn::Reply rep;
    const short rc = g_line->exchange(station, cmd, data, rep, want + 2);
    if (rc != 0) return rc;
    const size_t total = want + 2;
    const size_t have = rep.data.size() < total ? rep.data.size() : total;
    std::memcpy(out, rep.data.data(), have);
    if (have < total) std::memset(out + have, 0, total - have);
    g_lastStatus = rep.status;
    return rep.status;
}

short simple(int station, uint8_t cmd, unsigned char* status, std::vector<uint8_t> data = {}) {
    return guarded([&] { return run(station, cmd, data, status, 0); });
}

short block_read(int station, uint8_t cmd, std::vector<uint8_t> head, int count, int per, int size,
                 unsigned char* reply) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (reply == nullptr || count < 1 || count > 16) return WYN_E_DATA;
        if (size < 2 + per * count) return WYN_E_DATA;
        return run(station, cmd, head, reply, static_cast<size_t>(per * count));
    });
}

// Writes send per x count bytes of data; a dataLen other than per x count
// (or sizePer x count) is answered with the data size error before anything
// is sent.
short block_write(int station, uint8_t cmd, std::vector<uint8_t> head, int count, int dataLen, int per,
                  int sizePer, const unsigned char* data, unsigned char* status) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (data == nullptr || status == nullptr || count < 1 || count > 16) return WYN_E_DATA;
        const int sent = per * count;
        if (dataLen != sent && dataLen != sizePer * count) {
            status[0] = status[1] = 0;
            g_lastStatus = WYN_E_DATA_SIZE;
            return WYN_E_DATA_SIZE;
        }
        head.insert(head.end(), data, data + sent);
        return run(station, cmd, head, status, 0);
    });
}

std::string lock_dir() { return tavplat::wyn_home() + "/lock"; }

// Takes the component's mutex file, waiting up to about 200 ms; -1 when refused.
int take_mutex_file() {
    const std::string path = tavwire::mutex_path();
    ::mkdir(lock_dir().c_str(), 0777);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    for (int i = 0; i < 20; ++i) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        ::usleep(10000);
    }
    ::close(fd);
    return -1;
}

}  // namespace

extern "C" {

WYN_API short Wyn_Net_Open(const WynLineSettings* s) {
    if (s == nullptr) return WYN_E_DATA;
    return guarded([&]() -> short {
        if (g_line) return WYN_E_ALREADY_OPEN;
        if (s->nPort < 0 || s->nPort > 8) return WYN_E_OPEN;
        const std::string target = tavplat::resolve_com_port(s->nPort + 1);
        if (target.empty()) return WYN_E_OPEN;
        wyn::LineConfig cfg;
        cfg.timeoutMs = wyn::timeout_ms_from_setting(s->nTimeOut);
        cfg.attempts = 1 + (s->nRetry < 0 ? 0 : s->nRetry > 20 ? 20 : s->nRetry);
        cfg.connectType = (s->nLine11 == 122 || s->nLine11 == 124) ? s->nLine11 : 0;
        cfg.busStation = cfg.connectType != 0 ? (s->nLine12 & 0xFF) : 0;
        std::unique_ptr<wyn::Transport> t;
        tavsim::Engine* engine = nullptr;
        if (target.rfind("sim:", 0) == 0) {
            std::string path = target.substr(4);
            if (path.empty()) return WYN_E_OPEN;
            if (path[0] != '/') path = tavplat::wyn_home() + "/" + path;
            // Like a serial line: one process at a time, refused at once.
            int lock = -1;
            if (!tavsim::lock_state_file(path, lock)) return WYN_E_OPEN;
            auto e = tavsim::Engine::open(path, nullptr);
            if (!e) {
                if (lock >= 0) ::close(lock);
                return WYN_E_OPEN;
            }
            t = wyn::make_sim_transport(std::move(e), &engine, lock);
        } else {
            const int fd = tavplat::serial_open(target.c_str());
            if (fd == tavplat::kInvalidFile) return WYN_E_OPEN;
            tavplat::SerialSettings ss{};
            ss.baud = (s->nBaud >= 0 && s->nBaud <= 6) ? kBaudRates[s->nBaud] : 38400;
            ss.byteSize = s->nDataBits == 0 ? 8 : s->nDataBits;  // frames are 8-bit
            ss.parity = s->nParity;
            ss.stopBits = s->nStopBits;
            ss.xonXoff = (s->nFlow & 1) != 0;
            ss.readTimeoutMs = cfg.timeoutMs;
            ss.interByteMs = 10;
            cfg.byteMs = wyn::byte_ms(ss.baud, ss.byteSize, ss.parity != 0, ss.stopBits);
            if (!tavplat::serial_configure(fd, ss)) {
                tavplat::serial_close(fd);
                return WYN_E_OPEN;
            }
            // With parity checking the driver marks bad bytes (PARMRK), so a
            // failed exchange can tell a parity error from other damage.
            const bool marks = s->nParity != 0;
            termios tio{};
            if (marks && ::tcgetattr(fd, &tio) == 0) {
                tio.c_iflag |= INPCK | PARMRK;
                tio.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | ISTRIP);
                ::tcsetattr(fd, TCSANOW, &tio);
            }
            ::tcflush(fd, TCIOFLUSH);
            t = wyn::make_serial_transport(fd, marks);
        }
        g_line = std::make_unique<wyn::Line>(std::move(t), cfg, engine);
        g_lastStatus = 0;
        ++g_lineOpens;
        return WYN_OK;
    });
}

WYN_API short Wyn_Net_Close(void) {
    return guarded([]() -> short {
        if (!g_line) return WYN_E_CLOSED;
        const wyn::LineStats& st = g_line->stats();
        g_closedStats.exchanges += st.exchanges;
        g_closedStats.attempts += st.attempts;
        g_closedStats.bytesOut += st.bytesOut;
        g_closedStats.bytesIn += st.bytesIn;
        g_line.reset();
        return WYN_OK;
    });
}

WYN_API short Wyn_SysCondition_Rd(int station, int size, unsigned char* record) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (record == nullptr || size < 17) return WYN_E_DATA;
        return run(station, tavwire::kCmdIdent, {}, record, 15);
    });
}

WYN_API short Wyn_Status_Rd(int station, unsigned char* buffer) { return simple(station, tavwire::kCmdStatus, buffer); }

WYN_API short Wyn_PlaceCondition_Rd(int station, int size, unsigned char* reply) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (reply == nullptr || size < 100) return WYN_E_DATA;
        return run(station, tavwire::kCmdPlaceStatus, {}, reply, 98);
    });
}

WYN_API short Wyn_PlaceMotion_Run(int station, unsigned int numberBcd, unsigned char* status) {
    if (!bcd_ok(numberBcd)) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return simple(station, tavwire::kCmdPlaceRun, status, {static_cast<uint8_t>(numberBcd)});
}
WYN_API short Wyn_Place_Cancel(int station, unsigned char* status) { return simple(station, tavwire::kCmdPlaceCancel, status); }
WYN_API short Wyn_ManuPluse_Snd(int station, unsigned char* status) { return simple(station, tavwire::kCmdJogPlus, status); }
WYN_API short Wyn_ManuMinus_Snd(int station, unsigned char* status) { return simple(station, tavwire::kCmdJogMinus, status); }
WYN_API short Wyn_Run_On(int station, unsigned char* status) { return simple(station, tavwire::kCmdRunOn, status); }
WYN_API short Wyn_Run_Off(int station, unsigned char* status) { return simple(station, tavwire::kCmdRunOff, status); }
WYN_API short Wyn_Online_Chg(int station, unsigned char* status) { return simple(station, tavwire::kCmdOnline, status); }
WYN_API short Wyn_Offline_Set(int station, unsigned char* status) { return simple(station, tavwire::kCmdOffline, status); }

WYN_API short Wyn_ManuSpeed_Sel(int station, int speed, unsigned char* status) {
    if (speed < 0 || speed > 0xFFFF) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return simple(station, tavwire::kCmdManualSpeed, status,
                  {static_cast<uint8_t>(speed & 0xFF), static_cast<uint8_t>(speed >> 8)});
}

// ------------------------------------------------------ standard parameters

static short std_read(uint8_t cmd, int kind, int station, int count, unsigned int firstBcd, int size,
                      unsigned char* reply, int per) {
    if (!bcd_ok(firstBcd)) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return block_read(station, cmd,
                      {static_cast<uint8_t>(kind), static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF),
                       static_cast<uint8_t>(firstBcd)},
                      count, per, size, reply);
}

WYN_API short Wyn_StdPara_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return std_read(tavwire::kCmdStdRead, 0, station, count, firstBcd, size, reply, 6);
}
WYN_API short Wyn_StdParaTbl_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return std_read(tavwire::kCmdStdTableRead, 0, station, count, firstBcd, size, reply, tavwire::kStdTableEntry);
}
WYN_API short Wyn_SysPara_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return std_read(tavwire::kCmdStdRead, 1, station, count, firstBcd, size, reply, 6);
}
WYN_API short Wyn_SysParaTbl_Rd(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return std_read(tavwire::kCmdStdTableRead, 1, station, count, firstBcd, size, reply, tavwire::kStdTableEntry);
}

static short std_write(int kind, int station, int count, unsigned int firstBcd, int dataLen,
                       const unsigned char* data, unsigned char* status) {
    if (!bcd_ok(firstBcd)) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    // count value fields of 6 bytes; the size argument counts their 5 digit bytes.
    return block_write(station, tavwire::kCmdStdWrite,
                       {static_cast<uint8_t>(kind), static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF),
                        static_cast<uint8_t>(firstBcd)},
                       count, dataLen, 6, 5, data, status);
}

WYN_API short Wyn_StdPara_Wt(int station, int count, unsigned int firstBcd, int dataLen,
                             const unsigned char* data, unsigned char* status) {
    return std_write(0, station, count, firstBcd, dataLen, data, status);
}
WYN_API short Wyn_SysPara_Wt(int station, int count, unsigned int firstBcd, int dataLen,
                             const unsigned char* data, unsigned char* status) {
    return std_write(1, station, count, firstBcd, dataLen, data, status);
}

// ------------------------------------------------------ extended parameters

WYN_API short Wyn_Para_Rd2(int station, int count, int first, int size, unsigned char* reply) {
    if (first < 1 || first > 0xFFFF) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return block_read(station, tavwire::kCmdParaRead,
                      {static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF), static_cast<uint8_t>(first & 0xFF),
                       static_cast<uint8_t>(first >> 8)},
                      count, 6, size, reply);
}

WYN_API short Wyn_Para_Wt2(int station, int count, int first, int dataLen, const unsigned char* data,
                           unsigned char* status) {
    if (first < 1 || first > 0xFFFF) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return block_write(station, tavwire::kCmdParaWrite,
                       {static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF), static_cast<uint8_t>(first & 0xFF),
                        static_cast<uint8_t>(first >> 8)},
                       count, dataLen, 6, 6, data, status);
}

// ------------------------------------------------------- positioning points

static short point_read(int image, int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    if (!bcd_ok(firstBcd)) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return block_read(station, tavwire::kCmdPointRead,
                      {static_cast<uint8_t>(image), static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF),
                       static_cast<uint8_t>(firstBcd)},
                      count, image, size, reply);
}

static short point_write(int image, int station, int count, unsigned int firstBcd, int dataLen,
                         const unsigned char* data, unsigned char* status) {
    if (!bcd_ok(firstBcd)) return guarded([]() -> short { return g_line ? WYN_E_DATA : WYN_E_NOT_CONNECTED; });
    return block_write(station, tavwire::kCmdPointWrite,
                       {static_cast<uint8_t>(image), static_cast<uint8_t>(count < 0 ? 0 : count & 0xFF),
                        static_cast<uint8_t>(firstBcd)},
                       count, dataLen, image, image, data, status);
}

WYN_API short Wyn_PlaceDat_Rd2(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return point_read(tavwire::kLImage, station, count, firstBcd, size, reply);
}
WYN_API short Wyn_PlaceDat_Rd3(int station, int count, unsigned int firstBcd, int size, unsigned char* reply) {
    return point_read(tavwire::kVImage, station, count, firstBcd, size, reply);
}
WYN_API short Wyn_PlaceDat_Wt2(int station, int count, unsigned int firstBcd, int dataLen,
                               const unsigned char* data, unsigned char* status) {
    return point_write(tavwire::kLImage, station, count, firstBcd, dataLen, data, status);
}
WYN_API short Wyn_PlaceDat_Wt3(int station, int count, unsigned int firstBcd, int dataLen,
                               const unsigned char* data, unsigned char* status) {
    return point_write(tavwire::kVImage, station, count, firstBcd, dataLen, data, status);
}

// --------------------------------------------------------------- raw frames

WYN_API intptr_t Wyn_OpenMutex(void) {
    try {
        const int fd = take_mutex_file();  // waits without holding the line
        if (fd < 0) return 0;
        std::lock_guard<std::mutex> lock(g_mutex);
        g_mutexFds.insert(fd);
        return static_cast<intptr_t>(fd) + 1;  // never 0, also for descriptor 0
    } catch (...) {
        return 0;
    }
}

WYN_API short Wyn_CloseMutex(intptr_t handle) {
    return guarded([&]() -> short {
        const int fd = static_cast<int>(handle - 1);
        if (handle <= 0 || g_mutexFds.erase(fd) == 0) return WYN_E_DATA;
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return WYN_OK;
    });
}

WYN_API short SetFixedHeaderData(unsigned char* frame, int station) {
    return guarded([&]() -> short {
        if (frame == nullptr || !station_ok(station)) return WYN_E_DATA;
        const int type = g_line ? g_line->config().connectType : 0;
        const int bus = g_line ? g_line->config().busStation : 0;
        frame[0] = 0x5A;
        frame[3] = 0xFF;
        frame[4] = static_cast<unsigned char>(type);
        // The addressed station: byte 5, or byte 6 on a bus connection (where 5 stays 0).
        frame[5] = static_cast<unsigned char>(type == 122 ? 0 : station);
        frame[6] = static_cast<unsigned char>(type == 122 ? station : type == 124 ? bus : 0);
        frame[7] = 0x11;
        frame[8] = 0;
        frame[9] = frame[10] = frame[11] = frame[12] = 0xFF;
        frame[15] = 0;
        frame[16] = 1;
        return WYN_OK;
    });
}

WYN_API short CommExecProc(int kind, const unsigned char* frame, int length, unsigned char* reply) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (kind != 1 || frame == nullptr || reply == nullptr || length < 25 ||
            length > static_cast<int>(tavwire::kMaxData) + 17)
            return WYN_E_DATA;
        if (frame[0] != 0x5A) return WYN_E_DATA;
        const int station = frame[4] == 122 ? frame[6] : frame[5];
        const int count = frame[23] | (frame[24] << 8);
        if (count > 4096 - 25) return WYN_E_DATA;  // the reply would not fit
        std::vector<uint8_t> body{frame[13], frame[14], frame[19], frame[20], frame[21], frame[22],
                                  frame[23], frame[24]};
        body.insert(body.end(), frame + 25, frame + length);
        std::memset(reply, 0, 4096);
        std::memcpy(reply, frame, 25);
        const size_t want = count > 2 ? static_cast<size_t>(count - 2) : 0;
        const short rc = run(station, tavwire::kCmdAccess, body, reply + 25, want);
        const int n = static_cast<int>(2 + want);
        reply[1] = static_cast<unsigned char>((23 + n) & 0xFF);
        reply[2] = static_cast<unsigned char>((23 + n) >> 8);
        reply[17] = static_cast<unsigned char>((6 + n) & 0xFF);
        reply[18] = static_cast<unsigned char>((6 + n) >> 8);
        reply[23] = static_cast<unsigned char>(n & 0xFF);
        reply[24] = static_cast<unsigned char>(n >> 8);
        return rc;
    });
}

// --------------------------------------------------- connection information

WYN_API int GetConnectType(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_line ? g_line->config().connectType : 0;
}
WYN_API int GetKbNo(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_line && g_line->config().connectType == 122 ? g_line->config().busStation : 0;
}
WYN_API int GetKeiroID(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_line && g_line->config().connectType == 124 ? g_line->config().busStation : 0;
}
WYN_API int GetKbType(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_line && g_line->config().connectType == 122 ? 1 : 0;
}
WYN_API int GetCmdStsErr(void) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lastStatus;
}

WYN_API short srvTav_Comm_Lock(void) {
    return guarded([]() -> short {
        if (g_commLockFd >= 0) return WYN_OK;
        g_commLockFd = take_mutex_file();
        return g_commLockFd >= 0 ? WYN_OK : WYN_E_OPEN;
    });
}

WYN_API short srvTav_Comm_Unlock(void) {
    return guarded([]() -> short {
        if (g_commLockFd < 0) return WYN_E_DATA;
        ::flock(g_commLockFd, LOCK_UN);
        ::close(g_commLockFd);
        g_commLockFd = -1;
        return WYN_OK;
    });
}

WYN_API short Wyn_Sim_Control(const char* json) {
    return guarded([&]() -> short {
        if (!g_line) return WYN_E_NOT_CONNECTED;
        if (json == nullptr || g_line->engine() == nullptr) return WYN_E_DATA;
        return g_line->engine()->control(json, nullptr) ? WYN_OK : WYN_E_DATA;
    });
}

WYN_API short Wyn_Stat_Get(WynStatistics* out) {
    if (out == nullptr) return WYN_E_DATA;
    return guarded([&]() -> short {
        wyn::LineStats st = g_closedStats;
        if (g_line) {
            st.exchanges += g_line->stats().exchanges;
            st.attempts += g_line->stats().attempts;
            st.bytesOut += g_line->stats().bytesOut;
            st.bytesIn += g_line->stats().bytesIn;
        }
        out->lineOpens = g_lineOpens;
        out->exchanges = st.exchanges;
        out->attempts = st.attempts;
        out->bytesOut = st.bytesOut;
        out->bytesIn = st.bytesIn;
        return WYN_OK;
    });
}

WYN_API short Wyn_Stat_Reset(void) {
    return guarded([]() -> short {
        // The open line keeps its own counts; they are taken off here.
        g_closedStats = wyn::LineStats{};
        if (g_line) {
            g_closedStats.exchanges = -g_line->stats().exchanges;
            g_closedStats.attempts = -g_line->stats().attempts;
            g_closedStats.bytesOut = -g_line->stats().bytesOut;
            g_closedStats.bytesIn = -g_line->stats().bytesIn;
        }
        g_lineOpens = 0;
        return WYN_OK;
    });
}

}  // extern "C"
