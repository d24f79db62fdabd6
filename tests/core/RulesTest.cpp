// Code-rule tables (defaults of a short record, duplicates, the lookups by
// code, function and prefix, reloads, copies) and the code tips. The shipped
// files are checked by the data and interface tests.
#include <gtest/gtest.h>

#include <memory>

#include "mod_gcode/tables/CodeRule.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

const std::vector<std::u16string> kRules = {
    u"codename=G00", u"codefunc=GRT", u"group=1", u"globalname=1", u"movable=0", u"%",
    u"codename=G01", u"codefunc=GLI", u"group=1", u"address=XYZF", u"globalname=2", u"movable=1", u"%",
    // Only the codename: every other field keeps its default, not G01's.
    u"codename=G04", u"%",
    u"codename=G10", u"codefunc=GPParam", u"group=0", u"movable= 1 ", u"%",
    u"codename=G10", u"codefunc=GPParamSecond", u"group=0", u"movable=2", u"%",
    u"codename=G54", u"codefunc=GWorkCrdSys1", u"group=14abc", u"globalname=1", u"movable=x", u"%",
    u"codename=M03", u"codefunc=M03", u"%",
    u"codename=T", u"codefunc=T", u"%",
    u"codename=X", u"codefunc=X", u"%",
    u"codename=SIN", u"codefunc=sin", u"%",
    u"codename=TAN", u"codefunc=tan", u"%",
    u"codename=N", u"codefunc=linenumber", u"%",
    u"codename=G81", // a record still open at the end of the file is no entry
};

class RuleTable : public ::testing::Test {
 protected:
  void SetUp() override {
    coretest::WriteBytes(tmp.File("fanuc.cmt"), coretest::KeyValueFile(kRules));
    ASSERT_TRUE(table.LoadFile(tmp.File("fanuc.cmt")));
  }
  WString FuncOf(WStringView code) const { return table.FindByCode(code).m_codefunc; }

  coretest::ScratchFolder tmp;
  CCodeRuleTable table;
};

TEST_F(RuleTable, DefaultsNumbersAndDuplicates) {
  const CCodeRuleEntry& g04 = table.FindByCode(u"G04");
  EXPECT_EQ(g04.m_codefunc, u"GRT");
  EXPECT_EQ(g04.m_groupNumber, -1);
  EXPECT_EQ(g04.m_globalNumber, 1);
  EXPECT_EQ(g04.m_movable, 1);
  EXPECT_EQ(table.FindByCode(u"G54").m_groupNumber, 14);  // "14abc"
  EXPECT_EQ(table.FindByCode(u"G54").m_movable, 0);       // "x"
  EXPECT_EQ(table.FindByCode(u"G54").m_globalNumber, 1);
  // The lookup keeps the last duplicate, the entries keep both in file order.
  EXPECT_EQ(FuncOf(u"G10"), u"GPParamSecond");
  ASSERT_EQ(table.Entries().size(), 12u);
  EXPECT_EQ(table.Entries()[3].m_movable, 1);  // " 1 "
  EXPECT_EQ(table.Entries()[4].m_movable, 0);  // "2"
  EXPECT_TRUE(table.FindByCode(u"G81").IsEmpty());
}

TEST_F(RuleTable, LookupsNormaliseTheCode) {
  const std::pair<const char16_t*, const char16_t*> rows[] = {
      {u"G1", u"GLI"}, {u"M3", u"M03"}, {u"T0101", u"T"}, {u"SIN", u"sin"},
      {u"TAN", u"T"},  // cut to its letter: macro functions use the exact name
      {u"G001", u""},  {u"g1", u""},    {u"X12", u""},    {u"", u""},
  };
  for (auto [code, func] : rows) EXPECT_EQ(FuncOf(code), func) << plat::WideToUtf8(code);
  EXPECT_EQ(table.FindExact(u"TAN")->m_codefunc, u"tan");
  for (char16_t c : {u'X', u'T', u'Q', u'x', u'\u4E2D'})
    EXPECT_EQ(&table.FindByLetter(c), &table.FindByCode(WStringView(&c, 1))) << static_cast<int>(c);

  std::size_t pos = 99;
  ASSERT_TRUE(table.FindByFunction(u"GRT", &pos));
  EXPECT_EQ(pos, 0u);  // G00 before G04
  EXPECT_EQ(table.CodenameOfFunction(u"T01"), u"T");     // cut to its letter
  EXPECT_EQ(table.CodenameOfFunction(u"M3"), u"M03");    // a 0 put after the letter
  EXPECT_EQ(table.FindByPrefix(u"G5").m_codename, u"G54");
  EXPECT_EQ(table.LineNumberLetter(), "N");
}

TEST_F(RuleTable, AReloadReplacesEverythingAndAnUnreadableFileLeavesItEmpty) {
  coretest::WriteBytes(tmp.File("other.cmt"), coretest::KeyValueFile({u"codename=X", u"codefunc=Xnew", u"%"}));
  ASSERT_TRUE(table.LoadFile(tmp.File("other.cmt")));
  EXPECT_EQ(table.FindByLetter(u'X').m_codefunc, u"Xnew");
  EXPECT_TRUE(table.FindByLetter(u'T').IsEmpty());
  EXPECT_EQ(table.LineNumberLetter(), "");

  coretest::AlertCapture alerts;
  EXPECT_FALSE(table.LoadFile(tmp.File("missing.cmt")));
  EXPECT_EQ(alerts.texts, std::vector<WString>{u"failed to read the file!"});
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_TRUE(table.FindByLetter(u'X').IsEmpty());
}

// A copy's letter cache once pointed into the original's map.
TEST_F(RuleTable, ACopyAnswersFromItsOwnEntries) {
  auto copy = std::make_unique<CCodeRuleTable>(table);
  CCodeRuleTable assigned;
  assigned = *copy;
  coretest::WriteBytes(tmp.File("other.cmt"), coretest::KeyValueFile({u"codename=X", u"codefunc=Xnew", u"%"}));
  ASSERT_TRUE(table.LoadFile(tmp.File("other.cmt")));
  EXPECT_EQ(copy->FindByLetter(u'X').m_codefunc, u"X");
  EXPECT_EQ(&copy->FindByLetter(u'X'), &copy->FindByCode(u"X"));  // an entry of its own map
  copy.reset();
  EXPECT_EQ(assigned.FindByLetter(u'T').m_codefunc, u"T");
  EXPECT_EQ(&assigned.FindByLetter(u'T'), &assigned.FindByCode(u"T"));
}

TEST_F(RuleTable, TipsAreFollowedByTheNextRecordedTipBelow100) {
  coretest::WriteBytes(tmp.File("tips.txt"),
                       coretest::KeyValueFile({u"nCodeName=0", u"Tip=rapid", u"%", u"nCodeName=2", u"Tip=arc",
                                               u"Fmt=G02 R_", u"%", u"nCodeName=150", u"Tip=high", u"%",
                                               u"nCodeName=6", u"%", u"nCodeName=-5", u"Tip=minus", u"%"}));
  CCodeTips tips;
  ASSERT_TRUE(tips.LoadFile(tmp.File("tips.txt")));
  // A code without a record has no tip at all, not a bare line end.
  const std::pair<const char16_t*, const char16_t*> rows[] = {
      {u"G00", u"rapid\r\narc"}, {u"G150", u"high\r\n"}, {u"G1", u""}, {u"G50", u""},
      {u"G6", u"high\r\n"},  // a record keeps the previous record's values for what it omits
      {u"g0", u""},
      // The search for the next number once ran on past the largest int.
      {u"G99999999999", u""}, {u"G2147483647", u""}, {u"G-1", u""},  // -1 is "no number"
      {u"G-5", u"minus\r\nrapid"}};
  for (auto [code, tip] : rows) EXPECT_EQ(tips.GetTip(code), tip) << std::string(code, code + std::char_traits<char16_t>::length(code));
  EXPECT_EQ(tips.GetFmt(u"G6"), u"G02 R_");
  EXPECT_EQ(tips.GetFmt(u"G1"), u"");
}

// The tip and the format are separate texts: taking one leaves the other as
// it was.
TEST_F(RuleTable, TipAndFormatKeepTheirOwnTexts) {
  coretest::WriteBytes(tmp.File("tips.txt"), coretest::KeyValueFile({u"nCodeName=2", u"Tip=arc", u"Fmt=G02 R_", u"%"}));
  CCodeTips tips;
  ASSERT_TRUE(tips.LoadFile(tmp.File("tips.txt")));
  const WString& tip = tips.GetTip(u"G2");
  const WString& fmt = tips.GetFmt(u"G2");
  EXPECT_EQ(tip, u"arc\r\n");
  EXPECT_EQ(fmt, u"G02 R_");
}

}  // namespace
}  // namespace quillet
