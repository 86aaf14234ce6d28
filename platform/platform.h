// The one layer that stands in for the Windows services the library was
// written against. Nothing outside platform/ calls the operating system for
// these jobs: text-mode files, private-profile (INI) files, language modules,
// the host directory, the system language, message boxes, window messages,
// byte-range locks, file copy/delete, serial ports and the local date/time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Tav_acs.h"  // TavWindow, HWND

namespace tavplat {

// ---------------------------------------------------------------- text files
// Opens a file in "text mode": every LF written becomes CR LF on disk and every
// CR LF read comes back as one LF (a lone CR is kept). Modes as fopen without
// 'b': "r", "r+", "w", "w+", "a", "a+". The stream is an ordinary FILE*, so
// fgets/fputs/fprintf/fclose work on it; fgets with a limit behaves as on
// Windows. ftell/fseek positions count the bytes the program sees (after
// translation), so a position from ftell always comes back with fseek.
// Returns null (errno set) when the file cannot be opened. A read mode ("r",
// "r+") takes regular files only: a FIFO, a device or a folder is refused at
// once (errno ENODEV or EISDIR), without waiting for a writer.
FILE* fopen_text(const char* path, const char* mode);
// The same for a reader of one file kind: a file larger than maxBytes is
// refused before a byte is read (errno EFBIG).
FILE* fopen_text(const char* path, const char* mode, std::uint64_t maxBytes);
// Whether an open failure's errno means the file is of the wrong kind (no
// regular file, or too large for its kind) rather than missing or locked.
bool refused_file(int err);

// The largest file each kind of reader takes: far above what the writers
// make, small enough that no input can exhaust time or memory.
constexpr std::uint64_t kMaxSettingsFileBytes = 64 * 1024;          // servo.set, twelve lines
constexpr std::uint64_t kMaxStationListBytes = 1024 * 1024;         // servo.con, 50 entries
constexpr std::uint64_t kMaxDefinitionFileBytes = 4 * 1024 * 1024;  // definition files
constexpr std::uint64_t kMaxDataFileBytes = 4 * 1024 * 1024;        // parameter, positioning, copied files

// Opens a file in binary mode (no translation). Same modes as fopen.
FILE* fopen_binary(const char* path, const char* mode);

// True when path names an existing regular file that can be opened for both
// reading and writing (the marker-file test).
bool file_exists_rw(const char* path);
bool file_exists(const char* path);
// CopyFileA: copies src onto dst; with failIfExists a present dst refuses.
bool copy_file(const char* src, const char* dst, bool failIfExists);
// DeleteFileA.
bool delete_file(const char* path);
// MoveFileEx with replace: atomic rename over an existing file.
bool replace_file(const char* from, const char* to);

// A file saved whole or not at all. open() creates a temporary file beside the
// target (exclusively, never through a link, with the target's permissions and
// owner when it exists); commit() flushes it to disk and renames it over the
// target. Until commit() succeeds the target is exactly what it was: a write
// error, a full disk, a cancelled save or a killed process leave it intact.
// A link as target is followed, so the file it points to is replaced.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile() { discard(); }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    // mode as fopen_text ("w", "w+", "wb"). False (errno set) when the target
    // could not be written in place either: it exists but is read-only, a
    // folder, a FIFO or a device; its folder is missing or takes no new file.
    bool open(const char* target, const char* mode);
    FILE* get() const { return stream_; }
    // Puts the new content in place; false (errno set, target untouched, the
    // temporary file removed) when any write, the flush or the rename failed.
    bool commit();
    // Drops the new content; the target stays as it was.
    void discard();

private:
    FILE* stream_ = nullptr;
    int fd_ = -1;
    std::string temp_, target_;
};

// ------------------------------------------------------------------ INI files
// Windows private-profile semantics: section and key names compare without
// regard to ASCII case; a write keeps the rest of the file (other sections,
// keys, comments, line order); a missing file reads as the defaults; a write
// creates the file (not its folder). Values are trimmed of surrounding blanks
// and of one pair of surrounding double quotes, as Windows does. The files are
// text-mode files (CR LF on disk).
//
// GetPrivateProfileStringA copies at most size-1 bytes and terminates; returns
// the number of bytes copied. A null key lists the section's keys, a null
// section lists the section names (each NUL-terminated, the list ended by an
// extra NUL), as Windows does. A null def reads as "".
unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* out, unsigned size, const char* file);
// Reads the value as a number: optional sign, decimal digits, or "0x"/"0X"
// followed by hexadecimal digits; the number ends at the first other byte; a
// value without digits gives 0; a missing key gives def.
unsigned GetPrivateProfileIntA(const char* section, const char* key, int def, const char* file);
// Writes key=value in the section (creating either). A null value deletes the
// key; a null key deletes the section. Returns false when the file cannot be
// written.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

// ---------------------------------------------------------- language modules
// A language module "tav%04X.DLL" is an ELF shared object exporting one symbol,
// TAV_STRING_TABLE_SYMBOL, of type TavStringTable: string resources sorted by
// id, texts in code page 932 without terminator counted in len.
struct TavStringEntry {
    unsigned id;
    unsigned len;
    const char* text;
};
struct TavStringTable {
    unsigned magic;  // TAV_STRING_TABLE_MAGIC
    unsigned count;
    const TavStringEntry* entries;
};
#define TAV_STRING_TABLE_SYMBOL "tav_string_resources"
#define TAV_STRING_TABLE_MAGIC 0x54415653u  // "TAVS"

using HMODULE = void*;
// dlopen; null when the file is missing, not a shared object, or lacks the
// string table.
HMODULE LoadLibraryA(const char* path);
bool FreeLibrary(HMODULE module);
// Copies at most size-1 bytes of string id, terminates, returns the length
// copied; 0 (and out emptied when size > 0) when there is no such string, or
// when module is null or size <= 0.
int LoadStringA(HMODULE module, unsigned id, char* out, int size);

// -------------------------------------------------------- host and language
// Folder of the running executable (/proc/self/exe), without a trailing
// separator; $TAV_HOST_DIR overrides it.
std::string host_directory();
// host_directory() == dir, without building the path when $TAV_HOST_DIR gives it
// (a text lookup asks this every time).
bool host_directory_is(const std::string& dir);
// Names of the files in folder whose name ends with ext (compared without
// regard to case, e.g. ".dll"), in directory order, without the folder.
std::vector<std::string> find_files(const std::string& folder, const char* ext);
// 0x0411 when LANG starts with "ja", else 0x0409; $TAV_SYSTEM_LANGID
// (hexadecimal, e.g. "0411") overrides it.
unsigned short GetSystemDefaultLangID();

// ------------------------------------------------------------- message boxes
// Windows MB_* and ID* values.
enum : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
// Hands the box to the hook of tavplat_set_message_box; without one, prints
// caption and text to standard error and answers IDYES for MB_YESNO, else IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type);
using MessageBoxHook = int (*)(const char* text, const char* caption, unsigned type);
// Installs the host's hook (null restores the default).
void set_message_box_hook(MessageBoxHook hook);
// Ends the process (exit(code)).
[[noreturn]] void exit_process(int code);

// ---------------------------------------------------------- window messages
// Calls window->post(window->ctx, ...). False for a null window or post.
bool PostMessageA(HWND window, unsigned msg, uintptr_t wParam, intptr_t lParam);

// --------------------------------------------------------- byte-range locks
// Open-file-description locks, so a second handle in the same process cannot
// take a region another handle holds (as on Windows). A handle is a file
// descriptor; -1 is invalid.
using FileHandle = int;
constexpr FileHandle kInvalidFile = -1;
// CreateFileA for read/write; create: OPEN_ALWAYS, else OPEN_EXISTING.
FileHandle lock_file_open(const char* path, bool create);
// LockFile/UnlockFile of length bytes at offset; non-blocking: false when
// another handle (this or another process) holds any byte of it.
bool lock_region(FileHandle h, uint64_t offset, uint64_t length);
bool unlock_region(FileHandle h, uint64_t offset, uint64_t length);
void lock_file_close(FileHandle h);
// ReadFile/WriteFile at an absolute offset of a lock-file handle (the trace
// lock keeps its state letter in the file). Read returns the byte count, -1
// on failure; write is all or nothing.
long lock_file_read(FileHandle h, uint64_t offset, void* buf, size_t size);
bool lock_file_write(FileHandle h, uint64_t offset, const void* data, size_t size);

// ------------------------------------------------------------- serial ports
// Resolves "COMn" (n = 1..9) through the port map: $WYN_COM<n>, then key
// COM<n> in section [Ports] of $WYN_HOME/wyn.ini, else /dev/ttyS<n-1>. The
// value is a device path or "sim:<state file>".
std::string resolve_com_port(int n);
// $WYN_HOME, default host_directory(); no trailing separator.
std::string wyn_home();
// $WYN_DEF_HOME, the installation whose definitions (def/) the path service
// resolves instead of $WYN_HOME's; "" when unset or empty. No trailing separator.
std::string definitions_home();

struct SerialSettings {
    int baud;          // bits per second
    int byteSize;      // 5..8; other values keep the device's
    int parity;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits;      // 0 one, 1 one and a half (as two), 2 two
    bool xonXoff;      // XON/XOFF both ways
    int readTimeoutMs; // total read time-out
    int interByteMs;   // interval between received bytes
};
// Opens a serial device read/write, exclusive (flock, freed with its holder), non-blocking
// open then blocking I/O; kInvalidFile on failure.
FileHandle serial_open(const char* device);
// termios set-up of an open serial handle; false on failure.
bool serial_configure(FileHandle h, const SerialSettings& s);
void serial_close(FileHandle h);

// -------------------------------------------------------------- date & time
// Local short date "%Y/%m/%d" and 24-hour time "%H:%M:%S", bounded copies.
void local_date(char* out, size_t size);
void local_time(char* out, size_t size);

// ------------------------------------------------------------ bounded text
// Copies at most size-1 bytes of src, always terminates (size > 0). Returns
// the number of bytes copied. A null src copies "".
size_t copy_text(char* dst, size_t size, const char* src);
template <size_t N>
size_t copy_text(char (&dst)[N], const char* src) { return copy_text(dst, N, src); }
// snprintf that never writes past size and always terminates.
int format_text(char* dst, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

}  // namespace tavplat
