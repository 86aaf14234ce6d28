// The four kinds of data set behind one plain interface, for the whole-line
// commands (backup, restore, diff, export, import): a set of any kind is
// loaded and saved with the library's own readers and writers, moved to and
// from its device with the library's transfers, and seen as a list of items,
// one per parameter or point, each with its values as numbers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Tav_acs.h"
#include "host/core/outcome.h"

namespace tavhost::core {

enum class SetKind { Standard, Extended, Positioning, Vv };

// "standard", "extended", "positioning", "vv": the manifest's and the tables' word.
const char* kind_word(SetKind kind);
bool kind_from_word(const std::string& word, SetKind& kind);

// One set of any kind on the heap (an extended set is 1.7 MB); only the
// member of its kind is allocated.
struct DataSet {
    SetKind kind = SetKind::Standard;
    int page = 0;  // parameter sets: 0 parameters, 1 system, 2 hidden
    std::unique_ptr<ParaSet> standard;
    std::unique_ptr<NewParaSet> extended;
    std::unique_ptr<ItiDatSet> positioning;
    std::unique_ptr<ItiVvDatSet> vv;

    void* cancel();  // the set's cancel field, for run_transfer
    std::string amp_no() const;
    std::string read_date() const;  // code page 932, as the set holds it
};

DataSet make_set(SetKind kind, int page);

// The standard page a file name's extension stands for: .syp 1, .hsp 2, else 0.
int page_of_file(const std::string& path);

// The highest parameter number of a parameter file (0 when none): an extended
// set holds 297, a standard page 40.
int last_parameter_number(const std::string& path);

// The kind of a set file from its extension (.k7l, .k7v, .m7v; .k7p, .m7p,
// .syp, .hsp) and, for parameter files, its parameter count: a file with
// numbers above 99 holds extended parameters. False for anything else.
bool kind_of_file(const std::string& path, SetKind& kind, int& page);

// Library readers and writers; the result code of the library.
int load_set(const std::string& path, DataSet& out);
int save_set(DataSet& set, const std::string& path);

// Transfers with the device. `amp` is the station text the library takes
// ("0" for the servo operator when the station list is not in use, else the
// entry). The positioning and VV transfers work on the selected entry: the
// caller selects it (SelectionGuard) around the call. A write sends only the
// items marked changed.
int read_from_device(DataSet& set, const std::string& amp);
int write_changed(DataSet& set, const std::string& amp);

// One parameter or point. Parameters carry one value; a positioning point
// carries command method, step mode, stop position, speed, stop timer, M code,
// M code valid, M code timing, and a VV point acceleration and deceleration
// after the speed.
struct Item {
    int no = 0;
    std::string code;  // parameter identification code, UTF-8 ("" for a point)
    std::string name;  // UTF-8
    std::string unit;  // UTF-8
    std::vector<double> values;
    double min = 0, max = 0, initial = 0;  // parameters only
    unsigned attr = 0;                      // parameters only
    bool changed = false;
    int result = 0;  // the result the last transfer left on the item
};

std::vector<Item> items_of(DataSet& set);

// The column names of an item's values ("value", or the point fields).
std::vector<std::string> value_columns(SetKind kind);

// A value as the set shows it: the parameter's decimal places (hexadecimal
// with "H" when its attribute says so), the point field's places.
std::string value_text(const DataSet& set, const Item& item, std::size_t column);
// The reverse of value_text (hexadecimal "...H" too); false when it is no number.
bool parse_value(const std::string& text, double& value);

bool same_values(const Item& a, const Item& b);

// The item's values into the set through the checked edits of the host core;
// the refusal names the item and leaves the set as it was.
Outcome change_item(DataSet& set, const Item& item);

// One parameter or point that differs between two sets A and B.
struct Difference {
    int no = 0;
    std::string name, unit;
    std::string a, b;  // the values as each set shows them (point fields joined by blanks)
};

// The items of `a` and `b` (same kind) that differ, by number; an item
// missing from one side counts as a difference with "" there.
std::vector<Difference> differences(DataSet& a, DataSet& b);

}  // namespace tavhost::core
