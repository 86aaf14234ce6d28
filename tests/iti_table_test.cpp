// Editing a positioning table in memory: point numbers, insertion, the
// decimal-point moves, the comment limit and the page title.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "iti/iti.h"
#include "text/text.h"

using namespace tav::iti;

namespace {

std::unique_ptr<ItiDatSet> numbered_set() {
    auto s = std::make_unique<ItiDatSet>();
    s->nPointCount = 99;
    for (int i = 0; i < 99; ++i) {
        ItiDatPoint& p = s->point[i];
        p.nDataNo = i + 1;
        p.dStopPos = 1000.0 * (i + 1);
        p.dSpeed = 100.0;
        p.nMCode = i;
        p.nStatus = -(i % 3);
    }
    return s;
}

TEST(ItiEditing, PointNumbersOutsideTheTableChangeNothing) {
    auto s = numbered_set();
    const ItiDatSet before = *s;
    EXPECT_EQ(Dat_Chg(s.get(), 0, 1, 1, 1.0, 1.0, 1.0, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Chg(s.get(), 100, 1, 1, 1.0, 1.0, 1.0, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Insert(s.get(), 100, 1, 1, 1.0, 1.0, 1.0, 1, 1, 1), TAV_E_PARAMETER);
    EXPECT_EQ(Dat_Init(s.get(), -3), TAV_E_PARAMETER);
    ItiDatPoint out{};
    EXPECT_EQ(Dat_Rd(s.get(), 100, &out), TAV_E_PARAMETER);
    EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0);
    // A damaged count never reaches past the table.
    s->nPointCount = 5000;
    EXPECT_EQ(Dat_Chg(s.get(), 100, 1, 1, 1.0, 1.0, 1.0, 1, 1, 1), TAV_E_PARAMETER);
}

TEST(ItiEditing, ChangeStoresValuesAndMarksThePoint) {
    auto s = numbered_set();
    ASSERT_EQ(Dat_Chg(s.get(), 7, 1, 2, -12.5, 300.25, 1.5, 200, 1, 1), TAV_OK);
    const ItiDatPoint& p = s->point[6];
    EXPECT_EQ(+(p.nChgFlag), 1);
    EXPECT_EQ(+(p.nDataNo), 7);
    EXPECT_EQ(+(p.nStatus), -(6 % 3));
    EXPECT_EQ(+(p.nCmdMode), 1);
    EXPECT_EQ(+(p.nStepMode), 2);
    EXPECT_EQ(+(p.dStopPos), -12.5);
    EXPECT_EQ(+(p.dSpeed), 300.25);
    EXPECT_EQ(+(p.dStopTimer), 1.5);
    EXPECT_EQ(+(p.nMCode), 200);
    EXPECT_EQ(+(p.nMValid), 1);
    EXPECT_EQ(+(p.nMTiming), 1);
}

TEST(ItiEditing, InsertAtOneShiftsTheTableDown) {
    auto s = numbered_set();
    s->point[3].nChgFlag = 1;  // the flag belongs to the slot: a 1 stays 1
    ASSERT_EQ(Dat_Insert(s.get(), 1, 0, 1, 5.0, 6.0, 0.5, 9, 1, 0), TAV_OK);
    EXPECT_EQ(+(s->point[0].nChgFlag), 1);
    EXPECT_EQ(+(s->point[0].dStopPos), 5.0);
    EXPECT_EQ(+(s->point[0].nDataNo), 1);
    for (int no = 2; no <= 99; ++no) {
        const ItiDatPoint& p = s->point[no - 1];
        EXPECT_EQ(+(p.nDataNo), no);
        EXPECT_EQ(+(p.dStopPos), 1000.0 * (no - 1)) << no;
        EXPECT_EQ(+(p.nMCode), no - 2);
        EXPECT_EQ(+(p.nStatus), -((no - 1) % 3));  // status stays with its slot
        EXPECT_EQ(+(p.nChgFlag), no == 4 ? 1 : 2) << no;
    }
}

TEST(ItiEditing, InsertAtTheLastPointOnlyChangesIt) {
    auto s = numbered_set();
    ASSERT_EQ(Dat_Insert(s.get(), 99, 0, 0, 1.0, 2.0, 0.0, 3, 0, 0), TAV_OK);
    for (int i = 0; i < 98; ++i) EXPECT_EQ(+(s->point[i].nChgFlag), 0);
    EXPECT_EQ(+(s->point[98].nChgFlag), 1);
    EXPECT_EQ(+(s->point[98].dStopPos), 1.0);
}

TEST(ItiEditing, InitKeepsTheMCodeFlagsAndRdLeavesThemToTheCaller) {
    auto s = numbered_set();
    s->point[9].nMValid = 1;
    s->point[9].nMTiming = 1;
    s->point[9].dStopTimer = 3.0;
    ASSERT_EQ(Dat_Init(s.get(), 10), TAV_OK);
    const ItiDatPoint& p = s->point[9];
    EXPECT_EQ(+(p.nChgFlag), 1);
    EXPECT_EQ(+(p.nCmdMode), 1);
    EXPECT_EQ(p.dStopPos + p.dSpeed + p.dStopTimer, 0.0);
    EXPECT_EQ(+(p.nMCode), 0);
    EXPECT_EQ(+(p.nMValid), 1);
    EXPECT_EQ(+(p.nMTiming), 1);

    ItiDatPoint out{};
    out.nMValid = 77;
    out.nMTiming = 88;
    ASSERT_EQ(Dat_Rd(s.get(), 10, &out), TAV_OK);
    EXPECT_EQ(+(out.nDataNo), 10);
    EXPECT_EQ(+(out.nChgFlag), 1);
    EXPECT_EQ(+(out.nMValid), 77);
    EXPECT_EQ(+(out.nMTiming), 88);
}

TEST(ItiEditing, DecimalMovesKeepTheDigits) {
    auto s = numbered_set();
    s->wStopPosDp = 2;
    s->point[0].dStopPos = 123.45;
    s->point[1].dStopPos = -0.07;
    ASSERT_EQ(Att_Chg(s.get(), 3), TAV_OK);
    EXPECT_EQ(+(s->wStopPosDp), 3);
    EXPECT_DOUBLE_EQ(+(s->point[0].dStopPos), 12.345);
    EXPECT_DOUBLE_EQ(+(s->point[1].dStopPos), -0.007);
    ASSERT_EQ(Att_Chg(s.get(), 3), TAV_OK);  // same value: nothing moves
    EXPECT_DOUBLE_EQ(+(s->point[0].dStopPos), 12.345);
    EXPECT_EQ(Att_Chg(s.get(), 6), TAV_E_PARAMETER);
    EXPECT_EQ(+(s->wStopPosDp), 3);

    s->point[4].dStopTimer = 1.5;
    ASSERT_EQ(Att_Chg2(s.get(), 1), TAV_OK);
    EXPECT_EQ(+(s->wStopTimeDp), 1);
    EXPECT_DOUBLE_EQ(+(s->point[4].dStopTimer), 0.15);
    EXPECT_EQ(Att_Chg2(s.get(), 2), TAV_E_PARAMETER);
    ASSERT_EQ(Att_Chg2(s.get(), 0), TAV_OK);
    EXPECT_DOUBLE_EQ(+(s->point[4].dStopTimer), 1.5);
}

TEST(ItiEditing, CommentLimitAndFileName) {
    auto s = numbered_set();
    const std::string ok(2047, 'c');
    EXPECT_EQ(FileCmt_Wt(s.get(), ok.c_str()), TAV_OK);
    EXPECT_EQ(FileCmt_Wt(s.get(), std::string(2048, 'd').c_str()), TAV_E_PARAMETER);
    char back[2058];
    ASSERT_EQ(FileCmt_Rd(s.get(), back), TAV_OK);
    EXPECT_EQ(std::string(back), ok);

    EXPECT_EQ(FileName_Chg(s.get(), ""), TAV_E_PARAMETER);
    EXPECT_EQ(FileName_Chg(s.get(), nullptr), TAV_E_PARAMETER);
    EXPECT_EQ(+(s->szFileName[0]), '\0');
    EXPECT_EQ(FileName_Chg(s.get(), "/tmp/a.k7l"), TAV_OK);
    EXPECT_STREQ(s->szFileName, "/tmp/a.k7l");
}

TEST(ItiEditing, TitleSplitsTheFileName) {
    auto s = numbered_set();
    char drive[TAV_PATH_MAX], dir[TAV_PATH_MAX], base[TAV_PATH_MAX], o4[TAV_PATH_MAX], o5[TAV_PATH_MAX],
        title[TAV_PATH_MAX];
    const std::string page = tav::text::Text(10007);
    ASSERT_FALSE(page.empty());
    ASSERT_EQ(Title_Rd(s.get(), drive, dir, base, o4, o5, title), TAV_OK);
    EXPECT_EQ(std::string(title), page);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(base, "");

    std::strcpy(s->szFileName, "C:\\data\\axis1.k7l");
    ASSERT_EQ(Title_Rd(s.get(), drive, dir, base, o4, o5, title), TAV_OK);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(dir, "\\data\\");
    EXPECT_STREQ(base, "axis1");
    EXPECT_STREQ(o4, "");
    EXPECT_STREQ(o5, "");
    EXPECT_EQ(std::string(title), page + "    axis1");

    std::strcpy(s->szFileName, "/home/u/x.y.k7l");
    ASSERT_EQ(Title_Rd(s.get(), drive, dir, base, o4, o5, title), TAV_OK);
    EXPECT_STREQ(base, "x");
    EXPECT_STREQ(dir, "/home/u/");
}

// Blocks of at most two points never span a point that is not sent.
TEST(ItiBlocks, WalkerSplitsAtGaps) {
    BlockWalker w(99, 2, [](int no) { return no == 3 || no == 4 || no == 5 || no == 9; });
    int first = 0, count = 0;
    std::string seen;
    while (w.next(&first, &count)) seen += std::to_string(first) + "x" + std::to_string(count) + " ";
    EXPECT_EQ(seen, "3x2 5x1 9x1 ");
    EXPECT_EQ(block_progress(99, 2), 75u);
    EXPECT_EQ(block_progress(99, 99), 100u);
}

}  // namespace
