// Build-time generator of the extended parameter definition files: reads the
// UTF-8 master tables of data/kesta7 and writes one definition file per
// family, page, control type and interface (297 parameter lines each) in code
// page 932 with CR LF line ends.
//
//   newpara_defgen MASTER_DIR OUT_DIR
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "newpara_defgen: %s\n", what.c_str());
    std::exit(1);
}

struct Entry {
    int no = 0;
    std::string families, models, interfaces, name, attr, initial, max, min, code, note, comment, subtitle, values;
};

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

std::vector<Entry> load(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("cannot read " + path);
    std::vector<Entry> out;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = split(line, '\t');
        if (f.size() < 13) fail(path + ":" + std::to_string(lineNo) + ": fewer than 13 columns");
        Entry e;
        e.no = std::atoi(f[0].c_str());
        if (e.no < 1 || e.no > 297) fail(path + ":" + std::to_string(lineNo) + ": parameter number out of range");
        e.families = f[1]; e.models = f[2]; e.interfaces = f[3]; e.name = f[4]; e.attr = f[5];
        e.initial = f[6]; e.max = f[7]; e.min = f[8]; e.code = f[9]; e.note = f[10];
        e.comment = f[11]; e.subtitle = f[12];
        if (f.size() > 13) e.values = f[13];
        out.push_back(e);
    }
    return out;
}

bool matches(const std::string& set, char c) { return set == "*" || set.find(c) != std::string::npos; }

// Hexadecimal parameters are written in the master as hexadecimal digits.
std::string number(const std::string& text, unsigned attr) {
    if ((attr & 0x0002) == 0) return text;
    return std::to_string(std::strtol(text.c_str(), nullptr, 16));
}

std::string scale(unsigned attr) {
    const unsigned d = (attr >> 8) & 0x0F;
    if (d == 0) return "1";
    return "0." + std::string(d - 1, '0') + "1";
}

std::string to_cp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == (iconv_t)-1) fail("iconv cannot convert UTF-8 to CP932");
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) == (size_t)-1) fail("text without a code page 932 form");
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

void write_file(const std::string& outDir, int id, const std::vector<Entry>& table, char family, char model,
                char iface, const std::string& title) {
    std::ostringstream s;
    s << "KESTA7 " << title << " 定義 " << id << "\n";
    for (int no = 1; no <= 297; ++no) {
        const int page = (no - 1) / 99 + 1, q = (no - 1) % 99 + 1;
        char tag[16];
        std::snprintf(tag, sizeof tag, "PA%d_%02d", page, q);
        const Entry* e = nullptr;
        for (const Entry& c : table)
            if (c.no == no && matches(c.families, family) && matches(c.models, model) && matches(c.interfaces, iface)) {
                e = &c;
                break;
            }
        if (e == nullptr) {
            s << no << "\t0\t（未使用）\t0x0000\t0\t0\t0\t0\t\t\t\t\t" << tag << "\t\t\t\n";
            continue;
        }
        const unsigned attr = static_cast<unsigned>(std::strtoul(e->attr.c_str(), nullptr, 16));
        char attrText[16];
        std::snprintf(attrText, sizeof attrText, "0x%04X", attr);
        s << no << "\t0\t" << e->name << "\t" << attrText << "\t" << number(e->initial, attr) << "\t"
          << number(e->max, attr) << "\t" << number(e->min, attr) << "\t" << scale(attr) << "\t" << e->comment << "\t"
          << e->subtitle << "\t：\t" << e->name << "\t" << tag << "\t" << e->note << "\t" << e->code << "\t"
          << e->subtitle;
        if (!e->values.empty())
            for (const std::string& v : split(e->values, '|')) s << "\t" << v;
        s << "\n";
    }
    std::string text = to_cp932(s.str()), crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string path = outDir + "/" + std::to_string(id) + ".def";
    std::ofstream out(path, std::ios::binary);
    if (!out || !out.write(crlf.data(), static_cast<std::streamsize>(crlf.size()))) fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) fail("usage: newpara_defgen MASTER_DIR OUT_DIR");
    const std::string master = argv[1], outDir = argv[2];
    const std::vector<Entry> param = load(master + "/param.tsv");
    const std::vector<Entry> system = load(master + "/system.tsv");
    const std::vector<Entry> hidden = load(master + "/hidden.tsv");
    const char models[] = "VRLE";
    for (int m = 0; m < 4; ++m) {
        for (int i = 0; i < 2; ++i) {
            const char ifc = static_cast<char>('0' + i);
            write_file(outDir, 500 + 10 * m + i, param, '7', models[m], ifc, "パラメータ");
            write_file(outDir, 600 + 10 * m + i, system, '7', models[m], ifc, "システムパラメータ");
            write_file(outDir, 1500 + 10 * m + i, param, 'M', models[m], ifc, "Mini パラメータ");
            write_file(outDir, 1600 + 10 * m + i, system, 'M', models[m], ifc, "Mini システムパラメータ");
            // Hidden pages: 700 + 10 m + i (KESTA7) and 710 + 10 m + i (Mini) share numbers.
            write_file(outDir, 700 + 10 * m + i, hidden, '7', models[m], ifc, "裏パラメータ");
            if (m == 3) write_file(outDir, 740 + i, hidden, 'M', models[m], ifc, "裏パラメータ");
        }
    }
    return 0;
}
