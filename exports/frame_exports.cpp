// C entries of the frame, the message catalogue and the platform hooks.
#include <cstdarg>

#include "frame/frame.h"
#include "platform/platform.h"
#include "text/text.h"

extern "C" {

TAV_API void tavplat_set_message_box(int (*fn)(const char* text, const char* caption, unsigned type)) {
    tavplat::set_message_box_hook(fn);
}

TAV_API short srvTav_fprintf(const char*, ...) { return 0; }
TAV_API short srvTav_Mon_fprintf(const char*, ...) { return 0; }

TAV_API void srvTav_SetVersion(const char* text) { tav::frame::SetVersion(text); }
TAV_API void srvTav_GetVersion(char* out) { tav::frame::GetVersion(out); }
TAV_API void srvTav_SetProgressRateHwnd(HWND window) { tav::frame::SetProgressRateHwnd(window); }
TAV_API void srvTav_SendProgressRate(unsigned int rate) { tav::frame::SendProgressRate(rate); }
TAV_API void srvTav_SendCmdProcCmp(void) { tav::frame::SendCmdProcCmp(); }

TAV_API short srvTav_ErrString_Get(int code, int size, char* out) {
    try {
        return tav::text::ErrString_Get(code, size, out);
    } catch (...) {
        if (out != nullptr && size > 0) out[0] = '\0';
        return 0;
    }
}

}  // extern "C"
