// Local date and time stamps as the Windows short date / 24-hour time formats
// of a Japanese system print them.
#include <ctime>

#include "platform/platform.h"

namespace tavplat {

namespace {
void format_now(char* out, size_t size, const char* pattern) {
    if (out == nullptr || size == 0) return;
    out[0] = '\0';
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) return;
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, pattern, &local);
    if (n == 0) return;
    copy_text(out, size, buf);
}
}  // namespace

void local_date(char* out, size_t size) { format_now(out, size, "%Y/%m/%d"); }
void local_time(char* out, size_t size) { format_now(out, size, "%H:%M:%S"); }

}  // namespace tavplat
