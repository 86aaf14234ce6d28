// Shared set-up of the fuzz programs: a private installation folder
// ($WYN_HOME) for the whole run, the language modules of this build and
// silent message boxes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Tav_acs.h"

namespace tavfuzz {

inline std::string& home_path() {
    static std::string path;
    return path;
}

// Creates the installation folder (with def/, template/ and lock/) once and
// points $WYN_HOME at it; the language comes from this build's RSC folder.
inline const std::string& home() {
    std::string& path = home_path();
    if (path.empty()) {
        // In memory where there is a tmpfs: every input is written to a file,
        // and a disk file system makes that the bulk of the time.
        struct stat st {};
        const bool shm = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
        std::string tmpl = std::string(shm ? "/dev/shm" : "/tmp") + "/tavfuzz.XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        path = tmpl;
        std::atexit([] { std::filesystem::remove_all(home_path()); });
        for (const char* sub : {"/def", "/template", "/lock", "/model"}) mkdir((path + sub).c_str(), 0755);
        setenv("WYN_HOME", path.c_str(), 1);
        setenv("TAV_HOST_DIR", TAV_BUILD_DIR "/bin", 0);
        setenv("TAV_SYSTEM_LANGID", "0411", 0);
        // The build's language files stay as they are for the whole run.
        setenv("TAV_CACHE", "fixed", 0);
    }
    return path;
}

inline std::string file(const std::string& rel) { return home() + "/" + rel; }

// Writes the bytes exactly as given (truncating an older file).
inline void write(const std::string& rel, const uint8_t* data, size_t size) {
    const std::string p = file(rel);
    // Cut to the new size after writing, not to zero before: ext4 flushes a
    // file truncated to zero and rewritten when it is closed.
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) std::abort();
    ::close(fd);
}

inline void write(const std::string& rel, const std::string& bytes) {
    write(rel, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Copies a file of this build (below <build>/share) into the installation;
// false when the build does not have it.
inline bool install(const std::string& from, const std::string& rel) {
    FILE* in = std::fopen((std::string(TAV_BUILD_DIR) + "/share/" + from).c_str(), "rb");
    if (in == nullptr) return false;
    std::string bytes;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) bytes.append(buf, n);
    std::fclose(in);
    write(rel, bytes);
    return true;
}

inline int quiet_box(const char*, const char*, unsigned) { return 1; /* IDOK */ }

// The common start of a library target: installation, sample line files and
// no message boxes on the terminal.
inline void library_setup() {
    home();
    install("tav/servo.set", "servo.set");
    install("tav/servo.con", "servo.con");
    tavplat_set_message_box(quiet_box);
}

}  // namespace tavfuzz
