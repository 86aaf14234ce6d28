#include "host/core/table_export.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/core/numbers.h"
#include "host/core/texts.h"

namespace tavhost::core {

namespace {

using Json = nlohmann::ordered_json;

bool is_parameter_set(SetKind kind) { return kind == SetKind::Standard || kind == SetKind::Extended; }

std::vector<std::string> columns_of(SetKind kind) {
    if (is_parameter_set(kind)) return {"number", "code", "name", "value", "unit", "minimum", "maximum", "initial", "changed"};
    std::vector<std::string> c{"number"};
    for (const std::string& v : value_columns(kind)) c.push_back(v);
    c.push_back("changed");
    return c;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// One CSV record of `in` (quoted fields may hold commas, quotes and line ends).
bool csv_record(std::istream& in, std::vector<std::string>& fields, int& line) {
    fields.clear();
    std::string field;
    bool quoted = false, any = false;
    char c;
    while (in.get(c)) {
        any = true;
        if (quoted) {
            if (c == '"') {
                if (in.peek() == '"') field += static_cast<char>(in.get());
                else quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else if (c == '\n') {
            ++line;
            break;
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!any) return false;
    fields.push_back(field);
    return true;
}

Json number_or_null(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

std::string row_text(const DataSet& set, const Item& it, const std::string& column) {
    if (column == "number") return std::to_string(it.no);
    if (column == "code") return it.code;
    if (column == "name") return it.name;
    if (column == "unit") return it.unit;
    if (column == "minimum") return real_text(it.min);
    if (column == "maximum") return real_text(it.max);
    if (column == "initial") return real_text(it.initial);
    if (column == "changed") return it.changed ? "1" : "0";
    const std::vector<std::string> vc = value_columns(set.kind);
    for (std::size_t i = 0; i < vc.size(); ++i)
        if (vc[i] == column) return value_text(set, it, i);
    return "";
}

// The item of `set` numbered `no` with the values a table row gives.
Outcome apply_row(DataSet& set, const std::vector<Item>& items, int no, const std::vector<double>& values) {
    for (const Item& it : items) {
        if (it.no != no) continue;
        Item wanted = it;
        wanted.values = values;
        if (same_values(wanted, it)) return success();
        return change_item(set, wanted);
    }
    return failure(TAV_E_PARAMETER, Msg::ParameterAbsent, {std::to_string(no)});
}

Outcome bad_table(int code) { return failure(code, Msg::None); }

}  // namespace

std::string table_text(DataSet& set, TableFormat format) {
    const std::vector<std::string> columns = columns_of(set.kind);
    const std::vector<std::string> vc = value_columns(set.kind);
    const std::vector<Item> items = items_of(set);
    if (format == TableFormat::Csv) {
        std::string out;
        for (std::size_t i = 0; i < columns.size(); ++i) out += (i ? "," : "") + columns[i];
        out += "\r\n";
        for (const Item& it : items) {
            for (std::size_t i = 0; i < columns.size(); ++i) out += (i ? "," : "") + csv_field(row_text(set, it, columns[i]));
            out += "\r\n";
        }
        return out;
    }
    Json rows = Json::array();
    for (const Item& it : items) {
        Json r = Json::object();
        r["number"] = it.no;
        if (is_parameter_set(set.kind)) {
            r["code"] = it.code;
            r["name"] = it.name;
            r["value"] = number_or_null(it.values.at(0));
            r["unit"] = it.unit;
            r["minimum"] = number_or_null(it.min);
            r["maximum"] = number_or_null(it.max);
            r["initial"] = number_or_null(it.initial);
        } else {
            for (std::size_t i = 0; i < vc.size() && i < it.values.size(); ++i) {
                // Modes and M code fields are whole numbers; positions, speeds and times are not.
                const bool whole = vc[i] == "cmd_mode" || vc[i] == "step_mode" || vc[i].rfind("m_", 0) == 0;
                r[vc[i]] = whole ? Json(static_cast<long>(it.values[i])) : number_or_null(it.values[i]);
            }
        }
        r["changed"] = it.changed;
        rows.push_back(r);
    }
    Json doc = {{"set", kind_word(set.kind)}, {"page", set.page}, {"columns", columns}, {"rows", rows}};
    return doc.dump(1) + "\n";
}

Outcome import_table(const std::string& text, TableFormat format, DataSet& set, int& line) {
    line = 0;
    const std::vector<std::string> vc = value_columns(set.kind);
    const std::vector<Item> items = items_of(set);
    if (format == TableFormat::Json) {
        Json doc;
        try {
            doc = Json::parse(text);
        } catch (const std::exception&) {
            return bad_table(TAV_E_FILE_NAME);
        }
        if (!doc.contains("rows") || !doc["rows"].is_array() || doc.value("set", "") != kind_word(set.kind))
            return bad_table(TAV_E_FILE_NAME);
        for (const Json& r : doc["rows"]) {
            ++line;
            std::vector<double> values;
            if (!r.contains("number") || !r["number"].is_number_integer()) return bad_table(TAV_E_PARAMETER);
            for (const std::string& c : vc) {
                if (!r.contains(c) || !r[c].is_number()) return bad_table(TAV_E_PARAMETER);
                values.push_back(r[c].get<double>());
            }
            if (Outcome o = apply_row(set, items, r["number"].get<int>(), values); !o.ok()) return o;
        }
        return success();
    }
    std::istringstream in(text);
    std::vector<std::string> header, fields;
    if (!csv_record(in, header, line)) return bad_table(TAV_E_FILE_NAME);
    std::vector<int> at;  // where each value column is
    int numberAt = -1;
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == "number") numberAt = static_cast<int>(i);
    for (const std::string& c : vc) {
        int found = -1;
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == c) found = static_cast<int>(i);
        if (found < 0) return bad_table(TAV_E_FILE_NAME);
        at.push_back(found);
    }
    if (numberAt < 0) return bad_table(TAV_E_FILE_NAME);
    for (;;) {
        const int start = line + 1;
        if (!csv_record(in, fields, line)) break;
        if (fields.size() == 1 && fields[0].empty()) continue;  // a blank line
        line = start > line ? start : line;
        int no = 0;
        std::vector<double> values;
        if (static_cast<int>(fields.size()) <= numberAt || !parse_int(fields[numberAt], 1, 999, no)) return line = start, bad_table(TAV_E_PARAMETER);
        for (int i : at) {
            double v = 0;
            if (static_cast<int>(fields.size()) <= i || !parse_value(fields[i], v)) return line = start, bad_table(TAV_E_PARAMETER);
            values.push_back(v);
        }
        if (Outcome o = apply_row(set, items, no, values); !o.ok()) return line = start, o;
    }
    return success();
}

}  // namespace tavhost::core
