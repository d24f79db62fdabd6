// The lexer: items of single lines, and the cutting of a text into lines.
#include <string>

#include "BufferTestUtil.h"

namespace quillet::test {
namespace {

using Items = std::vector<std::u16string>;

TEST(Lexer, WordsOperatorsAndBlockEnds) {
  EXPECT_EQ(LexLine(u"G01 X-10.5 Y#1;"), (Items{u"G01", u"X-10.5", u"Y#1", u";", u";"}));
  EXPECT_EQ(LexLine(u"GOTO10"), (Items{u"GOTO", u"10", u";"}));
  EXPECT_EQ(LexLine(u"#1=#2*3"), (Items{u"#1", u"=", u"#2", u"*", u"3", u";"}));
  EXPECT_EQ(LexLine(u"#1-#2"), (Items{u"#1", u"-", u"#2", u";"}));
  EXPECT_EQ(LexLine(u"X1-2"), (Items{u"X1-2", u";"}));
  EXPECT_EQ(LexLine(u"[#1+2]/3"), (Items{u"[", u"#1", u"+", u"2", u"]", u"/", u"3", u";"}));
  EXPECT_EQ(LexLine(u"G1;;"), (Items{u"G1", u";", u";", u";"}));
  EXPECT_EQ(LexLine(u""), (Items{u";"}));
}

TEST(Lexer, MinusAfterWordsAndVariables) {
  // After a multi-letter word or a variable the minus is an operator ...
  EXPECT_EQ(LexLine(u"GOTO-1"), (Items{u"GOTO", u"-", u"1", u";"}));
  EXPECT_EQ(LexLine(u"#1--2"), (Items{u"#1", u"-", u"-2", u";"}));
  // ... elsewhere it belongs to the value.
  EXPECT_EQ(LexLine(u"-5 Z--"), (Items{u"-5", u"Z--", u";"}));
  // A "#" that follows a multi-letter word starts a value that is not marked
  // as a variable, so a minus after it stays in the value.
  EXPECT_EQ(LexLine(u"IF#1-2"), (Items{u"IF", u"#1-2", u";"}));
}

TEST(Lexer, LettersAndCase) {
  // A letter that begins an item is upper-cased; later letters stay as typed.
  EXPECT_EQ(LexLine(u"g1x2.5"), (Items{u"G1", u"X2.5", u";"}));
  EXPECT_EQ(LexLine(u"goto5"), (Items{u"Goto", u"5", u";"}));
  EXPECT_EQ(LexLine(u"@1 A@"), (Items{u"@1", u"A@", u";"}));
  EXPECT_EQ(LexLine(u"N10G1"), (Items{u"N10", u"G1", u";"}));
}

TEST(Lexer, IgnoredCharactersKeepTheItemOpen) {
  EXPECT_EQ(LexLine(u"N10\tG1,X1%"), (Items{u"N10", u"G1", u"X1", u";"}));
  EXPECT_EQ(LexLine(u"X1\r2"), (Items{u"X12", u";"}));
  EXPECT_EQ(LexLine(u"G1\u00e9 X2"), (Items{u"G1", u"X2", u";"}));
  EXPECT_EQ(LexLine(u"%"), (Items{u";"}));
}

TEST(Lexer, Comments) {
  EXPECT_EQ(LexLine(u"(comment)G0"), (Items{u"(comment)", u"G0", u";"}));
  // Everything inside brackets is kept, block ends and separators included.
  EXPECT_EQ(LexLine(u"G1(a;b = c)X1"), (Items{u"G1", u"(a;b = c)", u"X1", u";"}));
  EXPECT_EQ(LexLine(u"(\u00e9\t)"), (Items{u"(\u00e9\t)", u";"}));
  // An unclosed comment runs to the end of the line.
  EXPECT_EQ(LexLine(u"G1(abc"), (Items{u"G1", u"(abc", u";"}));
}

TEST(Lexer, ValuesKeepTwelveUnitsAndNamesTwoHundredFiftySix) {
  EXPECT_EQ(LexLine(u"X12345678901234"), (Items{u"X123456789012", u";"}));
  EXPECT_EQ(LexLine(u"#12345678901234"), (Items{u"#12345678901", u";"}));
  std::u16string longComment = u"(" + std::u16string(300, u'a') + u")";
  Items items = LexLine(longComment + u"G1");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], u"(" + std::u16string(255, u'a'));
  EXPECT_EQ(items[1], u"G1");
}

TEST(Analyze, EveryCrAndEveryLfEndsALine) {
  CCodeAnalyzer a;
  EXPECT_EQ(Copy(a.Analyze(u"A\r\nB")), (Lines{{u"A", u";"}, {u";"}, {u"B", u";"}}));
  EXPECT_EQ(Copy(a.Analyze(u"A\nB\n")), (Lines{{u"A", u";"}, {u"B", u";"}, {u";"}}));
  EXPECT_EQ(Copy(a.Analyze(u"A\rB")), (Lines{{u"A", u";"}, {u"B", u";"}}));
  EXPECT_EQ(Copy(a.Analyze(u"%")), (Lines{{u";"}}));
  // A last line of one character is kept.
  EXPECT_EQ(Copy(a.Analyze(u"G1\nX")), (Lines{{u"G1", u";"}, {u"X", u";"}}));
}

TEST(Analyze, EmptyTextKeepsTheTable) {
  CCodeAnalyzer a;
  EXPECT_EQ(a.Analyze(u""), nullptr);
  EXPECT_EQ(a.GetTable(), nullptr);
  EXPECT_EQ(a.LineCount(), 0);
  EXPECT_EQ(a.ItemStr(0, 0), nullptr);

  a.Analyze(u"G1 X1");
  EXPECT_EQ(a.Analyze(u""), nullptr);
  EXPECT_EQ(Copy(a.GetTable()), (Lines{{u"G1", u"X1", u";"}}));
}

TEST(Analyze, ItemAccessOutsideTheTableIsNeutral) {
  CCodeAnalyzer a;
  a.Analyze(u"G1 X1\nM30");
  EXPECT_EQ(a.LineCount(), 2);
  EXPECT_EQ(a.ColCount(0), 3);
  EXPECT_EQ(a.ColCount(2), 0);
  EXPECT_EQ(a.ColCount(-1), 0);
  EXPECT_EQ(a.GetItem(1, 0), u"M30");
  EXPECT_EQ(a.GetItem(1, 2), u"");
  EXPECT_EQ(a.GetItem(-1, 0), u"");
  EXPECT_EQ(std::u16string(a.ItemStr(0, 1)), u"X1");
  EXPECT_EQ(std::u16string(a.ItemStr(5, 5)), u"");
}

TEST(Analyze, SharedAnalyzerIsOneInstance) {
  CCodeAnalyzer& first = SharedCodeAnalyzer();
  first.Analyze(u"G1");
  EXPECT_EQ(&first, &SharedCodeAnalyzer());
  EXPECT_EQ(Copy(SharedCodeAnalyzer().GetTable()), (Lines{{u"G1", u";"}}));
}

}  // namespace
}  // namespace quillet::test
