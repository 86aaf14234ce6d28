#include "host/core/transfer.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include "Tav_acs.h"

namespace tavhost::core {

namespace {

// Signal state: a handler can reach nothing else.
std::atomic<bool> g_interrupted{false};
std::atomic<void*> g_cancelField{nullptr};

// The field may be unaligned (the sets are packed).
void write_cancel(void* field, int32_t value) {
    if (field != nullptr) std::memcpy(field, &value, sizeof value);
}

void on_interrupt(int) {
    g_interrupted = true;
    write_cancel(g_cancelField.load(), TAV_E_CANCELLED);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void on_post(void* ctx, unsigned msg, uintptr_t wParam, intptr_t) {
    if (msg != TAV_WM_PROGRESS) return;
    // A transfer may reset its set's fields as it starts: the request is repeated at every step.
    if (g_interrupted) write_cancel(g_cancelField.load(), TAV_E_CANCELLED);
    if (ctx == nullptr) return;
    static_cast<ProgressView*>(ctx)->rate(wParam > 100 ? 100u : static_cast<unsigned>(wParam));
}

}  // namespace

InterruptScope::InterruptScope() {
    g_interrupted = false;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptScope::~InterruptScope() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

bool interrupted() { return g_interrupted; }

void reset_interrupt() { g_interrupted = false; }

void request_cancel() { on_interrupt(SIGINT); }

int run_transfer(void* cancel, ProgressView* view, const std::function<int()>& op) {
    if (g_interrupted) return TAV_E_CANCELLED;
    write_cancel(cancel, 0);
    g_cancelField = cancel;
    TavWindow window{on_post, view};
    srvTav_SetProgressRateHwnd(&window);
    if (view != nullptr) view->rate(0);
    int code = op();
    srvTav_SetProgressRateHwnd(nullptr);
    g_cancelField = nullptr;
    if (view != nullptr) view->end(code == 0);
    return code;
}

}  // namespace tavhost::core
