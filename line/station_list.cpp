// servo.con: the list of amplifier stations and the selected entry.
//
// Entry numbering: entries are numbered 1..50 by their place in the list;
// entry 1 is the first line after the count line (line 3 of the file), entry n
// is line n + 2. The readers (AmpData_Rd and everything built on it) and the
// writer (AmpData_Wt) use this one numbering, so an entry read and written
// back is the same line. An entry number outside 1..50 is refused with -1.
// Number 0, which the servo-operator transfers use, is no entry line: it is
// the servo operator itself (station 0) that the list's amplifiers sit behind.
//
//   SERVO,   1            selected entry, right-aligned in three characters
//   2                     number of entry lines
//   001,0,KESTA7 L-type   entry 1: station, connection flag, name
//   002,0,...             entry 2
//
// Rewrites hold the lock on the temporary file (path id 1002) from reading the
// list to replacing it, and write the new list to a unique file beside
// servo.con that is renamed over it once complete: two processes never
// interleave, and a failure leaves servo.con as it was.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "comm/comm.h"
#include "frame/frame.h"
#include "line/state.h"
#include "platform/platform.h"

namespace tav::line {

namespace {

constexpr int kListPathId = 300;
constexpr int kTempPathId = 1002;
constexpr int kMaxEntries = 50;
constexpr int kMaxStation = 248;
constexpr int kNoAmplifier = 999;
constexpr int kRecordSize = 17;
constexpr std::size_t kNameSize = 500;
constexpr std::size_t kTokenSize = 500;
constexpr std::size_t kSelectedSize = 8;
// How long a rewrite waits for another process's rewrite to end.
constexpr std::chrono::seconds kLockWait{5};

class RefreshScope {
public:
    RefreshScope() { state().refreshing = true; }
    ~RefreshScope() { state().refreshing = false; }
    RefreshScope(const RefreshScope&) = delete;
    RefreshScope& operator=(const RefreshScope&) = delete;
};

using Lines = std::vector<std::string>;

// Reads servo.con whole: path code, or -3 when it cannot be opened.
Result load_list(Lines& lines, char* path) {
    short code = comm::full_path(kListPathId, path);
    if (code != TAV_OK) return code;
    FILE* f = tavplat::fopen_text(path, "r", tavplat::kMaxStationListBytes);
    if (f == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    std::string line;
    while (read_whole_line(f, line)) lines.push_back(line);
    std::fclose(f);
    return TAV_OK;
}

bool starts_with_servo(const Lines& lines) {
    char tok[kTokenSize];
    return !lines.empty() && frame::GetCommaField(lines[0].c_str(), tok, sizeof tok) != nullptr &&
           std::strcmp(tok, "SERVO") == 0;
}

int entry_count(const Lines& lines) {
    char tok[kTokenSize];
    return frame::GetCommaField(lines[1].c_str(), tok, sizeof tok) != nullptr ? parse_int(tok) : 0;
}

struct Entry {
    std::string stationText;  // as written, e.g. "001"
    std::string flagText;
    std::string name;         // raw text to the line end
    int station = 0;
    int flag = 0;
};

Entry parse_entry(const std::string& line) {
    Entry e;
    char tok[kTokenSize];
    const char* p = frame::GetCommaField(line.c_str(), tok, sizeof tok);
    if (p == nullptr) return e;
    e.stationText = tok;
    e.station = parse_int(tok);
    p = frame::GetCommaField(p, tok, sizeof tok);
    if (p == nullptr) return e;
    e.flagText = tok;
    e.flag = parse_int(tok);
    e.name = p;
    std::size_t end = e.name.find('\n');
    if (end != std::string::npos) e.name.resize(end);
    return e;
}

// The entry n of a loaded list: -5 when the list is not a station list or
// has no such line.
short find_entry(const Lines& lines, int n, int* count, Entry& e) {
    if (!starts_with_servo(lines) || lines.size() < 2) return TAV_E_FILE_NAME;
    if (count != nullptr) *count = entry_count(lines);
    const std::size_t index = static_cast<std::size_t>(n) + 1;
    if (index >= lines.size()) return TAV_E_FILE_NAME;
    e = parse_entry(lines[index]);
    return TAV_OK;
}

// A caller's name as the rest of one line.
std::string single_line(const char* text) {
    std::string s = text;
    std::size_t cut = s.find_first_of("\r\n");
    if (cut != std::string::npos) s.resize(cut);
    return s;
}

std::string station_text(int station) {
    char buf[16];
    tavplat::format_text(buf, sizeof buf, "%03d", station);
    return buf;
}

// The new line of an entry, or the old one when nothing changes.
std::string rewritten_entry(const std::string& old, int station, const char* name, const std::string& fullName) {
    Entry e = parse_entry(old);
    // An empty field would end the line for the readers and hide the name.
    std::string flag = e.flagText.empty() ? "0" : e.flagText;
    if (state().refreshing)
        return station_text(station) + "," + std::to_string(state().connectionResult) + "," + fullName + "\n";
    if (station == -1 && name == nullptr) return old;
    if (station == -1) {
        std::string st = e.stationText.empty() ? station_text(0) : e.stationText;
        return st + "," + flag + "," + single_line(name) + "\n";
    }
    return station_text(station) + "," + flag + "," + (name != nullptr ? single_line(name) : e.name) + "\n";
}

bool same_path(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// Serialises the rewrites of servo.con between processes: the list's
// temporary file (path id 1002) is held locked from the reading of the list to
// its replacement, so two rewrites never interleave and none is lost.
class RewriteLock {
public:
    RewriteLock() = default;
    RewriteLock(const RewriteLock&) = delete;
    RewriteLock& operator=(const RewriteLock&) = delete;
    ~RewriteLock() {
        if (handle_ == tavplat::kInvalidFile) return;
        if (locked_) tavplat::unlock_region(handle_, 0, 1);
        tavplat::lock_file_close(handle_);
    }
    // 0; the path code; -8 when the lock file is servo.con itself; -3 when it
    // cannot be opened or another rewrite holds it past kLockWait.
    short take(const char* listPath) {
        char lockPath[TAV_PATH_MAX] = {};
        const short code = comm::full_path(kTempPathId, lockPath);
        if (code != TAV_OK) return code;
        if (same_path(lockPath, listPath)) return TAV_E_SAME_FILE;
        handle_ = tavplat::lock_file_open(lockPath, true);
        if (handle_ == tavplat::kInvalidFile) return TAV_E_NO_FILE;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (!(locked_ = tavplat::lock_region(handle_, 0, 1))) {
            if (std::chrono::steady_clock::now() >= deadline) return TAV_E_NO_FILE;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return TAV_OK;
    }

private:
    tavplat::FileHandle handle_ = tavplat::kInvalidFile;
    bool locked_ = false;
};

// Puts content in place of servo.con, whole or not at all.
short replace_list(const char* listPath, const std::string& content) {
    // A list the user protected stays protected.
    if (!tavplat::file_exists_rw(listPath)) return TAV_E_NO_FILE;
    tavplat::ReplacingFile file;
    if (!file.open(listPath, "w")) return TAV_E_NO_FILE;
    const bool ok = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    return ok && file.commit() ? TAV_OK : TAV_E_NO_FILE;
}

short write_entry(int n, int station, const char* name, const std::string& fullName) {
    if (n < 1 || n > kMaxEntries) return TAV_E_PARAMETER;
    if (station != -1 && station != kNoAmplifier && (station < 0 || station > kMaxStation)) return TAV_E_RANGE;

    char listPath[TAV_PATH_MAX] = {};
    short code = comm::full_path(kListPathId, listPath);
    if (code != TAV_OK) return code;
    RewriteLock lock;
    if ((code = lock.take(listPath)) != TAV_OK) return code;
    Lines lines;
    const short loaded = load_list(lines, listPath);

    // A station may be used by one entry only; 999 (no amplifier) by any.
    if (loaded == TAV_OK && station >= 0 && station <= kMaxStation) {
        int uses = 0;
        int own = -1;
        for (int i = 1; i <= kMaxEntries; ++i) {
            Entry e;
            if (find_entry(lines, i, nullptr, e) != TAV_OK) continue;  // not reported
            if (e.station == station) ++uses;
            if (i == n) own = e.station;
        }
        if (uses > 0 && !(uses == 1 && own == station)) return TAV_E_DUPLICATE;
    }
    if (loaded != TAV_OK) return loaded;
    if (!starts_with_servo(lines) || lines.size() < 2) return TAV_E_FILE_NAME;

    // The new list is line 1, line 2 and the entry lines line 2 counts; lines
    // after them are dropped, and an entry past the count changes nothing.
    const int count = entry_count(lines);
    const std::size_t counted = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (lines.size() - 2 < counted) return TAV_E_FILE_NAME;
    const std::size_t target = static_cast<std::size_t>(n) + 1;

    std::string content;
    for (std::size_t i = 0; i < 2 + counted; ++i)
        content += i == target ? rewritten_entry(lines[i], station, name, fullName) : lines[i];
    return replace_list(listPath, content);
}

}  // namespace

short Amp_Rd(char* selected) {
    if (selected == nullptr) return TAV_E_PARAMETER;
    selected[0] = '\0';
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    short code = load_list(lines, path);
    if (code != TAV_OK) return code;
    if (!starts_with_servo(lines)) return TAV_E_FILE_NAME;
    char tok[kTokenSize];
    const char* p = frame::GetCommaField(lines[0].c_str(), tok, sizeof tok);
    if (frame::GetCommaField(p, tok, sizeof tok) != nullptr) tavplat::copy_text(selected, kSelectedSize, tok);
    return TAV_OK;
}

short Amp_Wt(const char* selected) {
    if (selected == nullptr) return TAV_E_PARAMETER;
    char path[TAV_PATH_MAX] = {};
    short code = comm::full_path(kListPathId, path);
    if (code != TAV_OK) return code;
    RewriteLock lock;
    if ((code = lock.take(path)) != TAV_OK) return code;
    Lines lines;
    if ((code = load_list(lines, path)) != TAV_OK) return code;
    // The whole list is rewritten: a new line 1 of any length, every other
    // line as it stands (an overwrite in place would run into line 2).
    char first[64];
    tavplat::format_text(first, sizeof first, "%s, %3s\n", "SERVO", single_line(selected).c_str());
    std::string content = first;
    for (std::size_t i = 1; i < lines.size(); ++i) content += lines[i];
    return replace_list(path, content);
}

short AmpData_Rd(int entry, int refresh, int* count, int* station, char* name, int* flag) {
    if (entry < 1 || entry > kMaxEntries) return TAV_E_PARAMETER;
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    short code = load_list(lines, path);
    if (code != TAV_OK) return code;
    Entry e;
    code = find_entry(lines, entry, count, e);
    if (code != TAV_OK) return code;
    if (station != nullptr) *station = e.station;
    if (flag != nullptr) *flag = e.flag;
    if (name != nullptr) tavplat::copy_text(name, kNameSize, e.name.c_str());
    if (refresh == 0) return TAV_OK;

    // Refresh: ask the amplifier whether it answers and store that as the flag.
    RefreshScope scope;
    int& connected = state().connectionResult;
    connected = 0;
    if (e.station >= 0 && e.station <= kMaxStation && Wyn_Net_Open() == TAV_OK) {
        unsigned char record[kRecordSize] = {};
        comm::wyn().Wyn_SysCondition_Rd(e.station, kRecordSize, record);  // any answer counts
        connected = 1;
        comm::wyn().Wyn_Net_Close();
        if (frame::CheckDiagnosticMarkers() == 1)
            for (unsigned char b : record) frame::tracef("Recv_Data = 0x%02X", b);
    }
    if (flag != nullptr) *flag = connected;
    return write_entry(entry, e.station, e.name.c_str(), e.name);
}

short AmpData_Wt(int entry, int station, const char* name) {
    return write_entry(entry, station, name, name != nullptr ? single_line(name) : std::string());
}

short Yukou_AmpData_Rd(int* count, int* entry, int* station, char* name, int* flag) {
    // One reading of the list for all entries (not one per entry).
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    const short loaded = load_list(lines, path);
    int used = 0;
    short code = loaded;
    for (int i = 1; i <= kMaxEntries && loaded == TAV_OK; ++i) {
        Entry e;
        code = find_entry(lines, i, nullptr, e);
        if (code != TAV_OK || e.station == kNoAmplifier) continue;
        if (used++ == 0) {
            if (entry != nullptr) *entry = i;
            if (station != nullptr) *station = e.station;
            if (name != nullptr) tavplat::copy_text(name, kNameSize, e.name.c_str());
            if (flag != nullptr) *flag = e.flag;
        }
    }
    if (count != nullptr) *count = used;
    return code;  // that of entry 50
}

short TargetAmpKyoku_Rd(int* station) {
    char selected[kSelectedSize];
    short code = Amp_Rd(selected);
    if (code != TAV_OK) return code;
    return SiteiAmpKyoku_Rd(parse_int(selected), station);
}

short SiteiAmpKyoku_Rd(int entry, int* station) {
    int count = 0, flag = 0;
    char name[kNameSize];
    return AmpData_Rd(entry, 0, &count, station, name, &flag);
}

short ListStation(int number, int* station) {
    if (number != 0) {
        int count = 0, flag = 0;
        char name[kNameSize];
        return AmpData_Rd(number, 0, &count, station, name, &flag);
    }
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    const short code = load_list(lines, path);
    if (code != TAV_OK) return code;
    if (!starts_with_servo(lines) || lines.size() < 2) return TAV_E_FILE_NAME;
    *station = 0;
    return TAV_OK;
}

}  // namespace tav::line
