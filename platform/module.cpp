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
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/platform.h"

namespace tavplat {

namespace {

struct Module {
    void* dl;
    const TavStringTable* table;
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

// Text lookups load and free the language module each time. The module last
// loaded is also kept open from a private in-memory copy of its file while the
// file stays the same, so a load is a reference count instead of mapping the
// file again. The copy, not the file, is mapped: a host may overwrite the
// file in place at any time, and a changed file drops the copy.
struct Pin {
    std::string file;
    FileIdentity id;
    int memFd = -1;
    std::string memPath;
    void* dl = nullptr;
    const TavStringTable* checkedTable = nullptr;  // the table found usable in this copy
};
Pin g_pin;

void unpin() {
    if (g_pin.dl != nullptr) ::dlclose(g_pin.dl);
    if (g_pin.memFd >= 0) ::close(g_pin.memFd);
    g_pin = Pin{};
}

bool pinned_and_unchanged(const std::string& file) {
    if (g_pin.dl == nullptr || g_pin.file != file) return false;
    if (cached_files_fixed()) return true;
    FileIdentity now;
    if (file_identity(file.c_str(), now) && now == g_pin.id) return true;
    unpin();
    return false;
}

// Copies the file into a memory file; -1 when it changed while being read.
int copy_to_memory(const std::string& file, const FileIdentity& id) {
    int src = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (src < 0) return -1;
    int mem = ::memfd_create("tav-module", MFD_CLOEXEC);
    bool ok = mem >= 0;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(src, buf, sizeof buf);
        if (n == 0) break;
        ok = n > 0 && ::write(mem, buf, static_cast<size_t>(n)) == n;
    }
    FileIdentity after;
    ok = ok && file_identity(src, after) && after == id;
    ::close(src);
    if (!ok && mem >= 0) {
        ::close(mem);
        mem = -1;
    }
    return mem;
}

void pin(const std::string& file, const FileIdentity& id) {
    if (!identity_is_settled(id)) return;
    unpin();
    int mem = copy_to_memory(file, id);
    if (mem < 0) return;
    std::string memPath = "/proc/self/fd/" + std::to_string(mem);
    void* dl = ::dlopen(memPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl == nullptr) {
        ::close(mem);
        return;
    }
    g_pin = Pin{file, id, mem, memPath, dl};
}

}  // namespace

HMODULE LoadLibraryA(const char* path) {
    if (path == nullptr || path[0] == '\0') return nullptr;
    // A bare name would send dlopen through the system library path.
    std::string file = std::strchr(path, '/') != nullptr ? std::string(path) : "./" + std::string(path);
    std::lock_guard<std::mutex> pinLock(g_pinMutex);
    const bool pinned = pinned_and_unchanged(file);
    FileIdentity before;
    if (!pinned && (!file_identity(file.c_str(), before) || !plausible_shared_object(path))) return nullptr;
    void* dl = ::dlopen(pinned ? g_pin.memPath.c_str() : file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl == nullptr) return nullptr;
    // The pinned copy cannot change: its table is looked up and checked once.
    const bool checked = pinned && dl == g_pin.dl && g_pin.checkedTable != nullptr;
    auto* table = checked ? g_pin.checkedTable
                          : static_cast<const TavStringTable*>(::dlsym(dl, TAV_STRING_TABLE_SYMBOL));
    if (!checked && !table_is_usable(table)) {
        ::dlclose(dl);
        return nullptr;
    }
    auto* m = new (std::nothrow) Module{dl, table};
    if (m == nullptr) {
        ::dlclose(dl);
        return nullptr;
    }
    FileIdentity after;
    if (pinned && dl == g_pin.dl) g_pin.checkedTable = table;
    if (!pinned && file_identity(file.c_str(), after) && after == before) pin(file, after);
    std::lock_guard<std::mutex> lock(g_modulesMutex);
    g_modules.push_back(m);
    return m;
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
    bool ok = ::dlclose(m->dl) == 0;
    delete m;
    return ok;
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
