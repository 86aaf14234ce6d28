// The line from end to end: the library over the real component, against the
// simulator in-process ("sim:") and as a separate servo-sim process on a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "comm/comm.h"
#include "fixtures/temp_dirs.h"
#include "fixtures/wyn_sim.h"
#include "line/line.h"

namespace {

// A sample installation whose COM1 is the given port map value.
class LineEndToEnd : public ::testing::Test {
protected:
    void install(const std::string& com1) {
        tavtest::install_sample(home, {"servo.set", "servo.con"});
        home.write("wyn.ini", "[Ports]\r\nCOM1=" + com1 + "\r\n");
    }
    void TearDown() override { tav::comm::wyn().Wyn_Net_Close(); }

    tavtest::TempHost host;
    tavtest::TempInstall home;
};

// The same answers from the simulator in-process and from servo-sim on a pseudo-terminal.
TEST_F(LineEndToEnd, IdentifiesTheOperatorAndTheAmplifiersInProcessAndOverAPseudoTerminal) {
    for (const bool pty : {false, true}) {
        SCOPED_TRACE(pty ? "servo-sim" : "sim:");
        std::unique_ptr<tavtest::SimProcess> sim;
        if (pty) {
            sim = std::make_unique<tavtest::SimProcess>(home.file("pty-state.json"), home.file("ttySIM"));
            ASSERT_TRUE(sim->ready()) << sim->ready_line();
        }
        install(pty ? home.file("ttySIM") : "sim:state.json");
        ASSERT_EQ(tav::line::Wyn_Net_Open(), 0);
        unsigned char record[17] = {};
        ASSERT_EQ(tav::comm::wyn().Wyn_SysCondition_Rd(0, 17, record), 0);
        EXPECT_EQ(record[4], 0x50);  // the servo operator answers at station 0
        for (auto [station, family, model] : {std::tuple{1, 0x30, "QMT "}, {2, 0x40, "QMH "}}) {
            AmpIdentification id{};
            ASSERT_EQ(tav::line::SysCondition_Rd(station, &id), 0);
            EXPECT_EQ(int{id.byFamily}, family);
            EXPECT_EQ(std::string(id.szModelName).rfind(model, 0), 0u) << id.szModelName;
            EXPECT_EQ(std::string(id.szFamilyName), family == 0x30 ? "KESTA7" : "KESTA7 Mini");
        }
        tav::comm::wyn().Wyn_Net_Close();
        if (sim) {
            EXPECT_EQ(sim->stop(), 0);
        }
    }
}

TEST_F(LineEndToEnd, OfflineRunOnAndAPositioningRunThenOnlineAgain) {
    install("sim:state.json");
    unsigned char record[17] = {};
    ASSERT_EQ(tav::line::Open_OffONline_Close(0, record), 0);  // selected entry: station 1
    ASSERT_EQ(tav::line::Wyn_Net_Open(), 0);
    unsigned char status[2] = {};
    int ready = -1;
    ASSERT_EQ(tav::line::Status_Rd(1, status, &ready), 0);
    EXPECT_TRUE(status[0] & 0x04);  // offline
    ASSERT_EQ(tav::line::RunOnOFF_ManuSpeedSel(1, 1, 500, status), 0);
    ASSERT_EQ(tav::line::PlaceRunOff(1, 3, 1, status, &ready), 0);
    EXPECT_EQ(ready, 1);
    PositioningRunStatus run{};
    ASSERT_EQ(tav::line::ItiDatRunStatus_Rd(1, &run), 0);
    // Packed fields are copied out before gtest binds references to them.
    EXPECT_EQ(std::make_pair(int{run.byDataNo}, int{run.nCmdMode}), std::make_pair(0x03, 0));
    EXPECT_STREQ(run.szDataNo, " 3");
    ASSERT_EQ(tav::line::PlaceRunOff(1, 0, 0, status, &ready), 0);  // cancel ignores the number
    tav::comm::wyn().Wyn_Net_Close();

    ASSERT_EQ(tav::line::Open_OffONline_Close(1, record), 0);
    ASSERT_EQ(tav::line::Wyn_Net_Open(), 0);
    ASSERT_EQ(tav::line::Status_Rd(1, status, &ready), 0);
    EXPECT_FALSE(status[0] & 0x04);  // online again
    EXPECT_EQ(ready, 0);
}

TEST_F(LineEndToEnd, RefreshMarksTheEntryConnectedInServoCon) {
    install("sim:state.json");
    int count = 0, station = 0, flag = -1;
    char name[500] = "";
    ASSERT_EQ(tav::line::AmpData_Rd(2, 1, &count, &station, name, &flag), 0);
    EXPECT_EQ(std::make_pair(station, flag), std::make_pair(2, 1));
    EXPECT_NE(home.read("servo.con").find("002,1,"), std::string::npos);
}

}  // namespace
