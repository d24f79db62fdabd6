// The lexer: items of single lines, and the cutting of a text into lines.
#include "BufferTestUtil.h"

namespace quillet::test {
namespace {

TEST(Lexer, ItemsOfALine) {
  const std::pair<std::u16string, Items> rows[] = {
      {u"G01 X-10.5 Y#1;", {u"G01", u"X-10.5", u"Y#1", u";", u";"}},
      {u"GOTO10", {u"GOTO", u"10", u";"}},
      {u"[#1+2]/3", {u"[", u"#1", u"+", u"2", u"]", u"/", u"3", u";"}},
      // After a multi-letter word or a variable the minus is an operator,
      // elsewhere it belongs to the value.
      {u"#1--2 GOTO-1", {u"#1", u"-", u"-2", u"GOTO", u"-", u"1", u";"}},
      {u"X1-2 Z--", {u"X1-2", u"Z--", u";"}},
      // A "#" after a multi-letter word starts a value, not a variable.
      {u"IF#1-2", {u"IF", u"#1-2", u";"}},
      // A letter that begins an item is upper-cased; later letters stay.
      {u"g1x2.5 goto5", {u"G1", u"X2.5", u"Goto", u"5", u";"}},
      // Ignored characters keep the item open.
      {u"N10\tG1,X1\r2%\u00e9", {u"N10", u"G1", u"X12", u";"}},
      // A comment keeps everything, block ends too; unclosed it runs to the end.
      {u"G1(a;b = c)X1(open", {u"G1", u"(a;b = c)", u"X1", u"(open", u";"}},
      // Values keep twelve units.
      {u"X12345678901234 #12345678901234", {u"X123456789012", u"#12345678901", u";"}},
      {u"", {u";"}},
  };
  for (const auto& [text, items] : rows) EXPECT_EQ(LexLine(text), items) << plat::WideToUtf8(text);
  EXPECT_EQ(LexLine(u"(" + std::u16string(300, u'a') + u")G1"), (Items{u"(" + std::u16string(255, u'a'), u"G1", u";"}));
}

TEST(Analyze, EveryCrAndEveryLfEndsALineTheLastOneCounts) {
  CCodeAnalyzer a;
  EXPECT_EQ(Copy(a.Analyze(u"A\r\nB")), (Lines{{u"A", u";"}, {u";"}, {u"B", u";"}}));
  EXPECT_EQ(Copy(a.Analyze(u"A\rB\n")), (Lines{{u"A", u";"}, {u"B", u";"}, {u";"}}));
  EXPECT_EQ(Copy(a.Analyze(u"G1\nX")), (Lines{{u"G1", u";"}, {u"X", u";"}}));
  EXPECT_EQ(a.Analyze(u""), nullptr);  // an empty text keeps the table
  EXPECT_EQ(Copy(a.GetTable()), (Lines{{u"G1", u";"}, {u"X", u";"}}));
  // Access outside the table is neutral.
  EXPECT_EQ(a.ColCount(2), 0);
  EXPECT_EQ(a.GetItem(1, 2), u"");
  EXPECT_EQ(std::u16string(a.ItemStr(5, 5)), u"");
}

}  // namespace
}  // namespace quillet::test
