// Positioning data: the 99-point table of an L-type amplifier. Editing in
// memory, the ".k7l" file, the transfer with the amplifier and the listing.
// The helpers below the entry points are shared with the VV table, which
// differs only in its point layout.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "Tav_acs.h"
#include "frame/frame.h"
#include "frame/result.h"
#include "platform/platform.h"
#include "sets/block_transfer.h"

namespace tav::iti {

constexpr int kMaxPoints = 99;
constexpr int kFileLineLimit = 500;  // line limit of the positioning files
constexpr std::size_t kCommentMax = 2047;  // characters a comment may hold
constexpr std::size_t kCtlInfoSize = 2200;  // room of a description line

// The set's own count, kept within its table so that a damaged count never
// walks past the points.
template <class Set>
int point_count(const Set* set) {
    constexpr int kTable = static_cast<int>(sizeof set->point / sizeof set->point[0]);
    if (set->nPointCount < 0) return 0;
    return set->nPointCount > kTable ? kTable : set->nPointCount;
}

// ---------------------------------------------------------------- editing
Result Dat_Chg(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed, double stopTimer,
              int mCode, int mValid, int mTiming);
Result Dat_Insert(ItiDatSet* set, int no, int cmdMode, int stepMode, double stopPos, double speed,
                 double stopTimer, int mCode, int mValid, int mTiming);
// A point number of the set (1..count); a bad one goes to the trace.
template <class Set>
bool valid_point_no(const Set* set, int no);
// The data values of a point: everything but its number, flag and status.
template <class Point>
void copy_values(Point& to, const Point& from);
// Dat_Insert's gap at point no: the values from there move one point back
// (number and status stay with their slot, an unchanged point is marked 2).
template <class Set>
void open_gap(Set* set, int no);
// These seven work on the header and the points every table shares; the VV
// table's functions of the same names are these, for its set.
template <class Set>
Result Dat_Init(Set* set, int no);
template <class Set, class Point>
short Dat_Rd(Set* set, int no, Point* out);
template <class Set>
Result Att_Chg(Set* set, unsigned short dp);
template <class Set>
Result Att_Chg2(Set* set, unsigned short code);
template <class Set>
Result FileName_Chg(Set* set, const char* name);
template <class Set>
short FileCmt_Rd(Set* set, char* out);
template <class Set>
Result FileCmt_Wt(Set* set, const char* text);
short Title_Rd(ItiDatSet* set, char* drive, char* dir, char* baseName, char* out4, char* out5, char* title);

// ---------------------------------------------------------------- file
Result DatFil_Rd(const char* fileName, ItiDatSet* set);
Result DatFil_Wt(const char* fileName, ItiDatSet* set);
Result DatFil_Create(int model, ItiDatSet* set);

// ---------------------------------------------------------------- transfer
short ComRd(const char* fileName, const char* ampText, ItiDatSet* set);
short ComWt(const char* fileName, const char* ampText, int writeAll, ItiDatSet* set);
short AmpRd(const char* ampText, ItiDatSet* set);
short AmpWt(const char* ampText, int writeAll, ItiDatSet* set);
short Att_AmpRd(const char* ampText, unsigned short* stopPosDp, unsigned short* stopTimeDp);
short NoDat_Rd(int station, int no, ItiNoDatInfo* out);

// The look-up of the parameter numbers of the two decimal-point settings;
// by default the extended parameters' (newpara::decimal_point_params).
// Replaceable so that tests of the transfer need no definition files.
using DecimalParamFinder = short (*)(int* stopPosParam, int* stopTimeParam, unsigned* family);
void set_decimal_param_finder(DecimalParamFinder finder);  // null restores the default

// ------------------------------------- point transfers of both tables
// The positioning table and the VV table move their points the same way: in
// blocks of at most two, with the line session, the decimal-point look-up,
// the status checks, the single-point retries and the final bookkeeping
// below. What differs between them is told by PointLine and by the point
// packer and decoder each passes in.

constexpr int kPointsPerBlock = 2;   // the line carries at most two points per exchange
constexpr int kBlockReplySize = 100;

// A point number as the one BCD byte the exchanges take.
unsigned point_bcd(int no);

// The parameter numbers of the two decimal-point settings, looked up before
// the line is opened.
struct DecimalParams {
    int stopPos = 0, stopTime = 0;
    unsigned family = 0;
};
// Through finder, or newpara::decimal_point_params when finder is null.
short lookup_decimal_params(DecimalParamFinder finder, DecimalParams* dp);
// Reads both settings with Wyn_Para_Rd2; values out of their range count as 0.
short read_decimal_settings(int station, const DecimalParams& dp, unsigned* stopPos, unsigned* stopTime);

// Which exchanges carry a table's points, and what goes with them.
enum class PlaceDat { Rd2Wt2, Rd3Wt3 };
struct PointLine {
    PlaceDat exchange;           // Wyn_PlaceDat_Rd2/Wt2 or Wyn_PlaceDat_Rd3/Wt3
    int imageSize;               // bytes of one point on the line
    bool progress;               // a progress percentage before each block
    bool traceDump;              // the block dump with the trace marker (and of a failed read)
    const char* sizeErrorTrace;  // trace line of a data size error of the write, or null
};

// Packs point index of the set into its line image; a failed conversion is
// noted in the point's status and packing goes on.
template <class Set>
using PackPoint = void (*)(Set* set, int index, unsigned char* image);
// Decodes the line image of point index (number index + 1) into the set.
template <class Set>
using DecodePoint = void (*)(Set* set, int index, const unsigned char* image);

// The point read: every point of the set from amplifier ampText (looked up in
// the station list), then the read date and the amplifier number.
template <class Set>
Result read_point_blocks(const char* ampText, Set* set, const PointLine& line, DecodePoint<Set> decode);
// The point write to the current target station: all points, or the changed
// ones; a block that fails its status check is sent again point by point.
template <class Set>
Result write_point_blocks(int writeAll, Set* set, const PointLine& line, PackPoint<Set> pack);

// The sixteen bytes every point image starts with: status, stop position,
// speed, stop timer and M code.
template <class Set, class Point>
void pack_point_values(const Set* set, Point& p, unsigned char* image);
// Decodes those sixteen bytes into point number no; false for a point whose
// memory the amplifier reports faulty (then given the safe defaults).
template <class Set, class Point>
bool decode_point_values(const Set* set, const unsigned char* image, int no, Point& p);

// The ranges the amplifier accepts for the values every point carries.
template <class Set, class Point>
bool point_in_range(const Set* set, const Point& p);

// The header of a set read from the amplifier, from its system-condition
// record and the two decimal-point settings.
template <class Set>
void header_from_record(Set* set, const unsigned char* rec, const char* ampNo, unsigned stopPos, unsigned stopTime,
                        int pointCount, int columnCount);

// Before a set is sent: progress and every point's status cleared, the
// diagnostic switches refreshed.
template <class Set>
void begin_send(Set* set);
// The points to be sent are all in range (else -15, that point's status -15)
// and there is something to send (else -69); the final bookkeeping is done
// on either failure.
template <class Set>
short check_points_to_send(Set* set, int writeAll, bool (*inRange)(const Set* set, int index));

// ---------------------------------------------------------------- listing
short Print_mak(ItiDatSet* set, ItiDatPrintData* out);
short Ctl_Inf_Rd(ItiDatSet* set, int index, int* lineCount, char* out);
Result CsvType_Wt(const char* fileName, ItiDatSet* set);

// Shared by the listings of both tables.
// The label of a small code: catalogue text base + value, "" for a code
// without one (value outside 0..count-1).
std::string code_label(long base, long value, long count);
// A point line of a print record: fmt (a catalogue text) when it converts
// exactly the argument kinds given ('d' integer, 's' text), else fallback.
void format_point_line(char* dst, std::size_t size, const std::string& fmt, const char* fallback, const char* kinds,
                       ...);
// The CSV export of a table: makeCsv fills the print record in CSV form;
// then the description lines 1, 3, 4, 5, 8, 12 and 9 (from describe), the
// comment line, the column titles and the point lines go to fileName. A
// record that cannot be made leaves no file behind.
template <class Set, class PrintData>
Result write_csv(const char* fileName, Set* set, short (*makeCsv)(Set* set, PrintData* out),
                std::string (*describe)(Set* set, int index));

// ------------------------------------------------------ shared helpers
// A value as the files and listings show it: Double_to_Char with digits and
// places (zero-padded, or blank-padded while the print-form flag is set);
// when that conversion fails, fallback (a printf format such as "%6.2f").
// Returns the conversion's code.
short format_value(double value, int places, int digits, const char* fallback, char* out, std::size_t size);

// Keeps the digit string of value (digits wide) and moves its decimal point
// from oldPlaces to newPlaces: 123.45 with 2 -> 3 becomes 12.345.
double move_decimal(double value, int digits, int oldPlaces, int newPlaces);

// A packed BCD field of the line read with the decimal places forced to
// places (the amplifier's own nibble is ignored); 0.0 and the code on failure.
short read_bcd(const unsigned char* field, int digits, int places, double* out);
// value as a packed BCD field of digits digits and places decimal places,
// written to the 1 + digits / 2 bytes at field; returns the conversion's code.
short write_bcd(double value, int digits, int places, unsigned char* field);

// Progress of a block transfer before the block that ends at point k of n:
// 100 for the last block, else the bar runs from (396 - n) / 396 upwards.
unsigned block_progress(int n, int k);

// The blocks of a point transfer: sets::BlockWalker over the points 1..n.
using sets::BlockWalker;

// Field parsing of the text files.
int parse_dec(const char* text);           // decimal integer, saturating, 0 without digits
unsigned long parse_hex(const char* text); // hexadecimal, 0 without digits
double parse_real(const char* text);       // decimal number; 0.0 for text that is not a finite number

// Reads the comma fields of a point line (GetCommaField) into up to maxFields
// texts of fieldSize bytes, stopping at the first empty field or the line's
// end; returns the number of fields read.
int read_point_fields(const char* line, char (*fields)[64], int maxFields);

// The base name of a path (after the last '\', '/' or ':', cut at its first
// '.') and the drive ("C:") and folder parts, as the title shows them.
void split_path(const char* path, std::string* drive, std::string* dir, std::string* base);
// The part of a path after its last '\', '/' or ':'.
std::string file_part(const char* path);

// Appends text to a comment area of size bytes, every LF as CR LF, stopping
// at kCommentMax characters (a CR LF pair is never split).
class CommentBuilder {
public:
    CommentBuilder(char* area, std::size_t size);
    // false once the comment is full.
    bool add(char c);
    void add(const char* text);

private:
    char* area_;
    std::size_t size_, len_ = 0;
    bool full_ = false;
};

// Reads one line of at most limit-1 bytes as fgets does.
bool read_line(FILE* f, char* buf, int limit);

// "ﾌｧｲﾙ名=[%s]" to the trace output.
void trace_file_name(const char* path);

// True when the name ends with ext (".k7l", ".csv"), without regard to case.
bool has_extension(const char* name, const char* ext);

// The control-type word of a file's first line.
const char* model_word(int model);

// Clears a set for a file read, keeping the host's progress and cancel fields.
template <class Set>
void clear_for_read(Set* set) {
    const int total = set->nProgressTotal, done = set->nProgressDone, cancel = set->nCancel;
    *set = Set{};
    set->nProgressTotal = total;
    set->nProgressDone = done;
    set->nCancel = cancel;
}

// ------------------------------------------------ files of both tables
// A VV point carries an acceleration and a deceleration time after its speed;
// the point lines of its files and listings have those two values more.
template <class Point>
constexpr bool kHasTimes = requires(const Point& p) {
    p.dAccelTime;
    p.dDecelTime;
};

// A file closed on every way out.
class File {
public:
    explicit File(FILE* f) : f_(f) {}
    ~File() {
        if (f_ != nullptr) std::fclose(f_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* get() const { return f_; }
    // Closes now; false when buffered output could not be written.
    bool close() {
        const bool ok = f_ == nullptr || std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

private:
    FILE* f_;
};

// Reads one point line into p: up to 10 values (12 for a VV point), stopping
// at the first empty field; the values after it keep what p held.
template <class Point>
void read_point_line(const char* line, Point& p);

// The rest of a data file after its point lines: the amplifier-name line and
// the comment, appended to the comment area.
void read_file_tail(FILE* f, char* commentArea, std::size_t commentSize);

// What the two tables' data files differ in; the reading is the same.
struct DataFileLayout {
    // The kind the file-kind check gave a named file (an empty one is refused
    // before): 0 and the control type and family it means, or -5.
    short (*classify)(int kind, int model, unsigned* controlType, unsigned* family);
    int templatePathId;             // the template's path id, + model for models 2 and 4
    unsigned templateControlType;   // a template makes an L-type (2) or a V-type (0) table
    int pointCount, columnCount;
    bool titleLineAlways;           // no version tag goes without the column-title line
    bool familyFromUnreadSettings;  // a failed settings read still gives its tenth value
};

// Reads the set from the data file fileName, or from the template of the
// model when fileName is null or empty: createModel while a Create runs
// (else -1, and the line settings tell the model).
template <class Set>
Result read_data_file(const char* fileName, int createModel, Set* set, const DataFileLayout& layout);
// Create: a new set from the template of model (a negative model counts as 0).
template <class Set>
Result create_from_template(int model, Set* set, const DataFileLayout& layout);

// Writes the data file target for the set: identification line, the column
// titles (text columnTitleText), the point lines, the amplifier-name line and
// the comment. The result is that of the last point's stop timer, -2 for a
// failed write, -24 when the file cannot be made, -31 when cancelled; on
// success every point's change flag is cleared.
template <class Set>
Result write_data_file(const char* target, Set* set, int columnTitleText);

// ------------------------------------------- identification line of a file
// The first line of a positioning file, from the header every positioning
// table shares; tag is the writer's version string.
template <class Set>
std::string ident_line(const Set& s, const char* tag) {
    char buf[kFileLineLimit];
    std::string line = "SERVO,";
    line += model_word(s.nModel);
    line += ", ";
    if (s.szAmpNo[0] != '\0') {
        char amp[sizeof s.szAmpNo + 1], date[sizeof s.szReadDate + 1];
        tavplat::copy_text(amp, s.szAmpNo);
        tavplat::copy_text(date, s.szReadDate);
        line += amp;
        line += ',';
        line += date[0] != '\0' ? date : " ";
        line += ',';
    } else {
        line += " , ,";
    }
    tavplat::format_text(buf, sizeof buf, "%d,%d,", s.wStopPosDp, s.wStopTimeDp);
    line += buf;
    tavplat::format_text(buf, sizeof buf,
                         "%02X,%02X,%02X,%02X,%02X,%02X,%02X,%02X,%04X,%02X,%02X,%02X,%02X,%08X,%08X,%02X,%02X,%s",
                         s.byInfo1, s.byInfo2, s.byInfo4, s.byInfo5, s.byInfo6, s.byInfo3, s.byInfo8, s.byInfo9,
                         static_cast<unsigned>(s.nInfoWord) & 0xFFFFu, s.byInfo10, s.byInfo12, s.byInfo13,
                         s.byInfo14, static_cast<unsigned>(s.nInfo15), static_cast<unsigned>(s.nInfo16),
                         static_cast<unsigned>(s.nInterface), s.byInfo11, tag);
    line += buf;
    line += '\n';
    return line;
}

// Reads the first line of a positioning file into the header; tag receives
// the version tag (tagSize bytes). A line that ends early gives 0 to every
// value after its end and an empty tag.
template <class Set>
void read_ident_line(const char* line, Set* s, char* tag, std::size_t tagSize) {
    char f[kFileLineLimit];
    const char* p = frame::GetCommaField(line, f, sizeof f);
    p = frame::GetCommaField(p, f, sizeof f);
    p = frame::GetCommaFieldAllowEmpty(p, f, sizeof f);
    tavplat::copy_text(s->szAmpNo, f);
    p = frame::GetCommaText(p, f, sizeof f);
    tavplat::copy_text(s->szReadDate, f);
    auto next = [&]() -> const char* {
        p = frame::GetCommaFieldAllowEmpty(p, f, sizeof f);
        return f;
    };
    s->wStopPosDp = static_cast<uint16_t>(parse_dec(next()));
    s->wStopTimeDp = static_cast<uint16_t>(parse_dec(next()));
    auto hex8 = [&]() { return static_cast<uint8_t>(parse_hex(next())); };
    s->byInfo1 = hex8();
    s->byInfo2 = hex8();
    s->byInfo4 = hex8();
    s->byInfo5 = hex8();
    s->byInfo6 = hex8();
    s->byInfo3 = hex8();
    s->byInfo8 = hex8();
    s->byInfo9 = hex8();
    s->nInfoWord = hex8();  // only the low byte survives, as it always did
    s->byInfo10 = hex8();
    s->byInfo12 = hex8();
    s->byInfo13 = hex8();
    s->byInfo14 = hex8();
    s->nInfo15 = hex8();
    s->nInfo16 = hex8();
    s->nInterface = static_cast<uint32_t>(parse_hex(next()));
    s->byInfo11 = hex8();
    if (s->byInfo12 == 0xFF) s->byInfo11 = 0xFF;
    next();
    tavplat::copy_text(tag, tagSize, f);
}

// The first line of a template: comma-cut fields, the fifth to the tenth in
// hexadecimal.
template <class Set>
void read_template_line(const char* line, Set* s) {
    unsigned long v[10] = {};
    int field = 0;
    const char* start = line;
    for (const char* q = line; field < 10; ++q) {
        if (*q == ',' || *q == '\0' || *q == '\n') {
            std::string text(start, static_cast<std::size_t>(q - start));
            v[field++] = parse_hex(text.c_str());
            if (*q != ',') break;
            start = q + 1;
        }
    }
    s->wStopPosDp = static_cast<uint16_t>(v[4]);
    s->wStopTimeDp = static_cast<uint16_t>(v[5]);
    s->byInfo10 = static_cast<uint8_t>(v[6]);
    s->byInfo1 = static_cast<uint8_t>(v[7]);
    s->byInfo6 = static_cast<uint8_t>(v[8]);
    s->byInfo7 = static_cast<uint8_t>(v[9]);
}

// The identification defaults of a set made from a file or a template.
template <class Set>
void set_ident_defaults(Set* s) {
    s->byInfo1 = s->byInfo2 = s->byInfo3 = 0xFF;
    s->byInfo4 = s->byInfo5 = 0;
    s->byInfo7 = s->byInfo8 = 0;
    s->byInfo9 = 3;
    s->nInfoWord = -1;
    s->byInfo10 = 0xFF;
    s->byInfo11 = 0;
    s->byInfo12 = 0xFF;
    s->byInfo13 = s->byInfo14 = 0;
    s->nInfo15 = s->nInfo16 = s->nInterface = s->nInfo17 = 0;
    s->wStopPosDp = s->wStopTimeDp = 0;
}

}  // namespace tav::iti
