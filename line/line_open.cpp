// Opening the line with the settings of servo.set, file copy, the kind check
// of data files, the support link that exchanges servo.set and servo.con with
// files the host chooses, and the lock test loop of the service tools.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comm/comm.h"
#include "frame/frame.h"
#include "line/line.h"
#include "platform/platform.h"

namespace tav::line {

namespace {

constexpr int kSettingsPathId = 0;
constexpr int kListPathId = 300;
constexpr std::size_t kCopyBuffer = 2000;
constexpr std::size_t kFirstLineLimit = 500;

static_assert(sizeof(LineSettings) == sizeof(WynLineSettings), "the component takes the record as it is");

// Code page 932 texts of the trace and of the lock test.
// "ﾎﾟｰﾄ='%s':ﾎﾞｰﾚｰﾄ='%s':ﾘﾄﾗｲ='%s':ﾀｲﾑｱｳﾄ='%s'"
constexpr const char* kOpenTrace =
    "\xce\xdf\xb0\xc4" "='%s':" "\xce\xde\xb0\xda\xb0\xc4" "='%s':" "\xd8\xc4\xd7\xb2" "='%s':"
    "\xc0\xb2\xd1\xb1\xb3\xc4" "='%s'";
// "ロックをやります！"
constexpr const char* kLockAsk = "\x83\x8d\x83\x62\x83\x4e\x82\xf0\x82\xe2\x82\xe8\x82\xdc\x82\xb7\x81\x49";
// "ロックできませんでした"
constexpr const char* kLockFailed = "\x83\x8d\x83\x62\x83\x4e\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd";
// "ロックできた！（ＯＫ後アンロックします）"
constexpr const char* kLockDone =
    "\x83\x8d\x83\x62\x83\x4e\x82\xc5\x82\xab\x82\xbd\x81\x49\x81\x69\x82\x6e\x82\x6a\x8c\xe3\x83\x41\x83\x93"
    "\x83\x8d\x83\x62\x83\x4e\x82\xb5\x82\xdc\x82\xb7\x81\x6a";

struct KindEntry {
    const char* extension;
    int kind;
};
constexpr KindEntry kKinds[] = {{".k7p", 0}, {".syp", 1}, {".k7l", 2}, {".set", 3}, {".con", 4},
                                {".csv", 5}, {".hsp", 6}, {".k7v", 7}, {".m7p", 8}, {".m7v", 9}};
constexpr int kKindSettings = 3;
constexpr int kKindList = 4;

bool equal_ignoring_case(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// The kind of a file by the last four characters of its name; -1 for none.
int kind_of(const char* path) {
    std::size_t n = std::strlen(path);
    if (n < 4) return -1;
    for (const KindEntry& k : kKinds)
        if (equal_ignoring_case(path + n - 4, k.extension)) return k.kind;
    return -1;
}

// Copies onto a settings or list file; the file being the current one already
// (-8) is no failure here.
short link_copy(const char* from, const char* to) {
    short code = File_Copy(from, to);
    return code == TAV_E_SAME_FILE ? TAV_OK : code;
}

}  // namespace

bool read_whole_line(FILE* file, std::string& line) {
    line.clear();
    if (file == nullptr) return false;
    int c;
    // Byte by byte so that a NUL inside a line does not cut it short.
    while ((c = std::getc(file)) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n') return true;
    }
    return !line.empty();
}

short Wyn_Net_Open() {
    const int traceOn = frame::CheckDiagnosticMarkers();
    LineSettings settings{};
    (void)Set_Rd(&settings);  // no servo.set: the line opens with the defaults
    WynLineSettings record;
    std::memcpy(&record, &settings, sizeof record);
    short code = comm::wyn().Wyn_Net_Open(&record);
    if (traceOn == 1 && code != TAV_OK) {
        char port[8], retry[16], timeout[16];
        tavplat::format_text(port, sizeof port, "COM%d",
                             settings.nPort >= 0 && settings.nPort <= 8 ? settings.nPort + 1 : 2);
        tavplat::format_text(retry, sizeof retry, "%d", settings.nRetry + 1);
        tavplat::format_text(timeout, sizeof timeout, "%d", settings.nTimeOut);
        frame::tracef(kOpenTrace, port, baud_text(settings.nBaud), retry, timeout);
    }
    return code;
}

short PortSession::lock() {
    int kind = 0;
    const short code = ComPortLock_quimbel(&kind);
    locked_ = code == TAV_OK;
    return code;
}

short PortSession::open() {
    open_ = Wyn_Net_Open() == TAV_OK;
    return open_ ? TAV_OK : TAV_E_OPEN_DEVICE;
}

short PortSession::lock_and_open() {
    const short code = lock();
    return code != TAV_OK ? code : open();
}

void PortSession::close() {
    if (open_) comm::wyn().Wyn_Net_Close();
    open_ = false;
}

PortSession::~PortSession() {
    close();
    if (locked_) ComPortUnlock_quimbel();
}

short File_Copy(const char* source, const char* destination) {
    if (source == nullptr || destination == nullptr) return TAV_E_NO_FILE;
    // Opening the destination would empty the source.
    if (equal_ignoring_case(source, destination)) return TAV_E_SAME_FILE;
    FILE* in = tavplat::fopen_text(source, "r", tavplat::kMaxDataFileBytes);
    if (in == nullptr) return TAV_E_NO_FILE;
    // The destination is replaced whole or stays as it was.
    tavplat::ReplacingFile copy;
    if (!copy.open(destination, "w")) {
        std::fclose(in);
        return TAV_E_NO_FILE;
    }
    FILE* out = copy.get();
    char buf[kCopyBuffer];
    bool ok = true;
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
        if (std::fwrite(buf, 1, n, out) != n) {
            ok = false;
            break;
        }
    ok = std::ferror(in) == 0 && ok;
    std::fclose(in);
    return ok && copy.commit() ? TAV_OK : TAV_E_NO_FILE;
}

short File_Chk(const char* path, int* kind, int* model, int* number, char* text, unsigned* hex) {
    if (kind != nullptr) *kind = -1;
    if (model != nullptr) *model = 0;
    if (number != nullptr) *number = 0;
    if (path == nullptr || std::strlen(path) < 5) return TAV_E_FILE_NAME;
    const int k = kind_of(path);
    if (k < 0) return TAV_E_FILE_NAME;
    if (kind != nullptr) *kind = k;

    FILE* f = tavplat::fopen_text(path, "r", tavplat::kMaxDataFileBytes);
    if (f == nullptr) return tavplat::refused_file(errno) ? TAV_E_FILE_NAME : TAV_E_NO_FILE;
    std::string line;
    const bool any = read_whole_line(f, line);
    std::fclose(f);
    if (!any) {
        if (model != nullptr) *model = 4;  // an empty file
        return TAV_OK;
    }
    if (line.size() > kFirstLineLimit - 1) line.resize(kFirstLineLimit - 1);

    char tok[kFirstLineLimit];
    const char* p = frame::GetCommaField(line.c_str(), tok, sizeof tok);
    if (p == nullptr || std::strcmp(tok, "SERVO") != 0) return TAV_E_FILE_NAME;
    if (k == 3 || k == 4 || k == 5 || k == 8 || k == 9) return TAV_OK;

    p = frame::GetCommaField(p, tok, sizeof tok);
    if (p == nullptr) return TAV_E_FILE_NAME;
    int m;
    if (std::strcmp(tok, "ROR") == 0) m = 1;
    else if (std::strcmp(tok, "LIN") == 0) m = 2;
    else if (std::strcmp(tok, "VEL") == 0) m = 0;
    else if (std::strcmp(tok, "ETC") == 0) m = 3;
    else return TAV_E_FILE_NAME;
    if (model != nullptr) *model = m;
    const char* third = p;

    frame::GetCommaField(p, tok, sizeof tok);
    if (text != nullptr) tavplat::copy_text(text, kFirstLineLimit, tok);

    if (hex != nullptr) {
        // The ninth field of the line (the tenth in a positioning file).
        const int wanted = k == 2 ? 10 : 9;
        const char* q = line.c_str();
        for (int field = 1; field <= wanted; ++field) {
            if (q == nullptr || *q == '\0' || *q == '\n') break;  // fewer fields: hex stays
            q = frame::GetCommaText(q, tok, sizeof tok);
            if (field == wanted) *hex = static_cast<unsigned>(std::strtoul(tok, nullptr, 16));
        }
    }

    // The twentieth field of the line, counted on from the third.
    const char* q = third;
    for (int field = 3; field <= 20 && q != nullptr; ++field) q = frame::GetCommaText(q, tok, sizeof tok);
    if (number != nullptr) *number = parse_int(tok);
    return TAV_OK;
}

short SupLnk_Init(SupportLinkRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    char setPath[TAV_PATH_MAX] = {};
    char listPath[TAV_PATH_MAX] = {};
    short code = comm::full_path(kSettingsPathId, setPath);
    if (code != TAV_OK) return code;
    code = comm::full_path(kListPathId, listPath);
    if (code != TAV_OK) return code;
    tavplat::copy_text(record->szSetFile, setPath);
    tavplat::copy_text(record->szConFile, listPath);
    return TAV_OK;
}

short SupLnk_Open(const char* file, SupportLinkRecord* record) {
    if (record == nullptr) return TAV_E_PARAMETER;
    char setPath[TAV_PATH_MAX] = {};
    char listPath[TAV_PATH_MAX] = {};
    short code = comm::full_path(kSettingsPathId, setPath);
    if (code != TAV_OK) return code;
    code = comm::full_path(kListPathId, listPath);
    if (code != TAV_OK) return code;

    int kind = -1, model = 0, number = 0;
    char text[kFirstLineLimit];
    code = File_Chk(file, &kind, &model, &number, text, nullptr);
    if (code != TAV_OK) return code;
    if (kind == kKindSettings) {
        code = link_copy(file, setPath);
        if (code == TAV_OK) tavplat::copy_text(record->szSetFile, file);
    } else if (kind == kKindList) {
        code = link_copy(file, listPath);
        if (code == TAV_OK) tavplat::copy_text(record->szConFile, file);
    } else {
        code = TAV_E_FILE_NAME;
    }
    return code;
}

short SupLnk_Close(const char* file, int kind, SupportLinkRecord* record) {
    if (record == nullptr || (kind != 0 && kind != 1)) return TAV_E_PARAMETER;
    std::string target;
    if (file != nullptr && file[0] != '\0') {
        // The target may not exist yet: its name alone says what it is.
        if (kind_of(file) - kKindSettings != kind) return TAV_E_FILE_NAME;
        target = file;
    } else {
        const char* stored = kind == 1 ? record->szConFile : record->szSetFile;
        target.assign(stored, strnlen(stored, TAV_PATH_MAX));
    }
    char current[TAV_PATH_MAX] = {};
    short code = comm::full_path(kind == 1 ? kListPathId : kSettingsPathId, current);
    if (code != TAV_OK) return code;
    code = link_copy(current, target.c_str());
    if (code == TAV_OK) tavplat::copy_text(kind == 1 ? record->szConFile : record->szSetFile, target.c_str());
    return code;
}

void w1_test() {
    const comm::WynApi& api = comm::wyn();
    constexpr const char* kCaption = "srvTav_Comm_Lock";
    for (;;) {
        tavplat::MessageBoxA(nullptr, kLockAsk, kCaption, tavplat::MB_OK);
        if (api.srvTav_Comm_Lock() != 0) {
            tavplat::MessageBoxA(nullptr, kLockFailed, kCaption, tavplat::MB_OK);
            continue;
        }
        tavplat::MessageBoxA(nullptr, kLockDone, kCaption, tavplat::MB_OK);
        api.srvTav_Comm_Unlock();
    }
}

}  // namespace tav::line
