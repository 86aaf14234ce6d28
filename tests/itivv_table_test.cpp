// Editing a VV table in memory: the two times travel with their point through
// insertion and deletion, the read-back keeps them apart from the speed, and
// point numbers outside the 15 change nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Tav_acs.h"
#include "itivv/itivv.h"

using namespace tav::itivv;

namespace {

std::unique_ptr<ItiVvDatSet> numbered_set() {
    auto s = std::make_unique<ItiVvDatSet>();
    s->nPointCount = 15;
    for (int i = 0; i < 15; ++i) {
        ItiVvDatPoint& p = s->point[i];
        p.nDataNo = i + 1;
        p.nCmdMode = 0;
        p.dStopPos = 1000.0 * (i + 1);
        p.dSpeed = 100.0 + i;
        p.dAccelTime = 10.0 + i;
        p.dDecelTime = 20.0 + i;
        p.dStopTimer = 0.5;
        p.nMCode = i;
        p.nStatus = -(i % 3);
    }
    return s;
}

TEST(ItiVvEditing, PointNumbersOutsideTheTableChangeNothing) {
    auto s = numbered_set();
    const ItiVvDatSet before = *s;
    EXPECT_EQ(Dat_Chg(s.get(), 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Chg(s.get(), 16, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Insert(s.get(), 16, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Delete(s.get(), 0), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Delete(s.get(), 16), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Init(s.get(), 16), TAV_E_PARAMETER);
    ItiVvDatPoint out{};
    EXPECT_EQ(Dat_Rd(s.get(), 16, &out), TAV_E_PARAMETER);
    EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0);
    // A damaged count never reaches past the 15 points.
    s->nPointCount = 99;
    EXPECT_EQ(Dat_Delete(s.get(), 16), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Insert(s.get(), 15, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1), TAV_OK);
}

TEST(ItiVvEditing, DeleteAtThreeClosesTheGapAndResetsTheLastPoint) {
    auto s = numbered_set();
    s->point[5].nChgFlag = 1;  // an edited slot stays 1
    ASSERT_EQ(Dat_Delete(s.get(), 3), TAV_OK);
    EXPECT_EQ(+s->point[0].nChgFlag, 0);
    EXPECT_EQ(+s->point[1].dAccelTime, 11.0);
    for (int no = 3; no <= 14; ++no) {
        const ItiVvDatPoint& p = s->point[no - 1];
        EXPECT_EQ(+p.nDataNo, no);
        EXPECT_EQ(+p.nStatus, -((no - 1) % 3)) << no;  // status stays with its slot
        EXPECT_EQ(+p.dStopPos, 1000.0 * (no + 1)) << no;
        EXPECT_EQ(+p.dSpeed, 100.0 + no) << no;
        EXPECT_EQ(+p.dAccelTime, 10.0 + no) << no;
        EXPECT_EQ(+p.dDecelTime, 20.0 + no) << no;
        EXPECT_EQ(+p.nMCode, no) << no;
        EXPECT_EQ(+p.nChgFlag, no == 6 ? 1 : 2) << no;
    }
    const ItiVvDatPoint& last = s->point[14];
    EXPECT_EQ(+last.nDataNo, 15);
    EXPECT_EQ(+last.nChgFlag, 2);
    EXPECT_EQ(+last.nCmdMode, 1);
    EXPECT_EQ(+last.dStopPos, 0.0);
    EXPECT_EQ(+last.dSpeed, 0.0);
    EXPECT_EQ(+last.dAccelTime, 0.0);
    EXPECT_EQ(+last.dDecelTime, 0.0);
    EXPECT_EQ(+last.nMCode, 0);
    EXPECT_EQ(+last.nStatus, 0);
}

TEST(ItiVvEditing, DeleteAtFifteenOnlyResetsIt) {
    auto s = numbered_set();
    ItiVvDatSet before = *s;
    ASSERT_EQ(Dat_Delete(s.get(), 15), TAV_OK);
    EXPECT_EQ(std::memcmp(&before.point[0], &s->point[0], 14 * sizeof(ItiVvDatPoint)), 0);
    EXPECT_EQ(+s->point[14].nChgFlag, 2);
    EXPECT_EQ(+s->point[14].dAccelTime, 0.0);
    EXPECT_EQ(+s->point[14].nCmdMode, 1);
}

TEST(ItiVvEditing, InsertMovesTheTimesWithTheirPoint) {
    auto s = numbered_set();
    ASSERT_EQ(Dat_Insert(s.get(), 1, 1, 2, 5.0, 6.0, 7.5, 8.5, 0.25, 9, 1, 0), TAV_OK);
    const ItiVvDatPoint& first = s->point[0];
    EXPECT_EQ(+first.nChgFlag, 1);
    EXPECT_EQ(+first.dAccelTime, 7.5);
    EXPECT_EQ(+first.dDecelTime, 8.5);
    EXPECT_EQ(+first.dStopTimer, 0.25);
    for (int no = 2; no <= 15; ++no) {
        EXPECT_EQ(+s->point[no - 1].dAccelTime, 10.0 + no - 2) << no;
        EXPECT_EQ(+s->point[no - 1].dDecelTime, 20.0 + no - 2) << no;
        EXPECT_EQ(+s->point[no - 1].nChgFlag, 2) << no;
    }
}

TEST(ItiVvEditing, ReadGivesEachValueItsOwnFieldAndLeavesTheMCodeFlags) {
    auto s = numbered_set();
    ASSERT_EQ(Dat_Chg(s.get(), 4, 1, 3, -2.5, 300.25, 12.5, 7.5, 1.25, 200, 1, 1), TAV_OK);
    ItiVvDatPoint out{};
    out.nMValid = 77;
    out.nMTiming = 88;
    ASSERT_EQ(Dat_Rd(s.get(), 4, &out), TAV_OK);
    EXPECT_EQ(+out.nDataNo, 4);
    EXPECT_EQ(+out.nChgFlag, 1);
    EXPECT_EQ(+out.nStepMode, 3);
    EXPECT_EQ(+out.dStopPos, -2.5);
    EXPECT_EQ(+out.dSpeed, 300.25);
    EXPECT_EQ(+out.dAccelTime, 12.5);
    EXPECT_EQ(+out.dDecelTime, 7.5);
    EXPECT_EQ(+out.dStopTimer, 1.25);
    EXPECT_EQ(+out.nMCode, 200);
    EXPECT_EQ(+out.nMValid, 77);
    EXPECT_EQ(+out.nMTiming, 88);

    ASSERT_EQ(Dat_Init(s.get(), 4), TAV_OK);
    EXPECT_EQ(+s->point[3].dAccelTime, 0.0);
    EXPECT_EQ(+s->point[3].dDecelTime, 0.0);
    EXPECT_EQ(+s->point[3].nMValid, 1);  // Init keeps the two flags
}

TEST(ItiVvEditing, DecimalMovesKeepTheDigitsAndLeaveTheTimesAlone) {
    auto s = numbered_set();
    s->wStopPosDp = 2;
    s->point[0].dStopPos = 123.45;
    s->point[0].dStopTimer = 1.5;
    ASSERT_EQ(Att_Chg(s.get(), 3), TAV_OK);
    EXPECT_DOUBLE_EQ(+s->point[0].dStopPos, 12.345);
    EXPECT_EQ(+s->point[0].dAccelTime, 10.0);
    ASSERT_EQ(Att_Chg2(s.get(), 1), TAV_OK);
    EXPECT_DOUBLE_EQ(+s->point[0].dStopTimer, 0.15);
    EXPECT_EQ(Att_Chg(s.get(), 6), TAV_E_PARAMETER);
    EXPECT_EQ(Att_Chg2(s.get(), 2), TAV_E_PARAMETER);
    unsigned short dp = 0;
    EXPECT_EQ(Att_Rd(s.get(), &dp), TAV_OK);
    EXPECT_EQ(dp, 3);
}

TEST(ItiVvEditing, TitleAndCommentAsForThePositioningTable) {
    auto s = numbered_set();
    ASSERT_EQ(FileName_Chg(s.get(), "C:\\data\\axis2.k7v"), TAV_OK);
    char drive[TAV_PATH_MAX], dir[TAV_PATH_MAX], base[TAV_PATH_MAX], title[TAV_PATH_MAX];
    ASSERT_EQ(Title_Rd(s.get(), drive, dir, base, nullptr, nullptr, title), TAV_OK);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(dir, "\\data\\");
    EXPECT_STREQ(base, "axis2");
    EXPECT_EQ(std::string(title).substr(std::string(title).size() - 9), "    axis2");

    std::string text(2047, 'x');
    EXPECT_EQ(FileCmt_Wt(s.get(), text.c_str()), TAV_OK);
    EXPECT_EQ(FileCmt_Wt(s.get(), (text + "y").c_str()), TAV_E_PARAMETER);
    EXPECT_EQ(std::strlen(s->szComment), 2047u);

    EXPECT_EQ(FileName_Chg(s.get(), ""), TAV_E_PARAMETER);
}

}  // namespace
