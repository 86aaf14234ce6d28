// `tav ext ...` end to end: the action chain (read, change, write, save,
// compare, create, reset, listing, CSV, initial write) as a user runs it.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

using Outcome = tavtest::TavRun;

// tav against a temporary installation whose COM1 is servo-sim (entry 1 a
// KESTA7 L-type amplifier, entry 2 a KESTA7 Mini V-type).
class HostExt : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(install_.ready()); }
    Outcome tav(const std::vector<std::string>& args) { return install_.tav(args); }
    std::string file(const std::string& name) const { return install_.work(name); }

    tavtest::TavInstall install_;
};

// The value column of `show NO` for parameter `no`, or "" when it is missing.
std::string shown_value(const std::string& out, int no) {
    std::istringstream in(out);
    std::string line;
    const std::regex row("^ *" + std::to_string(no) + " [1-3]_[0-9]{2} .*? +(-?[0-9.A-F]+H?) .*\\[.*$");
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_match(line, m, row)) return m[1];
    return "";
}

// The parameter rows of a compare listing: "no page name reference amplifier".
std::vector<std::string> compare_rows(const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream in(out);
    std::string line;
    const std::regex row("^ *[0-9]+ [1-3]_[0-9]{2} .*$");
    while (std::getline(in, line))
        if (std::regex_match(line, row)) rows.push_back(line);
    return rows;
}

TEST_F(HostExt, ReadOfEntryOneSucceedsAndSavesTheFile) {
    const Outcome r = tav({"ext", "--file", "amp.k7p", "read", "--entry", "1", "save"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("read amplifier 001"), std::string::npos) << r.out;
    const std::string saved = tavtest::read_file(file("amp.k7p"));
    EXPECT_EQ(saved.rfind("SERVO,LIN, 001,", 0), 0u) << saved.substr(0, 80);

    // The saved file shows the amplifier's values (the simulator's parameter n holds n).
    const Outcome show = tav({"ext", "--file", "amp.k7p", "show", "3"});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(shown_value(show.out, 3), "3") << show.out;
}

TEST_F(HostExt, WithoutEntryTheSelectedOneIsReadAndEntryTwoIsAnotherAmplifier) {
    const Outcome selected = tav({"ext", "read"});
    ASSERT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(selected.out.rfind("entry 1, station 1: KESTA7 ", 0), 0u) << selected.out;
    EXPECT_NE(selected.out.find("read amplifier 001"), std::string::npos);

    const Outcome second = tav({"ext", "--entry", "2", "read"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("read amplifier 002"), std::string::npos) << second.out;
    EXPECT_EQ(tav({"ext", "read", "--entry", "51"}).status, 2);
}

TEST_F(HostExt, ChangedValueIsWrittenAndReadBackWhileOthersStay) {
    ASSERT_EQ(tav({"ext", "--file", "base.k7p", "read", "save"}).status, 0);
    const Outcome w = tav({"ext", "--file", "base.k7p", "change", "3", "4500", "show", "3", "write"});
    ASSERT_EQ(w.status, 0) << w.out << w.err;
    EXPECT_NE(w.out.find("changed"), std::string::npos) << w.out;
    // Not saved: the file keeps the old value and the command says so.
    EXPECT_NE(w.err.find("not saved"), std::string::npos) << w.err;
    EXPECT_EQ(shown_value(tav({"ext", "--file", "base.k7p", "show", "3"}).out, 3), "3");

    const Outcome back = tav({"ext", "--file", "back.k7p", "read", "show", "3", "show", "4"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(shown_value(back.out, 3), "4500") << back.out;
    EXPECT_EQ(shown_value(back.out, 4), "4") << back.out;
}

TEST_F(HostExt, OnlyChangedValuesAreSentUnlessAllIsAsked) {
    // A file whose parameter 4 differs from the amplifier, loaded without a change flag.
    ASSERT_EQ(tav({"ext", "--file", "f.k7p", "read", "change", "4", "250", "save"}).status, 0);
    const Outcome nothing = tav({"ext", "--file", "f.k7p", "write"});
    EXPECT_NE(nothing.status, 0);
    EXPECT_NE(nothing.err.find("-69"), std::string::npos) << nothing.err;
    EXPECT_EQ(shown_value(tav({"ext", "read", "show", "4"}).out, 4), "4");

    ASSERT_EQ(tav({"ext", "--file", "f.k7p", "write", "--all"}).status, 0);
    EXPECT_EQ(shown_value(tav({"ext", "read", "show", "4"}).out, 4), "250");
}

TEST_F(HostExt, CompareShowsExactlyTheChangedParameter) {
    ASSERT_EQ(tav({"ext", "--file", "ref.k7p", "read", "save"}).status, 0);
    const Outcome same = tav({"ext", "compare", "ref.k7p"});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(compare_rows(same.out).empty()) << same.out;
    EXPECT_NE(same.out.find("no parameter differs"), std::string::npos);

    ASSERT_EQ(tav({"ext", "--file", "ref.k7p", "change", "5", "77", "write"}).status, 0);
    const Outcome diff = tav({"ext", "compare", "ref.k7p"});
    ASSERT_EQ(diff.status, 0) << diff.err;
    const std::vector<std::string> rows = compare_rows(diff.out);
    ASSERT_EQ(rows.size(), 1u) << diff.out;
    EXPECT_TRUE(std::regex_match(rows[0], std::regex("^ +5 1_05 .* 5 +77$"))) << rows[0];
    EXPECT_NE(diff.out.find("1 parameter differs"), std::string::npos);

    // Against the set in hand (--file), the same answer.
    EXPECT_EQ(compare_rows(tav({"ext", "--file", "ref.k7p", "compare"}).out).size(), 1u);
}

TEST_F(HostExt, UnknownParameterNumberFailsWithMessage) {
    ASSERT_EQ(tav({"ext", "--file", "p.k7p", "create", "LIN", "save"}).status, 0);
    const std::string before = tavtest::read_file(file("p.k7p"));

    // Parameter 110 is not in use on this model.
    const Outcome show = tav({"ext", "--file", "p.k7p", "show", "110"});
    EXPECT_EQ(show.status, 1);
    EXPECT_NE(show.err.find("parameter 110: -"), std::string::npos) << show.err;
    EXPECT_TRUE(show.out.empty()) << show.out;

    // A failed change stops the actions: nothing after it runs, the file stays.
    const Outcome change = tav({"ext", "--file", "p.k7p", "change", "3", "5", "110", "5", "save"});
    EXPECT_EQ(change.status, 1);
    EXPECT_NE(change.err.find("parameter 110 is not in this set: -"), std::string::npos) << change.err;
    EXPECT_EQ(change.out.find("saved"), std::string::npos);
    EXPECT_EQ(tavtest::read_file(file("p.k7p")), before);

    // Numbers outside 1..297 are usage errors.
    for (const char* no : {"0", "298", "x"}) EXPECT_EQ(tav({"ext", "--file", "p.k7p", "show", no}).status, 2) << no;
}

TEST_F(HostExt, CreateResetSaveLoadListingAndCsv) {
    const Outcome c = tav({"ext", "--file", "n.k7p", "create", "LIN", "change", "3", "1234", "save"});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(shown_value(tav({"ext", "--file", "n.k7p", "show", "3"}).out, 3), "1234");
    // Reset brings the definition's initial value back; `save OTHER` leaves --file alone.
    const Outcome r = tav({"ext", "--file", "n.k7p", "reset", "3", "save", "m.k7p"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(shown_value(tav({"ext", "--file", "m.k7p", "show", "3"}).out, 3), "5000");
    EXPECT_EQ(shown_value(tav({"ext", "--file", "n.k7p", "show", "3"}).out, 3), "1234");
    EXPECT_EQ(shown_value(tav({"ext", "--file", "m.k7p", "load", "n.k7p", "show", "3"}).out, 3), "1234");

    const Outcome page = tav({"ext", "--file", "n.k7p", "show"});
    ASSERT_EQ(page.status, 0);
    EXPECT_NE(page.out.find("297 3_99 "), std::string::npos);
    EXPECT_EQ(page.out.find("\n 15 1_15 "), std::string::npos) << "an absent parameter was listed";

    const Outcome listing = tav({"ext", "--file", "n.k7p", "print"});
    ASSERT_EQ(listing.status, 0) << listing.err;
    EXPECT_NE(listing.out.find("\n1_03 "), std::string::npos) << listing.out.substr(0, 400);
    EXPECT_NE(listing.out.find("\n3_99 "), std::string::npos);

    ASSERT_EQ(tav({"ext", "--file", "n.k7p", "csv", "n.csv"}).status, 0);
    const std::string csv = tavtest::read_file(file("n.csv"));
    EXPECT_NE(csv.find("1_03 ,"), std::string::npos);
    EXPECT_NE(csv.find("1234"), std::string::npos);
    EXPECT_NE(tav({"ext", "--file", "missing.k7p", "show"}).status, 0);
}

TEST_F(HostExt, InitialWriteSendsTheDefinitionValues) {
    ASSERT_EQ(tav({"ext", "--file", "i.k7p", "read", "save"}).status, 0);
    const Outcome init = tav({"ext", "--file", "i.k7p", "init", "--entry", "1"});
    ASSERT_EQ(init.status, 0) << init.err;
    const Outcome back = tav({"ext", "read", "show", "3"});
    EXPECT_EQ(shown_value(back.out, 3), "5000") << back.out;
    // The file's own amplifier number is left as it was read.
    EXPECT_EQ(tavtest::read_file(file("i.k7p")).rfind("SERVO,LIN, 001,", 0), 0u);
}

}  // namespace
