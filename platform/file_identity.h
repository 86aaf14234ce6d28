// What a file is right now, for caches that must notice any change to it.
#pragma once

#include <cstdint>
#include <string>

namespace tavplat {

struct FileIdentity {
    uint64_t dev = 0, ino = 0, size = 0;
    int64_t mtimeNs = 0, ctimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

// False when the file cannot be stat'ed.
bool file_identity(const char* path, FileIdentity& id);
bool file_identity(int fd, FileIdentity& id);

// A file changed within the file system's timestamp granularity could change
// again without its identity changing; only a settled file may be cached.
bool identity_is_settled(const FileIdentity& id);

// What is at a path right now: a file's identity or nothing. Caches keyed on
// the files they were built from compare these.
struct PathIdentity {
    std::string path;
    bool present = false;
    FileIdentity id;
    bool operator==(const PathIdentity&) const = default;
};
PathIdentity path_identity(const std::string& path);
// True when the path still holds what id says (the same file, or still nothing).
bool identity_unchanged(const PathIdentity& id);
// An absent file counts as settled: its creation changes the identity.
bool identity_is_settled(const PathIdentity& id);

// TAV_CACHE=off makes the caches built on file identities rebuild every
// time; for measuring what they save, not for use.
bool caches_bypassed();
// TAV_CACHE=fixed promises that the language files do not change while the
// process runs, so a kept selection and module are used without checking
// their files again; for fuzzing, where every lookup's checks would be most
// of the work.
bool cached_files_fixed();
// Both switches from one reading of TAV_CACHE, for a caller that needs both.
enum class CacheMode { kChecked, kBypassed, kFixed };
CacheMode cache_mode();

}  // namespace tavplat
