// The family of a new table read from its template, for both positioning
// tables: the line settings' tenth value on a plain read; when they cannot be
// read, the positioning table keeps the value the failed read leaves (0) and
// the VV table keeps KESTA7; a Create never looks at the settings.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "iti/iti.h"
#include "itivv/itivv.h"
#include "tests/fixtures/temp_dirs.h"

namespace {

struct Families {
    uint32_t positioning, vv;
    bool operator==(const Families&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Families& f) { return os << f.positioning << "/" << f.vv; }

class TemplateFamily : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string share = std::string(TAV_BUILD_DIR) + "/share/tav/template/";
        for (const char* f : {"50.k7l", "52.k7l", "54.k7l", "55.k7v", "57.k7v", "59.k7v"})
            home.write(std::string("template/") + f, tavtest::read_file(share + f));
    }
    void write_settings(int tenth) {
        home.write("servo.set", "SERVO\r\ntitles\r\nLIN, COM1,38400,5,2,8,0,0,0," + std::to_string(tenth) + "\r\n");
    }
    Families read_templates() {
        auto l = std::make_unique<ItiDatSet>();
        auto v = std::make_unique<ItiVvDatSet>();
        EXPECT_EQ(tav::iti::DatFil_Rd(nullptr, l.get()), TAV_OK);
        EXPECT_EQ(tav::itivv::DatFil_Rd(nullptr, v.get()), TAV_OK);
        return {l->nFamily, v->nFamily};
    }
    Families create_from_templates(int model) {
        auto l = std::make_unique<ItiDatSet>();
        auto v = std::make_unique<ItiVvDatSet>();
        EXPECT_EQ(tav::iti::DatFil_Create(model, l.get()), TAV_OK);
        EXPECT_EQ(tav::itivv::DatFil_Create(model, v.get()), TAV_OK);
        return {l->nFamily, v->nFamily};
    }
    tavtest::TempInstall home;
};

TEST_F(TemplateFamily, APlainReadTakesTheTenthValueOfTheLineSettings) {
    write_settings(0x40);
    EXPECT_EQ(read_templates(), (Families{0x40, 0x40}));
}

TEST_F(TemplateFamily, UnreadableSettingsGiveZeroToThePositioningTableAndKesta7ToTheVvTable) {
    EXPECT_EQ(read_templates(), (Families{0, 0x30}));  // no servo.set
}

TEST_F(TemplateFamily, CreateIsKesta7WhateverTheSettingsSay) {
    write_settings(0x40);
    for (int model : {0, 2, 4}) EXPECT_EQ(create_from_templates(model), (Families{0x30, 0x30})) << model;
}

}  // namespace
