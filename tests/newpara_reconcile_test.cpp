// Decimal-point and motor reconciliation of an extended parameter set, on
// sets built in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fixtures/set_matchers.h"
#include "frame/frame.h"
#include "newpara/newpara.h"
#include "text/text.h"

namespace {

using namespace tav::newpara;
using Texts = std::vector<std::string>;

class Reconcile : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(set.get(), 0, sizeof *set);
        set->nParaCount = 297;
        set->byInfo8 = 1;  // an option card present: nothing blanked
        tav::frame::switches().forcedDecimal = -1;
        add(1, "SS", 0x0001, 0, 5, 0, "");
        tilde = tav::text::Text(10016);
    }
    void TearDown() override { tav::frame::switches().forcedDecimal = -1; }

    NewParaRecord& add(int no, const char* code, unsigned attr, double initial, double max, double min,
                       const char* note, const char* comment = "") {
        NewParaRecord& r = set->para[no - 1];
        r.nParaNo = no;
        std::strcpy(r.szName, "item");
        std::strcpy(r.szIdCode, code);
        r.wAttr = static_cast<uint16_t>(attr);
        r.dInitial = r.dValue = initial;
        r.dMax = max;
        r.dMin = min;
        std::strcpy(r.szNote, note);
        std::strcpy(r.szItemComment, comment);
        std::strcpy(r.szItemCommentBase, comment);
        return r;
    }
    std::string text(int no) const { return set->para[no - 1].szItemComment; }
    // The range texts of parameters from..to.
    Texts texts(int from, int to) const {
        Texts out;
        for (int no = from; no <= to; ++no) out.push_back(text(no));
        return out;
    }

    std::unique_ptr<NewParaSet> set = std::make_unique<NewParaSet>();
    std::string tilde;
};

TEST_F(Reconcile, DecimalPositionOutOfRangeFallsBackToFivePlaces) {
    NewParaRecord& pos = add(2, "", 0x0011, 100, 99999, 0, "mm");
    set->para[0].dValue = 7;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 1, 1, 0, 0), 0);
    EXPECT_EQ(+pos.wAttr >> 8, 5);
    // Scale, maximum, value: the digits stay, the point moves.
    EXPECT_THAT((std::vector<double>{+pos.dScale, +pos.dMax, +pos.dValue}), tavtest::DoublesAre({0.00001, 0.99999, 0.001}));

    tav::frame::switches().forcedDecimal = 2;
    add(3, "", 0x0011, 100, 99999, 0, "mm");
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 0, 0, 0), 0);
    EXPECT_DOUBLE_EQ(+set->para[2].dMax, 999.99);
}

TEST_F(Reconcile, ChangingTheDecimalPositionRescalesTheSamePositionOnlyRebuildsTexts) {
    NewParaRecord& pos = add(2, "AA", 0x0011, 1000, 99999, -99999, "mm");
    NewParaRecord& plain = add(3, "", 0x0001, 10, 100, 0, "ms");
    ASSERT_EQ(NewPara_Dat_Chg(set.get(), 1, 3), 0);
    EXPECT_THAT((std::vector<double>{+pos.dValue, +pos.dMin, +pos.dScale}), tavtest::DoublesAre({1.0, -99.999, 0.001}));
    EXPECT_EQ(+plain.dMax, 100);  // not following the decimal position
    EXPECT_EQ(texts(2, 3), (Texts{"-99.999" + tilde + "99.999 mm", "0" + tilde + "100 ms"}));

    pos.dValue = 12.345, pos.nChgFlag = 0;
    std::strcpy(pos.szItemComment, "stale");
    ASSERT_EQ(NewPara_Dat_Chg(set.get(), 1, 3), 0);
    EXPECT_EQ(std::make_tuple(+pos.dValue, +pos.dMax, +pos.nChgFlag), std::make_tuple(12.345, 99.999, 0));
    EXPECT_EQ(text(2), "-99.999" + tilde + "99.999 mm");
}

TEST_F(Reconcile, MotorLimitsByEncoderAndSeries) {
    set->byInfo14 = 9;
    set->byInfo10 = 7;
    NewParaRecord& torque = add(2, "TT", 0x0001, 300, 300, 0, "%");
    torque.dValue = 300;
    NewParaRecord& speed = add(3, "KK", 0x0001, 5000, 5000, 1, "r/min");
    NewParaRecord& inertia = add(4, "FF", 0x0001, 5, 500, 0, "");
    NewParaRecord& enc5 = add(5, "OP", 0x0001, 16, 0, 16, "", "16%s[P/R]");
    NewParaRecord& enc8 = add(6, "IP", 0x0001, 1, 0, 1, "", "1-%-8s|");
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 1, 0, 1), 0);
    // Torque maximum, initial, value; the speed's initial value sat at the maximum and follows it.
    EXPECT_EQ((std::vector<double>{+torque.dMax, +torque.dInitial, +torque.dValue, +speed.dMax, +speed.dValue, +inertia.dMax,
                                   +inertia.dInitial, +enc5.dMax, +enc8.dMax}),
              (std::vector<double>{240, 240, 240, 3000, 3000, 30, 1, 32768, 131072}));
    EXPECT_EQ(texts(2, 3), (Texts{"0" + tilde + tav::text::Text(10038) + "240 %",
                                  "1" + tilde + tav::text::Text(10037) + "3000 r/min"}));
    EXPECT_EQ(texts(5, 6), (Texts{"1632768[P/R]", "1-131072  |"}));

    // A series beyond the table leaves the torque alone; other encoders use the table row.
    set->byInfo14 = 3;
    set->byInfo10 = 2;
    torque.dInitial = torque.dMax = 100;
    torque.dValue = 50;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 0, 0, 1), 0);
    EXPECT_EQ(std::make_tuple(+torque.dMax, +torque.dValue, +speed.dMax, +enc5.dMax),
              std::make_tuple(300.0, 50.0, 2500.0, 262144.0));
    set->byInfo10 = 12;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 0, 0, 1), 0);
    EXPECT_EQ(std::make_pair(+torque.dMax, +speed.dMax), std::make_pair(300.0, 6000.0));  // the column maximum
}

TEST_F(Reconcile, RangeTextsByClass) {
    add(2, "", 0x0003, 0, 65535, 0, "");           // hexadecimal
    add(3, "ZO", 0x0001, 0, 100, 0, "");           // class 6: plain range
    add(4, "SC", 0x0011, 1000, 999999, 0, "mm/P", "step ");
    add(5, "NN", 0x0001, 0, 1, 0, "");             // no text
    add(6, "S2", 0x0001, 0, 2, 0, "", "kept");     // no text when not rescaled
    add(7, "", 0x0001, 0, 0, 0, "", "kept too");   // maximum 0 without a note
    add(8, "OP", 0x0001, 0, 99, 0, "", "%d %s");   // conversions that do not fit
    add(9, "IP", 0x0001, 0, 99, 0, "", "%s %s");
    add(10, "C1", 0x0011, 0, 99, 0, "", "option");  // rescaled option code: no text
    set->para[0].dValue = 3;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 1, 0, 0), 0);
    // Class 1: the empty note after a blank.
    EXPECT_EQ(texts(2, 10), (Texts{"0H" + tilde + "FFFFH ", "0" + tilde + "100", "step 0.001" + tilde + "999.999 mm/P",
                                   "", "kept", "kept too", "0" + tilde + "99", "0" + tilde + "99", "option"}));
}

TEST_F(Reconcile, OptionParametersBlankedWithoutTheirCard) {
    add(2, "C1", 0x0001, 0, 9, 0, "");
    add(3, "O2", 0x0001, 0, 9, 0, "");
    add(4, "O1", 0x0001, 0, 9, 0, "");
    set->byInfo7 = 1;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 0, 0, 0), 0);
    // O2 goes with byInfo7 = 1.
    EXPECT_EQ(std::make_tuple(+set->para[1].wAttr != 0, +set->para[2].wAttr, std::string(set->para[2].szName)),
              std::make_tuple(true, 0, tav::text::Text(10010)));
    set->byInfo7 = set->byInfo8 = 0;
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 0, 0, 0), 0);
    EXPECT_EQ(std::make_tuple(+set->para[1].wAttr, +set->para[3].wAttr, +set->para[3].dMax), std::make_tuple(0, 0, 0.0));
}

TEST_F(Reconcile, CommentLongerThanTheAreaStaysInside) {
    std::string fmt(990, 'c');
    fmt += "%999s";
    NewParaRecord& r = add(2, "OP", 0x0001, 0, 99, 0, "");
    std::strcpy(r.szItemCommentBase, fmt.c_str());
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 1, 0, 0), 0);
    EXPECT_EQ(std::strlen(r.szItemComment), sizeof r.szItemComment - 1);
    // A note and a comment filling their areas: the SC text is cut, not overrun.
    NewParaRecord& sc = add(3, "SC", 0x0011, 0, 99, 0, "");
    std::memset(sc.szItemCommentBase, 'b', sizeof sc.szItemCommentBase - 1);
    std::memset(sc.szNote, 'n', sizeof sc.szNote - 1);
    ASSERT_EQ(NewPara_Syousuh_Chg(set.get(), 0, 1, 0, 0), 0);
    EXPECT_EQ(std::strlen(sc.szItemComment), sizeof sc.szItemComment - 1);
}

TEST(FormatWithOneText, AcceptsOnlyOneStringConversion) {
    char out[16];
    for (auto [format, want] : {std::pair{"a%%%5sb", "a%   xyb"}, {"%.1s", "x"}}) {
        EXPECT_TRUE(format_with_one_text(format, "xy", out, sizeof out)) << format;
        EXPECT_STREQ(out, want);
    }
    for (const char* refused : {"none", "%n%s", "%*s", "%s%"})
        EXPECT_FALSE(format_with_one_text(refused, "xy", out, sizeof out)) << refused;
    EXPECT_TRUE(format_with_one_text("%s0123456789abcdefgh", "xy", out, sizeof out));
    EXPECT_EQ(std::strlen(out), sizeof out - 1);
}

}  // namespace
