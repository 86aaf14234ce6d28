// Field readers, switches from marker files, version and progress posting.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fixtures/temp_dirs.h"
#include "frame/frame.h"

using namespace tav::frame;

namespace {

using Reader = const char* (*)(const char*, char*, size_t);

// Runs a reader over a line until it returns null or stops advancing.
std::vector<std::string> fields(Reader reader, const char* line, int max = 10) {
    std::vector<std::string> out;
    const char* p = line;
    char buf[256];
    while (p != nullptr && max-- > 0) {
        const char* next = reader(p, buf, sizeof buf);
        if (next == nullptr || next == p) break;  // the text readers stay put at the end
        out.emplace_back(buf);
        p = next;
    }
    return out;
}

using Fields = std::vector<std::string>;

// The bounded readers.
const Reader comma_field = GetCommaField, comma_empty = GetCommaFieldAllowEmpty, tab_field = GetTabField,
             comma_text = GetCommaText, tab_text = GetTabText;

}  // namespace

// Reader, line -> the fields it gives. Bytes 0x80..0xFF are control bytes to
// the token readers, so double-byte text ends their line; the text readers
// take it, blanks included.
TEST(FieldReaders, FieldsOfALine) {
    const struct {
        Reader reader;
        const char* line;
        Fields want;
    } cases[] = {
        {comma_field, "  12 ,5", {"12", "5"}},  // blanks skipped
        {comma_field, "1 2,3", {"1", "3"}},     // text after an embedded blank dropped
        {comma_field, "COM1,38400,5\n", {"COM1", "38400", "5"}},
        {comma_field, "1,,3", {"1"}},  // an empty field ends the line
        {comma_field, "\x82\xa0,1", {}},
        {comma_field, "  \xb1,1", {}},
        {comma_field, "7,\xb1\xb2", {"7"}},
        {comma_empty, "1,,3", {"1", "", "3"}},
        {tab_field, "10\t20\t x\n", {"10", "20", "x"}},
        {tab_field, "\t20", {}},  // a leading tab is the end
        {comma_text, "\x82\xa0\x82\xa2,x", {"\x82\xa0\x82\xa2", "x"}},
        {comma_text, "a b ,c\nnext", {"a b ", "c"}},
        {tab_text, "\xbb\xb0\xce\xde \xb5\xcc\xdf\tON\n", {"\xbb\xb0\xce\xde \xb5\xcc\xdf", "ON"}},
    };
    for (const auto& c : cases) EXPECT_EQ(fields(c.reader, c.line), c.want) << c.line;
}

// Null lines and line ends: the token reader gives null, the allow-empty
// reader stays at the line end itself, the text reader stops at the string's end.
TEST(FieldReaders, NullLinesAndLineEnds) {
    char buf[16] = "x";
    EXPECT_EQ(GetCommaField(nullptr, buf), nullptr);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetCommaField("\n", buf), nullptr);
    const char* line = "a,\r\n";
    const char* p = GetCommaFieldAllowEmpty(line, buf);
    EXPECT_STREQ(buf, "a");
    p = GetCommaFieldAllowEmpty(p, buf);
    EXPECT_EQ(std::make_pair(std::string(buf), p), std::make_pair(std::string(), line + 2));
    EXPECT_EQ(GetCommaFieldAllowEmpty(p, buf), p);
    EXPECT_EQ(GetCommaFieldAllowEmpty(nullptr, buf), nullptr);
    line = "end";
    EXPECT_EQ(GetCommaText(line, buf), line + 3);
    EXPECT_EQ(GetCommaText(nullptr, buf), nullptr);
}

TEST(FieldReaders, BoundedReadersCutLongFieldsButSkipThemWhole) {
    char small[4];
    const char* p = GetCommaField("123456,7", small, sizeof small);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ((Fields{small, p}), (Fields{"123", "7"}));
    p = GetCommaText("abcdefgh,z", small, sizeof small);
    EXPECT_EQ((Fields{small, p}), (Fields{"abc", "z"}));
}

TEST(Version, EmptyUntilSetThenPrefixedAndCut) {
    // Set (none at first), then read back; at most 7 characters fit.
    for (auto [set, want] : {std::pair{"", ""}, {"1.00", "HD-V1.00"}, {"123456789", "HD-V1234567"}}) {
        if (*set != '\0') SetVersion(set);
        char v[12] = "junk";
        GetVersion(v);
        EXPECT_STREQ(v, want) << set;
    }
}

namespace {

std::vector<std::pair<unsigned, uintptr_t>> g_posted;
void record_post(void*, unsigned msg, uintptr_t w, intptr_t) { g_posted.emplace_back(msg, w); }

}  // namespace

TEST(Progress, RepeatedRatesArePostedOnceExceptZero) {
    TavWindow window{record_post, nullptr};
    g_posted.clear();
    SendProgressRate(10);  // no window yet: nothing
    SetProgressRateHwnd(&window);
    for (int rate : {50, 50, 0, 0, 75}) SendProgressRate(rate);
    SendCmdProcCmp();
    SetProgressRateHwnd(nullptr);
    SendProgressRate(80);
    SendCmdProcCmp();
    using P = std::pair<unsigned, uintptr_t>;
    EXPECT_EQ(g_posted, (std::vector<P>{{0x8832, 50}, {0x8832, 0}, {0x8832, 0}, {0x8832, 75}, {0x8833, 0}}));
}

TEST(Markers, ForcedFlagsFollowMarkerFilesOnlyThroughTheProbeGate) {
    tavtest::TempInstall install;
    const char* const markers[] = {"TAVLOG.LIN", "TAVLOG.DP0", "TAVLOG.DP3"};
    for (const char* m : markers) install.write(m, "");
    Switches& s = switches();
    s = Switches{};
    EXPECT_EQ(CheckDiagnosticMarkers(), 0);  // gate closed: flags untouched
    EXPECT_EQ(+s.forceLin, 0);
    EXPECT_EQ(CheckDiagnosticMarkersWithProbe(), 0);
    // The later decimal marker wins; the gate closes again.
    EXPECT_EQ(std::make_tuple(+s.forceVel, +s.forceLin, +s.forcedDecimal, +s.probeGate), std::make_tuple(0, 1, 3, 0));

    install.write("TAVLOG.TRC", "");
    for (const char* m : markers) std::remove(install.file(m).c_str());
    EXPECT_EQ(CheckDiagnosticMarkersWithProbe(), 1);
    // The decimal marker is never set back within the process.
    EXPECT_EQ(std::make_pair(+s.forceLin, +s.forcedDecimal), std::make_pair(0, 3));
    s = Switches{};
}
