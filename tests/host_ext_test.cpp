// `tav ext ...` end to end: the action chain (read, change, write, save,
// compare, create, reset, listing, CSV, initial write) as a user runs it.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

using Args = std::vector<std::string>;

// The rows of a listing that match row: the first group of each, or the whole row.
std::vector<std::string> matching(const std::string& out, const std::string& row) {
    std::vector<std::string> found;
    std::istringstream in(out);
    const std::regex re(row);
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, re)) found.push_back(m.size() > 1 ? m[1] : m[0]);
    return found;
}

// The value column of `show NO` for parameter `no`, or "" when it is missing.
std::string shown_value(const std::string& out, int no) {
    const auto v = matching(out, "^ *" + std::to_string(no) + " [1-3]_[0-9]{2} .*? +(-?[0-9.A-F]+H?) .*\\[.*$");
    return v.empty() ? "" : v[0];
}

// The parameter rows of a compare listing: "no page name reference amplifier".
const char kCompareRow[] = "^ *[0-9]+ [1-3]_[0-9]{2} .*$";

// tav against a temporary installation whose COM1 is servo-sim (entry 1 a
// KESTA7 L-type amplifier, entry 2 a KESTA7 Mini V-type).
class HostExt : public tavtest::TavTest {
protected:
    // The value `show NO` prints for parameter no (the command exits 0).
    std::string shown(const Args& args, int no) { return shown_value(tav(args).out, no); }
};

TEST_F(HostExt, ChangedValueIsWrittenAndReadBackWhileOthersStay) {
    tav({"ext", "--file", "base.k7p", "read", "save"});
    // Not saved: the file keeps the old value and the command says so.
    tav({"ext", "--file", "base.k7p", "change", "3", "4500", "show", "3", "write"}, 0, "changed", "not saved");
    EXPECT_EQ(shown({"ext", "--file", "base.k7p", "show", "3"}, 3), "3");
    const auto back = tav({"ext", "--file", "back.k7p", "read", "show", "3", "show", "4"});
    EXPECT_EQ(shown_value(back.out, 3) + " " + shown_value(back.out, 4), "4500 4") << back.out;
}

TEST_F(HostExt, OnlyChangedValuesAreSentUnlessAllIsAsked) {
    // A file whose parameter 4 differs from the amplifier, loaded without a change flag.
    tav({"ext", "--file", "f.k7p", "read", "change", "4", "250", "save"});
    tav({"ext", "--file", "f.k7p", "write"}, 1, "", "-69");
    EXPECT_EQ(shown({"ext", "read", "show", "4"}, 4), "4");
    tav({"ext", "--file", "f.k7p", "write", "--all"});
    EXPECT_EQ(shown({"ext", "read", "show", "4"}, 4), "250");
}

TEST_F(HostExt, CompareShowsExactlyTheChangedParameter) {
    tav({"ext", "--file", "ref.k7p", "read", "save"});
    EXPECT_TRUE(matching(tav({"ext", "compare", "ref.k7p"}, 0, "no parameter differs").out, kCompareRow).empty());
    tav({"ext", "--file", "ref.k7p", "change", "5", "77", "write"});
    const std::vector<std::string> rows = matching(tav({"ext", "compare", "ref.k7p"}, 0, "1 parameter differs").out, kCompareRow);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(std::regex_match(rows[0], std::regex("^ +5 1_05 .* 5 +77$"))) << rows[0];
    // Against the set in hand (--file), the same answer.
    EXPECT_EQ(matching(tav({"ext", "--file", "ref.k7p", "compare"}).out, kCompareRow).size(), 1u);
}

TEST_F(HostExt, UnknownParameterNumberFailsWithMessage) {
    tav({"ext", "--file", "p.k7p", "create", "LIN", "save"});
    const std::string before = work_file("p.k7p");
    // Parameter 110 is not in use on this model.
    EXPECT_EQ(tav({"ext", "--file", "p.k7p", "show", "110"}, 1, "", "parameter 110: -").out, "");
    // A failed change stops the actions: nothing after it runs, the file stays.
    const auto change =
        tav({"ext", "--file", "p.k7p", "change", "3", "5", "110", "5", "save"}, 1, "", "parameter 110 is not in this set: -");
    EXPECT_EQ(change.out.find("saved"), std::string::npos);
    EXPECT_EQ(work_file("p.k7p"), before);
    // Numbers outside 1..297 are usage errors.
    for (const char* no : {"0", "298", "x"}) tav({"ext", "--file", "p.k7p", "show", no}, 2);
}

TEST_F(HostExt, CreateResetSaveLoadListingAndCsv) {
    tav({"ext", "--file", "n.k7p", "create", "LIN", "change", "3", "1234", "save"});
    EXPECT_EQ(shown({"ext", "--file", "n.k7p", "show", "3"}, 3), "1234");
    // Reset brings the definition's initial value back; `save OTHER` leaves --file alone.
    tav({"ext", "--file", "n.k7p", "reset", "3", "save", "m.k7p"});
    EXPECT_EQ(shown({"ext", "--file", "m.k7p", "show", "3"}, 3), "5000");
    EXPECT_EQ(shown({"ext", "--file", "n.k7p", "show", "3"}, 3), "1234");
    EXPECT_EQ(shown({"ext", "--file", "m.k7p", "load", "n.k7p", "show", "3"}, 3), "1234");

    const auto page = tav({"ext", "--file", "n.k7p", "show"}, 0, "297 3_99 ");
    EXPECT_EQ(page.out.find("\n 15 1_15 "), std::string::npos) << "an absent parameter was listed";
    EXPECT_NE(tav({"ext", "--file", "n.k7p", "print"}, 0, "\n1_03 ").out.find("\n3_99 "), std::string::npos);
    tav({"ext", "--file", "n.k7p", "csv", "n.csv"});
    for (const char* part : {"1_03 ,", "1234"}) EXPECT_NE(work_file("n.csv").find(part), std::string::npos) << part;
    tav({"ext", "--file", "missing.k7p", "show"}, 1);
}

TEST_F(HostExt, InitialWriteSendsTheDefinitionValues) {
    tav({"ext", "--file", "i.k7p", "read", "save"});
    tav({"ext", "--file", "i.k7p", "init", "--entry", "1"});
    EXPECT_EQ(shown({"ext", "read", "show", "3"}, 3), "5000");
    // The file's own amplifier number is left as it was read.
    EXPECT_EQ(work_file("i.k7p").rfind("SERVO,LIN, 001,", 0), 0u);
}

}  // namespace
