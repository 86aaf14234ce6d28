// Sets as tables a program can read: UTF-8, one row per parameter or point,
// as JSON or CSV, and such a table read back into a set through the range
// checks of the host core. (The library's own CSV exports are report pages
// in code page 932; these are not those.)
//
// Parameter rows: number, code, name, value, unit, minimum, maximum, initial,
// changed. Point rows: number, the point's fields (value_columns), changed.
// JSON: {"set": "extended", "page": 0, "columns": [...], "rows": [{...}]},
// values as numbers; CSV: a header line of the column names, then one line
// per row, values as the set shows them (RFC 4180 quoting).
#pragma once

#include <string>

#include "host/core/data_sets.h"
#include "host/core/outcome.h"

namespace tavhost::core {

enum class TableFormat { Json, Csv };

std::string table_text(DataSet& set, TableFormat format);

// The values of `text` into `set` (loaded from its file first): every row's
// number must be an item of the set and its values pass the checked edits.
// On a refusal `line` is the table line (CSV) or row (JSON, from 1) at fault
// and the set keeps the rows before it.
Outcome import_table(const std::string& text, TableFormat format, DataSet& set, int& line);

}  // namespace tavhost::core
