// servo.set: the line settings (port, baud rate, retries, time-out, character
// format, edited model and the values kept for the communication component),
// and the serial port set-up made from them.
//
// The file is read in whole lines, so an over-long line never spills into the
// next one, and every writer keeps the lines it does not generate, including
// any beyond the twelfth.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "comm/comm.h"
#include "frame/frame.h"
#include "line/line.h"
#include "platform/platform.h"
#include "text/text.h"

namespace tav::line {

namespace {

constexpr int kSettingsPathId = 0;
constexpr int kModelFilePathId = 20;      // filled from 21 + model
constexpr int kModelFile2PathId = 40;     // filled from 41 + model
constexpr unsigned kHeaderTextId = 10001; // the column header of line 2
constexpr std::size_t kLineCount = 12;
constexpr std::size_t kTokenSize = 500;

// Baud texts by baud index, as the file and the record number them.
constexpr const char* kBaudTexts[] = {"9600", "19200", "38400", "2400", "4800", "57600", "115200"};
constexpr int kBaudCount = sizeof kBaudTexts / sizeof kBaudTexts[0];

using Lines = std::vector<std::string>;

// Reads every line of a settings file; false when it cannot be opened.
bool read_lines(const char* path, const char* mode, Lines& lines) {
    FILE* f = tavplat::fopen_text(path, mode, tavplat::kMaxSettingsFileBytes);
    if (f == nullptr) return false;
    std::string line;
    while (read_whole_line(f, line)) lines.push_back(line);
    std::fclose(f);
    return true;
}

// Line number (1-based) as read, with its line feed; a missing line is empty.
std::string line_as_read(const Lines& lines, std::size_t number) {
    std::string s = number <= lines.size() ? lines[number - 1] : std::string();
    if (s.empty() || s.back() != '\n') s += '\n';  // a last line without LF still ends here
    return s;
}

// The lines after the twelfth, kept as they stand.
std::string tail_as_read(const Lines& lines) {
    std::string s;
    for (std::size_t i = kLineCount; i < lines.size(); ++i) s += line_as_read(lines, i + 1);
    return s;
}

const char* line_text(const Lines& lines, std::size_t number) {
    return number <= lines.size() ? lines[number - 1].c_str() : "";
}

// The column header from the catalogue; without one the file keeps its own.
std::string header_line(const Lines& lines) {
    std::string text = tav::text::Text(kHeaderTextId);
    if (text.empty()) return line_as_read(lines, 2);
    if (text.back() != '\n') text += '\n';
    return text;
}

// First token of a line, or "" when it has none.
std::string first_token(const char* line) {
    char tok[kTokenSize];
    return frame::GetCommaField(line, tok, sizeof tok) != nullptr ? std::string(tok) : std::string();
}

int first_int(const char* line) {
    char tok[kTokenSize];
    return frame::GetCommaField(line, tok, sizeof tok) != nullptr ? parse_int(tok) : 0;
}

// A record text as one line: cut at 149 bytes (the record may lack its
// terminator) and at a line break, which would shift the lines after it.
std::string record_text(const char (&text)[150]) {
    std::size_t n = strnlen(text, sizeof text - 1);
    std::string s(text, n);
    std::size_t cut = s.find_first_of("\r\n");
    if (cut != std::string::npos) s.resize(cut);
    return s;
}

std::string format(const char* fmt, int a) {
    char buf[32];
    tavplat::format_text(buf, sizeof buf, fmt, a);
    return buf;
}

// Replaces the file by content, whole or not at all; -3 when that fails.
short write_file(const char* path, const std::string& content) {
    tavplat::ReplacingFile file;
    if (!file.open(path, "w")) return TAV_E_NO_FILE;
    const bool ok = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    return ok && file.commit() ? TAV_OK : TAV_E_NO_FILE;
}

// Line 3 with its first field (the model name) replaced.
std::string line3_with_model(const Lines& lines, int model) {
    char name[8];
    if (NameFromModelNumber(static_cast<unsigned>(model), name) != TAV_OK)
        tavplat::copy_text(name, "ETC");
    char tok[kTokenSize];
    const char* rest = frame::GetCommaField(line_text(lines, 3), tok, sizeof tok);
    std::string line = std::string(name) + "," + (rest != nullptr ? rest : "");
    if (line.back() != '\n') line += '\n';
    return line;
}

// Reads the settings file for a rewrite: path code, or -3 without a file.
short read_for_rewrite(char* path, Lines& lines) {
    short code = comm::full_path(kSettingsPathId, path);
    if (code != TAV_OK) return code;
    return read_lines(path, "r", lines) ? TAV_OK : TAV_E_NO_FILE;
}

}  // namespace

int parse_int(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

const char* baud_text(int baudIndex) {
    return baudIndex >= 0 && baudIndex < kBaudCount ? kBaudTexts[baudIndex] : "38400";
}

Result Set_Rd(LineSettings* out) {
    if (out == nullptr) return TAV_E_PARAMETER;
    // Model value 3 and the tenth value stay as the caller had them.
    out->nModel = 0;
    out->nPort = 0;
    out->nBaud = 0;
    out->nRetry = 5;
    out->nTimeOut = 2;
    out->nDataBits = 0;
    out->nParity = 0;
    out->nStopBits = 0;
    out->nFlow = 0;
    out->nModelValue1 = 0;
    out->nModelValue2 = 1;
    out->nLine6 = out->nLine7 = out->nLine8 = 0;
    std::memset(out->szText1, 0, sizeof out->szText1);
    std::memset(out->szText2, 0, sizeof out->szText2);
    out->nLine11 = out->nLine12 = 0;

    char path[TAV_PATH_MAX] = {};
    short code = comm::full_path(kSettingsPathId, path);
    if (code != TAV_OK) {
        frame::trace("srvTav_Set_Rd() servo.set", code);
        return code;
    }
    Lines lines;
    if (!read_lines(path, "r+", lines)) {
        frame::trace("srvTav_Set_Rd() servo.set", TAV_E_NO_FILE);
        return TAV_E_NO_FILE;
    }

    // Line 3: model, port, baud, then seven integers; an empty field ends it.
    char tok[kTokenSize];
    const char* p = line_text(lines, 3);
    int32_t* const ints[] = {&out->nRetry,    &out->nTimeOut, &out->nDataBits, &out->nParity,
                             &out->nStopBits, &out->nFlow,    &out->nTenth};
    for (int field = 0; field < 10; ++field) {
        p = frame::GetCommaField(p, tok, sizeof tok);
        if (p == nullptr) break;
        if (field == 0) {
            short model = ModelNumberFromName(tok);
            out->nModel = model < 0 ? 0 : model;
        } else if (field == 1) {
            // Only the one digit after "COM" counts: COM10 reads as COM1.
            if (std::strncmp(tok, "COM", 3) == 0 && tok[3] >= '1' && tok[3] <= '9') out->nPort = tok[3] - '1';
        } else if (field == 2) {
            for (int i = 0; i < kBaudCount; ++i)
                if (std::strcmp(tok, kBaudTexts[i]) == 0) out->nBaud = i;
        } else {
            *ints[field - 3] = parse_int(tok);
        }
    }

    p = line_text(lines, 5);
    int32_t* const values[] = {&out->nModelValue1, &out->nModelValue2, &out->nModelValue3};
    for (int32_t* v : values) {
        p = frame::GetCommaField(p, tok, sizeof tok);
        if (p == nullptr) break;
        *v = parse_int(tok);
    }
    out->nLine6 = first_int(line_text(lines, 6));
    out->nLine7 = first_int(line_text(lines, 7));
    out->nLine8 = first_int(line_text(lines, 8));
    frame::GetCommaText(line_text(lines, 9), out->szText1, sizeof out->szText1);
    frame::GetCommaText(line_text(lines, 10), out->szText2, sizeof out->szText2);
    out->nLine11 = first_int(line_text(lines, 11));
    out->nLine12 = first_int(line_text(lines, 12));
    frame::trace("srvTav_Set_Rd() servo.set", TAV_OK);
    return TAV_OK;
}

short SetWyn_Wt(const LineSettings* in) {
    if (in == nullptr) return TAV_E_PARAMETER;
    // The character format stays as the file has it: this dialog does not edit it.
    LineSettings current{};
    (void)Set_Rd(&current);  // without servo.set the defaults stand

    char path[TAV_PATH_MAX] = {};
    Lines lines;
    short code = read_for_rewrite(path, lines);
    if (code != TAV_OK) return code;

    // The model is set by SetKisyu_Wt; here line 3 keeps the file's.
    std::string line3 = first_token(line_text(lines, 3));
    line3 += ", COM";
    line3 += std::to_string(in->nPort >= 0 && in->nPort <= 8 ? in->nPort + 1 : 1);
    line3 += ",";
    line3 += baud_text(in->nBaud);
    char rest[128];
    tavplat::format_text(rest, sizeof rest, ",%d,%d,%d,%d,%d,%d,%d\n", in->nRetry, in->nTimeOut,
                         current.nDataBits, current.nParity, current.nStopBits, current.nFlow, in->nTenth);
    line3 += rest;

    std::string content = line_as_read(lines, 1) + header_line(lines) + line3 + line_as_read(lines, 4) +
                          line_as_read(lines, 5) + format("%d\n", in->nLine6) + format("%d\n", in->nLine7) +
                          format("%d\n", in->nLine8) + record_text(in->szText1) + "\n" +
                          record_text(in->szText2) + "\n" + format("%d\n", in->nLine11) +
                          format("%d\n", in->nLine12) + tail_as_read(lines);
    code = write_file(path, content);
    frame::trace("srvTav_SetWyn_Wt() servo.set", code);
    return code;
}

short SetKisyu_Wt(int model) {
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    short code = read_for_rewrite(path, lines);
    if (code != TAV_OK) return code;
    std::string content = "SERVO\n" + header_line(lines) + line3_with_model(lines, model);
    for (std::size_t n = 4; n <= kLineCount; ++n) content += line_as_read(lines, n);
    content += tail_as_read(lines);
    code = write_file(path, content);
    frame::trace("srvTav_SetKisyu_Wt() servo.set", code);
    return code;
}

short SetKisyu_Wt2(int model, int value1, int value2, int value3) {
    char path[TAV_PATH_MAX] = {};
    Lines lines;
    short code = read_for_rewrite(path, lines);
    if (code != TAV_OK) return code;
    char line5[64];
    tavplat::format_text(line5, sizeof line5, "%d,%d,%d\n", value1, value2, value3);
    std::string content = line_as_read(lines, 1) + line_as_read(lines, 2) + line3_with_model(lines, model) +
                          line_as_read(lines, 4) + line5;
    for (std::size_t n = 6; n <= kLineCount; ++n) content += line_as_read(lines, n);
    content += tail_as_read(lines);
    code = write_file(path, content);
    frame::trace("srvTav_SetKisyu_Wt2() servo.set", code);
    return code;
}

short Set_Copy(const char* source) {
    char setPath[TAV_PATH_MAX] = {};
    short code = comm::full_path(kSettingsPathId, setPath);
    if (code != TAV_OK) return code;
    if (source != nullptr && source[0] != '\0') {
        code = File_Copy(source, setPath);
        if (code != TAV_OK) return code;
    }
    LineSettings settings{};
    (void)Set_Rd(&settings);  // without servo.set the defaults stand
    const int model = settings.nModel;  // 0..5: Set_Rd knows no other
    char from[TAV_PATH_MAX] = {};
    char to[TAV_PATH_MAX] = {};
    // The first model file is a convenience copy; only the second one counts.
    if (comm::full_path(kModelFilePathId + 1 + model, from) == TAV_OK &&
        comm::full_path(kModelFilePathId, to) == TAV_OK)
        File_Copy(from, to);
    code = comm::full_path(kModelFile2PathId + 1 + model, from);
    if (code != TAV_OK) return code;
    code = comm::full_path(kModelFile2PathId, to);
    if (code != TAV_OK) return code;
    return File_Copy(from, to);
}

short Port_Set(void* port) {
    LineSettings settings{};
    short code = Set_Rd(&settings);
    if (code != TAV_OK) return code;

    const bool ownPort = port == nullptr;
    tavplat::FileHandle h;
    if (ownPort) {
        int number = settings.nPort >= 0 && settings.nPort <= 8 ? settings.nPort + 1 : 2;
        std::string device = tavplat::resolve_com_port(number);
        h = tavplat::serial_open(device.c_str());
        if (h == tavplat::kInvalidFile) return 1;
    } else {
        // The host hands in the descriptor of a port it opened; it stays open.
        h = static_cast<tavplat::FileHandle>(reinterpret_cast<intptr_t>(port));
    }
    // The driver queues (128 bytes each way) need no setting on this system.
    tavplat::SerialSettings s{};
    s.baud = std::atoi(baud_text(settings.nBaud));
    s.byteSize = settings.nDataBits;
    s.parity = settings.nParity;
    s.stopBits = settings.nStopBits;
    s.xonXoff = (settings.nFlow & 1) != 0;
    s.readTimeoutMs = settings.nTimeOut;
    s.interByteMs = 10;
    bool ok = tavplat::serial_configure(h, s);
    if (ownPort) tavplat::serial_close(h);
    return ok ? TAV_OK : 1;
}

}  // namespace tav::line
