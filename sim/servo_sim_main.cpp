// servo-sim: plays the devices of one servo line on a pseudo-terminal.
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/pty_server.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_reload = 0;

// The kernel's sched_attr (libc has no wrapper for sched_setattr).
struct SchedAttr {
    uint32_t size;
    uint32_t policy;
    uint64_t flags;
    int32_t nice;
    uint32_t priority;
    uint64_t runtime, deadline, period;
    uint32_t utilMin, utilMax;
};

// Asks for a short time slice: a wake-up at a reply byte's time then takes the
// processor from a long-running task at once instead of when that task's
// slice ends (milliseconds on a busy machine). The process's share of
// processor time stays that of an ordinary one; kernels without custom slices
// ignore the request.
void request_short_slice(long us) {
    if (us <= 0) return;
    SchedAttr a{};
    a.size = sizeof a;
    a.policy = SCHED_OTHER;
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    if (errno != 0) return;
    a.nice = nice;  // unchanged: the call sets it too
    a.runtime = static_cast<uint64_t>(us) * 1000;
    ::syscall(SYS_sched_setattr, 0, &a, 0);
}

void on_stop(int) { g_stop = 1; }
void on_hup(int) { g_reload = 1; }

void usage() {
    std::fprintf(stderr,
                 "usage: servo-sim --state FILE --pty LINK [--baud N] [--log FILE]\n"
                 "                 [--no-wire-time] [--turnaround-us N] [--slice-us N]\n"
                 "SIGTERM ends it; SIGHUP re-reads the state file.\n");
}

}  // namespace

int main(int argc, char** argv) {
    tavsim::ServerOptions o;
    long sliceUs = 100;  // 0: the kernel's default slice
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--state" && hasValue) o.state = argv[++i];
        else if (a == "--pty" && hasValue) o.link = argv[++i];
        else if (a == "--log" && hasValue) o.log = argv[++i];
        else if (a == "--baud" && hasValue) o.baud = std::atoi(argv[++i]);
        else if (a == "--turnaround-us" && hasValue) o.turnaroundMs = std::atof(argv[++i]) / 1000.0;
        else if (a == "--slice-us" && hasValue) sliceUs = std::atol(argv[++i]);
        else if (a == "--no-wire-time") o.wireTime = false;
        else {
            usage();
            return 2;
        }
    }
    if (o.state.empty() || o.link.empty() || o.baud <= 0) {
        usage();
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = on_stop;  // no SA_RESTART: poll wakes up at once
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = on_hup;
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Reply bytes leave at emulated wire times: wake up on time, not up to
    // 50 us late (the default slack), at every byte of every reply.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    request_short_slice(sliceUs);
    return tavsim::run_pty_server(o, &g_stop, &g_reload);
}
