// Byte-range locks with Windows LockFile/UnlockFile behaviour on top of
// open-file-description locks: regions belong to the handle, a second handle
// (even in this process) is refused, and a handle cannot lock a region twice
// or unlock one it does not hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace tavplat {

namespace {

struct Region {
    uint64_t offset;
    uint64_t length;
};

std::mutex g_locksMutex;
std::map<int, std::vector<Region>> g_held;  // regions each handle holds

bool overlaps(const Region& a, uint64_t offset, uint64_t length) {
    return offset < a.offset + a.length && a.offset < offset + length;
}

bool fits(uint64_t offset, uint64_t length) {
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    return offset <= kMax && length <= kMax - offset;
}

bool set_lock(int fd, short type, uint64_t offset, uint64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required for open-file-description locks
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

FileHandle lock_file_open(const char* path, bool create) {
    if (path == nullptr || path[0] == '\0') return kInvalidFile;
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0);
    int fd;
    do {
        fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalidFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kInvalidFile;
    }
    std::lock_guard<std::mutex> lock(g_locksMutex);
    g_held.erase(fd);  // a reused descriptor starts with no regions
    return fd;
}

bool lock_region(FileHandle h, uint64_t offset, uint64_t length) {
    if (h < 0 || !fits(offset, length)) return false;
    std::lock_guard<std::mutex> lock(g_locksMutex);
    std::vector<Region>& held = g_held[h];
    for (const Region& r : held)
        if (overlaps(r, offset, length)) return false;
    // Zero bytes lock nothing (and l_len 0 would mean "to the end of file").
    if (length > 0 && !set_lock(h, F_WRLCK, offset, length)) return false;
    held.push_back(Region{offset, length});
    return true;
}

bool unlock_region(FileHandle h, uint64_t offset, uint64_t length) {
    if (h < 0) return false;
    std::lock_guard<std::mutex> lock(g_locksMutex);
    auto it = g_held.find(h);
    if (it == g_held.end()) return false;
    std::vector<Region>& held = it->second;
    for (auto r = held.begin(); r != held.end(); ++r) {
        if (r->offset != offset || r->length != length) continue;
        if (length > 0 && !set_lock(h, F_UNLCK, offset, length)) return false;
        held.erase(r);
        return true;
    }
    return false;  // Windows refuses to unlock what this handle does not hold
}

void lock_file_close(FileHandle h) {
    if (h < 0) return;
    {
        std::lock_guard<std::mutex> lock(g_locksMutex);
        g_held.erase(h);
    }
    ::close(h);  // closing the description drops its locks
}

long lock_file_read(FileHandle h, uint64_t offset, void* buf, size_t size) {
    if (h < 0 || buf == nullptr || !fits(offset, size)) return -1;
    ssize_t n;
    do {
        n = ::pread(h, buf, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

bool lock_file_write(FileHandle h, uint64_t offset, const void* data, size_t size) {
    if (h < 0 || (data == nullptr && size > 0) || !fits(offset, size)) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(h, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace tavplat
