// Language modules: the built tav0411.DLL (Japanese) and tav0409.DLL (English)
// are opened as the library opens them and their string tables are checked:
// exact code page 932 bytes of selected texts, identical id sets, identical
// printf conversions in every format, the fixed id ranges, and byte validity.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct StringEntry {
    unsigned id;
    unsigned len;
    const char* text;
};
struct StringTable {
    unsigned magic;
    unsigned count;
    const StringEntry* entries;
};
constexpr unsigned kTableMagic = 0x54415653u;  // "TAVS"

using Texts = std::map<unsigned, std::string>;

// A language module opened for one test suite; the table is copied out so
// that the checks do not depend on the module staying loaded.
struct Module {
    void* handle = nullptr;
    const StringTable* table = nullptr;
    Texts texts;
    std::string error;

    explicit Module(const char* file) {
        const std::string path = std::string(TAV_BUILD_DIR) + "/bin/RSC/" + file;
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = dlerror();
            return;
        }
        table = static_cast<const StringTable*>(dlsym(handle, "tav_string_resources"));
        if (!table) {
            error = "no tav_string_resources in " + path;
            return;
        }
        for (unsigned i = 0; i < table->count; ++i)
            texts[table->entries[i].id] = std::string(table->entries[i].text, table->entries[i].len);
    }
    ~Module() {
        if (handle) dlclose(handle);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
};

bool is_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool is_trail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Offset of the first byte that does not form a valid code page 932 character
// (a lead byte without a proper trail byte, an unassigned single byte, or a
// control byte other than a line feed), or npos when the text is clean.
size_t first_invalid_cp932(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (is_lead(c)) {
            if (i + 1 >= s.size() || !is_trail(static_cast<unsigned char>(s[i + 1]))) return i;
            ++i;
        } else if (c == '\n' || (c >= 0x20 && c < 0x7F) || (c >= 0xA1 && c <= 0xDF)) {
            continue;
        } else {
            return i;
        }
    }
    return std::string::npos;
}

// The printf conversions of a text, in order, each as written ("%-42s",
// "%02X", "%%"). Double-byte characters are stepped over whole, so a trail
// byte is never taken for a '%'.
std::vector<std::string> conversions(const std::string& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (is_lead(c)) {
            ++i;
            continue;
        }
        if (c != '%') continue;
        size_t j = i + 1;
        while (j < s.size() && std::strchr("-+ #0", s[j])) ++j;
        while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '*')) ++j;
        if (j < s.size() && s[j] == '.') {
            ++j;
            while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '*')) ++j;
        }
        if (s.compare(j, 3, "I64") == 0) j += 3;
        while (j < s.size() && std::strchr("hlLqjzt", s[j])) ++j;
        if (j < s.size()) ++j;  // the conversion character itself
        out.push_back(s.substr(i, j - i));
        i = j - 1;
    }
    return out;
}

std::set<unsigned> ids_in(const Texts& t, unsigned from, unsigned to) {
    std::set<unsigned> ids;
    for (auto it = t.lower_bound(from); it != t.end() && it->first <= to; ++it) ids.insert(it->first);
    return ids;
}

std::set<unsigned> id_range(unsigned from, unsigned to) {
    std::set<unsigned> ids;
    for (unsigned id = from; id <= to; ++id) ids.insert(id);
    return ids;
}

// First comma-separated field of a table row.
std::string first_field(const std::string& row) { return row.substr(0, row.find(',')); }

// The two language modules, opened once for the whole run.
const Module jaModule("tav0411.DLL"), enModule("tav0409.DLL");
const Texts& ja() { return jaModule.texts; }
const Texts& en() { return enModule.texts; }
std::string ja_text(unsigned id) { return ja().count(id) ? ja().at(id) : std::string("<missing>"); }

class LanguageModules : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Module* m : {&jaModule, &enModule}) ASSERT_TRUE(m->table) << m->error;
    }
};

TEST_F(LanguageModules, TablesAreWellFormedAndSortedById) {
    for (const Module* m : {&jaModule, &enModule}) {
        EXPECT_EQ(m->table->magic, kTableMagic);
        ASSERT_GT(m->table->count, 300u);
        EXPECT_EQ(m->texts.size(), m->table->count) << "repeated ids";
        for (unsigned i = 0; i < m->table->count; ++i) {
            const StringEntry& e = m->table->entries[i];
            if (i > 0) {
                EXPECT_LT(m->table->entries[i - 1].id, e.id) << "entry " << i;
            }
            EXPECT_GT(e.len, 0u) << "id " << e.id;
            EXPECT_EQ(std::strlen(e.text), e.len) << "id " << e.id << " holds a NUL or lacks its terminator";
        }
    }
}

TEST_F(LanguageModules, JapaneseTextsAreExactCodePage932) {
    const std::map<unsigned, std::string> expected = {
        {3000, "\x90\xb3\x8f\xed\x8f\x49\x97\xb9"},  // 正常終了
        // 通信ﾃﾞﾊﾞｲｽがｵｰﾌﾟﾝできませんでした｡ (half-width katakana, final blank)
        {3014, "\x92\xca\x90\x4d\xc3\xde\xca\xde\xb2\xbd\x82\xaa\xb5\xb0\xcc\xdf\xdd\x82\xc5\x82\xab\x82\xdc\x82\xb9"
               "\x82\xf1\x82\xc5\x82\xb5\x82\xbd\xa1 "},
        // 現在、通信できません。\n   トレース中の可能性があります。 (可能 has the trail byte 0x5C)
        {3018, "\x8c\xbb\x8d\xdd\x81\x41\x92\xca\x90\x4d\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42\n   \x83\x67"
               "\x83\x8c\x81\x5b\x83\x58\x92\x86\x82\xcc\x89\xc2\x94\x5c\x90\xab\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7"
               "\x81\x42"},
        // \n\n 異常が発生しましたので、試運転を終了します。
        {3020, "\n\n \x88\xd9\x8f\xed\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x82\xcc\x82\xc5\x81\x41"
               "\x8e\x8e\x89\x5e\x93\x5d\x82\xf0\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x42"},
        // サーボオペレータ側、編集側の小数点位置が一致していません。(サーボオペレータ=0.001）
        {3053, "\x83\x54\x81\x5b\x83\x7b\x83\x49\x83\x79\x83\x8c\x81\x5b\x83\x5e\x91\xa4\x81\x41\x95\xd2\x8f\x57\x91\xa4"
               "\x82\xcc\x8f\xac\x90\x94\x93\x5f\x88\xca\x92\x75\x82\xaa\x88\xea\x92\x76\x82\xb5\x82\xc4\x82\xa2\x82\xdc"
               "\x82\xb9\x82\xf1\x81\x42(\x83\x54\x81\x5b\x83\x7b\x83\x49\x83\x79\x83\x8c\x81\x5b\x83\x5e=0.001\x81\x6a"},
        {3510, "\x96\xb3\x8e\x77\x92\xe8  "},           // 無指定 and two blanks
        {3512, "\xbb\xb2\xb8\xd9\xb4\xdd\xc4\xde"},     // ｻｲｸﾙｴﾝﾄﾞ
        {3515, "\x81\x7c\x96\xb3\x8c\xc0\x92\xb7"},     // －無限長
        // " 回線がクローズされています。" (leading blank)
        {4005, " \x89\xf1\x90\xfc\x82\xaa\x83\x4e\x83\x8d\x81\x5b\x83\x59\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82"
               "\xb7\x81\x42"},
        // (処理ｽﾃｰﾀｽ：20H) 未定義のｺﾏﾝﾄﾞ(CMDN/MODE)を受信。
        {4032, "(\x8f\x88\x97\x9d\xbd\xc3\xb0\xc0\xbd\x81\x46" "20H) \x96\xa2\x92\xe8\x8b\x60\x82\xcc\xba\xcf\xdd\xc4\xde"
               "(CMDN/MODE)\x82\xf0\x8e\xf3\x90\x4d\x81\x42"},
        {5000, "D,3000[r/min]"},
        {5500, "D,NVC,\x83\x4c\x83\x85\x81\x5b\x83\x72\x83\x62\x83\x4e\x83\x5e\x83\x43\x83\x76"},  // キュービックタイプ
        {6002, "101,100[W]"},
        {7000, "S,16bit ABS/INC\x83\x47\x83\x93\x83\x52\x81\x5b\x83\x5f"},  // エンコーダ
        // the servo.set column header with its own line feed
        {10001, "\x8b\x40\x8e\xed\x91\x49\x91\xf0 ,\x8e\x67\x97\x70\xce\xdf\xb0\xc4 , \xce\xde\xb0\xda\xb0\xc4 , \xd8\xc4"
                "\xd7\xb2\x89\xf1\x90\x94 , \xc0\xb2\xd1\xb1\xb3\xc4\x8e\x9e\x8a\xd4, \xc3\xde\xb0\xc0\xcb\xde\xaf\xc4 , "
                "\xca\xdf\xd8\xc3\xa8 , \xbd\xc4\xaf\xcc\xdf\xcb\xde\xaf\xc4 , \xcc\xdb\xb0\x90\xa7\x8c\xe4\n"},
        {10008, "\x92\xca\x90\x4d\xb4\xd7\xb0\xba\xb0\xc4\xde"},  // 通信ｴﾗｰｺｰﾄﾞ
        {10009, "\xb4\xd7\xb0\xba\xb0\xc4\xde"},                  // ｴﾗｰｺｰﾄﾞ
        {10010, "\x81\x69\x96\xa2\x8e\x67\x97\x70\x81\x6a"},      // （未使用）
        {10012, "%1d_%02d  %-42s  %10s  %-54s"},
        {10016, "\x81\x60"},                                      // ～
        {11048, "KESTA7"},
        {11064, "KESTA7 Mini"},
        {11080, "\x83\x54\x81\x5b\x83\x7b\x83\x49\x83\x79\x83\x8c\x81\x5b\x83\x5e"},  // サーボオペレータ
        {12003, "F,\xcc\xd8\xb0"},                                // F,ﾌﾘｰ
        {16004, "371,375[W]"},
    };
    for (const auto& [id, bytes] : expected) EXPECT_EQ(ja_text(id), bytes) << "id " << id;
}

TEST_F(LanguageModules, BothModulesHoldTheSameIds) {
    const std::set<unsigned> jaIds = ids_in(ja(), 0, ~0u), enIds = ids_in(en(), 0, ~0u);
    std::vector<unsigned> oneOnly;
    std::set_symmetric_difference(jaIds.begin(), jaIds.end(), enIds.begin(), enIds.end(), std::back_inserter(oneOnly));
    EXPECT_TRUE(oneOnly.empty()) << "ids in one module only: " << ::testing::PrintToString(oneOnly);
}

TEST_F(LanguageModules, FormatsKeepTheirConversionsInEveryLanguage) {
    // The parser itself: double-byte characters are skipped, literal percent
    // signs and length modifiers are kept with their conversion.
    EXPECT_EQ(conversions("%3d  %-4s  %-9s %12s  %8s   %8s     %02X    %10s %10s"),
              (std::vector<std::string>{"%3d", "%-4s", "%-9s", "%12s", "%8s", "%8s", "%02X", "%10s", "%10s"}));
    EXPECT_EQ(conversions("\x96\xb3 %% %I64d %lx %-42s"),
              (std::vector<std::string>{"%%", "%I64d", "%lx", "%-42s"}));

    for (const auto& [id, jaText] : ja()) {
        auto en_it = en().find(id);
        if (en_it == en().end()) continue;  // reported by BothModulesHoldTheSameIds
        EXPECT_EQ(conversions(jaText), conversions(en_it->second)) << "id " << id;
    }
    // The listing formats are pure formats and hold exactly these conversions.
    const std::map<unsigned, std::vector<std::string>> formats = {
        {10012, {"%1d", "%02d", "%-42s", "%10s", "%-54s"}},
        {10014, {"%3d", "%-4s", "%-9s", "%12s", "%8s", "%8s", "%02X", "%10s", "%10s"}},
        {10018, {"%3d", "%-32s", "%10s", "%10s", "%-64s"}},
        {10020, {"%3d", "%-8s", "%-9s", "%10s", "%8s", "%8s", "%5d", "%10s", "%10s"}},
        {10044, {"%3d", "%-4s", "%-9s", "%12s", "%8s", "%8s", "%8s", "%7s", "%02X", "%4s", "%4s"}},
        {10045, {"%3d", "%-8s", "%-9s", "%10s", "%8s", "%6s", "%6s", "%8s", "%5d", "%6s", "%6s"}},
        {10049, {"%02d", "%-42s", "%10s", "%-54s"}},
    };
    for (const auto& [id, convs] : formats) {
        EXPECT_EQ(conversions(ja_text(id)), convs) << "id " << id;
    }
    // No other text may carry a conversion that a caller would expand.
    for (const auto& [id, text] : ja())
        if (!formats.count(id)) {
            EXPECT_TRUE(conversions(text).empty()) << "id " << id << " holds a '%'";
        }
}

TEST_F(LanguageModules, CommunicationMessagesCoverExactlyTheKnownCodes) {
    std::set<unsigned> expected = id_range(4000, 4014);  // code 15 has no text of its own
    for (unsigned code : {16u, 17u, 18u, 19u, 24u, 28u, 29u, 30u, 32u, 33u, 34u, 35u, 40u, 41u, 42u, 43u, 47u,
                          64u, 65u, 66u, 68u, 69u, 71u, 72u, 73u, 74u, 75u, 96u, 97u, 98u, 99u, 128u, 132u, 133u,
                          134u, 135u, 160u, 162u, 164u, 165u, 170u, 171u, 224u, 225u})
        expected.insert(4000 + code);
    EXPECT_EQ(ids_in(ja(), 4000, 4999), expected);
    EXPECT_EQ(ids_in(en(), 4000, 4999), expected);

    // Processing-status texts name their code in upper-case hexadecimal.
    const std::string openJa = "(\x8f\x88\x97\x9d\xbd\xc3\xb0\xc0\xbd\x81\x46";  // (処理ｽﾃｰﾀｽ：
    for (unsigned id : expected) {
        if (id < 4016) continue;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02XH) ", id - 4000);
        EXPECT_EQ(ja_text(id).rfind(openJa + hex, 0), 0u) << "id " << id;
        EXPECT_EQ(en().at(id).find(hex), en().at(id).find(')') - 3) << "id " << id;
    }
}

TEST_F(LanguageModules, ResultMessagesCoverExactlyTheLibraryCodes) {
    std::set<unsigned> expected = id_range(3000, 3044);
    expected.insert(3046);  // -45 has no message; -47 .. -49 are not codes
    for (unsigned id : id_range(3050, 3069)) expected.insert(id);
    EXPECT_EQ(ids_in(ja(), 3000, 3499), expected);
    // the explained texts are not empty placeholders
    for (unsigned id : {3035u, 3041u, 3062u}) EXPECT_GT(ja_text(id).size(), 40u) << "id " << id;
    // -32, -33 and -40 share one text; -22 and -44 another
    EXPECT_EQ((std::vector<std::string>{ja_text(3033), ja_text(3040), ja_text(3044)}),
              (std::vector<std::string>{ja_text(3032), ja_text(3032), ja_text(3022)}));
}

TEST_F(LanguageModules, ValueLabelsFitTheirFields) {
    // Step-mode labels go into 12-byte fields and line up in listings: eight
    // bytes each in every language; modes 6 and 7 have no label.
    for (const Texts* t : {&ja(), &en()}) {
        for (unsigned id = 3510; id <= 3515; ++id) {
            ASSERT_TRUE(t->count(id)) << "id " << id;
            EXPECT_EQ(t->at(id).size(), 8u) << "id " << id;
        }
        EXPECT_EQ(t->count(3516) + t->count(3517), 0u);
        EXPECT_EQ((std::vector<std::string>{t->at(3500), t->at(3501)}), (std::vector<std::string>{"ABS", "INC"}));
    }
    // Group names: groups 1-10 for kinds 0 and 1 and models 0-2, nothing else.
    std::set<unsigned> groups;
    for (unsigned kind = 0; kind < 2; ++kind)
        for (unsigned model = 0; model < 3; ++model)
            for (unsigned g = 1; g <= 10; ++g) groups.insert(9000 + 100 * kind + 10 * model + g);
    EXPECT_EQ(ids_in(ja(), 9000, 9999), groups);
}

TEST_F(LanguageModules, TableRowsKeepTheirCodesInEveryLanguage) {
    // Model and motor names are composed from the code fields, so a
    // translation may change only the labels.
    const std::vector<std::pair<unsigned, unsigned>> tables = {
        {3640, 3643}, {3680, 3681}, {3690, 3697}, {5000, 5255}, {5500, 5755}, {6000, 6255},
        {6500, 6755}, {7000, 7255}, {7500, 7755}, {8000, 8255}, {12000, 12255}, {16000, 16255}};
    for (auto [from, to] : tables) {
        for (unsigned id : ids_in(ja(), from, to)) {
            const std::string& j = ja().at(id);
            const std::string& e = en().at(id);
            EXPECT_EQ(first_field(j), first_field(e)) << "id " << id;
            if (from == 5500) {
                EXPECT_EQ(first_field(j.substr(j.find(',') + 1)), first_field(e.substr(e.find(',') + 1)))
                    << "series of id " << id;
            }
            // numbers and units only: the same in every language
            if (from == 5000 || from == 6000 || from == 6500 || from == 7500 || from == 8000 || from == 16000) {
                EXPECT_EQ(j, e) << "id " << id;
            }
        }
    }
    // rows the identification relies on
    for (unsigned id : {5003u, 5015u, 5255u, 6255u, 6755u, 7255u, 7516u, 7755u, 8255u, 11255u, 12255u, 16255u})
        EXPECT_TRUE(ja().count(id)) << "id " << id;
    // family names are product names, only the servo operator is a word
    for (unsigned id : {11000u, 11016u, 11032u, 11048u, 11064u, 11255u}) EXPECT_EQ(ja_text(id), en().at(id)) << "id " << id;
    EXPECT_EQ(ids_in(ja(), 11000, 11255), (std::set<unsigned>{11000, 11016, 11032, 11048, 11064, 11080, 11255}));
    EXPECT_EQ(ja_text(6012), "***,???[W]");
    EXPECT_EQ(ja_text(16000), "***,???[W]");
}

TEST_F(LanguageModules, ListingHeadersMatchTheirColumns) {
    // Print headers are as wide as the Japanese ones, so the columns of the
    // line formats stay under their titles.
    for (unsigned id : {10011u, 10017u}) EXPECT_EQ(en().at(id).size(), ja_text(id).size()) << "id " << id;
    auto commas = [](const std::string& s) {
        std::vector<size_t> at;
        for (size_t i = 0; i < s.size(); ++i) {
            if (is_lead(static_cast<unsigned char>(s[i]))) {
                ++i;
                continue;
            }
            if (s[i] == ',') at.push_back(i);
        }
        return at;
    };
    EXPECT_EQ(commas(en().at(10017)), commas(ja_text(10017)));
    EXPECT_EQ(commas(ja_text(10017)), (std::vector<size_t>{4, 38, 49, 61}));
    // headers written into files carry their own line feed, the others none
    for (unsigned id : {10000u, 10001u, 10002u, 10043u})
        EXPECT_EQ(std::make_pair(ja_text(id).back(), en().at(id).back()), std::make_pair('\n', '\n')) << "id " << id;
    for (unsigned id : {10011u, 10013u, 10017u, 10019u, 10039u, 10046u, 10047u, 10048u, 10050u})
        EXPECT_EQ(ja_text(id).find('\n'), std::string::npos) << "id " << id;
    // the column titles of the positioning files name one column per value
    for (auto [id, n] : {std::pair{10002u, 9u}, {10043u, 11u}, {10019u, 8u}, {10047u, 10u}})
        EXPECT_EQ(commas(ja_text(id)).size(), n) << "id " << id;
}

TEST_F(LanguageModules, EveryTextIsValidCodePage932) {
    for (const auto& [id, text] : ja()) {
        const size_t bad = first_invalid_cp932(text);
        EXPECT_EQ(bad, std::string::npos) << "Japanese id " << id << " at byte " << bad;
    }
    for (const auto& [id, text] : en()) {
        EXPECT_EQ(first_invalid_cp932(text), std::string::npos) << "English id " << id;
        for (unsigned char c : text) {
            EXPECT_LT(c, 0x80) << "English id " << id << " is not plain ASCII";
            if (c >= 0x80) break;
        }
    }
    // the validity check itself
    // (a lead byte at the end, a blank as trail byte, an unassigned single byte, a control byte)
    for (auto [text, at] :
         {std::pair{"ok\xb1\x82\xa0", std::string::npos}, {"ab\x82", 2}, {"\x82\x20x", 0}, {"x\xa0", 1}, {"x\ty", 1}})
        EXPECT_EQ(first_invalid_cp932(text), at) << text;
}

}  // namespace
