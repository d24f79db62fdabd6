// The line table of a program text and the N number of a line.
#include <gtest/gtest.h>

#include "mod_gcode/GCCode/Program.h"

namespace quillet {
namespace {

TEST(LineTable, LinesAreCutAtLineFeedsAndTheLastLineCounts) {
  const WString text = u"O1000\r\n  G01 X1\r\n\tN10 Y2\nM30";
  CGCLineTable lines(text);
  ASSERT_EQ(lines.Count(), 4);
  EXPECT_EQ(lines.Line(0), u"O1000\r");  // the CR stays
  EXPECT_EQ(lines.Line(1), u"G01 X1\r");  // leading spaces go
  EXPECT_EQ(lines.Line(2), u"\tN10 Y2");  // a tab is no space
  EXPECT_EQ(lines.Line(3), u"M30");
  EXPECT_EQ(lines.Line(4), u"");
  EXPECT_EQ(lines.Line(-1), u"");
}

TEST(LineTable, AFinalLineFeedGivesAFinalEmptyLine) {
  EXPECT_EQ(CGCLineTable(WString(u"G00 X0\nM30")).Count(), 2);
  const WString endedText = u"G00 X0\nM30\n";  // the table borrows its text
  CGCLineTable ended(endedText);
  ASSERT_EQ(ended.Count(), 3);
  EXPECT_EQ(ended.Line(2), u"");
  EXPECT_EQ(CGCLineTable(WString(u"")).Count(), 1);
  EXPECT_EQ(CGCLineTable(WString(u"\n\n")).Count(), 3);
  EXPECT_EQ(CGCLineTable(WString(u"   ")).Line(0), u"");
}

TEST(LineTable, SequenceNumbersMapToTheirLastLine) {
  const WString text =
      u"N10 G00 X0\n"        // 0
      u"n20 G01 X1\n"        // 1  lower case n
      u"N0030 Y2\n"          // 2  leading zeros
      u"G01 X1N40\n"         // 3  N inside a word: no number
      u"X2 N50 Y1\n"         // 4  N as a later word
      u"N20 Z5\n"            // 5  repeats 20: wins
      u"N123456 Z1\n"        // 6  five digits at most
      u"(N60) M01\n"         // 7  after a bracket: a word start
      u"_N70\n"              // 8  after an underscore: no number
      u"N 80\n"              // 9  no digit right after N
      u"G04 P1";             // 10
  CGCLineTable lines(text);
  ASSERT_EQ(lines.Count(), 11);
  EXPECT_EQ(lines.FindSequence(10), 0);
  EXPECT_EQ(lines.FindSequence(20), 5);
  EXPECT_EQ(lines.FindSequence(30), 2);
  EXPECT_EQ(lines.FindSequence(40), -1);
  EXPECT_EQ(lines.FindSequence(50), 4);
  EXPECT_EQ(lines.FindSequence(12345), 6);
  EXPECT_EQ(lines.FindSequence(123456), -1);
  EXPECT_EQ(lines.FindSequence(60), 7);
  EXPECT_EQ(lines.FindSequence(70), -1);
  EXPECT_EQ(lines.FindSequence(80), -1);
  EXPECT_EQ(lines.FindSequence(99), -1);
}

TEST(LineTable, FindTextSearchesFromALineOn) {
  const WString text = u"WHILE [#1 LT 3] DO1\nX1\nEND1\nEND1\nEND2";
  CGCLineTable lines(text);
  EXPECT_EQ(lines.FindText(0, u"END1"), 2);
  EXPECT_EQ(lines.FindText(3, u"END1"), 3);
  EXPECT_EQ(lines.FindText(4, u"END1"), -1);
  EXPECT_EQ(lines.FindText(-7, u"DO1"), 0);
  EXPECT_EQ(lines.FindText(0, u"END3"), -1);
}

TEST(LineTable, ALongTextAndVeryLongLines) {
  WString text;
  for (int i = 1; i <= 5000; ++i) text += u"N" + plat::AsciiToWide(std::to_string(i)) + u" G01 X1\n";
  text += WString(5000, u'X');
  CGCLineTable lines(text);
  ASSERT_EQ(lines.Count(), 5001);
  EXPECT_EQ(lines.FindSequence(4321), 4320);
  EXPECT_EQ(lines.Line(5000).size(), 5000u);
}

TEST(SequenceWord, NumberAndPlaceOfTheFirstNWord) {
  std::size_t start = 99, length = 99;
  EXPECT_EQ(FindSequenceWord(u"G01 N20  X5", &start, &length), 20);
  EXPECT_EQ(start, 4u);
  EXPECT_EQ(length, 5u);  // "N20" and the blanks behind it
  EXPECT_EQ(FindSequenceWord(u"N0010", &start, &length), 10);
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(FindSequenceWord(u"X1N5"), -1);
  EXPECT_EQ(FindSequenceWord(u"NX N7 N8"), 7);
  EXPECT_EQ(FindSequenceWord(u"N123456"), 12345);
  EXPECT_EQ(FindSequenceWord(u""), -1);
  EXPECT_EQ(FindSequenceWord(u"N"), -1);
}

}  // namespace
}  // namespace quillet
