// Sets of coordinate words (indices beyond their count, copies that keep the
// unit class), the line table of a program text and its N numbers.
#include <gtest/gtest.h>

#include "mod_gcode/geometry/Coord.h"
#include "mod_gcode/program/Program.h"

namespace quillet {
namespace {

TEST(WordSets, CopiesKeepTheUnitClassAndIndicesBeyondTheCountAreIgnored) {
  CGCCoordN<9> source;
  auto src = source.View();
  src.ReplaceWord(kWordY, MakeWord(true));
  src.ApplyWord(kWordY, 1.0, 5.0, false);  // incremental inch word: 5 mm + 1 inch
  src.ReplaceWord(kWordZ, CGCDimWordMM(-1.0, 1));
  EXPECT_EQ(src.GetValue(-1), 0.0);
  EXPECT_FALSE(src.GetWord(9));
  src.SetValue(kWordX, 5.0);  // absent: nothing
  src.ReplaceWord(9, CGCDimWordMM(1.0, 1));
  src.ApplyWord(12, 1.0, 0.0, true);
  EXPECT_FALSE(src.Has(kWordX));

  CGCCoordN<15> target;
  auto dst = target.View();
  dst.ReplaceWord(kWordX, CGCDimWordMM(9.0, 1));  // replaced by the copy
  dst.CopyWords(src);
  EXPECT_FALSE(dst.Has(kWordX));
  auto y = dst.GetWord(kWordY);
  ASSERT_TRUE(y);
  EXPECT_TRUE(y->IsInch());
  EXPECT_DOUBLE_EQ(y->GetValue(), 30.4);
  EXPECT_FALSE(y->IsAbsolute());
  EXPECT_EQ(dst.GetValue(kWordZ), -1.0);
  CGCCoordN<2> small;  // words beyond its count are dropped
  small.View().CopyWords(src);
  EXPECT_TRUE(small.View().Has(kWordY));
  EXPECT_FALSE(small.View().Has(kWordZ));
}

TEST(LineTable, LinesEndAtLineFeedsAndLoneCarriageReturnsTheLastLineCounts) {
  const WString text = u"O1000\r\n  G01 X1\r\n\tN10 Y2\nM30";
  CGCLineTable lines(text);
  ASSERT_EQ(lines.Count(), 4);
  EXPECT_EQ(lines.Line(0), u"O1000\r");   // the CR stays
  EXPECT_EQ(lines.Line(1), u"G01 X1\r");  // leading spaces go
  EXPECT_EQ(lines.Line(3), u"M30");
  EXPECT_EQ(lines.Line(4), u"");
  EXPECT_EQ(lines.Line(-1), u"");
  const WString ended = u"G00 X0\nM30\n";  // the table borrows its text
  EXPECT_EQ(CGCLineTable(ended).Count(), 3);
  // A CR alone ends a line too; zero bytes mark their lines.
  const WString old(u"O1\rG01 X1\r\rX2\0Y1\r\nX3\xDC00\rM30\r", 26);
  CGCLineTable crLines(old);
  ASSERT_EQ(crLines.Count(), 7);
  const WString expected[] = {u"O1", u"G01 X1", u"", WString(u"X2\0Y1\r", 6), u"X3\xDC00", u"M30", u""};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(crLines.Line(i), expected[i]) << i;
    EXPECT_EQ(crLines.HoldsZeroByte(i), i == 3 || i == 4) << i;
  }
}

TEST(LineTable, SequenceNumbersMapToTheirLastLine) {
  const WString text =
      u"N10 G00 X0\n"        // 0
      u"n20 G01 X1\n"        // 1  lower case n
      u"G01 X1N40\n"         // 2  N inside a word: no number
      u"X2 N50 Y1\n"         // 3  N as a later word
      u"N20 Z5\n"            // 4  repeats 20: wins
      u"N123456 Z1\n"        // 5  five digits at most
      u"(N60) N70 M01\n"     // 6  an N in a comment numbers nothing; the one after it does
      u"N 80\n"              // 7  blanks between N and its digits do not count
      u"M01 ; N90";          // 8  nothing after ";" is read
  CGCLineTable lines(text);
  const std::pair<int, int> rows[] = {{10, 0},      {20, 4},  {40, -1}, {50, 3}, {12345, 5},
                                      {123456, -1}, {60, -1}, {70, 6},  {80, 7}, {90, -1}};
  for (auto [number, line] : rows) EXPECT_EQ(lines.FindSequence(number), line) << number;
}

}  // namespace
}  // namespace quillet
