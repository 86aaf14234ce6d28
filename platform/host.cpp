// Where the running program lives, which language the system speaks, and
// which files of a folder carry an extension.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace tavplat {

namespace {
std::string without_trailing_separators(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool ends_with_nocase(const char* name, const char* ext) {
    size_t n = std::strlen(name);
    size_t e = std::strlen(ext);
    if (e > n) return false;
    return ::strncasecmp(name + n - e, ext, e) == 0;
}

// Parses hexadecimal digits with an optional "0x"; false when there are none
// or anything else follows.
bool parse_hex(const char* s, unsigned long& value) {
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s += 2;
    if (*s == '\0') return false;
    value = 0;
    for (; *s != '\0'; ++s) {
        int c = static_cast<unsigned char>(*s);
        if (!std::isxdigit(c)) return false;
        int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        value = value * 16 + static_cast<unsigned long>(digit);
        if (value > 0xFFFF) return false;
    }
    return true;
}
}  // namespace

std::string host_directory() {
    const char* over = std::getenv("TAV_HOST_DIR");
    if (over != nullptr && over[0] != '\0') return without_trailing_separators(over);
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return exe.substr(0, slash);
}

bool host_directory_is(const std::string& dir) {
    const char* over = std::getenv("TAV_HOST_DIR");
    if (over == nullptr || over[0] == '\0') return host_directory() == dir;
    std::size_t n = std::strlen(over);
    while (n > 1 && over[n - 1] == '/') --n;
    return dir.size() == n && std::memcmp(dir.data(), over, n) == 0;
}

std::vector<std::string> find_files(const std::string& folder, const char* ext) {
    std::vector<std::string> names;
    if (ext == nullptr) ext = "";
    std::string dir = folder.empty() ? "." : folder;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (!ends_with_nocase(e->d_name, ext)) continue;
        // Only files: a folder named "x.dll" is not a module.
        struct stat st {};
        std::string full = dir + "/" + e->d_name;
        if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    return names;
}

unsigned short GetSystemDefaultLangID() {
    const char* over = std::getenv("TAV_SYSTEM_LANGID");
    unsigned long id = 0;
    if (over != nullptr && parse_hex(over, id) && id != 0) return static_cast<unsigned short>(id);
    const char* lang = std::getenv("LANG");
    if (lang != nullptr && std::strncmp(lang, "ja", 2) == 0) return 0x0411;
    return 0x0409;
}

}  // namespace tavplat
