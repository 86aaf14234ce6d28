// Language modules: shared objects that carry one sorted string table. A
// handle given out is our own record, so a stale or foreign handle is refused
// instead of being dereferenced.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/platform.h"

namespace tavplat {

namespace {

struct PinnedCopy;

struct Module {
    const TavStringTable* table;
    std::shared_ptr<PinnedCopy> copy;  // keeps the copy open while the handle lives
};

std::mutex g_modulesMutex;
std::mutex g_pinMutex;
std::vector<Module*> g_modules;  // live handles

bool table_is_usable(const TavStringTable* t) {
    if (t == nullptr || t->magic != TAV_STRING_TABLE_MAGIC) return false;
    if (t->count == 0) return true;
    if (t->entries == nullptr) return false;
    for (unsigned i = 0; i < t->count; ++i) {
        if (t->entries[i].len > 0 && t->entries[i].text == nullptr) return false;
        // The lookup is a binary search: refuse a table it could not trust.
        if (i > 0 && t->entries[i - 1].id >= t->entries[i].id) return false;
    }
    return true;
}

bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Bytes of text that fit in limit without splitting a double-byte character.
size_t cp932_fit(const char* text, size_t len, size_t limit) {
    if (len <= limit) return len;
    size_t i = 0;
    while (i < limit) {
        size_t step = is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < len ? 2 : 1;
        if (i + step > limit) break;
        i += step;
    }
    return i;
}

#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
#else
constexpr int kMachine = -1;  // unknown: let the loader judge the machine
#endif

bool read_at(int fd, void* buf, size_t size, uint64_t offset) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::pread(fd, static_cast<char*>(buf) + got, size - got, static_cast<off_t>(offset + got));
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// The loader maps segments straight from the file: a truncated object would
// fault on first touch (SIGBUS) instead of failing, so check that the file
// is a shared object of this machine and holds every byte its headers name.
bool plausible_shared_object(const char* path) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    struct stat st {};
    Elf64_Ehdr eh {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && read_at(fd, &eh, sizeof eh, 0)) {
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        ok = std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 && eh.e_ident[EI_CLASS] == ELFCLASS64 &&
             eh.e_ident[EI_DATA] == ELFDATA2LSB && eh.e_type == ET_DYN && (kMachine < 0 || eh.e_machine == kMachine) &&
             eh.e_phentsize == sizeof(Elf64_Phdr) && eh.e_phnum > 0 && eh.e_phoff < size &&
             eh.e_phnum * sizeof(Elf64_Phdr) <= size - eh.e_phoff;
        for (unsigned i = 0; ok && i < eh.e_phnum; ++i) {
            Elf64_Phdr ph {};
            ok = read_at(fd, &ph, sizeof ph, eh.e_phoff + i * sizeof ph) && ph.p_offset <= size &&
                 ph.p_filesz <= size - ph.p_offset;
        }
    }
    ::close(fd);
    return ok;
}

// Text lookups load and free the language module each time. A module is
// never mapped from its file but from a private in-memory copy: a host may
// overwrite the file in place at any time, which would change the pages of a
// mapping under the loader. The copy of a settled file is kept (pinned) while
// the file stays the same, so a load hands out its checked table instead of
// copying and mapping again; a changed file drops the pin, and handles still
// out keep their copy open until they are freed.
struct PinnedCopy {
    int memFd = -1;
    void* dl = nullptr;
    const TavStringTable* table = nullptr;  // checked once, when loaded
    bool fromFile = false;                  // no room for a copy: mapped from the file, never pinned
    PinnedCopy() = default;
    PinnedCopy(const PinnedCopy&) = delete;
    PinnedCopy& operator=(const PinnedCopy&) = delete;
    ~PinnedCopy() {
        if (dl != nullptr) ::dlclose(dl);
        if (memFd >= 0) ::close(memFd);
    }
};

struct Pin {
    std::string file;
    FileIdentity id;
    std::shared_ptr<PinnedCopy> copy;
};
Pin g_pin;

bool pinned_and_unchanged(const char* file) {
    if (g_pin.copy == nullptr || g_pin.file != file) return false;
    if (cached_files_fixed()) return true;
    FileIdentity now;
    if (file_identity(file, now) && now == g_pin.id) return true;
    g_pin = Pin{};
    return false;
}

// Copies the file into a memory file; -1 when it is not a regular file,
// changed while being read, or the copy found no room (noRoom set: a full
// memory or a file size limit, nothing wrong with the module).
int copy_to_memory(const std::string& file, const FileIdentity& id, bool& noRoom) {
    noRoom = false;
    int src = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (src < 0) return -1;
    struct stat st {};
    int mem = ::fstat(src, &st) == 0 && S_ISREG(st.st_mode) ? ::memfd_create("tav-module", MFD_CLOEXEC) : -1;
    noRoom = mem < 0 && (errno == ENOMEM || errno == EMFILE || errno == ENFILE);
    bool ok = mem >= 0;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(src, buf, sizeof buf);
        if (n == 0) break;
        ok = n > 0 && ::write(mem, buf, static_cast<size_t>(n)) == n;
        noRoom = !ok && n > 0;
    }
    FileIdentity after;
    const bool unchanged = file_identity(src, after) && after == id;
    ok = ok && unchanged;
    noRoom = noRoom && unchanged;
    ::close(src);
    if (!ok && mem >= 0) {
        ::close(mem);
        mem = -1;
    }
    return mem;
}

// Loads `path` and checks its table into `copy`; false when it is no usable module.
bool load_module(const std::string& path, PinnedCopy& copy) {
    if (!plausible_shared_object(path.c_str())) return false;
    copy.dl = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (copy.dl == nullptr) return false;
    auto* table = static_cast<const TavStringTable*>(::dlsym(copy.dl, TAV_STRING_TABLE_SYMBOL));
    if (!table_is_usable(table)) return false;
    copy.table = table;
    return true;
}

// The module loaded from a private copy of the file, its table checked; null
// when the file is no usable module or changed while being copied. When no
// copy can be made (a full disk or memory) the file itself is loaded, for
// this handle only: a text lookup must not fail for want of room.
std::shared_ptr<PinnedCopy> load_copy(const std::string& file, const FileIdentity& id) {
    auto copy = std::make_shared<PinnedCopy>();
    bool noRoom = false;
    copy->memFd = copy_to_memory(file, id, noRoom);
    if (copy->memFd < 0) {
        copy->fromFile = noRoom;
        return noRoom && load_module(file, *copy) ? copy : nullptr;
    }
    return load_module("/proc/self/fd/" + std::to_string(copy->memFd), *copy) ? copy : nullptr;
}

HMODULE hand_out(Module* m) {
    if (m == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(g_modulesMutex);
    g_modules.push_back(m);
    return m;
}

}  // namespace

HMODULE LoadLibraryA(const char* path) {
    if (path == nullptr || path[0] == '\0') return nullptr;
    // A bare name would send dlopen through the system library path.
    const bool bare = std::strchr(path, '/') == nullptr;
    std::lock_guard<std::mutex> pinLock(g_pinMutex);
    if (bare || !pinned_and_unchanged(path)) {
        const std::string file = bare ? "./" + std::string(path) : std::string(path);
        FileIdentity id;
        if (!file_identity(file.c_str(), id)) return nullptr;
        std::shared_ptr<PinnedCopy> copy = load_copy(file, id);
        if (copy == nullptr) return nullptr;
        if (copy->fromFile || !identity_is_settled(id)) return hand_out(new (std::nothrow) Module{copy->table, copy});
        g_pin = Pin{file, id, std::move(copy)};
    }
    return hand_out(new (std::nothrow) Module{g_pin.copy->table, g_pin.copy});
}

bool FreeLibrary(HMODULE module) {
    Module* m = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_modulesMutex);
        auto it = std::find(g_modules.begin(), g_modules.end(), static_cast<Module*>(module));
        if (module == nullptr || it == g_modules.end()) return false;
        m = *it;
        g_modules.erase(it);
    }
    delete m;  // the last handle on a dropped copy closes it
    return true;
}

int LoadStringA(HMODULE module, unsigned id, char* out, int size) {
    if (out == nullptr || size <= 0) return 0;
    out[0] = '\0';
    if (module == nullptr) return 0;
    std::lock_guard<std::mutex> lock(g_modulesMutex);
    if (std::find(g_modules.begin(), g_modules.end(), static_cast<Module*>(module)) == g_modules.end()) return 0;
    const TavStringTable* t = static_cast<Module*>(module)->table;
    const TavStringEntry* begin = t->entries;
    const TavStringEntry* end = t->entries + t->count;
    const TavStringEntry* e =
        std::lower_bound(begin, end, id, [](const TavStringEntry& a, unsigned v) { return a.id < v; });
    if (e == end || e->id != id || e->len == 0) return 0;
    // Never leave half of a double-byte character at the end of a cut text.
    size_t n = cp932_fit(e->text, e->len, static_cast<size_t>(size) - 1);
    if (n > 0) std::memcpy(out, e->text, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace tavplat
