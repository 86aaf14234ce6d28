// Private-profile (INI) files with the Windows rules. The file is worked on
// as raw bytes split into lines that keep their own line ends, so a write
// changes only the line it must and leaves every other byte where it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity.h"
#include "platform/platform.h"

namespace tavplat {

namespace {

std::mutex g_profileMutex;  // one reader-modify-writer at a time per process

struct Line {
    std::string text;  // the line without its line end
    std::string end;   // "\r\n", "\n" or "" (last line without one)
};

enum class Kind { Blank, Comment, Section, Entry };

struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // entry value, trimmed; hasValue false for a bare word
    bool hasValue = false;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (is_blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

Parsed parse(const std::string& text) {
    Parsed p;
    std::string_view s = trim(text);
    if (s.empty()) return p;
    if (s.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (s.front() == '[') {
        s.remove_prefix(1);
        size_t close = s.find(']');
        if (close != std::string_view::npos) s = s.substr(0, close);
        p.kind = Kind::Section;
        p.name = trim(s);
        return p;
    }
    p.kind = Kind::Entry;
    size_t eq = s.find('=');
    if (eq == std::string_view::npos) {
        p.name = s;
        return p;
    }
    p.name = trim(s.substr(0, eq));
    p.value = trim(s.substr(eq + 1));
    p.hasValue = true;
    return p;
}

bool same_name(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    std::string_view bv = trim(std::string_view(b, n));
    if (a.size() != bv.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(bv[i])))
            return false;
    }
    return true;
}

// A parsed line that owns its names, so it can be kept with its file.
struct Entry {
    Kind kind = Kind::Blank;
    std::string name, value;
    bool hasValue = false;
};

Entry entry_of(const std::string& text) {
    const Parsed p = parse(text);
    return {p.kind, std::string(p.name), std::string(p.value), p.hasValue};
}

// A file read and split into lines, each line parsed once. Readers share
// the parsed file of a settled, unchanged file (one stat per call instead of
// reading, copying and splitting it again); writers copy its lines.
struct ParsedFile {
    std::vector<Line> lines;
    std::vector<Entry> entries;  // entries[i] is lines[i] parsed
};
using ParsedPtr = std::shared_ptr<const ParsedFile>;

struct CachedFile {
    std::string path;
    FileIdentity id;
    ParsedPtr parsed;
};
constexpr size_t kCachedFiles = 8;
std::vector<CachedFile> g_cache;

ParsedPtr cached_file(const char* file) {
    for (const CachedFile& c : g_cache) {
        if (c.path != file) continue;
        FileIdentity now;
        return file_identity(file, now) && now == c.id ? c.parsed : nullptr;
    }
    return nullptr;
}

void remember_file(const char* file, const FileIdentity& id, const ParsedPtr& parsed) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it)
        if (it->path == file) { g_cache.erase(it); break; }
    if (!identity_is_settled(id)) return;
    if (g_cache.size() >= kCachedFiles) g_cache.erase(g_cache.begin());
    g_cache.push_back({file, id, parsed});
}

void forget_file(const char* file) {
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it)
        if (it->path == file) { g_cache.erase(it); return; }
}

ParsedPtr parse_file(const std::string& data) {
    auto parsed = std::make_shared<ParsedFile>();
    size_t start = 0;
    while (start < data.size()) {
        size_t lf = data.find('\n', start);
        Line line;
        if (lf == std::string::npos) {
            line.text = data.substr(start);
            start = data.size();
        } else {
            size_t end = lf;
            if (end > start && data[end - 1] == '\r') --end;
            line.text = data.substr(start, end - start);
            line.end = data.substr(end, lf + 1 - end);
            start = lf + 1;
        }
        parsed->lines.push_back(std::move(line));
    }
    parsed->entries.reserve(parsed->lines.size());
    for (const Line& l : parsed->lines) parsed->entries.push_back(entry_of(l.text));
    return parsed;
}

// Reads the whole file; null when it cannot be opened or read (exists tells
// a missing file from an unreadable one).
ParsedPtr load(const char* file, bool& exists) {
    exists = false;
    if (ParsedPtr cached = cached_file(file)) {
        exists = true;
        return cached;
    }
    FILE* f = fopen_binary(file, "r");
    if (f == nullptr) {
        exists = errno != ENOENT && errno != ENOTDIR;  // unreadable is not missing
        return nullptr;
    }
    exists = true;
    FileIdentity before;
    const bool known = file_identity(fileno(f), before);
    std::string data;
    char buf[16384];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    const bool ok = !std::ferror(f);
    FileIdentity after;
    const bool unchanged = ok && known && file_identity(fileno(f), after) && after == before;
    std::fclose(f);
    if (!ok) return nullptr;
    ParsedPtr parsed = parse_file(data);
    // Cache only what was read from one unchanging version of the file.
    if (unchanged) remember_file(file, after, parsed);
    return parsed;
}

// The lines of the file for a rewrite; false when it cannot be read.
bool load(const char* file, std::vector<Line>& lines, bool& exists) {
    ParsedPtr parsed = load(file, exists);
    if (parsed == nullptr) {
        lines.clear();
        return false;
    }
    lines = parsed->lines;
    return true;
}

bool write_lines(int fd, const std::vector<Line>& lines) {
    std::string data;
    for (const Line& l : lines) {
        data += l.text;
        data += l.end;
    }
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Writes a copy beside the file and renames it over, so another process
// reading the file meanwhile sees the old or the new text, never half of
// it (the language files are rewritten by every message lookup). A new
// file, a link or a folder we cannot create in is written in place.
bool save(const char* file, const std::vector<Line>& lines) {
    forget_file(file);
    struct stat st {};
    bool present = ::lstat(file, &st) == 0;
    if (present && ::access(file, W_OK) != 0) return false;  // read-only stays as it is
    if (present && S_ISREG(st.st_mode) && st.st_nlink == 1) {
        std::string tmp = std::string(file) + ".XXXXXX";
        int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (fd >= 0) {
            bool ok = ::fchmod(fd, st.st_mode & 07777) == 0 && write_lines(fd, lines);
            ok = ::close(fd) == 0 && ok;
            if (ok && ::rename(tmp.c_str(), file) == 0) return true;
            ::unlink(tmp.c_str());
        }
    }
    int fd = ::open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = write_lines(fd, lines);
    return ::close(fd) == 0 && ok;
}

// Index of the first section header named section, or npos.
size_t find_section(const std::vector<Line>& lines, const char* section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        Parsed p = parse(lines[i].text);
        if (p.kind == Kind::Section && same_name(p.name, section)) return i;
    }
    return std::string::npos;
}

// One past the last line of the section starting at header.
size_t section_end(const std::vector<Line>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && parse(lines[i].text).kind != Kind::Section) ++i;
    return i;
}

size_t find_key(const std::vector<Line>& lines, size_t header, const char* key) {
    size_t end = section_end(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        Parsed p = parse(lines[i].text);
        if (p.kind == Kind::Entry && same_name(p.name, key)) return i;
    }
    return std::string::npos;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

// Copies one value, Windows style: at most size-1 bytes, terminated.
unsigned copy_value(std::string_view v, char* out, unsigned size) {
    size_t n = v.size() < size - 1 ? v.size() : size - 1;
    if (n > 0) std::memcpy(out, v.data(), n);  // an empty view may have no data pointer
    out[n] = '\0';
    return static_cast<unsigned>(n);
}

// Copies a list of names, each terminated, the list ended by an extra NUL.
// When it does not fit, the names are cut and the result is size-2.
unsigned copy_list(const std::vector<std::string_view>& names, char* out, unsigned size) {
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    size_t at = 0;
    const size_t room = size - 2;  // keep two bytes for the closing NULs
    for (std::string_view name : names) {
        if (at + name.size() + 1 > room + 1) {
            if (at > room) at = room;
            size_t fit = room - at;
            std::memcpy(out + at, name.data(), fit);
            at += fit;
            out[at] = '\0';
            out[at + 1] = '\0';
            return size - 2;
        }
        std::memcpy(out + at, name.data(), name.size());
        at += name.size();
        out[at++] = '\0';
    }
    if (at == 0) out[at++] = '\0';  // empty list: two NULs, returns 0
    out[at] = '\0';
    return static_cast<unsigned>(names.empty() ? 0 : at);
}

uint32_t parse_number(std::string_view v) {
    size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = v[i++] == '-';
    uint32_t value = 0;
    if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        for (i += 2; i < v.size() && std::isxdigit(static_cast<unsigned char>(v[i])); ++i) {
            int c = std::tolower(static_cast<unsigned char>(v[i]));
            value = value * 16u + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : c - 'a' + 10);
        }
    } else {
        for (; i < v.size() && std::isdigit(static_cast<unsigned char>(v[i])); ++i)
            value = value * 10u + static_cast<uint32_t>(v[i] - '0');
    }
    return negative ? 0u - value : value;
}

// Index of the first section header named section in a parsed file, or npos.
size_t find_section(const std::vector<Entry>& entries, const char* section) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].kind == Kind::Section && same_name(entries[i].name, section)) return i;
    return std::string::npos;
}

// The value text of section/key, or false when the key is not there.
bool lookup(const char* section, const char* key, const char* file, std::string& value) {
    bool exists = false;
    ParsedPtr parsed = file != nullptr ? load(file, exists) : nullptr;
    if (parsed == nullptr) return false;
    const std::vector<Entry>& e = parsed->entries;
    const size_t header = find_section(e, section);
    if (header == std::string::npos) return false;
    for (size_t i = header + 1; i < e.size() && e[i].kind != Kind::Section; ++i) {
        if (e[i].kind != Kind::Entry || !same_name(e[i].name, key)) continue;
        if (!e[i].hasValue) return false;
        value.assign(unquote(e[i].value));
        return true;
    }
    return false;
}

}  // namespace

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* def, char* out,
                                  unsigned size, const char* file) {
    if (out == nullptr || size == 0) return 0;
    std::lock_guard<std::mutex> lock(g_profileMutex);
    if (section == nullptr || key == nullptr) {
        bool exists = false;
        ParsedPtr parsed = file != nullptr ? load(file, exists) : nullptr;
        static const std::vector<Entry> kNone;
        const std::vector<Entry>& e = parsed != nullptr ? parsed->entries : kNone;
        std::vector<std::string_view> names;
        if (section == nullptr) {
            for (const Entry& p : e)
                if (p.kind == Kind::Section && !p.name.empty()) names.push_back(p.name);
        } else {
            size_t header = find_section(e, section);
            if (header != std::string::npos) {
                for (size_t i = header + 1; i < e.size() && e[i].kind != Kind::Section; ++i)
                    if (e[i].kind == Kind::Entry && !e[i].name.empty()) names.push_back(e[i].name);
            }
        }
        return copy_list(names, out, size);
    }
    std::string value;
    if (file != nullptr && lookup(section, key, file, value)) return copy_value(value, out, size);
    // Windows drops trailing blanks of the default.
    std::string_view d = def != nullptr ? std::string_view(def) : std::string_view();
    while (!d.empty() && is_blank(d.back())) d.remove_suffix(1);
    return copy_value(d, out, size);
}

unsigned GetPrivateProfileIntA(const char* section, const char* key, int def, const char* file) {
    if (section == nullptr || key == nullptr || file == nullptr) return static_cast<unsigned>(def);
    std::lock_guard<std::mutex> lock(g_profileMutex);
    std::string value;
    // An empty value counts as missing, as on Windows.
    if (!lookup(section, key, file, value) || value.empty()) return static_cast<unsigned>(def);
    return parse_number(value);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) {
    if (file == nullptr) return false;
    if (section == nullptr) return key == nullptr && value == nullptr;  // "flush the cache"
    std::lock_guard<std::mutex> lock(g_profileMutex);
    std::vector<Line> lines;
    bool exists = false;
    if (!load(file, lines, exists) && exists) return false;  // present but unreadable

    size_t header = find_section(lines, section);
    if (key == nullptr) {
        if (header == std::string::npos) return true;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                    lines.begin() + static_cast<std::ptrdiff_t>(section_end(lines, header)));
        return save(file, lines);
    }
    if (value == nullptr) {
        if (header == std::string::npos) return true;
        size_t at = find_key(lines, header, key);
        if (at == std::string::npos) return true;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        return save(file, lines);
    }

    std::string keyName(trim(key));
    std::string entry = keyName + "=" + value;
    if (header != std::string::npos) {
        size_t at = find_key(lines, header, key);
        if (at != std::string::npos) {
            // Keep the key as the file spells it; only the value changes.
            std::string updated = std::string(parse(lines[at].text).name) + "=" + value;
            if (updated == lines[at].text) return true;  // nothing to rewrite
            lines[at].text = std::move(updated);
            return save(file, lines);
        }
        // New key after the section's last non-blank line, so a blank line
        // that separates it from the next section stays where it is.
        size_t end = section_end(lines, header);
        size_t last = header;
        for (size_t i = header + 1; i < end; ++i)
            if (parse(lines[i].text).kind != Kind::Blank) last = i;
        if (lines[last].end.empty()) lines[last].end = "\r\n";
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1), Line{entry, "\r\n"});
        return save(file, lines);
    }
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
    lines.push_back(Line{"[" + std::string(trim(section)) + "]", "\r\n"});
    lines.push_back(Line{entry, "\r\n"});
    return save(file, lines);
}

}  // namespace tavplat
