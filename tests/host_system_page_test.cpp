// The servo operator's pages end to end: tav reads the device into a set
// file, writes changed values and reads them back; servo-sim's state file
// shows the bytes that reached the device. The operator's definitions are not
// the amplifiers' (same file numbers), and every page must use its own.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <utility>
#include <string>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

using Json = nlohmann::json;

class HostSystemPage : public tavtest::TavTest {
protected:
    // Parameter no of a set file, as `tav --json para show` gives it ({} when missing).
    Json parameter(const std::string& file, int no) {
        const Json doc = Json::parse(tav({"--json", "para", "show", file, std::to_string(no)}).out, nullptr, false);
        return doc.contains("parameters") && doc["parameters"].size() == 1 ? doc["parameters"][0] : Json::object();
    }
    double value(const std::string& file, int no) { return parameter(file, no).value("value", -1.0); }
    // Parameter no's 6-byte value field of a page in servo-sim's state, lower-case hex.
    std::string device_field(int no, int page = 1) const {
        std::string hex = install_.sim_device(0)["std"][page][no - 1]["value"].get<std::string>();
        std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
        return hex;
    }
};

// Each page's rows are the operator's own (a leading '*' marks a value that
// takes effect at the next power-up). Parameters 2 and 5 are BCD on the
// device, 8 (the password) a plain binary number: each must leave and come
// back in its own encoding. A hidden value (which the device does not
// describe) leaves in the encoding the operator's row gives: with the
// amplifiers' rows, parameter 11 went out as a binary number.
TEST_F(HostSystemPage, EveryPageIsReadAndWrittenWithTheOperatorsOwnDefinitionsAndEncodings) {
    const struct {
        const char* file;
        int no;
        const char* name;
    } rows[] = {
        {"p.k7p", 1, "*制御モード選択"},
        {"s.syp", 8, "パスワード"},
        {"h.hsp", 10, "*ファームウェア動作モード"},
    };
    for (const auto& row : rows) {
        tav({"para", "read", row.file});
        EXPECT_EQ(parameter(row.file, row.no).value("name", ""), row.name) << row.file;
    }
    const struct {
        int no;
        double before, after;
        const char* field;  // on the device after the write
    } cases[] = {
        {2, 102, 300, "000000000300"},
        {5, 105, 45, "000000000045"},
        {8, 108, 300, "00000000012c"},
    };
    std::vector<std::string> changes = {"para", "write", "s.syp"};
    for (const auto& c : cases) {
        EXPECT_EQ(value("s.syp", c.no), c.before) << c.no;
        changes.push_back(std::to_string(c.no) + "=" + std::to_string(static_cast<int>(c.after)));
    }
    tav(changes);
    tav({"para", "read", "r.syp"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.no);
        EXPECT_EQ(device_field(c.no), c.field);
        EXPECT_EQ(std::make_pair(value("s.syp", c.no), value("r.syp", c.no)), std::make_pair(c.after, c.after));
    }
    tav({"para", "write", "h.hsp", "11=300"});
    EXPECT_EQ(device_field(11, 2), "000000000300");
    tav({"para", "read", "r.hsp"});
    EXPECT_EQ(value("r.hsp", 11), 300);
}

// Without the operator's installation named in wyn.ini, nothing is read or
// written with the amplifiers' definitions in its place.
TEST_F(HostSystemPage, WithoutTheOperatorsInstallationNothingIsSentOrWritten) {
    install_.set_home_file("wyn.ini", "[Ports]\r\nCOM1=" + install_.home("ttySIM") + "\r\n");
    const std::string before = install_.sim_state();
    EXPECT_NE(tav({"para", "write", "x.syp", "8=300"}, 1, "", "wyn.ini").err.find("Operator"), std::string::npos);
    tav({"para", "read", "x.syp"}, 1);
    EXPECT_EQ(install_.sim_state(), before);
    EXPECT_FALSE(std::ifstream(install_.work("x.syp")).good());
}

}  // namespace
