#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/engine.h"

namespace tavsim {

namespace {

double mono_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void sleep_until(double t) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t);
    ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void log_bytes(FILE* log, const char* dir, const std::vector<uint8_t>& b) {
    if (log == nullptr) return;
    std::fprintf(log, "%.6f %s", mono_now(), dir);
    for (uint8_t x : b) std::fprintf(log, " %02X", x);
    std::fputc('\n', log);
    std::fflush(log);
}

// False when nobody has taken the bytes for half a second.
bool write_all(int fd, const uint8_t* b, size_t size) {
    size_t done = 0;
    int stalls = 0;
    while (done < size) {
        const ssize_t w = ::write(fd, b + done, size - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN && ++stalls < 50) {  // nobody reading: give up after 0.5 s
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
            continue;
        }
        return false;
    }
    return true;
}

// Writes the reply as the line carries it: byte k has arrived at start +
// (k + 1) byte times. The first byte leaves alone, on time; the rest leave in
// pieces of about a millisecond, each once its last byte has arrived, so a
// fast line costs a wake-up per piece, not per byte, and a slow one (a byte
// time over a millisecond) still gets one byte per wake-up.
void stream_out(int fd, const std::vector<uint8_t>& out, double start, double byteTime) {
    constexpr double kPieceSeconds = 0.001;
    const size_t piece = std::max<size_t>(1, static_cast<size_t>(kPieceSeconds / byteTime));
    size_t sent = 0;
    while (sent < out.size()) {
        const size_t last = sent == 0 ? 1 : std::min(out.size(), sent + piece);
        sleep_until(start + static_cast<double>(last) * byteTime);
        // A late wake-up sends everything due by now.
        size_t due = static_cast<size_t>((mono_now() - start) / byteTime);
        due = std::clamp(due, last, out.size());
        if (!write_all(fd, out.data() + sent, due - sent)) return;
        sent = due;
    }
}

// Poll time-out: until a partial frame expires, else a fifth of a second
// (a reload request is noticed that often).
int poll_ms(double expiry) {
    if (expiry <= 0) return 200;
    const double ms = (expiry - mono_now()) * 1000.0 + 1.0;
    return ms < 1 ? 1 : ms > 200 ? 200 : static_cast<int>(ms);
}

}  // namespace

int run_pty_server(const ServerOptions& o, volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* reload) {
    // One process per state file, as for an in-process line: each loads the
    // state and saves it whole, so a second one would undo the other's writes.
    int stateLock = -1;
    if (!lock_state_file(o.state, stateLock)) {
        std::fprintf(stderr, "servo-sim: %s is in use by another process (lock file %s.lck)\n", o.state.c_str(),
                     o.state.c_str());
        return 1;
    }
    std::string error;
    auto engine = Engine::open(o.state, &error);
    if (!engine) {
        std::fprintf(stderr, "servo-sim: %s\n", error.c_str());
        return 1;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("servo-sim: pseudo-terminal");
        return 1;
    }
    const char* name = ::ptsname(master);
    const std::string slaveName = name != nullptr ? name : "";
    // Holding the slave open keeps the pair alive between clients and lets
    // the line start out raw (no echo, no line editing).
    const int slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
        std::perror("servo-sim: slave side");
        return 1;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    ::unlink(o.link.c_str());
    if (::symlink(slaveName.c_str(), o.link.c_str()) != 0) {
        std::perror("servo-sim: link");
        return 1;
    }
    FILE* log = o.log.empty() ? nullptr : std::fopen(o.log.c_str(), "a");

    std::printf("servo-sim ready pty=%s link=%s state=%s baud=%d wire-time=%s\n", slaveName.c_str(),
                o.link.c_str(), o.state.c_str(), o.baud, o.wireTime ? "on" : "off");
    std::fflush(stdout);

    const double byteTime = 10.0 / (o.baud > 0 ? o.baud : 38400);
    Receiver receiver;
    uint8_t buf[4096];
    while (!*stop) {
        if (*reload) {
            *reload = 0;
            std::ifstream in(o.state, std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            if (!in || !engine->from_json(ss.str(), &error))
                std::fprintf(stderr, "servo-sim: reload failed: %s\n", error.c_str());
        }
        pollfd p{master, POLLIN, 0};
        const int r = ::poll(&p, 1, poll_ms(receiver.expiry()));
        std::vector<Receiver::Heard> heard;
        if (r <= 0) {
            heard = receiver.expire(mono_now());  // a partial frame left by noise
        } else {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) break;
                continue;
            }
            heard = receiver.feed(buf, static_cast<size_t>(n), mono_now());
        }
        for (const Receiver::Heard& h : heard) {
            if (h.garbled) {
                if (log != nullptr) std::fprintf(log, "%.6f rx garbled frame\n", mono_now());
                continue;
            }
            if (h.frame.is_reply()) continue;
            log_bytes(log, "rx", h.raw);
            const std::vector<uint8_t> out = engine->handle(h.frame, h.raw);
            if (out.empty()) continue;
            log_bytes(log, "tx", out);
            // The reply leaves as a real line would carry it: its first byte
            // after the request and the turnaround, then one byte time per byte.
            const double start = h.firstByte + static_cast<double>(h.raw.size()) * byteTime + o.turnaroundMs / 1000.0;
            if (o.wireTime) stream_out(master, out, start, byteTime);
            else write_all(master, out.data(), out.size());
        }
    }
    engine->save();
    ::unlink(o.link.c_str());
    if (log != nullptr) std::fclose(log);
    ::close(slave);
    ::close(master);
    if (stateLock >= 0) ::close(stateLock);
    return 0;
}

}  // namespace tavsim
