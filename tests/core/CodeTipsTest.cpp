// Code tips: the tip of a G code followed by the next recorded tip below
// 100, the format texts, records that keep the previous record's values, a
// second load, and the shipped English and Chinese tips.
#include <gtest/gtest.h>

#include "mod_gcode/GCCode/CodeRule.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

class Tips : public ::testing::Test {
 protected:
  void Load(const std::vector<std::u16string>& lines) {
    static int n = 0;
    std::string path = tmp.File("tips" + std::to_string(++n) + ".txt");
    coretest::WriteBytes(path, coretest::KeyValueFile(lines));
    ASSERT_TRUE(tips.LoadFile(path));
  }
  coretest::ScratchFolder tmp;
  CCodeTips tips;
};

TEST_F(Tips, TheTipIsFollowedByTheNextRecordedTip) {
  Load({u"nCodeName=0", u"Tip=rapid", u"Fmt=G00 X_", u"%", u"nCodeName=2", u"Tip=arc", u"Fmt=G02 R_", u"%"});
  EXPECT_EQ(tips.GetTip(u"G0"), u"rapid\r\narc");
  EXPECT_EQ(tips.GetTip(u"G00"), u"rapid\r\narc");
  EXPECT_EQ(tips.GetTip(u"G2"), u"arc\r\n");
  EXPECT_EQ(tips.GetTip(u"G1"), u"\r\narc");
  EXPECT_EQ(tips.GetTip(u"G50"), u"\r\n");
  EXPECT_EQ(tips.GetFmt(u"G0"), u"G00 X_");
  EXPECT_EQ(tips.GetFmt(u"G02"), u"G02 R_");
  EXPECT_EQ(tips.GetFmt(u"G1"), u"");
}

TEST_F(Tips, CodesThatAreNotGCodesGiveEmptyTexts) {
  Load({u"nCodeName=0", u"Tip=rapid", u"Fmt=G00", u"%"});
  for (const char16_t* code : {u"", u"M03", u"X0", u"g0", u" G0"}) {
    EXPECT_EQ(tips.GetTip(code), u"") << coretest::Utf8(code);
    EXPECT_EQ(tips.GetFmt(code), u"") << coretest::Utf8(code);
  }
}

TEST_F(Tips, TheNextTipIsLookedForOnlyBelow100) {
  Load({u"nCodeName=150", u"Tip=high", u"%", u"nCodeName=98", u"Tip=return", u"%"});
  EXPECT_EQ(tips.GetTip(u"G98"), u"return\r\n");
  EXPECT_EQ(tips.GetTip(u"G97"), u"\r\nreturn");
  EXPECT_EQ(tips.GetTip(u"G150"), u"high\r\n");
}

TEST_F(Tips, ARecordKeepsThePreviousRecordsValuesForWhatItOmits) {
  Load({u"nCodeName=5", u"Tip=five", u"Fmt=F5", u"%", u"nCodeName=6", u"%", u"nCodeName=7", u"Fmt=F7", u"%"});
  EXPECT_EQ(tips.GetTip(u"G6"), u"five\r\nfive");
  EXPECT_EQ(tips.GetFmt(u"G6"), u"F5");
  EXPECT_EQ(tips.GetTip(u"G7"), u"five\r\n");
  EXPECT_EQ(tips.GetFmt(u"G7"), u"F7");
}

TEST_F(Tips, ASecondLoadAddsAndReplaces) {
  Load({u"nCodeName=0", u"Tip=rapid", u"%", u"nCodeName=2", u"Tip=arc", u"%"});
  Load({u"nCodeName=2", u"Tip=arc2", u"%", u"nCodeName=3", u"Tip=ccw", u"%"});
  EXPECT_EQ(tips.GetTip(u"G0"), u"rapid\r\narc2");
  EXPECT_EQ(tips.GetTip(u"G2"), u"arc2\r\nccw");
}

TEST_F(Tips, AMissingFileChangesNothing) {
  Load({u"nCodeName=1", u"Tip=line", u"%"});
  coretest::AlertCapture alerts;
  EXPECT_FALSE(tips.LoadFile(tmp.File("missing.txt")));
  EXPECT_EQ(alerts.texts.size(), 1u);
  EXPECT_EQ(tips.GetTip(u"G1"), u"line\r\n");
}

TEST_F(Tips, HugeAndNegativeNumbersEndPromptly) {
  Load({u"nCodeName=0", u"Tip=rapid", u"%", u"nCodeName=2", u"Tip=arc", u"%"});
  // Numbers beyond int read as the largest int: no next number exists.
  EXPECT_EQ(tips.GetTip(u"G99999999999"), u"\r\n");
  EXPECT_EQ(tips.GetTip(u"G2147483647"), u"\r\n");
  EXPECT_EQ(tips.GetFmt(u"G99999999999"), u"");
  // -1 is "no number"; other negative numbers look for the next from 0.
  EXPECT_EQ(tips.GetTip(u"G-1"), u"");
  EXPECT_EQ(tips.GetTip(u"G-5"), u"\r\nrapid");
}

TEST_F(Tips, ChineseTextsArriveWhole) {
  Load({u"nCodeName=0", u"Tip=\u5FEB\u901F\u5B9A\u4F4D", u"%"});
  EXPECT_EQ(tips.GetTip(u"G0"), u"\u5FEB\u901F\u5B9A\u4F4D\r\n");
}

TEST(ShippedTips, EnglishAndChineseCoverTheCommonCodes) {
  coretest::AlertCapture alerts;
  CCodeTips en, cn;
  ASSERT_TRUE(en.Load(1));
  ASSERT_TRUE(cn.Load(0));
  EXPECT_TRUE(alerts.texts.empty());
  for (const char16_t* code : {u"G00", u"G01", u"G02", u"G03", u"G17", u"G41", u"G43", u"G54", u"G81", u"G90"}) {
    WString tip = en.GetTip(code);
    auto split = tip.find(u"\r\n");
    ASSERT_NE(split, WString::npos);
    EXPECT_GT(split, 0u) << "no English tip for " << coretest::Utf8(code);
    EXPECT_FALSE(en.GetFmt(code).empty()) << coretest::Utf8(code);
    WString chinese = cn.GetTip(code);
    EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(), [](char16_t u) { return u >= 0x4E00 && u <= 0x9FFF; }))
        << "no Chinese tip for " << coretest::Utf8(code);
  }
  EXPECT_NE(en.GetTip(u"G00"), cn.GetTip(u"G00"));
}

}  // namespace
}  // namespace quillet
