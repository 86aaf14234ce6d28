// Temporary placeholders until each service lands in its own file.
#include "platform/platform.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace tavplat {

FILE* fopen_text(const char* path, const char* mode) { return path && mode ? std::fopen(path, mode) : nullptr; }
FILE* fopen_binary(const char* path, const char* mode) { return path && mode ? std::fopen(path, mode) : nullptr; }
bool file_exists_rw(const char*) { return false; }
bool file_exists(const char*) { return false; }
bool copy_file(const char*, const char*, bool) { return false; }
bool delete_file(const char*) { return false; }
bool replace_file(const char*, const char*) { return false; }

unsigned GetPrivateProfileStringA(const char*, const char*, const char* def, char* out, unsigned size,
                                  const char*) {
    if (!out || size == 0) return 0;
    return static_cast<unsigned>(copy_text(out, size, def));
}
unsigned GetPrivateProfileIntA(const char*, const char*, int def, const char*) { return static_cast<unsigned>(def); }
bool WritePrivateProfileStringA(const char*, const char*, const char*, const char*) { return false; }

HMODULE LoadLibraryA(const char*) { return nullptr; }
bool FreeLibrary(HMODULE) { return false; }
int LoadStringA(HMODULE, unsigned, char* out, int size) {
    if (out && size > 0) out[0] = '\0';
    return 0;
}

std::string host_directory() { return "."; }
std::vector<std::string> find_files(const std::string&, const char*) { return {}; }
unsigned short GetSystemDefaultLangID() { return 0x0409; }

int MessageBoxA(HWND, const char*, const char*, unsigned type) { return (type & 0xF) == MB_YESNO ? IDYES : IDOK; }
void set_message_box_hook(MessageBoxHook) {}
void exit_process(int code) { std::exit(code); }

bool PostMessageA(HWND window, unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (!window || !window->post) return false;
    window->post(window->ctx, msg, wParam, lParam);
    return true;
}

FileHandle lock_file_open(const char*, bool) { return kInvalidFile; }
bool lock_region(FileHandle, uint64_t, uint64_t) { return false; }
bool unlock_region(FileHandle, uint64_t, uint64_t) { return false; }
void lock_file_close(FileHandle) {}

std::string resolve_com_port(int n) { return "/dev/ttyS" + std::to_string(n - 1); }
std::string wyn_home() { return host_directory(); }
FileHandle serial_open(const char*) { return kInvalidFile; }
bool serial_configure(FileHandle, const SerialSettings&) { return false; }
void serial_close(FileHandle) {}

void local_date(char* out, size_t size) { copy_text(out, size, "2000/01/01"); }
void local_time(char* out, size_t size) { copy_text(out, size, "00:00:00"); }

size_t copy_text(char* dst, size_t size, const char* src) {
    if (!dst || size == 0) return 0;
    if (!src) src = "";
    size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}
int format_text(char* dst, size_t size, const char* fmt, ...) {
    if (!dst || size == 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    int r = std::vsnprintf(dst, size, fmt ? fmt : "", ap);
    va_end(ap);
    return r;
}

}  // namespace tavplat
