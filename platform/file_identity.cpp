#include "platform/file_identity.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tavplat {

namespace {

// Well above the coarse clock tick that stamps file times (1-10 ms).
constexpr int64_t kSettleNs = 100'000'000;

int64_t ns(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

void fill(const struct stat& st, FileIdentity& id) {
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = static_cast<uint64_t>(st.st_size);
    id.mtimeNs = ns(st.st_mtim);
    id.ctimeNs = ns(st.st_ctim);
}

}  // namespace

bool file_identity(const char* path, FileIdentity& id) {
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    fill(st, id);
    return true;
}

bool file_identity(int fd, FileIdentity& id) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    fill(st, id);
    return true;
}

bool identity_is_settled(const FileIdentity& id) {
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t latest = id.mtimeNs > id.ctimeNs ? id.mtimeNs : id.ctimeNs;
    return ns(now) - latest > kSettleNs;
}

PathIdentity path_identity(const std::string& path) {
    PathIdentity p;
    p.path = path;
    p.present = file_identity(path.c_str(), p.id);
    return p;
}

bool identity_unchanged(const PathIdentity& id) {
    FileIdentity now;
    const bool present = file_identity(id.path.c_str(), now);
    return present == id.present && (!present || now == id.id);
}

bool identity_is_settled(const PathIdentity& id) { return !id.present || identity_is_settled(id.id); }

namespace {
bool cache_switch_is(const char* value) {
    const char* v = std::getenv("TAV_CACHE");
    return v != nullptr && std::strcmp(v, value) == 0;
}
}  // namespace

bool caches_bypassed() { return cache_switch_is("off"); }

bool cached_files_fixed() { return cache_switch_is("fixed"); }

CacheMode cache_mode() {
    const char* v = std::getenv("TAV_CACHE");
    if (v == nullptr) return CacheMode::kChecked;
    if (std::strcmp(v, "off") == 0) return CacheMode::kBypassed;
    return std::strcmp(v, "fixed") == 0 ? CacheMode::kFixed : CacheMode::kChecked;
}

}  // namespace tavplat
