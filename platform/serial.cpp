// Serial ports: the COMn port map and the termios set-up that stands in for
// CreateFileA / SetCommState / SetCommTimeouts.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace tavplat {

namespace {

std::string env_text(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

bool baud_constant(int baud, speed_t& out) {
    switch (baud) {
        case 2400: out = B2400; return true;
        case 4800: out = B4800; return true;
        case 9600: out = B9600; return true;
        case 19200: out = B19200; return true;
        case 38400: out = B38400; return true;
        case 57600: out = B57600; return true;
        case 115200: out = B115200; return true;
        default: return false;
    }
}

// Milliseconds to termios tenths of a second, at least one, at most 25.5 s.
cc_t deciseconds(int ms) {
    int ds = (ms + 99) / 100;
    if (ds < 1) ds = 1;
    if (ds > 255) ds = 255;
    return static_cast<cc_t>(ds);
}

}  // namespace

std::string wyn_home() {
    std::string home = env_text("WYN_HOME");
    if (home.empty()) return host_directory();
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string definitions_home() {
    std::string home = env_text("WYN_DEF_HOME");
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string resolve_com_port(int n) {
    if (n < 1 || n > 9) return std::string();
    std::string key = "COM" + std::to_string(n);
    std::string fromEnv = env_text(("WYN_" + key).c_str());
    if (!fromEnv.empty()) return fromEnv;
    char value[4096];
    std::string ini = wyn_home() + "/wyn.ini";
    if (GetPrivateProfileStringA("Ports", key.c_str(), "", value, sizeof value, ini.c_str()) > 0)
        return value;
    return "/dev/ttyS" + std::to_string(n - 1);
}

FileHandle serial_open(const char* device) {
    if (device == nullptr || device[0] == '\0') return kInvalidFile;
    int fd;
    do {
        // Non-blocking so a modem line without carrier cannot hang the open.
        fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidFile;
    // Exclusive through flock alone: it dies with its process. The terminal's
    // exclusive mode (TIOCEXCL) would outlive a killed process whenever the
    // other end (a simulator's pseudo-terminal) stays open, and lock out every
    // later non-root open.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return kInvalidFile;
    }
    return fd;
}

bool serial_configure(FileHandle h, const SerialSettings& s) {
    if (h < 0) return false;
    speed_t speed;
    if (!baud_constant(s.baud, speed)) return false;
    struct termios tio {};
    if (::tcgetattr(h, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (s.byteSize >= 5 && s.byteSize <= 8) {
        static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | sizes[s.byteSize - 5];
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
        case 0: break;
        case 1: tio.c_cflag |= PARENB | PARODD; break;
        case 2: tio.c_cflag |= PARENB; break;
        case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: tio.c_cflag |= PARENB | CMSPAR; break;
        default: return false;
    }
    // Parity checking on: a byte that arrives with a parity error reads as
    // 0x00, so the frame check refuses the frame rather than take the byte.
    tio.c_iflag |= INPCK;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | PARMRK);
    switch (s.stopBits) {
        case 0: tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB); break;
        case 1:  // one and a half: termios knows only one or two
        case 2: tio.c_cflag |= CSTOPB; break;
        default: return false;
    }
    if (s.xonXoff) {
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    }
    if (s.readTimeoutMs > 0) {
        // A read returns what has come once the time-out passes.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = deciseconds(s.readTimeoutMs);
    } else if (s.interByteMs > 0) {
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = deciseconds(s.interByteMs);
    } else {
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
    }
    if (::tcsetattr(h, TCSANOW, &tio) != 0) return false;
    // tcsetattr succeeds when any part applies: check the speed took.
    struct termios now {};
    return ::tcgetattr(h, &now) == 0 && ::cfgetospeed(&now) == speed;
}

void serial_close(FileHandle h) {
    if (h < 0) return;
    ::flock(h, LOCK_UN);
    ::close(h);
}

}  // namespace tavplat
