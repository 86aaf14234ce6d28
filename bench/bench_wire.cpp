// Line throughput: a full read of the 297 extended parameters (75 exchanges
// of up to 4 parameters) at 38400 baud through servo-sim on a pseudo-terminal
// with wire-time emulation, compared with the time the same bytes need on a
// real line; then the raw exchange rate without emulation.
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "wynapi/wynapi.h"

namespace {

constexpr size_t kFrameOverhead = 10;  // STX, station, command, sequence, status, length (2), CRC (2), ETX

std::string program_dir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = 0;
    std::string s(buf);
    return s.substr(0, s.rfind('/'));
}

struct Sim {
    pid_t pid = -1;
    bool start(const std::string& state, const std::string& link, bool wireTime) {
        const std::string exe = program_dir() + "/../bin/servo-sim";
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            if (wireTime)
                execl(exe.c_str(), exe.c_str(), "--state", state.c_str(), "--pty", link.c_str(), "--baud", "38400",
                      static_cast<char*>(nullptr));
            else
                execl(exe.c_str(), exe.c_str(), "--state", state.c_str(), "--pty", link.c_str(), "--no-wire-time",
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string line;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
        close(fds[0]);
        if (line.rfind("servo-sim ready", 0) != 0) {
            std::fprintf(stderr, "servo-sim did not start (%s): %s\n", exe.c_str(), line.c_str());
            return false;
        }
        return true;
    }
    void stop() {
        if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~Sim() { stop(); }
};

WynLineSettings settings(int baudIndex) {
    WynLineSettings s;
    std::memset(&s, 0, sizeof s);
    s.nBaud = baudIndex;
    s.nRetry = 5;
    s.nTimeOut = 2;
    return s;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// One full read: 3 pages of 99, blocks of 4 ending at page ends. Returns the
// wire bytes moved (both directions) or -1 on a failed exchange.
long read_all(int& exchanges) {
    unsigned char reply[64];
    long bytes = 0;
    exchanges = 0;
    for (int page = 0; page < 3; ++page) {
        for (int i = 1; i <= 99; i += 4) {
            const int n = std::min(4, 100 - i);
            const int first = page * 99 + i;
            if (Wyn_Para_Rd2(1, n, first, 6 * n + 2, reply) != WYN_OK || reply[0] != 0) return -1;
            bytes += static_cast<long>(kFrameOverhead + 3) + static_cast<long>(kFrameOverhead + 2 + 6 * n);
            ++exchanges;
        }
    }
    return bytes;
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/bench_wire.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    const std::string home = tmpl;
    setenv("WYN_HOME", home.c_str(), 1);
    const std::string link = home + "/ttySIM", state = home + "/line.json";
    setenv("WYN_COM1", link.c_str(), 1);

    // 1. Wire-time emulation on at 38400 baud.
    {
        Sim sim;
        if (!sim.start(state, link, true)) return 1;
        WynLineSettings s = settings(2);
        if (Wyn_Net_Open(&s) != WYN_OK) return std::fprintf(stderr, "cannot open the line\n"), 1;
        std::vector<double> times;
        long bytes = 0;
        int exchanges = 0;
        for (int run = 0; run < 5; ++run) {
            const double t0 = now();
            bytes = read_all(exchanges);
            times.push_back(now() - t0);
            if (bytes < 0) return std::fprintf(stderr, "read failed\n"), 1;
        }
        Wyn_Net_Close();
        std::sort(times.begin(), times.end());
        const double measured = times[times.size() / 2];
        const double bound = static_cast<double>(bytes) * 10.0 / 38400.0;
        std::printf("full read of 297 parameters at 38400 baud over the pty (wire-time on, median of 5):\n");
        std::printf("  exchanges            %d\n", exchanges);
        std::printf("  bytes on the wire    %ld\n", bytes);
        std::printf("  measured             %.1f ms\n", measured * 1000);
        std::printf("  wire-time bound      %.1f ms\n", bound * 1000);
        std::printf("  ratio                %.3f (target <= 1.15)\n", measured / bound);
    }
    // 2. Emulation off: what the component and the pty cost per exchange.
    {
        Sim sim;
        if (!sim.start(state, link, false)) return 1;
        WynLineSettings s = settings(2);
        if (Wyn_Net_Open(&s) != WYN_OK) return 1;
        int exchanges = 0, total = 0;
        const double t0 = now();
        for (int run = 0; run < 20; ++run) {
            if (read_all(exchanges) < 0) return 1;
            total += exchanges;
        }
        const double dt = now() - t0;
        Wyn_Net_Close();
        std::printf("exchanges per second, pty, wire-time off: %.0f (%d exchanges of up to 4 parameters)\n",
                    total / dt, total);
    }
    {
        setenv("WYN_COM1", ("sim:" + state).c_str(), 1);
        WynLineSettings s = settings(2);
        if (Wyn_Net_Open(&s) != WYN_OK) return 1;
        int exchanges = 0, total = 0;
        const double t0 = now();
        for (int run = 0; run < 100; ++run) {
            if (read_all(exchanges) < 0) return 1;
            total += exchanges;
        }
        const double dt = now() - t0;
        Wyn_Net_Close();
        std::printf("exchanges per second, in-process sim:      %.0f\n", total / dt);
    }
    std::printf("overhead per exchange: %zu framing bytes (%zu per frame) + 3 request bytes (count, first)"
                " + 2 status bytes;\n  a 4-parameter read moves %zu bytes for 24 data bytes\n",
                2 * kFrameOverhead, kFrameOverhead, 2 * kFrameOverhead + 3 + 2 + 24);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
