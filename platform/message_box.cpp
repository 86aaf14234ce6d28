// Message boxes and window messages: the library has no window of its own, so
// boxes go to the host's hook (or standard error) and messages to the host's
// TavWindow callback.
#include <atomic>
#include <cstdlib>

#include "platform/platform.h"

namespace tavplat {

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
constexpr unsigned kButtonMask = 0xF;
}  // namespace

void set_message_box_hook(MessageBoxHook hook) { g_hook.store(hook); }

int MessageBoxA(HWND, const char* text, const char* caption, unsigned type) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    if (MessageBoxHook hook = g_hook.load()) return hook(text, caption, type);
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    std::fflush(stderr);
    return (type & kButtonMask) == MB_YESNO ? IDYES : IDOK;
}

void exit_process(int code) { std::exit(code); }

bool PostMessageA(HWND window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr || window->post == nullptr) return false;
    window->post(window->ctx, msg, wParam, lParam);
    return true;
}

}  // namespace tavplat
