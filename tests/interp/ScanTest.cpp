// Reading one line: letters, numbers, comments, statements and the words
// that wait for the line's motion.
#include "ProgramFixture.h"

namespace quillet::test {
namespace {

using Scan = ProgramTest;
using Texts = std::vector<std::u16string>;

// Lower-case letters read as upper case; text in parentheses and after ";"
// is not read, not even a tool number.
TEST_F(Scan, CaseCommentsAndBlockEnd) {
  Parse(u"g1 x10 y5 z-2\nN10 G01 X5 (Y9 RAPID)\nX1; Y2\nM06 (T5 TOOL)\n");
  ExpectPoint(EndOfLine(0), 10, 5, -2);
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(0))->GetKind(), kKindLine);
  ExpectPoint(EndOfLine(1), 5, 5, -2);
  EXPECT_EQ(BlockOfLine(1)->GetSequenceNumber(), 10);
  ExpectPoint(EndOfLine(2), 1, 5, -2);
  EXPECT_EQ(m_program->GetT(), 0);
  EXPECT_TRUE(Messages().empty());
}

// Words before the motion code wait for it and land on the axes of the
// line's plane, even when the plane code comes after them.
TEST_F(Scan, WordsWaitingForTheMotionFollowTheLinesPlane) {
  Parse(u"X3 Y4 G01 Z-1\nY5 Z7 G18 X9\n");
  ExpectPoint(EndOfLine(0), 3, 4, -1);
  ExpectPoint(EndOfLine(1), 9, 5, 7);
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(1))->GetPlaneCode(), 1);
}

TEST_F(Scan, PlaneChangeBetweenMovesKeepsTheMachinePosition) {
  Parse(u"G17 G01 X1 Y2 Z3\nG18 G01 X4\nG19 G01 Y6\nG17 Z8\n");
  ExpectPoint(EndOfLine(1), 4, 2, 3);
  ExpectPoint(EndOfLine(2), 4, 6, 3);
  ExpectPoint(EndOfLine(3), 4, 6, 8);
}

// Each fault ends the program at its line: the next line does not run.
TEST_F(Scan, UnknownKeywordsAndBadJumpsAreReported) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"GOTO", u"Syntax error : Sequence number not found"},
      {u"GOTO (10)", u"Syntax error : Sequence number not found"},
      {u"GOSUB 5", u"Syntax error : GOSUB : identifier not found"},
      {u"G#9999 X5", u"error : variable #9999 does not exist"}};
  for (auto [line, message] : cases) {
    Parse(std::u16string(line) + u"\nG00 X1\n");
    EXPECT_EQ(Messages(), Texts{message});
    EXPECT_EQ(BlockOfLine(1), nullptr);
  }
}

TEST_F(Scan, GotoJumpsToTheLastLineWithThatNumber) {
  Parse(u"GOTO 20\nN20 G01 X1\nN20 G01 X2\nG01 Y3\n");
  EXPECT_EQ(BlockOfLine(1), nullptr);
  ExpectPoint(EndOfLine(2), 2, 0, 0);
  ExpectPoint(EndOfLine(3), 2, 3, 0);
}

TEST_F(Scan, ProgramEndAndTheBlockLimitStopTheParse) {
  CGCProgram::SetExecutedBlockLimit(500);
  Parse(u"N10 G01 X1\nGOTO 10\n");
  EXPECT_EQ(m_program->Blocks().size(), 500u);
  EXPECT_EQ(Messages(), Texts{u"Program stopped: more than 500 blocks executed (endless jump or loop?)"});
  Parse(u"G00 X1\nM30\nG00 X5\n%\n");
  EXPECT_EQ(BlockOfLine(2), nullptr);
  EXPECT_TRUE(BlockOfLine(1)->IsEndOfProgram());
  Parse(u"G00 X1\nM02\nG00 X5\n");
  EXPECT_EQ(BlockOfLine(2), nullptr);
}

// A number keeps all its digits up to the limit and is refused, not cut,
// beyond it; a bracket is an expression, a code number may be a variable.
TEST_F(Scan, NumbersBracketsAndVariableCodes) {
  Parse(u"G01 X12345.678901234\nX[1+2] Y[2*[3-1]]\nG#1 X5\n");
  EXPECT_NEAR(EndOfLine(0).x, 12345.678901234, 1e-9);
  ExpectPoint(EndOfLine(1), 3, 4, 0);
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(2))->GetKind(), kKindRapid);  // #1 is 0: G00
  EXPECT_TRUE(Messages().empty());
  Parse(u"X1234567890123456789012345\n");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(u"Number too long", 0), 0u);
}

}  // namespace
}  // namespace quillet::test
