// Text-mode and binary files. A text-mode FILE* is a glibc cookie stream over
// a file descriptor: LF goes to disk as CR LF and CR LF comes back as LF, so
// the files look to other tools exactly as the Windows build wrote them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavplat {

namespace {

struct OpenMode {
    int flags = 0;
    char cookieMode[3] = {};  // what fopencookie gets: r, w, a, optionally +
};

// Accepts r, w, a with an optional '+' and 't' in any order after the letter.
bool parse_mode(const char* mode, OpenMode& m, bool& binary) {
    binary = false;
    if (mode == nullptr) return false;
    bool plus = false;
    for (const char* p = mode + 1; *p != '\0'; ++p) {
        if (*p == '+') plus = true;
        else if (*p == 'b') binary = true;
        else if (*p != 't') return false;
    }
    int access = plus ? O_RDWR : 0;
    switch (mode[0]) {
        case 'r': m.flags = plus ? O_RDWR : O_RDONLY; break;
        case 'w': m.flags = (plus ? access : O_WRONLY) | O_CREAT | O_TRUNC; break;
        case 'a': m.flags = (plus ? access : O_WRONLY) | O_CREAT | O_APPEND; break;
        default: return false;
    }
    m.cookieMode[0] = mode[0];
    m.cookieMode[1] = plus ? '+' : '\0';
    return true;
}

// One open text file. The stream's positions (what ftell reports and fseek
// takes) count bytes as the program sees them, after translation; the C
// standard leaves text-stream positions opaque, and counting this way keeps
// every stdio buffer calculation exact. raw[pos..len) is read-ahead not yet
// translated; rawAt is the disk offset of raw[pos] and logicalAt the stream
// position it stands for.
struct TextCookie {
    int fd = -1;
    bool append = false;
    bool known = true;  // rawAt/logicalAt valid (not after an append)
    char raw[4096];
    size_t pos = 0;
    size_t len = 0;
    off64_t rawAt = 0;
    off64_t logicalAt = 0;
    // Where the last chunk handed to stdio began, so stepping back into
    // stdio's buffer does not rescan the file.
    off64_t chunkRaw = 0;
    off64_t chunkLogical = 0;
};

ssize_t read_retry(int fd, void* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(fd, buf, n);
        if (r >= 0 || errno != EINTR) return r;
    }
}

bool write_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Puts the descriptor at disk offset raw standing for stream position logical.
bool place(TextCookie* t, off64_t raw, off64_t logical) {
    if (::lseek64(t->fd, raw, SEEK_SET) < 0) return false;
    t->pos = t->len = 0;
    t->rawAt = raw;
    t->logicalAt = logical;
    t->known = true;
    return true;
}

// Translates up to size bytes from the current position into buf (CR LF ->
// LF); returns the count, 0 at end of file, -1 on a read error.
ssize_t translate(TextCookie* t, char* buf, size_t size) {
    size_t out = 0;
    while (out < size) {
        if (t->pos == t->len) {
            if (out > 0) break;  // hand over what we have rather than block
            ssize_t n = read_retry(t->fd, t->raw, sizeof t->raw);
            if (n < 0) return -1;
            t->pos = 0;
            t->len = static_cast<size_t>(n);
            if (n == 0) break;
        }
        char ch = t->raw[t->pos];
        if (ch != '\r') {
            // A run without CR goes over as it is, in one copy.
            const size_t room = std::min(t->len - t->pos, size - out);
            const char* from = t->raw + t->pos;
            const auto* cr = static_cast<const char*>(std::memchr(from, '\r', room));
            const size_t run = cr != nullptr ? static_cast<size_t>(cr - from) : room;
            std::memcpy(buf + out, from, run);
            out += run;
            t->pos += run;
            t->rawAt += static_cast<off64_t>(run);
            t->logicalAt += static_cast<off64_t>(run);
            continue;
        }
        if (t->pos + 1 == t->len) {
            // A CR ends the read-ahead: whether it starts a CR LF depends on
            // the next byte on disk.
            if (out > 0) break;  // keep the CR for the next call
            t->raw[0] = '\r';
            t->pos = 0;
            t->len = 1;
            ssize_t n = read_retry(t->fd, t->raw + 1, sizeof t->raw - 1);
            if (n < 0) return -1;
            t->len += static_cast<size_t>(n);
        }
        if (t->pos + 1 < t->len && t->raw[t->pos + 1] == '\n') {
            buf[out++] = '\n';
            t->pos += 2;
            t->rawAt += 2;
        } else {
            buf[out++] = ch;
            ++t->pos;
            ++t->rawAt;
        }
        ++t->logicalAt;
    }
    return static_cast<ssize_t>(out);
}

// Moves forward by count stream bytes; past the end of the file the disk
// offset follows one to one (as a seek past the end does).
bool advance(TextCookie* t, off64_t count) {
    char sink[4096];
    while (count > 0) {
        size_t want = count < static_cast<off64_t>(sizeof sink) ? static_cast<size_t>(count) : sizeof sink;
        ssize_t n = translate(t, sink, want);
        if (n < 0) return false;
        if (n == 0) return place(t, t->rawAt + count, t->logicalAt + count);
        count -= n;
    }
    return true;
}

// Recovers the position after an append moved the descriptor to the end.
bool establish(TextCookie* t) {
    if (t->known) return true;
    off64_t end = ::lseek64(t->fd, 0, SEEK_CUR);
    if (end < 0 || !place(t, 0, 0)) return false;
    // Count stream bytes up to the disk offset the descriptor had.
    char sink[4096];
    while (t->rawAt < end) {
        ssize_t n = translate(t, sink, sizeof sink);
        if (n <= 0) break;
    }
    return place(t, t->rawAt, t->logicalAt);
}

ssize_t text_read(void* c, char* buf, size_t size) {
    auto* t = static_cast<TextCookie*>(c);
    if (!establish(t)) return -1;
    t->chunkRaw = t->rawAt;
    t->chunkLogical = t->logicalAt;
    return translate(t, buf, size);
}

ssize_t text_write(void* c, const char* buf, size_t size) {
    auto* t = static_cast<TextCookie*>(c);
    // Drop read-ahead: the write goes where the reader stands.
    if (t->known && t->pos != t->len && !place(t, t->rawAt, t->logicalAt)) return -1;
    char out[8192];
    size_t n = 0;
    size_t written = 0;
    for (size_t i = 0; i < size; ++i) {
        if (n + 2 > sizeof out) {
            if (!write_all(t->fd, out, n)) {
                t->known = false;
                return -1;
            }
            written += n;
            n = 0;
        }
        if (buf[i] == '\n') out[n++] = '\r';
        out[n++] = buf[i];
    }
    if (!write_all(t->fd, out, n)) {
        t->known = false;
        return -1;
    }
    written += n;
    if (t->append || !t->known) {
        t->known = false;  // O_APPEND put the bytes at the end, wherever that is
    } else {
        t->rawAt += static_cast<off64_t>(written);
        t->logicalAt += static_cast<off64_t>(size);
    }
    t->chunkRaw = t->rawAt;
    t->chunkLogical = t->logicalAt;
    return static_cast<ssize_t>(size);
}

int text_seek(void* c, off64_t* offset, int whence) {
    auto* t = static_cast<TextCookie*>(c);
    if (!establish(t)) return -1;
    off64_t target;
    switch (whence) {
        case SEEK_SET: target = *offset; break;
        case SEEK_CUR: target = t->logicalAt + *offset; break;
        case SEEK_END: {
            // The stream length is known only by reading to the end.
            char sink[4096];
            ssize_t n;
            while ((n = translate(t, sink, sizeof sink)) > 0) {
            }
            if (n < 0) return -1;
            target = t->logicalAt + *offset;
            break;
        }
        default: errno = EINVAL; return -1;
    }
    if (target < 0) {
        errno = EINVAL;
        return -1;
    }
    if (target < t->logicalAt) {
        // Back into the last chunk (stdio returning its unread buffer) is
        // cheap; anything further back starts over from the beginning.
        bool inChunk = target >= t->chunkLogical;
        if (!place(t, inChunk ? t->chunkRaw : 0, inChunk ? t->chunkLogical : 0)) return -1;
    }
    if (!advance(t, target - t->logicalAt)) return -1;
    t->chunkRaw = t->rawAt;
    t->chunkLogical = t->logicalAt;
    *offset = t->logicalAt;
    return 0;
}

int text_close(void* c) {
    auto* t = static_cast<TextCookie*>(c);
    int r = ::close(t->fd);
    delete t;
    return r;
}

int open_fd(const char* path, int flags) {
    for (;;) {
        int fd = ::open(path, flags | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

bool is_regular(const char* path, struct stat* st) {
    return path != nullptr && ::stat(path, st) == 0 && S_ISREG(st->st_mode);
}

}  // namespace

namespace {

// A text-mode stream over an open descriptor, which it owns from here on
// (closed on failure too).
FILE* text_stream(int fd, const OpenMode& m) {
    auto* t = new (std::nothrow) TextCookie;
    if (t == nullptr) {
        ::close(fd);
        errno = ENOMEM;
        return nullptr;
    }
    t->fd = fd;
    t->append = (m.flags & O_APPEND) != 0;
    cookie_io_functions_t io{text_read, text_write, text_seek, text_close};
    FILE* f = ::fopencookie(t, m.cookieMode, io);
    if (f == nullptr) {
        int e = errno;
        ::close(fd);
        delete t;
        errno = e;
    }
    return f;
}

}  // namespace

FILE* fopen_text(const char* path, const char* mode, std::uint64_t maxBytes) {
    OpenMode m;
    bool binary = false;
    if (path == nullptr || !parse_mode(mode, m, binary)) {
        errno = EINVAL;
        return nullptr;
    }
    if (binary) return fopen_binary(path, mode);
    const bool reading = mode[0] == 'r';
    // Non-blocking, so that opening a FIFO to read does not wait for a writer.
    int fd = open_fd(path, m.flags | (reading ? O_NONBLOCK | O_NOCTTY : 0));
    if (fd < 0) return nullptr;
    if (reading) {
        struct stat st {};
        int refusal = 0;
        if (::fstat(fd, &st) != 0) refusal = errno;
        else if (!S_ISREG(st.st_mode)) refusal = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) refusal = EFBIG;
        const int flags = refusal == 0 ? ::fcntl(fd, F_GETFL) : -1;
        if (refusal == 0 && (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) refusal = errno;
        if (refusal != 0) {
            ::close(fd);
            errno = refusal;
            return nullptr;
        }
    }
    return text_stream(fd, m);
}

FILE* fopen_text(const char* path, const char* mode) {
    return fopen_text(path, mode, std::numeric_limits<std::uint64_t>::max());
}

bool refused_file(int err) { return err == ENODEV || err == EISDIR || err == EFBIG; }

FILE* fopen_binary(const char* path, const char* mode) {
    OpenMode m;
    bool binary = false;
    if (path == nullptr || !parse_mode(mode, m, binary)) {
        errno = EINVAL;
        return nullptr;
    }
    char plain[4] = {m.cookieMode[0], m.cookieMode[1], '\0', '\0'};
    if (plain[1] == '\0') plain[1] = 'e';  // close-on-exec
    else plain[2] = 'e';
    return std::fopen(path, plain);
}

bool file_exists(const char* path) {
    struct stat st {};
    return is_regular(path, &st);
}

bool file_exists_rw(const char* path) {
    struct stat st {};
    if (!is_regular(path, &st)) return false;
    int fd = open_fd(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool copy_file(const char* src, const char* dst, bool failIfExists) {
    struct stat sst {};
    if (dst == nullptr || !is_regular(src, &sst)) return false;
    struct stat dst_st {};
    if (::stat(dst, &dst_st) == 0) {
        if (failIfExists) return false;
        // Copying a file onto itself would truncate it before reading it.
        if (dst_st.st_dev == sst.st_dev && dst_st.st_ino == sst.st_ino) return false;
        if (S_ISDIR(dst_st.st_mode)) return false;
    }
    int in = open_fd(src, O_RDONLY);
    if (in < 0) return false;
    int out = open_fd(dst, O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC));
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t n = read_retry(in, buf, sizeof buf);
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!write_all(out, buf, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    return ok;
}

bool delete_file(const char* path) {
    struct stat st {};
    if (path == nullptr || ::lstat(path, &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(path) == 0;
}

bool replace_file(const char* from, const char* to) {
    struct stat st {};
    if (from == nullptr || to == nullptr || ::lstat(from, &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::rename(from, to) == 0;
}

namespace {

// The file a save really replaces: a link's destination, else the path itself.
std::string replaced_path(const char* target) {
    struct stat st {};
    if (::lstat(target, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target, nullptr)) {
            std::string out = real;
            std::free(real);
            return out;
        }
    }
    return target;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new, unique file "<folder>/.<name>.<random>.tmp", created exclusively and
// never through a link; -1 (errno set) when the folder takes no new file.
int create_temporary(const std::string& target, std::string& temp) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned long long r = 0;
        if (::getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r))
            r ^= static_cast<unsigned long long>(::getpid()) << 20 ^ static_cast<unsigned long long>(attempt);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%012llx.tmp", r & 0xFFFFFFFFFFFFull);
        temp = folder + "." + name + suffix;
        const int fd = open_fd(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Whether an existing file may be written where it is, as opening it for
// writing would tell (without emptying it, and without waiting on a FIFO).
bool writable_in_place(const std::string& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return false;
    }
    const int fd = open_fd(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

bool ReplacingFile::open(const char* target, const char* mode) {
    discard();
    OpenMode m;
    bool binary = false;
    if (target == nullptr || target[0] == '\0' || !parse_mode(mode, m, binary) || mode[0] != 'w') {
        errno = EINVAL;
        return false;
    }
    const std::string path = replaced_path(target);
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !writable_in_place(path, st)) return false;
    const int fd = create_temporary(path, temp_);
    if (fd < 0) {
        temp_.clear();
        return false;
    }
    if (exists) {
        // The saved file keeps the old one's owner and permissions, as an
        // overwrite in place would; a change of owner needs privileges.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Another user's file: the saved one is ours, as a new file would be.
        }
        ::fchmod(fd, st.st_mode & 07777);
    }
    fd_ = fd;
    target_ = path;
    if (binary) {
        const char* fdMode = m.cookieMode[1] == '+' ? "w+" : "w";
        stream_ = ::fdopen(fd, fdMode);
        if (stream_ == nullptr) ::close(fd);
    } else {
        stream_ = text_stream(fd, m);
    }
    if (stream_ == nullptr) {
        const int e = errno;
        fd_ = -1;
        ::unlink(temp_.c_str());
        temp_.clear();
        errno = e;
        return false;
    }
    return true;
}

bool ReplacingFile::commit() {
    if (stream_ == nullptr) {
        errno = EBADF;
        return false;
    }
    bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0 && ::fsync(fd_) == 0;
    int e = errno;
    if (std::fclose(stream_) != 0 && ok) {
        ok = false;
        e = errno;
    }
    stream_ = nullptr;
    fd_ = -1;
    if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        ::unlink(temp_.c_str());
        temp_.clear();
        errno = e;
        return false;
    }
    temp_.clear();
    // The new name on disk too, so a crash after the save keeps it.
    const int dir = open_fd(folder_of(target_).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void ReplacingFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace tavplat
