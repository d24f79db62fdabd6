// Code-rule tables: loading with defaults and duplicates, the normalisation
// of the lookups by code and by function, the prefix lookup, the line-number
// letter, an unreadable file, and the shipped rule files.
#include <gtest/gtest.h>

#include <memory>

#include "mod_gcode/GCCode/CodeRule.h"
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
    u"codename=G54.1", u"codefunc=GWorkCrdSysExt", u"group=14", u"globalname=-1", u"%",
    u"codename=M03", u"codefunc=M03", u"group=26", u"%",
    u"codename=T", u"codefunc=T", u"unknownkey=7", u"%",
    u"codename=S", u"codefunc=S", u"%",
    u"codename=D", u"codefunc=D", u"%",
    u"codename=F", u"codefunc=F", u"%",
    u"codename=H", u"codefunc=H", u"%",
    u"codename=X", u"codefunc=X", u"group=abc", u"%",
    u"codename=SQRT", u"codefunc=sqrt", u"%",
    u"codename=SIN", u"codefunc=sin", u"%",
    u"codename=TAN", u"codefunc=tan", u"%",
    u"codename=FIX", u"codefunc=fix", u"%",
    u"codename=N", u"codefunc=linenumber", u"%",
    u"codename=NE", u"codefunc=Nequal", u"%",
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

void ExpectEmptyEntry(const CCodeRuleEntry& e) {
  EXPECT_EQ(e.m_codename, u"");
  EXPECT_EQ(e.m_codefunc, u"");
  EXPECT_EQ(e.m_globalname, u"");
  EXPECT_EQ(e.m_group, u"-1");
  EXPECT_EQ(e.m_groupNumber, -1);
  EXPECT_EQ(e.m_globalNumber, 0);
  EXPECT_EQ(e.m_address, u"");
  EXPECT_EQ(e.m_movable, 0);
  EXPECT_EQ(e.m_flag, 0);
}

TEST_F(RuleTable, ARecordGivingOnlyTheCodenameGetsTheDefaults) {
  const CCodeRuleEntry& g04 = table.FindByCode(u"G04");
  EXPECT_EQ(g04.m_codename, u"G04");
  EXPECT_EQ(g04.m_codefunc, u"GRT");
  EXPECT_EQ(g04.m_group, u"-1");
  EXPECT_EQ(g04.m_groupNumber, -1);
  EXPECT_EQ(g04.m_globalname, u"1");
  EXPECT_EQ(g04.m_globalNumber, 1);
  EXPECT_EQ(g04.m_address, u"");
  EXPECT_EQ(g04.m_movable, 1);
  EXPECT_EQ(g04.m_flag, 1);
}

TEST_F(RuleTable, NumbersAreReadFromTheTextsAndMovableIsOneOnlyForTheInteger1) {
  const auto& g54 = table.FindByCode(u"G54");
  EXPECT_EQ(g54.m_group, u"14abc");
  EXPECT_EQ(g54.m_groupNumber, 14);
  EXPECT_EQ(g54.RuleNumber(), 1);
  EXPECT_EQ(g54.m_movable, 0);  // "x"
  EXPECT_EQ(table.FindByCode(u"G54.1").m_globalNumber, -1);
  EXPECT_EQ(table.FindByCode(u"X").m_groupNumber, 0);  // "abc"
  EXPECT_EQ(table.FindByCode(u"G00").m_movable, 0);
  EXPECT_EQ(table.FindByCode(u"G01").m_movable, 1);
  EXPECT_EQ(table.FindByCode(u"G01").m_address, u"XYZF");
  EXPECT_EQ(table.Entries()[3].m_movable, 1);  // " 1 "
  EXPECT_EQ(table.Entries()[4].m_movable, 0);  // "2"
}

TEST_F(RuleTable, DuplicatesTheLookupKeepsTheLastTheEntriesKeepBoth) {
  EXPECT_EQ(FuncOf(u"G10"), u"GPParamSecond");
  ASSERT_EQ(table.Entries().size(), 20u);
  EXPECT_EQ(table.Entries()[3].m_codename, u"G10");
  EXPECT_EQ(table.Entries()[3].m_codefunc, u"GPParam");
  EXPECT_EQ(table.Entries()[4].m_codename, u"G10");
  EXPECT_EQ(table.Entries()[4].m_codefunc, u"GPParamSecond");
}

TEST_F(RuleTable, FindByCodeNormalisesByTheFirstLetter) {
  EXPECT_EQ(FuncOf(u"G1"), u"GLI");
  EXPECT_EQ(FuncOf(u"G01"), u"GLI");
  EXPECT_EQ(FuncOf(u"M3"), u"M03");
  EXPECT_EQ(FuncOf(u"T12"), u"T");
  EXPECT_EQ(FuncOf(u"T0101"), u"T");
  EXPECT_EQ(FuncOf(u"S1000"), u"S");
  EXPECT_EQ(FuncOf(u"F200"), u"F");
  EXPECT_EQ(FuncOf(u"D12"), u"D");
  EXPECT_EQ(FuncOf(u"H1"), u"H");
  EXPECT_EQ(FuncOf(u"SQRT"), u"sqrt");
  EXPECT_EQ(FuncOf(u"SIN"), u"sin");
  EXPECT_EQ(FuncOf(u"FIX"), u"fix");
  EXPECT_EQ(FuncOf(u"X"), u"X");
  // TAN and FUP are cut to T and F here; macro functions use the exact name.
  EXPECT_EQ(FuncOf(u"TAN"), u"T");
  ASSERT_NE(table.FindExact(u"TAN"), nullptr);
  EXPECT_EQ(table.FindExact(u"TAN")->m_codefunc, u"tan");
  EXPECT_EQ(table.FindExact(u"T12"), nullptr);
}

TEST_F(RuleTable, UnknownCodesGiveTheEmptyEntry) {
  for (const char16_t* code : {u"G001", u"g1", u"X12", u"Q", u"", u"G99", u"DIV", u"M300"})
    ExpectEmptyEntry(table.FindByCode(code));
  ExpectEmptyEntry(CCodeRuleTable::EmptyEntry());
  EXPECT_TRUE(table.FindByCode(u"Q").IsEmpty());
}

TEST_F(RuleTable, FindByLetterAgreesWithFindByCode) {
  for (char16_t c : {u'X', u'T', u'S', u'N', u'Q', u'G', u'x', u'\u00E9', u'\u4E2D'})
    EXPECT_EQ(&table.FindByLetter(c), &table.FindByCode(WStringView(&c, 1))) << static_cast<int>(c);
}

TEST_F(RuleTable, FindByFunctionNormalisesAndTakesTheFirstInFileOrder) {
  std::size_t pos = 99;
  ASSERT_TRUE(table.FindByFunction(u"GRT", &pos));
  EXPECT_EQ(pos, 0u);  // G00 before G04
  ASSERT_TRUE(table.FindByFunction(u"linenumber", &pos));
  EXPECT_EQ(table.Entries()[pos].m_codename, u"N");
  EXPECT_EQ(table.CodenameOfFunction(u"T01"), u"T");     // cut to its letter
  EXPECT_EQ(table.CodenameOfFunction(u"M3"), u"M03");    // a 0 put after the letter
  EXPECT_EQ(table.CodenameOfFunction(u"Xanything"), u"X");
  EXPECT_EQ(table.CodenameOfFunction(u"sqrt"), u"SQRT"); // lower case stays whole
  EXPECT_EQ(table.CodenameOfFunction(u"Nequal"), u"NE"); // N stays whole
  EXPECT_EQ(table.CodenameOfFunction(u"GLI"), u"G01");
  EXPECT_FALSE(table.FindByFunction(u"nothing", &pos));
  EXPECT_EQ(table.CodenameOfFunction(u"nothing"), u"");
  ExpectEmptyEntry(table.EntryOfFunction(u"nothing"));
  EXPECT_EQ(table.EntryOfFunction(u"GPParam").m_codefunc, u"GPParam");
}

TEST_F(RuleTable, FindByPrefixScansInFileOrder) {
  EXPECT_EQ(table.FindByPrefix(u"G5").m_codename, u"G54");
  EXPECT_EQ(table.FindByPrefix(u"G54.").m_codename, u"G54.1");
  EXPECT_EQ(table.FindByPrefix(u"SI").m_codename, u"SIN");
  EXPECT_EQ(table.FindByPrefix(u"").m_codename, u"G00");
  ExpectEmptyEntry(table.FindByPrefix(u"Z"));
  ExpectEmptyEntry(table.FindByPrefix(u"G54.12"));
}

TEST_F(RuleTable, LineNumberLetter) { EXPECT_EQ(table.LineNumberLetter(), "N"); }

TEST_F(RuleTable, AReloadReplacesEverythingAndAnUnreadableFileLeavesItEmpty) {
  coretest::WriteBytes(tmp.File("other.cmt"),
                       coretest::KeyValueFile({u"codename=X", u"codefunc=Xnew", u"%"}, true, u"\r\n", false));
  ASSERT_TRUE(table.LoadFile(tmp.File("other.cmt")));
  EXPECT_EQ(table.Entries().size(), 1u);
  EXPECT_EQ(table.FindByLetter(u'X').m_codefunc, u"Xnew");
  EXPECT_TRUE(table.FindByLetter(u'T').IsEmpty());
  EXPECT_EQ(table.LineNumberLetter(), "");

  coretest::AlertCapture alerts;
  EXPECT_FALSE(table.LoadFile(tmp.File("missing.cmt")));
  EXPECT_EQ(alerts.texts, std::vector<WString>{u"failed to read the file!"});
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_TRUE(table.FindByCode(u"X").IsEmpty());
  EXPECT_TRUE(table.FindByLetter(u'X').IsEmpty());
  EXPECT_FALSE(table.FindByFunction(u"Xnew"));
  EXPECT_EQ(table.LineNumberLetter(), "");
}

TEST_F(RuleTable, ACopyAnswersFromItsOwnEntries) {
  auto copy = std::make_unique<CCodeRuleTable>(table);
  CCodeRuleTable assigned;
  assigned = *copy;
  // Reloading the original replaces its map; the copies must not follow it.
  coretest::WriteBytes(tmp.File("other.cmt"), coretest::KeyValueFile({u"codename=X", u"codefunc=Xnew", u"%"}));
  ASSERT_TRUE(table.LoadFile(tmp.File("other.cmt")));
  EXPECT_EQ(copy->FindByLetter(u'X').m_codefunc, u"X");
  EXPECT_EQ(copy->FindByLetter(u'T').m_codefunc, u"T");
  copy.reset();
  EXPECT_EQ(assigned.FindByLetter(u'X').m_codefunc, u"X");
  EXPECT_EQ(assigned.FindByCode(u"G1").m_codefunc, u"GLI");
  EXPECT_EQ(assigned.LineNumberLetter(), "N");
}

TEST(RuleTableDefault, ARecordInProgressAtTheEndOfTheFileIsNotAnEntry) {
  coretest::ScratchFolder tmp;
  coretest::WriteBytes(tmp.File("r.cmt"), coretest::KeyValueFile({u"codename=G00", u"%", u"codename=G01"}));
  CCodeRuleTable table;
  ASSERT_TRUE(table.LoadFile(tmp.File("r.cmt")));
  EXPECT_EQ(table.Entries().size(), 1u);
  EXPECT_TRUE(table.FindByCode(u"G01").IsEmpty());
}

TEST(ShippedRules, MainAndMacroFilesLoadFromTheExecutablesFolder) {
  coretest::AlertCapture alerts;
  CCodeRuleTable main, macro;
  ASSERT_TRUE(main.Load(u"coderule\\fanuc.cmt"));
  ASSERT_TRUE(macro.Load(u"coderule\\fanuc_macro.cmt"));
  EXPECT_TRUE(alerts.texts.empty());

  const char16_t* offsets[] = {u"G54", u"G55", u"G56", u"G57", u"G58", u"G59"};
  for (int i = 0; i < 6; ++i) {
    const auto& e = main.FindByCode(offsets[i]);
    EXPECT_FALSE(e.IsEmpty()) << i;
    EXPECT_EQ(e.RuleNumber(), i + 1) << coretest::Utf8(offsets[i]);
    EXPECT_EQ(e.m_movable, 0) << coretest::Utf8(offsets[i]);
  }
  EXPECT_EQ(main.LineNumberLetter(), "N");
  EXPECT_EQ(main.FindByCode(u"G1").m_codename, u"G01");
  for (const char16_t* letter : {u"X", u"Y", u"Z", u"I", u"J", u"K", u"R", u"F", u"S", u"T", u"D", u"H"})
    EXPECT_FALSE(main.FindByCode(letter).IsEmpty()) << coretest::Utf8(letter);
  for (const char16_t* word : {u"IF", u"WHILE", u"END", u"GOTO", u"SQRT", u"FUP", u"TAN"})
    EXPECT_NE(macro.FindExact(word), nullptr) << coretest::Utf8(word);
}

}  // namespace
}  // namespace quillet
