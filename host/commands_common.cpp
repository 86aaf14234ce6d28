#include "host/commands_common.h"

#include <strings.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "Tav_acs.h"
#include "host/console.h"

namespace tavhost {

namespace {

std::atomic<bool> g_cancel{false};
const std::function<void()>* g_on_cancel = nullptr;

void on_interrupt(int) {
    if (g_cancel) {
        // The transfer did not stop for the first request: give up on it.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    g_cancel = true;
}

// Progress messages draw the bar; the cancel request of Ctrl-C is handed to
// the set here, on the library's own thread.
void on_post(void*, unsigned msg, uintptr_t wParam, intptr_t) {
    if (msg != TAV_WM_PROGRESS) return;
    const unsigned pct = wParam > 100 ? 100 : static_cast<unsigned>(wParam);
    std::printf("\r[%-40s] %3u%%", std::string(pct * 40 / 100, '#').c_str(), pct);
    std::fflush(stdout);
    if (g_cancel && g_on_cancel != nullptr && *g_on_cancel) (*g_on_cancel)();
}

}  // namespace

int fail(const char* step, int code) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %d  %s\n", step, code, message(code).c_str());
    return 1;
}

bool number(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

bool integer(const std::string& text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

int kind_of(const std::string& file) {
    if (file.size() < 4) return 0;
    const char* ext = file.c_str() + file.size() - 4;
    if (strcasecmp(ext, ".syp") == 0) return 1;
    if (strcasecmp(ext, ".hsp") == 0) return 2;
    return 0;
}

short with_progress(const std::function<void()>& cancel, const std::function<short()>& op) {
    TavWindow window{on_post, nullptr};
    g_on_cancel = &cancel;
    g_cancel = false;
    auto old = std::signal(SIGINT, on_interrupt);
    srvTav_SetProgressRateHwnd(&window);
    const short code = op();
    srvTav_SetProgressRateHwnd(nullptr);
    std::signal(SIGINT, old);
    g_on_cancel = nullptr;
    std::printf("\n");
    return code;
}

}  // namespace tavhost
