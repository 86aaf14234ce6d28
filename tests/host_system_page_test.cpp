// The servo operator's system page end to end: tav reads the device into a
// set file, writes changed values and reads them back; servo-sim's state file
// shows the bytes that reached the device.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "fixtures/tav_process.h"

namespace {

using Json = nlohmann::json;

class HostSystemPage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(install_.ready()); }

    // The value of parameter no in a set file, as `tav --json para show` gives it.
    double value(const std::string& file, int no) {
        const auto r = install_.tav({"--json", "para", "show", file, std::to_string(no)});
        EXPECT_EQ(r.status, 0) << r.err;
        const Json doc = Json::parse(r.out, nullptr, false);
        if (!doc.contains("parameters") || doc["parameters"].size() != 1) return -1;
        return doc["parameters"][0]["value"].get<double>();
    }
    // System parameter no's 6-byte value field in servo-sim's state, lower-case hex.
    std::string device_field(int no) const {
        const Json state = Json::parse(install_.sim_state());
        for (const Json& d : state["devices"])
            if (d["station"] == 0) {
                std::string hex = d["std"][1][no - 1]["value"].get<std::string>();
                std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
                return hex;
            }
        return "";
    }

    tavtest::TavInstall install_;
};

// Parameters 2 and 5 are BCD on the device, 8 (the password) a plain binary
// number: each must leave and come back in its own encoding.
TEST_F(HostSystemPage, WrittenValuesReachTheDeviceInItsEncodingAndReadBack) {
    const struct {
        int no;
        double before, after;
        const char* field;  // on the device after the write
    } cases[] = {
        {2, 102, 300, "000000000300"},
        {5, 105, 45, "000000000045"},
        {8, 108, 300, "00000000012c"},
    };
    ASSERT_EQ(install_.tav({"para", "read", "s.syp"}).status, 0);
    std::vector<std::string> changes = {"para", "write", "s.syp"};
    for (const auto& c : cases) {
        EXPECT_EQ(value("s.syp", c.no), c.before) << c.no;
        changes.push_back(std::to_string(c.no) + "=" + std::to_string(static_cast<int>(c.after)));
    }
    const auto w = install_.tav(changes);
    ASSERT_EQ(w.status, 0) << w.out << w.err;
    ASSERT_EQ(install_.tav({"para", "read", "r.syp"}).status, 0);
    for (const auto& c : cases) {
        EXPECT_EQ(device_field(c.no), c.field) << c.no;
        EXPECT_EQ(value("s.syp", c.no), c.after) << c.no;
        EXPECT_EQ(value("r.syp", c.no), c.after) << c.no;
    }
}

}  // namespace
