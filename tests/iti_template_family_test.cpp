// The family of a new table read from its template, for both positioning
// tables: the line settings' tenth value on a plain read; when they cannot be
// read, the positioning table keeps the value the failed read leaves (0) and
// the VV table keeps KESTA7; a Create never looks at the settings and reads
// the model's template.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "iti/iti.h"
#include "itivv/itivv.h"
#include "tests/fixtures/temp_dirs.h"

namespace {

using Texts = std::vector<std::string>;

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
    tavtest::TempInstall home;
};

TEST_F(TemplateFamily, APlainReadTakesTheTenthValueOfTheLineSettings) {
    write_settings(0x40);
    EXPECT_EQ(read_templates(), (Families{0x40, 0x40}));
}

TEST_F(TemplateFamily, UnreadableSettingsGiveZeroToThePositioningTableAndKesta7ToTheVvTable) {
    EXPECT_EQ(read_templates(), (Families{0, 0x30}));  // no servo.set
}

// A Create takes the model's template: L type 52 (VV 57), LIN_KB 54 (59, its bus flag 1), any other
// model 50 (55), and makes a KESTA7 table of that model's type without number or file name.
TEST_F(TemplateFamily, CreateReadsTheModelsTemplateAsAKesta7Table) {
    write_settings(0x40);
    auto l = std::make_unique<ItiDatSet>();
    auto v = std::make_unique<ItiVvDatSet>();
    std::strcpy(l->szFileName, "old"), std::strcpy(v->szFileName, "old");
    for (auto [model, busFlag] : {std::pair{2, 0}, {4, 1}, {0, 0}}) {
        ASSERT_EQ(tav::iti::DatFil_Create(model, l.get()), TAV_OK);
        ASSERT_EQ(tav::itivv::DatFil_Create(model, v.get()), TAV_OK);
        EXPECT_EQ((Texts{l->szAmpNo, l->szFileName, v->szAmpNo, v->szFileName}), (Texts{"0", "", "0", ""}));
        EXPECT_EQ(std::make_tuple(+l->nModel, +l->nFamily, +l->byInfo6, +l->byInfo10, +l->nPointCount,
                                  +l->point[98].nDataNo, +l->point[98].nCmdMode),
                  std::make_tuple(2, 0x30u, busFlag, 0xFF, 99, 99, 1)) << model;
        EXPECT_EQ(std::make_tuple(+v->nModel, +v->nFamily, +v->byInfo6, +v->nPointCount, +v->nColumnCount,
                                  +v->point[14].nDataNo, +v->point[14].nCmdMode),
                  std::make_tuple(0, 0x30u, busFlag, 15, 12u, 15, 1)) << model;
    }
    // An empty template gives an empty table, a missing one none.
    home.write("template/52.k7l", "");
    EXPECT_EQ(tav::iti::DatFil_Create(2, l.get()), TAV_OK);
    EXPECT_EQ(+l->point[0].nDataNo, 0);
    for (const char* f : {"52.k7l", "57.k7v"}) std::remove(home.file(std::string("template/") + f).c_str());
    EXPECT_EQ(tav::iti::DatFil_Create(2, l.get()), TAV_E_NO_FILE);
    EXPECT_EQ(tav::itivv::DatFil_Create(2, v.get()), TAV_E_NO_FILE);
}

}  // namespace
