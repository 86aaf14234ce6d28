#include "host/core/target.h"

#include <fcntl.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fstream>
#include <sstream>

#include "Tav_acs.h"
#include "host/core/numbers.h"
#include "wynapi/wynapi.h"

namespace tavhost::core {

namespace {

constexpr int kStationListId = 300;
constexpr int kSettingsId = 0;
constexpr int kPortLockId = 96;  // + port index
constexpr int kTraceLockId = 105;

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool read_bytes(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

// COMn of the line settings (1-based), 1 when they cannot be read.
int settings_port() {
    LineSettings settings{};
    if (srvTav_Set_Rd(&settings) != 0 || settings.nPort < 0 || settings.nPort > 8) return 1;
    return settings.nPort + 1;
}

std::string port_text(int port) { return "COM" + std::to_string(port); }

// "COM1 (/dev/ttyUSB0)" with the reason when that device cannot be opened.
std::string device_text(int port, std::string* reason) {
    const std::string device = port_device(port);
    if (device == port_text(port)) return device;
    if (reason != nullptr && !device.empty() && device[0] == '/' && ::access(device.c_str(), R_OK | W_OK) != 0)
        *reason = std::strerror(errno);
    return port_text(port) + " (" + device + ")";
}

// A file of the selection's own beside the trace lock ("" when there is none).
std::string selection_file(const char* name) {
    char path[TAV_PATH_MAX] = "";
    if (Wyn_srvTav_FullPath_Get(kTraceLockId, path) != 0) return "";
    const std::string lock = path;
    const std::size_t slash = lock.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : lock.substr(0, slash)) + "/" + name;
}

// Puts bytes in place of the file at path whole, as the library saves: a new
// file beside it (never an existing one, never through a planted link),
// written and flushed, then renamed over it, with the old file's mode (and
// owner where this process may set it). On failure the old file is as it was.
// A file that does not exist yet is made with mode 0644.
bool replace_whole(const std::string& path, const std::string& bytes) {
    char* real = ::realpath(path.c_str(), nullptr);  // a link stays a link: its target is replaced
    const std::string target = real != nullptr ? real : path;
    ::free(real);
    struct stat old {};
    if (::stat(target.c_str(), &old) != 0) {
        if (errno != ENOENT) return false;
        old.st_mode = S_IFREG | 0644;
        old.st_uid = ::geteuid();
        old.st_gid = ::getegid();
    }
    if (!S_ISREG(old.st_mode)) return false;
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    unsigned long long nonce = 0;
    if (::getrandom(&nonce, sizeof nonce, 0) != sizeof nonce) nonce = static_cast<unsigned long long>(::getpid());
    const std::string temp = folder + "/." + base + "." + std::to_string(nonce) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Another owner's file: this process keeps its own ownership, as a new file would have.
    }
    ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
    }
    return ok;
}

// lock/selection.saved: the station list as it was before a borrowed
// selection, kept until the list is put back. Only a borrower that died
// (SIGKILL, a crash, a power cut) leaves it; whoever next holds the lock
// alone puts the user's list back before anything reads the selection.
void put_back_a_dead_borrowers_selection() {
    const std::string journal = selection_file("selection.saved");
    std::string saved;
    if (journal.empty() || !read_bytes(journal, saved)) return;
    if (replace_whole(installation_file(kStationListId), saved)) ::unlink(journal.c_str());
}

// lock/selection.lck: a borrowed selection is held exclusively, a default
// target is read under a shared lock, so that no command takes another's
// temporary selection for the user's.
int lock_selection(int operation) {
    const std::string file = selection_file("selection.lck");
    if (file.empty()) return -1;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    // Held alone for a moment: no live borrower, so a journal left is a dead one's.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) put_back_a_dead_borrowers_selection();
    if (::flock(fd, operation) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void unlock_selection(int fd) {
    if (fd >= 0) ::close(fd);  // closing releases the lock
}

}  // namespace

std::string installation_file(int id) {
    char path[TAV_PATH_MAX] = "";
    if (Wyn_srvTav_FullPath_Get(id, path) != 0) return "";
    return path;
}

std::string ini_value(const std::string& file, const std::string& section, const std::string& key) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string::npos && strcasecmp(trimmed(line.substr(1, close - 1)).c_str(), section.c_str()) == 0;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inSection && eq != std::string::npos && strcasecmp(trimmed(line.substr(0, eq)).c_str(), key.c_str()) == 0)
            return trimmed(line.substr(eq + 1));
    }
    return "";
}

std::string port_device(int port) {
    const std::string settings = installation_file(kSettingsId);
    const std::size_t slash = settings.find_last_of('/');
    const std::string device = ini_value((slash == std::string::npos ? std::string(".") : settings.substr(0, slash)) + "/wyn.ini",
                                         "Ports", port_text(port));
    return device.empty() ? port_text(port) : device;
}

Outcome read_station_list(StationList& out) {
    // A dead borrower's selection is put back before the list is shown (never waiting for a live one).
    if (const std::string journal = selection_file("selection.saved"); !journal.empty() && ::access(journal.c_str(), F_OK) == 0)
        unlock_selection(lock_selection(LOCK_EX | LOCK_NB));
    out = StationList{};
    out.path = installation_file(kStationListId);
    char selected[16] = "";
    int code = srvTav_Amp_Rd(selected);
    if (code != 0) return failure(code, Msg::StationListUnreadable, {out.path});
    out.selectedText = trimmed(selected);
    for (int entry = 1; entry <= kMaxEntries; ++entry) {
        int count = 0, station = 0, flag = 0;
        char name[512] = "";
        code = srvTav_AmpData_Rd(entry, 0, &count, &station, name, &flag);
        if (code != 0 || entry > count) break;
        out.entries.push_back({entry, station, flag, name});
    }
    int n = 0;
    if (parse_int(out.selectedText, 1, static_cast<long>(out.entries.size()), n)) out.selected = n;
    return success();
}

Outcome resolve_target(const std::optional<int>& entry, Target& out) {
    StationList list;
    const int shared = entry ? -1 : lock_selection(LOCK_SH);
    const Outcome read = read_station_list(list);
    unlock_selection(shared);
    if (!read.ok()) return read;
    const std::string last = std::to_string(list.entries.size());
    int chosen = 0;
    if (entry) {
        chosen = *entry;
        if (chosen < 1 || chosen > static_cast<int>(list.entries.size()))
            return failure(TAV_E_PARAMETER, Msg::EntryNotInList, {std::to_string(chosen), list.path, last});
    } else {
        if (list.selected == 0)
            return failure(TAV_E_PARAMETER, Msg::SelectionInvalid, {list.path, list.selectedText, last});
        chosen = list.selected;
    }
    const StationEntry& e = list.entries[static_cast<std::size_t>(chosen - 1)];
    if (e.station < 0 || e.station > kMaxStation)
        return failure(TAV_E_STATION, Msg::EntryWithoutStation,
                       {std::to_string(chosen), std::to_string(e.station), list.path});
    out = Target{};
    out.entry = chosen;
    out.station = e.station;
    out.name = e.name;
    return success();
}

Outcome check_line_locks() {
    int port = 0;
    int code = srvTav_ComPortLockUnlockCheck(&port);
    if (port < 1 || port > 9) port = settings_port();
    if (code == TAV_E_LOCKED)
        return failure(code, Msg::PortLocked, {port_text(port), installation_file(kPortLockId + port - 1)});
    if (code != 0) return failure(code, Msg::LockCheckFailed, {port_text(port)});
    int state = 0;
    code = srvTav_TraceLockUnlockCheck(&state);
    if (code == TAV_E_LOCKED)
        return failure(code, Msg::TraceLocked, {port_text(port), installation_file(kTraceLockId)});
    if (code != 0) return failure(code, Msg::LockCheckFailed, {port_text(port)});
    return success();
}

namespace {
// Locks checked, then the target's identification over a line of its own.
Outcome identify(Target& out) {
    if (Outcome r = check_line_locks(); !r.ok()) return r;
    const int port = settings_port();
    int code = srvTav_Wyn_Net_Open();
    if (code != 0) {
        std::string reason;
        const std::string device = device_text(port, &reason);
        return failure(code, reason.empty() ? Msg::LineOpenFailed : Msg::LineOpenFailedReason, {device, reason});
    }
    AmpIdentification id{};
    code = srvTav_SysCondition_Rd(out.station, &id);
    Wyn_Net_Close();
    if (code != 0)
        return failure(code, Msg::NoAnswer,
                       {std::to_string(out.entry), std::to_string(out.station), device_text(port, nullptr)});
    out.family = id.byFamily;
    out.model = id.szModelName;
    out.id = id;
    return success();
}
}  // namespace

std::string line_device() { return device_text(settings_port(), nullptr); }

Outcome open_operator_target(const std::optional<int>& entry, Target& out) {
    LineSettings settings{};
    if (const int code = srvTav_Set_Rd(&settings); code != 0)
        return failure(code, Msg::SettingsUnreadable, {installation_file(kSettingsId)});
    if (settings.nLine7 != 0) return open_target(entry, out);
    if (entry) return failure(TAV_E_PARAMETER, Msg::ListNotInUse, {installation_file(kSettingsId)});
    out = Target{};
    return identify(out);
}

Outcome open_target(const std::optional<int>& entry, Target& out) {
    if (Outcome r = resolve_target(entry, out); !r.ok()) return r;
    return identify(out);
}


std::string family_name(int family) {
    switch (family) {
        case 0x30: return "KESTA7";
        case 0x40: return "KESTA7 Mini";
        case 0x50: return "servo operator";
        default: return "-";
    }
}

Outcome SelectionGuard::select(const Target& target) {
    restore();
    // Locked before the list is read: a dead borrower's selection is put back first.
    lock_ = lock_selection(LOCK_EX);
    const Outcome r = borrow(target);
    if (!r.ok() || !changed_) restore();  // nothing borrowed: the lock goes too
    return r;
}

Outcome SelectionGuard::borrow(const Target& target) {
    StationList list;
    if (Outcome r = read_station_list(list); !r.ok()) return r;
    if (list.selected == target.entry) return success();  // nothing to change, nothing to put back
    if (!read_bytes(list.path, saved_)) return failure(TAV_E_NO_FILE, Msg::StationListUnreadable, {list.path});
    // The user's list is on disk before the borrowed one: a kill at any point leaves a way back.
    journal_ = selection_file("selection.saved");
    if (!replace_whole(journal_, saved_)) return failure(TAV_E_NO_FILE, Msg::RestoreFailed, {journal_, std::strerror(errno)});
    path_ = list.path;
    changed_ = true;
    const int code = srvTav_Amp_Wt(std::to_string(target.entry).c_str());
    if (code != 0) return failure(code, Msg::SelectFailed, {std::to_string(target.entry), list.path});
    return success();
}

Outcome SelectionGuard::restore() {
    if (!changed_) {
        unlock_selection(lock_);
        lock_ = -1;
        return success();
    }
    changed_ = false;
    // The same bytes put back whole: a killed tav or a full disk leaves the
    // borrowed list or the user's, never a part of either.
    const bool written = replace_whole(path_, saved_);
    if (written) ::unlink(journal_.c_str());
    unlock_selection(lock_);
    lock_ = -1;
    if (!written) return failure(TAV_E_NO_FILE, Msg::RestoreFailed, {path_, std::strerror(errno)});
    return success();
}

Outcome select_entry(int entry) {
    // Exclusive, as a borrower: neither puts its list over the other's.
    const int lock = lock_selection(LOCK_EX);
    Target target;
    const Outcome resolved = resolve_target(entry, target);
    const int code = resolved.ok() ? srvTav_Amp_Wt(std::to_string(entry).c_str()) : 0;
    unlock_selection(lock);
    if (!resolved.ok()) return resolved;
    if (code != 0) return failure(code, Msg::SelectFailed, {std::to_string(entry), installation_file(kStationListId)});
    return success();
}

}  // namespace tavhost::core
