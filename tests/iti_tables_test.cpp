// Editing either positioning table in memory, the 99-point table of an L-type
// amplifier and the 15-point VV table: point numbers, change, insertion,
// initialisation and the decimal-point moves.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Tav_acs.h"
#include "iti/iti.h"
#include "itivv/itivv.h"
#include "tests/fixtures/set_matchers.h"

using namespace tav::iti;
using namespace tav::itivv;
using tavtest::expect_point_values;

namespace {

// What differs between the tables for these tests: the point count and the two times a VV point carries in its change and insertion.
template <class Set>
struct Table;

template <>
struct Table<ItiDatSet> {
    using Point = ItiDatPoint;
    static constexpr int kPoints = 99;
    static short chg(ItiDatSet* s, int no, const Point& p) {
        return Dat_Chg(s, no, p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, p.dStopTimer, p.nMCode, p.nMValid,
                       p.nMTiming);
    }
    static short insert(ItiDatSet* s, int no, const Point& p) {
        return Dat_Insert(s, no, p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, p.dStopTimer, p.nMCode, p.nMValid,
                          p.nMTiming);
    }
};

template <>
struct Table<ItiVvDatSet> {
    using Point = ItiVvDatPoint;
    static constexpr int kPoints = 15;
    static short chg(ItiVvDatSet* s, int no, const Point& p) {
        return Dat_Chg(s, no, p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, p.dAccelTime, p.dDecelTime,
                       p.dStopTimer, p.nMCode, p.nMValid, p.nMTiming);
    }
    static short insert(ItiVvDatSet* s, int no, const Point& p) {
        return Dat_Insert(s, no, p.nCmdMode, p.nStepMode, p.dStopPos, p.dSpeed, p.dAccelTime, p.dDecelTime,
                          p.dStopTimer, p.nMCode, p.nMValid, p.nMTiming);
    }
};

// Point n: every value its own, so that a moved or mixed-up field shows.
template <class Set>
std::unique_ptr<Set> numbered_set() {
    auto s = std::make_unique<Set>();
    s->nPointCount = Table<Set>::kPoints;
    for (int i = 0; i < Table<Set>::kPoints; ++i) {
        auto& p = s->point[i];
        p.nDataNo = i + 1;
        p.dStopPos = 1000.0 * (i + 1);
        p.dSpeed = 100.0 + i;
        p.nMCode = i;
        p.nStatus = -(i % 3);
        if constexpr (tavtest::kHasTimes<decltype(p)>) {
            p.dAccelTime = 10.0 + i;
            p.dDecelTime = 20.0 + i;
        }
    }
    return s;
}

// A point of values no numbered point has.
template <class Point>
Point edited_point() {
    Point p{};
    p.nCmdMode = 1, p.nStepMode = 2, p.dStopPos = -12.5, p.dSpeed = 300.25, p.dStopTimer = 1.25;
    p.nMCode = 200, p.nMValid = 1, p.nMTiming = 1;
    if constexpr (tavtest::kHasTimes<Point>) {
        p.dAccelTime = 12.5;
        p.dDecelTime = 7.5;
    }
    return p;
}

template <class Set>
class PointTable : public ::testing::Test {
protected:
    using T = Table<Set>;
    using Point = typename T::Point;
    static constexpr int N = T::kPoints;
    std::unique_ptr<Set> s = numbered_set<Set>();
    const Point p = edited_point<Point>();
};
using BothTables = ::testing::Types<ItiDatSet, ItiVvDatSet>;
TYPED_TEST_SUITE(PointTable, BothTables);

TYPED_TEST(PointTable, PointNumbersOutsideTheTableChangeNothing) {
    using T = typename TestFixture::T;
    TypeParam* s = this->s.get();
    const auto before = std::make_unique<TypeParam>(*s);
    typename TestFixture::Point out{};
    for (short code : std::initializer_list<short>{T::chg(s, 0, this->p), T::chg(s, this->N + 1, this->p), T::insert(s, this->N + 1, this->p),
                       Dat_Init(s, -3), Dat_Init(s, this->N + 1), Dat_Rd(s, this->N + 1, &out)})
        EXPECT_EQ(code, TAV_E_PARAMETER);
    if constexpr (tavtest::kHasTimes<typename TestFixture::Point>) {  // the VV table's deletion
        for (int no : {0, 16}) EXPECT_EQ(Dat_Delete(s, no), TAV_E_PARAMETER) << no;
    }
    EXPECT_EQ(std::memcmp(before.get(), s, sizeof *s), 0);
    // A damaged count never reaches past the table.
    s->nPointCount = 5000;
    EXPECT_EQ(T::chg(s, this->N + 1, this->p), TAV_E_PARAMETER);
    if constexpr (tavtest::kHasTimes<typename TestFixture::Point>) {
        EXPECT_EQ(Dat_Delete(s, 16), TAV_E_PARAMETER);
    }
    EXPECT_EQ(T::insert(s, this->N, this->p), TAV_OK);
}

TYPED_TEST(PointTable, ChangeMarksThePointAndReadLeavesTheMCodeFlagsToTheCaller) {
    TypeParam* s = this->s.get();
    ASSERT_EQ(TestFixture::T::chg(s, 7, this->p), TAV_OK);
    EXPECT_EQ(std::make_tuple(+s->point[6].nChgFlag, +s->point[6].nDataNo, +s->point[6].nStatus), std::make_tuple(1, 7, 0));
    expect_point_values(s->point[6], this->p, 7);

    typename TestFixture::Point out{}, want = this->p;
    out.nMValid = want.nMValid = 77;
    out.nMTiming = want.nMTiming = 88;
    ASSERT_EQ(Dat_Rd(s, 7, &out), TAV_OK);
    EXPECT_EQ(std::make_pair(+out.nDataNo, +out.nChgFlag), std::make_pair(7, 1));
    expect_point_values(out, want, 7);
}

TYPED_TEST(PointTable, InsertShiftsTheTableDownFromItsPoint) {
    TypeParam* s = this->s.get();
    s->point[3].nChgFlag = 1;  // the flag belongs to the slot: a 1 stays 1
    const auto before = std::make_unique<TypeParam>(*s);
    ASSERT_EQ(TestFixture::T::insert(s, 1, this->p), TAV_OK);
    EXPECT_EQ(std::make_pair(+s->point[0].nChgFlag, +s->point[0].nDataNo), std::make_pair(1, 1));
    expect_point_values(s->point[0], this->p, 1);
    for (int no = 2; no <= this->N; ++no) {
        const auto& q = s->point[no - 1];
        EXPECT_EQ(+q.nDataNo, no);
        expect_point_values(q, before->point[no - 2], no);
        EXPECT_EQ(+q.nStatus, -((no - 1) % 3)) << no;  // status stays with its slot
        EXPECT_EQ(+q.nChgFlag, no == 4 ? 1 : 2) << no;
    }
    // At the last point only that point changes.
    *s = *before;
    ASSERT_EQ(TestFixture::T::insert(s, this->N, this->p), TAV_OK);
    for (int i = 0; i < this->N - 1; ++i) EXPECT_EQ(+s->point[i].nChgFlag, i == 3 ? 1 : 0) << i;
    EXPECT_EQ(+s->point[this->N - 1].nChgFlag, 1);
    expect_point_values(s->point[this->N - 1], this->p, this->N);
}

TYPED_TEST(PointTable, InitClearsTheValuesButKeepsTheMCodeFlags) {
    TypeParam* s = this->s.get();
    s->point[9].nMValid = 1, s->point[9].nMTiming = 1, s->point[9].dStopTimer = 3.0;
    ASSERT_EQ(Dat_Init(s, 10), TAV_OK);
    typename TestFixture::Point want{};
    want.nCmdMode = 1, want.nMValid = 1, want.nMTiming = 1;
    EXPECT_EQ(+s->point[9].nChgFlag, 1);
    expect_point_values(s->point[9], want, 10);
}

TYPED_TEST(PointTable, DecimalMovesKeepTheDigits) {
    TypeParam* s = this->s.get();
    s->wStopPosDp = 2;
    s->point[0].dStopPos = 123.45;
    s->point[1].dStopPos = -0.07;
    ASSERT_EQ(Att_Chg(s, 3), TAV_OK);
    EXPECT_EQ(std::make_pair(+s->wStopPosDp, +s->point[0].dSpeed), std::make_pair(3, 100.0));
    EXPECT_DOUBLE_EQ(+s->point[0].dStopPos, 12.345);
    EXPECT_DOUBLE_EQ(+s->point[1].dStopPos, -0.007);
    ASSERT_EQ(Att_Chg(s, 3), TAV_OK);  // same value: nothing moves
    EXPECT_DOUBLE_EQ(+s->point[0].dStopPos, 12.345);
    EXPECT_EQ(Att_Chg(s, 6), TAV_E_PARAMETER);
    EXPECT_EQ(+s->wStopPosDp, 3);

    s->point[4].dStopTimer = 1.5;
    ASSERT_EQ(Att_Chg2(s, 1), TAV_OK);
    EXPECT_EQ(+s->wStopTimeDp, 1);
    EXPECT_DOUBLE_EQ(+s->point[4].dStopTimer, 0.15);
    EXPECT_EQ(Att_Chg2(s, 2), TAV_E_PARAMETER);
    ASSERT_EQ(Att_Chg2(s, 0), TAV_OK);
    EXPECT_DOUBLE_EQ(+s->point[4].dStopTimer, 1.5);
    if constexpr (tavtest::kHasTimes<typename TestFixture::Point>) {
        EXPECT_EQ(+s->point[0].dAccelTime, 10.0);  // the times keep their one place
        unsigned short dp = 0;
        EXPECT_EQ(Att_Rd(s, &dp), TAV_OK);
        EXPECT_EQ(dp, 3);
    }
}

// --------------------------------------------------- the VV table's deletion
TEST(ItiVvDeletion, DeleteClosesTheGapAndResetsTheLastPoint) {
    auto s = numbered_set<ItiVvDatSet>();
    s->point[5].nChgFlag = 1;  // an edited slot stays 1
    const auto before = std::make_unique<ItiVvDatSet>(*s);
    ASSERT_EQ(Dat_Delete(s.get(), 3), TAV_OK);
    EXPECT_EQ(+s->point[0].nChgFlag, 0);
    expect_point_values(s->point[1], before->point[1], 2);
    for (int no = 3; no <= 14; ++no) {
        const ItiVvDatPoint& p = s->point[no - 1];
        EXPECT_EQ(+p.nDataNo, no);
        EXPECT_EQ(+p.nStatus, -((no - 1) % 3)) << no;  // status stays with its slot
        expect_point_values(p, before->point[no], no);
        EXPECT_EQ(+p.nChgFlag, no == 6 ? 1 : 2) << no;
    }
    ItiVvDatPoint cleared{};
    cleared.nDataNo = 15, cleared.nCmdMode = 1;
    EXPECT_EQ(+s->point[14].nChgFlag, 2);
    tavtest::expect_point(s->point[14], cleared);
    // At 15 only the last point is reset.
    *s = *before;
    ASSERT_EQ(Dat_Delete(s.get(), 15), TAV_OK);
    EXPECT_EQ(std::memcmp(&before->point[0], &s->point[0], 14 * sizeof(ItiVvDatPoint)), 0);
    EXPECT_EQ(+s->point[14].nChgFlag, 2);
    tavtest::expect_point(s->point[14], cleared);
}

}  // namespace
