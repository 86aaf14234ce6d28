// What the data-set families do alike. Every set carries the same header
// (TAV_SET_HEADER_FIELDS) and the parameter records the same field names, so
// these helpers are templates over the set, record and property types. The
// header helpers serve all four families; the record and file helpers the
// two parameter families. What differs between families (record layouts,
// slot counts, number rules, block sizes, the re-derivation and the
// reconciliation) stays in the unit of each.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "line/line.h"
#include "platform/platform.h"

namespace tav::sets {

// ------------------------------------------------------------------ header
// The identification defaults both definition loads start from. (The
// extended set also defaults byInfo3 to 0xFF; the standard one keeps 0.)
template <class Set>
void apply_header_defaults(Set* set) {
    set->byInfo1 = 0xFF;
    set->byInfo2 = 0xFF;
    set->byInfo9 = 3;
    set->nInfoWord = -1;
    set->byInfo10 = 0xFF;
    set->byInfo12 = 0xFF;
}

// After a whole file or device operation: a call that reported no progress of
// its own counts as one step done, or as failed (-1).
template <class Set>
void finish_progress(Set* set, short code) {
    if (set->nProgressTotal != 0) return;
    if (code == TAV_OK)
        set->nProgressTotal = set->nProgressDone = 1;
    else
        set->nProgressDone = -1;
}

// szReadDate = local short date, " - ", local 24-hour time.
template <class Set>
void stamp_read_date(Set* set) {
    char date[32] = {}, time[32] = {};
    tavplat::local_date(date, sizeof date);
    tavplat::local_time(time, sizeof time);
    tavplat::format_text(set->szReadDate, sizeof set->szReadDate, "%s - %s", date, time);
}

// The identification fields a read from the device takes from the 17-byte
// system-condition record. nFamily is left to the caller: the two sets
// give it different meanings.
template <class Set>
void take_identification(Set* set, const unsigned char* rec) {
    set->nModel = rec[3];
    set->byInfo1 = rec[5];
    set->byInfo2 = rec[7];
    set->byInfo3 = rec[6];
    set->byInfo5 = rec[8];
    set->byInfo8 = rec[14];
    set->nInfoWord = static_cast<int16_t>(static_cast<uint16_t>(rec[11] | (rec[12] << 8)));
    set->byInfo10 = rec[9];
    set->byInfo11 = rec[10];
    set->byInfo12 = rec[11];
    set->byInfo14 = rec[12];
    set->nInterface = rec[13];
}

// The 15-byte identification image a write to an amplifier sends before the
// data: the system-condition record's bytes 3..14 as the set holds them (what
// take_identification took, with nFamily), between zero bytes.
template <class Set>
void identification_image(const Set& set, unsigned char image[15]) {
    const unsigned bytes[12] = {static_cast<unsigned>(set.nModel), static_cast<unsigned>(set.nFamily),
                                set.byInfo1, set.byInfo3, set.byInfo2, set.byInfo5, set.byInfo10, set.byInfo11,
                                set.byInfo12, set.byInfo14, static_cast<unsigned>(set.nInterface), set.byInfo8};
    image[0] = image[13] = image[14] = 0;
    for (int i = 0; i < 12; ++i) image[1 + i] = static_cast<unsigned char>(bytes[i] & 0xFF);
}

// ------------------------------------------------------------------ records
// The copy a Dat_Rd hands out: field by field, so that nParaNo and whatever
// the caller's record holds beyond the shared fields stay untouched.
template <class Record>
void copy_out(const Record& r, Record* out) {
    out->nChgFlag = r.nChgFlag;
    std::memcpy(out->szName, r.szName, sizeof r.szName);
    std::memcpy(out->szDetail, r.szDetail, sizeof r.szDetail);
    std::memcpy(out->szTag, r.szTag, sizeof r.szTag);
    out->wAttr = r.wAttr;
    out->dInitial = r.dInitial;
    out->dMax = r.dMax;
    out->dMin = r.dMin;
    out->dScale = r.dScale;
    std::memcpy(out->szNote, r.szNote, sizeof r.szNote);
    std::memcpy(out->szIdCode, r.szIdCode, sizeof r.szIdCode);
    std::memcpy(out->szItemComment, r.szItemComment, sizeof r.szItemComment);
    out->dValue = r.dValue;
    out->nResult = r.nResult;
    std::memcpy(out->szSubTitle, r.szSubTitle, sizeof r.szSubTitle);
    std::memcpy(out->szValueText, r.szValueText, sizeof r.szValueText);
}

// The sub-title of a present parameter; -6 when its attribute is 0.
template <class Record>
short read_subtitle(const Record& r, char* out) {
    if (r.wAttr == 0) return TAV_E_FIXED_PARAMETER;
    tavplat::copy_text(out, sizeof r.szSubTitle, r.szSubTitle);
    return TAV_OK;
}

// Back to the initial value, marked to be sent; -6 (nothing changed) for an
// absent parameter whose value is not its initial value already.
template <class Record>
short reset_to_initial(Record& r) {
    if (r.wAttr == 0 && r.dValue != r.dInitial) return TAV_E_FIXED_PARAMETER;
    r.dValue = r.dInitial;
    r.nChgFlag = 1;
    r.nResult = 0;
    return TAV_OK;
}

// The codes (numbers shared by both tables) that a search with dir 1 looks
// for from the last parameter down: C1, C2, O1, O2, DD, C0, O0.
constexpr bool searched_backwards(int codeNo) {
    return codeNo == 2 || codeNo == 3 || codeNo == 4 || codeNo == 5 || codeNo == 9 || codeNo == 12 || codeNo == 14;
}

// The number (1-based) of the first of the count parameters whose szIdCode is
// code, searched upwards or from the last one down; -1 when none has it.
template <class Set>
short find_code(const Set* set, int count, const char* code, bool backwards, int* no) {
    for (int k = 0; k < count; ++k) {
        const int i = backwards ? count - 1 - k : k;
        if (std::strncmp(set->para[i].szIdCode, code, sizeof set->para[i].szIdCode) == 0) {
            *no = i + 1;
            return TAV_OK;
        }
    }
    return TAV_E_PARAMETER;
}

// Definition line fields 9 onwards, p standing after field 8: the item
// comment, three texts joined into szDetail, then the tag (a missing tag ends
// the line: the texts after it have no reliable position and stay empty),
// note, identification code, sub-title and as many value texts as the record
// has room for, taken while text remains.
template <class Record>
void read_definition_texts(const char* p, Record& r) {
    auto at_end = [](const char* q) { return q == nullptr || *q == '\0' || *q == '\n'; };
    p = frame::GetTabText(p, r.szItemComment, sizeof r.szItemComment);
    char piece[sizeof r.szDetail];
    r.szDetail[0] = '\0';
    for (int i = 0; i < 3; ++i) {
        p = frame::GetTabText(p, piece, sizeof piece);
        const std::size_t used = std::strlen(r.szDetail);
        tavplat::copy_text(r.szDetail + used, sizeof r.szDetail - used, piece);
    }
    if ((p = frame::GetTabField(p, r.szTag, sizeof r.szTag)) == nullptr) return;
    p = frame::GetTabText(p, r.szNote, sizeof r.szNote);
    p = frame::GetTabText(p, r.szIdCode, sizeof r.szIdCode);
    p = frame::GetTabText(p, r.szSubTitle, sizeof r.szSubTitle);
    for (auto& text : r.szValueText) {
        if (at_end(p)) break;
        p = frame::GetTabText(p, text, sizeof text);
    }
}

// ------------------------------------------------------------------ files
// "VEL", "ROR", "LIN" or "ETC" by control type.
inline const char* model_name(int model) {
    switch (model) {
        case 0: return "VEL";
        case 1: return "ROR";
        case 2: return "LIN";
        default: return "ETC";
    }
}

// Line 1 of a parameter file, line end included: "SERVO", the model name, the
// amplifier number and read date (a single "," without number), then the
// identification fields and the version text. interfaceField is the value of
// the nInterface column as the caller's file carries it.
template <class Set>
std::string identification_line(const Set& set, unsigned interfaceField) {
    char version[16] = {};
    frame::GetVersion(version);
    std::string head = std::string("SERVO,") + model_name(set.nModel) + ", ";
    const std::string ampNo(set.szAmpNo, strnlen(set.szAmpNo, sizeof set.szAmpNo));
    if (!ampNo.empty()) {
        const std::string date(set.szReadDate, strnlen(set.szReadDate, sizeof set.szReadDate));
        head += ampNo + "," + (date.empty() ? " " : date);
    } else {
        head += ",";
    }
    char ident[256];
    tavplat::format_text(ident, sizeof ident,
                         ",%02X,%02X,%02X,%02X,%02X,%02X,%02X,%02X,%04X,%02X,%02X,%02X,%02X,%08X,%08X,%02X,%02X,%s\n",
                         set.byInfo1, set.byInfo2, set.byInfo4, set.byInfo5, set.byInfo6, set.byInfo3, set.byInfo8,
                         set.byInfo9, static_cast<unsigned>(set.nInfoWord) & 0xFFFFu, set.byInfo10, set.byInfo12,
                         set.byInfo13, set.byInfo14, static_cast<unsigned>(set.nInfo15),
                         static_cast<unsigned>(set.nInfo16), interfaceField, set.byInfo11, version);
    return head + ident;
}

// How a file's identification word column is taken back.
enum class InfoWord { kSignExtended16, kAsRead };

// The hexadecimal identification fields of line 1 after the read date, in the
// writer's order; a missing field leaves it and the rest as they are.
template <class Set>
void read_identification_fields(const char* p, Set* set, InfoWord word) {
    char tok[500];
    unsigned long v = 0;
    auto next = [&]() {
        if (p == nullptr || (p = frame::GetCommaField(p, tok, sizeof tok)) == nullptr) return false;
        v = std::strtoul(tok, nullptr, 16);
        return true;
    };
    // The sets are packed: every field is stored by name, never through a pointer.
    auto byte = [&](uint8_t& b) {
        if (!next()) return false;
        b = static_cast<uint8_t>(v);
        return true;
    };
    if (!byte(set->byInfo1) || !byte(set->byInfo2) || !byte(set->byInfo4) || !byte(set->byInfo5) ||
        !byte(set->byInfo6) || !byte(set->byInfo3) || !byte(set->byInfo8) || !byte(set->byInfo9) || !next())
        return;
    set->nInfoWord = word == InfoWord::kSignExtended16 ? int32_t{static_cast<int16_t>(static_cast<uint16_t>(v))}
                                                       : static_cast<int32_t>(static_cast<uint32_t>(v));
    if (!byte(set->byInfo10) || !byte(set->byInfo12) || !byte(set->byInfo13) || !byte(set->byInfo14) || !next())
        return;
    set->nInfo15 = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (!next()) return;
    set->nInfo16 = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (!next()) return;
    set->nInterface = static_cast<int32_t>(static_cast<uint32_t>(v));
    byte(set->byInfo11);
}

// Writes text a line at a time and stops at the first line that fails: a
// write of the whole text into a text stream that has just hit a full disk
// can read past the text in the C library. 0 or -2.
inline short put_lines(FILE* f, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        if (std::fwrite(text.data() + at, 1, end - at, f) != end - at) return TAV_E_DISK_FULL;
        at = end;
    }
    return TAV_OK;
}

// The end of a parameter file: the "ampname=" line when a name for file is
// set, then the comment with its CRs left out. 0 or -2.
template <class Set>
short write_file_tail(FILE* f, const Set& set) {
    const char* name = line::amp_name_for_file();
    if (name[0] != '\0' && std::fprintf(f, "ampname=%s\n", name) < 0) return TAV_E_DISK_FULL;
    std::string comment;
    for (std::size_t i = 0; i < sizeof set.szComment && set.szComment[i] != '\0'; ++i)
        if (set.szComment[i] != '\r') comment += set.szComment[i];
    return put_lines(f, comment);
}

// The parameter lines of a file, then its tail. put_line(f, i, record) writes
// the line of parameter i + 1 and answers fprintf's result; a failed line
// gives -2. Progress counts each line, and a cancel by the host ends the
// writing with -31.
template <class Set, class PutLine>
short write_parameter_lines(FILE* f, Set* set, int count, PutLine put_line) {
    for (int i = 0; i < count; ++i) {
        if (put_line(f, i, set->para[i]) < 0) return TAV_E_DISK_FULL;
        ++set->nProgressDone;
        if (set->nCancel == TAV_E_CANCELLED) return TAV_E_CANCELLED;
    }
    return write_file_tail(f, *set);
}

// A kind change moves a parameter file name between ".k7p" and ".syp" (the
// upper-case forms likewise); other names are left alone.
inline void swap_kind_extension(char* fileName) {
    const std::size_t n = std::strlen(fileName);
    if (n < 4) return;
    char* ext = fileName + n - 4;
    if (std::strcmp(ext, ".k7p") == 0) std::memcpy(ext, ".syp", 4);
    else if (std::strcmp(ext, ".syp") == 0) std::memcpy(ext, ".k7p", 4);
    else if (std::strcmp(ext, ".K7P") == 0) std::memcpy(ext, ".SYP", 4);
    else if (std::strcmp(ext, ".SYP") == 0) std::memcpy(ext, ".K7P", 4);
}

template <class Set>
short change_file_name(Set* set, const char* name) {
    if (name == nullptr || name[0] == '\0') return TAV_E_PARAMETER;
    tavplat::copy_text(set->szFileName, name);
    return TAV_OK;
}

// A new comment; -1 (the old one kept) when it does not fit with its end.
template <class Set>
short write_comment(Set* set, const char* text) {
    if (text == nullptr || strnlen(text, sizeof set->szComment) >= sizeof set->szComment) return TAV_E_PARAMETER;
    tavplat::copy_text(set->szComment, text);
    return TAV_OK;
}

// ------------------------------------------------------------------ properties
// The header fields both property records carry (not byInfo3, which only the
// extended record has, nor nInterface and nInfo17, which stay as the caller
// put them).
template <class Set, class Property>
void copy_properties_out(const Set& set, Property* out) {
    std::memcpy(out->szAmpNo, set.szAmpNo, sizeof out->szAmpNo);
    std::memcpy(out->szReadDate, set.szReadDate, sizeof out->szReadDate);
    std::memcpy(out->szFileName, set.szFileName, sizeof out->szFileName);
    std::memcpy(out->szDefPath, set.szDefPath, sizeof out->szDefPath);
    out->nKind = set.nKind;
    out->nModel = set.nModel;
    out->byInfo1 = set.byInfo1;
    out->byInfo2 = set.byInfo2;
    out->byInfo4 = set.byInfo4;
    out->byInfo5 = set.byInfo5;
    out->byInfo6 = set.byInfo6;
    out->byInfo7 = set.byInfo7;
    out->byInfo8 = set.byInfo8;
    out->byInfo9 = set.byInfo9;
    out->nInfoWord = set.nInfoWord;
    out->byInfo10 = set.byInfo10;
    out->byInfo12 = set.byInfo12;
    out->byInfo13 = set.byInfo13;
    out->byInfo14 = set.byInfo14;
    out->nInfo15 = set.nInfo15;
    out->nInfo16 = set.nInfo16;
    out->nFamily = set.nFamily;
    std::memcpy(out->szComment, set.szComment, sizeof out->szComment);
}

// True when edited properties call for a set made anew from its definition.
template <class Set, class Property>
bool properties_need_new_set(const Set& set, const Property& in) {
    return in.nModel != set.nModel || in.nKind != set.nKind || in.byInfo6 != set.byInfo6 ||
           in.byInfo7 != set.byInfo7 || in.byInfo8 != set.byInfo8;
}

// Applies edited properties to a set (re-created or not): no amplifier
// number or read date, the file name (its extension swapped when the kind
// changed from oldKind), the identification fields and the comment. byInfo3
// is not taken.
template <class Set, class Property>
void take_properties(Set* set, const Property& in, int oldKind) {
    set->szAmpNo[0] = '\0';
    set->szReadDate[0] = '\0';
    tavplat::copy_text(set->szFileName, sizeof set->szFileName, in.szFileName);
    if (in.nKind != oldKind) swap_kind_extension(set->szFileName);
    set->nKind = in.nKind;
    set->nModel = in.nModel;
    set->nFamily = in.nFamily;
    set->byInfo1 = in.byInfo1;
    set->byInfo2 = in.byInfo2;
    set->byInfo4 = in.byInfo4;
    set->byInfo5 = in.byInfo5;
    set->byInfo6 = in.byInfo6;
    set->byInfo7 = in.byInfo7;
    set->byInfo8 = in.byInfo8;
    set->byInfo9 = in.byInfo9;
    set->nInfoWord = in.nInfoWord;
    set->byInfo10 = in.byInfo10;
    set->byInfo12 = in.byInfo12;
    set->byInfo13 = in.byInfo13;
    set->byInfo14 = in.byInfo14;
    set->nInfo15 = in.nInfo15;
    set->nInfo16 = in.nInfo16;
    set->nInterface = in.nInterface;
    set->nInfo17 = in.nInfo17;
    tavplat::copy_text(set->szComment, sizeof set->szComment, in.szComment);
}

// Each of the first count parameters not named unusedName takes its value
// from the kept copy and is checked against its (possibly new) range.
template <class Set>
void restore_values(Set* set, const Set& kept, int count, const std::string& unusedName) {
    for (int i = 0; i < count; ++i) {
        auto& r = set->para[i];
        if (unusedName == r.szName) continue;
        r.dValue = kept.para[i].dValue;
        r.nResult = (r.dValue < r.dMin || r.dValue > r.dMax) ? TAV_E_RANGE : TAV_OK;
    }
}

}  // namespace tav::sets
