#include "wynapi/link.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <deque>

#include "platform/platform.h"
#include "sim/engine.h"

namespace wyn {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds until a point in time, rounded up, 0 once it has passed.
int ms_left(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class SerialTransport final : public Transport {
public:
    SerialTransport(int fd, bool parityMarks) : fd_(fd), marks_(parityMarks) {}
    ~SerialTransport() override { tavplat::serial_close(fd_); }

    short send(const uint8_t* bytes, size_t n) override {
        size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, bytes + done, n - done);
            if (w < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    ::poll(&p, 1, 100);
                    continue;
                }
                return errno == EIO ? 5 : 6;
            }
            done += static_cast<size_t>(w);
        }
        ::tcdrain(fd_);  // the reply time-out starts once the request has left
        return 0;
    }

    int receive(uint8_t* buf, size_t max, int timeoutMs) override {
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, ms_left(until));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return -2;
            if (r == 0) return 0;
            if (!(p.revents & POLLIN)) return -1;  // hung up: the other end is gone
            ssize_t n = ::read(fd_, buf, max);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return 0;
            if (n <= 0) return -1;
            if (marks_) n = static_cast<ssize_t>(unmark_.feed(buf, static_cast<size_t>(n), buf));
            if (n > 0) return static_cast<int>(n);
            // only part of a parity mark so far: wait on within the same time
        }
    }

    void discard_input(int quietMs) override {
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(2 * quietMs);
        uint8_t junk[256];
        while (Clock::now() < until && receive(junk, sizeof junk, std::min(quietMs, ms_left(until))) > 0) {
        }
        ::tcflush(fd_, TCIFLUSH);
        unmark_ = tavwire::ParityUnmarker();
    }

    int take_parity_errors() override { return unmark_.take_errors(); }

private:
    int fd_;
    bool marks_;
    tavwire::ParityUnmarker unmark_;
};

// The simulator in this process: what is sent is answered at once, so a
// missing reply is known immediately and time-outs cost no waiting.
class SimTransport final : public Transport {
public:
    SimTransport(std::unique_ptr<tavsim::Engine> e, int lockFd) : lock_{lockFd}, engine_(std::move(e)) {}

    short send(const uint8_t* bytes, size_t n) override {
        const auto out = engine_->receive(bytes, n);
        rx_.insert(rx_.end(), out.begin(), out.end());
        return 0;
    }
    int receive(uint8_t* buf, size_t max, int) override {
        size_t n = 0;
        while (n < max && !rx_.empty()) buf[n++] = rx_.front(), rx_.pop_front();
        return static_cast<int>(n);
    }
    void discard_input(int) override { rx_.clear(); }
    tavsim::Engine* engine() { return engine_.get(); }

private:
    struct LockFile {
        int fd;
        ~LockFile() {
            if (fd >= 0) ::close(fd);
        }
    };
    LockFile lock_;  // declared first: released once the engine is gone
    std::unique_ptr<tavsim::Engine> engine_;
    std::deque<uint8_t> rx_;
};

}  // namespace

std::unique_ptr<Transport> make_serial_transport(int fd, bool parityMarks) {
    return std::make_unique<SerialTransport>(fd, parityMarks);
}

std::unique_ptr<Transport> make_sim_transport(std::unique_ptr<tavsim::Engine> engine, tavsim::Engine** view,
                                              int lockFd) {
    auto t = std::make_unique<SimTransport>(std::move(engine), lockFd);
    if (view != nullptr) *view = t->engine();
    return t;
}

int timeout_ms_from_setting(int nTimeOut) {
    long ms = static_cast<long>(nTimeOut) * 100;
    if (ms < 200) ms = 200;
    if (ms > 60000) ms = 60000;
    return static_cast<int>(ms);
}

double byte_ms(int baud, int dataBits, bool parity, int stopBits) {
    if (baud <= 0) return 0;
    const int bits = 1 + dataBits + (parity ? 1 : 0) + (stopBits > 0 ? 2 : 1);
    return 1000.0 * bits / baud;
}

int attempt_ms(const LineConfig& cfg, size_t requestBytes, size_t replyData) {
    const double wire = cfg.byteMs * static_cast<double>(2 * requestBytes + replyData + tavwire::kOverhead);
    return cfg.timeoutMs + static_cast<int>(std::ceil(wire));
}

Line::Line(std::unique_ptr<Transport> t, const LineConfig& cfg, tavsim::Engine* engine)
    : t_(std::move(t)), cfg_(cfg), engine_(engine) {
    // A fresh start value, so that a retry cache on the device never mistakes
    // the first request of this line for the last one of an earlier line.
    seq_ = static_cast<uint8_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
}

short Line::exchange(int station, uint8_t command, const std::vector<uint8_t>& data, Reply& out,
                      size_t replyData) {
    if (gone_) return 5;
    tavwire::Frame rq;
    rq.station = static_cast<uint8_t>(station);
    rq.command = command;
    rq.sequence = ++seq_;
    rq.data = data;
    const std::vector<uint8_t> bytes = tavwire::encode(rq);
    ++stats_.exchanges;
    // Each attempt ends at a fixed time after its request: bytes that come,
    // noise or not, never move it.
    const std::chrono::milliseconds budget(attempt_ms(cfg_, bytes.size(), std::min(replyData, tavwire::kMaxData)));

    bool heardAnything = false;
    bool heardThisAttempt = false;
    t_->take_parity_errors();
    int parityErrors = 0;
    uint8_t buf[512];
    for (int attempt = 0; attempt < cfg_.attempts; ++attempt) {
        if (attempt > 0) {
            parityErrors += t_->take_parity_errors();
            // After silence there is nothing to wait out.
            t_->discard_input(heardThisAttempt ? std::min(cfg_.timeoutMs, 50) : 0);
        }
        heardThisAttempt = false;
        const Clock::time_point deadline = Clock::now() + budget;
        ++stats_.attempts;
        const short sent = t_->send(bytes.data(), bytes.size());
        if (sent != 0) {
            if (sent == 5) gone_ = true;
            return sent;
        }
        stats_.bytesOut += static_cast<long>(bytes.size());
        tavwire::Decoder dec;
        bool failed = false;
        while (!failed) {
            const int n = t_->receive(buf, sizeof buf, ms_left(deadline));
            if (n == 0) {
                if (!dec.idle()) heardAnything = true;  // a reply cut short
                break;
            }
            if (n == -1) {
                gone_ = true;
                return 5;
            }
            if (n < 0) return 6;
            stats_.bytesIn += n;
            heardThisAttempt = true;
            for (int i = 0; i < n && !failed; ++i) {
                const tavwire::DecodeResult r = dec.push(buf[i]);
                if (r == tavwire::DecodeResult::kGarbled) {
                    heardAnything = true;
                    failed = true;
                } else if (r == tavwire::DecodeResult::kFrame) {
                    const tavwire::Frame& f = dec.frame();
                    if (!f.is_reply()) continue;  // the echo of our own request (or another master's)
                    if (f.station != rq.station || f.data.size() < 2) {
                        heardAnything = true;
                        failed = true;
                        continue;
                    }
                    if (f.command != (command | tavwire::kReplyBit) || f.sequence != rq.sequence)
                        continue;  // a late answer to an earlier exchange
                    out.status = f.status;
                    out.data = f.data;
                    return 0;
                }
            }
            if (!failed && Clock::now() >= deadline) {
                if (!dec.idle()) heardAnything = true;
                break;
            }
        }
    }
    parityErrors += t_->take_parity_errors();
    if (!heardAnything) return 2;
    return parityErrors > 0 ? 9 : 3;
}

}  // namespace wyn
